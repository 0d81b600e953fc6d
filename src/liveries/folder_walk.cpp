// The folder walk of the livery scan and the worker threads that read the files it finds.
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "liveries/livery_scan_internal.h"
#include "util/files.h"
#include "util/log.h"
#include "util/mutex.h"
#include "util/strings.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace wnd {

namespace {

constexpr std::size_t kMaxDirPathBytes = 250;

bool lf_isConfigurationFile(const fs::path& p) {
    if (!gf_equalsUpper(".CFG", gf_pathText(p.extension()))) {
        return false;
    }
    const std::string stem = gf_pathText(p.stem());
    return gf_equalsUpper("AIRCRAFT", stem) || gf_equalsUpper("SIM", stem);
}

bool lf_isIvaoPath(const fs::path& p) {
    const std::string s = gf_pathText(p);
    return s.find("ivao_x-csl") != std::string::npos || s.find("IVAO_MTL") != std::string::npos;
}

// Walks the folder depth first in name order: "airport" folders (below the folder given)
// and folders whose path reaches 250 bytes are not entered; a folder reached again through
// a link is walked once.
template <typename OnFile>
void lf_walk(const fs::path& root, OnFile&& onFile) {
    struct Pending {
        fs::path dir;
        bool link;  // reached through a symbolic link or junction
    };
    std::vector<Pending> pending{{root, true}};
    TextSet visited;
    const std::size_t rootLength = root.generic_string().size();
    while (!pending.empty() && !lf_ending()) {
        const Pending next = std::move(pending.back());
        pending.pop_back();
        const fs::path& dir = next.dir;
        if (dir.u8string().size() >= kMaxDirPathBytes) {
            continue;
        }
        const std::string generic = dir.generic_string();
        if (generic.size() > rootLength &&
            generic.find("airport", rootLength) != std::string::npos) {
            continue;
        }
        std::error_code ec;
        if (next.link) {
            const fs::path canonical = fs::canonical(dir, ec);
            if (!ec && !visited.insert(gf_pathText(canonical)).second) {
                continue;
            }
        }
        std::vector<fs::directory_entry> entries;
        fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            entries.push_back(*it);
        }
        if (ec) {
            gf_logLine("{} could not be read: {}", gf_pathText(dir), ec.message());
        }
        std::sort(entries.begin(), entries.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b) {
                      return a.path().native() < b.path().native();
                  });
        std::vector<Pending> subfolders;
        for (const fs::directory_entry& e : entries) {
            std::error_code typeEc;
            if (e.is_directory(typeEc)) {
                subfolders.push_back({e.path(), e.is_symlink(typeEc)});
            } else if (e.is_regular_file(typeEc) && lf_isConfigurationFile(e.path())) {
                onFile(e.path());
                if (lf_ending()) {
                    return;
                }
            }
        }
        pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                       std::make_move_iterator(subfolders.rend()));
    }
}

// The threads the file tasks run on, at most as many as the machine has hardware threads.
// A thread per file would hand over to the scheduler twice a file, and on a busy machine
// each hand-over waits for a time slice. The workers are detached and share this state,
// so a task stuck on a dead network drive cannot hold up closing down.
class TaskPool {
  public:
    static std::shared_ptr<TaskPool> start(unsigned threads) {
        auto pool = std::shared_ptr<TaskPool>(new TaskPool());
        for (unsigned i = 0; i < threads; ++i) {
            try {
                std::thread([pool] { pool->work(); }).detach();
                ++pool->workers_;
            } catch (const std::system_error& e) {
                gf_logWarning("{} exception: {}", "lf_scanLiveryFolder", e.what());
                break;
            }
        }
        return pool;
    }

    std::future<FileFindings> submit(std::packaged_task<FileFindings()> task) {
        std::future<FileFindings> result = task.get_future();
        if (workers_ == 0) {
            task();  // no thread to be had: do the file here
            return result;
        }
        {
            MutexLock lock(mu_);
            queue_.push_back(std::move(task));
        }
        cv_.notifyOne();
        return result;
    }

    // Workers end once the queue is empty; tasks not begun are dropped.
    void close() {
        {
            MutexLock lock(mu_);
            closed_ = true;
            queue_.clear();
        }
        cv_.notifyAll();
    }

  private:
    TaskPool() = default;

    void work() {
        try {
            for (;;) {
                std::packaged_task<FileFindings()> task;
                {
                    MutexLock lock(mu_);
                    cv_.wait(lock, [this]() REQUIRES(mu_) { return closed_ || !queue_.empty(); });
                    if (queue_.empty()) {
                        return;
                    }
                    task = std::move(queue_.front());
                    queue_.pop_front();
                }
                task();
            }
        } catch (const std::exception& e) {
            gf_logWarning("{} exception: {}", "lf_scanLiveryFolder", e.what());
        } catch (...) {
            gf_logWarning("Exception in {}", "lf_scanLiveryFolder");
        }
    }

    unsigned workers_ = 0;  // written before any worker reads the queue
    Mutex mu_;
    CondVar cv_;
    std::deque<std::packaged_task<FileFindings()>> queue_ GUARDED_BY(mu_);
    bool closed_ GUARDED_BY(mu_) = false;
};

std::packaged_task<FileFindings()> lf_fileTask(std::shared_ptr<const TextSet> dontUse, int index,
                                               fs::path file) {
    const bool ivao = lf_isIvaoPath(file);
    return std::packaged_task<FileFindings()>([dontUse, index, file, ivao] {
        FileFindings f;
        try {
            f = ivao ? lf_searchLiveriesinIVAOFile(index, file, *dontUse)
                     : lf_searchLiveriesinFile(index, file, *dontUse);
        } catch (const std::exception& e) {
            f = FileFindings{};
            f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                           fmt::format("{} exception: {} ({})", "lf_searchLiveriesinFile", e.what(),
                                       gf_pathText(file)));
        } catch (...) {
            f = FileFindings{};
            f.logAndReport(
                LiveryReport::InvalidAircraftCfgFiles,
                fmt::format("Exception in {} ({})", "lf_searchLiveriesinFile", gf_pathText(file)));
        }
        return f;
    });
}

}  // namespace

std::size_t lf_scanLiveryFolder(int index, const fs::path& folder, ScanSession& session) {
    const std::shared_ptr<const TextSet> dontUse =
        session.dontUseTitles ? session.dontUseTitles : std::make_shared<const TextSet>();
    const std::shared_ptr<TaskPool> pool = TaskPool::start(std::max(1U, session.taskLimit));
    // Closed however this ends, so that the workers end too.
    struct Closer {
        TaskPool& pool;
        ~Closer() { pool.close(); }
    } closer{*pool};
    std::vector<std::future<FileFindings>> futures;
    lf_walk(folder, [&](const fs::path& file) {
        futures.push_back(pool->submit(lf_fileTask(dontUse, index, file)));
    });
    std::size_t added = 0;
    for (std::future<FileFindings>& future : futures) {
        if (future.wait_for(10s) != std::future_status::ready) {
            throw std::runtime_error("Future wait timed out after 10 seconds");
        }
        FileFindings f = future.get();
        added += lf_mergeFindings(f, session);
    }
    return added;
}

}  // namespace wnd
