#include "standins/sim/standin.h"

#include <fmt/format.h>

#include <atomic>

#include "simconnect/wire.h"

namespace wnd::simstandin {

using namespace std::chrono_literals;

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// A client that lets this much pile up unread is dropped rather than held in memory.
constexpr std::size_t kMaxQueued = 64 * 1024 * 1024;
constexpr auto kPollPeriod = 2ms;

std::unique_ptr<TraceWriter> openTrace(const Scenario& sc, const StandInOptions& opt) {
    const std::filesystem::path file =
        opt.traceFile ? *opt.traceFile : std::filesystem::path(sc.traceFile);
    if (file.empty()) {
        return nullptr;
    }
    return std::make_unique<TraceWriter>(file);
}

}  // namespace

// One client connection. Its thread alone reads and writes the socket: it sends what the
// core posted, then waits briefly for the client's packets and hands them to the core.
class SimStandIn::Session final : public Outbox {
  public:
    Session(platform::Socket s, SimCore& core, LogFn log)
        : socket_(std::move(s)), core_(core), log_(std::move(log)) {}

    ~Session() override { join(); }

    // Waits for the thread; the core lets go of the session only at the thread's very end.
    void join() {
        if (thread_.joinable()) {
            if (thread_.get_id() == std::this_thread::get_id()) {
                thread_.detach();
            } else {
                thread_.join();
            }
        }
    }

    void start(std::uint64_t id) {
        id_ = id;
        thread_ = std::thread([this] { run(); });
    }

    void post(std::span<const std::uint8_t> bytes) override {
        MutexLock lock(mu_);
        if (dropped_) {
            return;
        }
        if (out_.size() + bytes.size() > kMaxQueued) {
            dropped_ = true;  // the client has stopped reading
            out_.clear();
            return;
        }
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }

    void closeAfterFlush() override {
        MutexLock lock(mu_);
        closeAfterFlush_ = true;
    }

    // The thread notices within a poll period and leaves the socket to be reset.
    void drop() override {
        MutexLock lock(mu_);
        dropped_ = true;
        reset_ = true;
        out_.clear();
    }

    void stop() {
        stopping_ = true;
        // A reset socket that already ended must not send an orderly end after all.
        if (!(reset_.load() && finished_.load())) {
            socket_.shutdown();
        }
    }

    bool finished() const { return finished_.load(); }

  private:
    void run() {
        try {
            loop();
        } catch (const std::exception& e) {
            if (log_) {
                log_(fmt::format("client connection failed: {}", e.what()));
            }
        } catch (...) {
            if (log_) {
                log_("client connection failed");
            }
        }
        try {
            core_.disconnect(id_);
        } catch (...) {
            // The core logs its own faults; the connection is gone either way.
        }
        if (reset_.load()) {
            socket_.setResetOnClose();  // it goes with the last reference to the session
        } else {
            socket_.shutdown();
        }
        finished_ = true;
    }

    void loop() {
        scwire::Framer framer(scwire::kClientHeaderSize);
        scwire::Bytes sending;
        while (!stopping_.load()) {
            bool closing = false;
            {
                MutexLock lock(mu_);
                if (dropped_) {
                    return;
                }
                sending.swap(out_);
                closing = closeAfterFlush_;
            }
            if (!sending.empty()) {
                if (socket_.send(sending.data(), sending.size()) < 0) {
                    return;
                }
                sending.clear();
            }
            if (closing) {
                MutexLock lock(mu_);
                if (out_.empty()) {
                    return;
                }
                continue;
            }
            if (!socket_.waitReadable(kPollPeriod)) {
                continue;
            }
            std::uint8_t* p = framer.prepare(kReadChunk);
            const long n = socket_.receive(p, kReadChunk);
            if (n <= 0) {
                return;  // the client closed or the link broke
            }
            framer.commit(static_cast<std::size_t>(n));
            std::span<const std::uint8_t> packet;
            scwire::Framer::Status st;
            while ((st = framer.next(packet)) == scwire::Framer::Status::Packet) {
                core_.handlePacket(id_, packet);
            }
            if (st == scwire::Framer::Status::Bad) {
                if (log_) {
                    log_(fmt::format("client sent a packet size of {}: connection closed",
                                     framer.badSize()));
                }
                return;
            }
        }
    }

    platform::Socket socket_;  // this thread's; shutdown() from others only wakes it
    SimCore& core_;
    const LogFn log_;
    std::uint64_t id_ = 0;  // set before the thread starts
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> reset_{false};  // dropped: the client's calls must fail, not see a quit

    Mutex mu_;
    scwire::Bytes out_ GUARDED_BY(mu_);
    bool closeAfterFlush_ GUARDED_BY(mu_) = false;
    bool dropped_ GUARDED_BY(mu_) = false;
};

SimStandIn::SimStandIn(Scenario scenario, StandInOptions options)
    : log_(options.log),
      wantedPort_(options.port ? *options.port : scenario.port),
      startDelayS_(scenario.startDelayS),
      frameRate_(scenario.frameRate),
      core_(scenario, openTrace(scenario, options), options.log) {}

SimStandIn::~SimStandIn() {
    stop();
}

void SimStandIn::log(const std::string& text) const {
    if (log_) {
        log_(text);
    }
}

bool SimStandIn::listen() {
    listener_ = platform::Socket::create(platform::SocketType::Tcp);
    std::string error;
    if (!listener_.valid()) {
        error = "cannot create a socket";
    } else if (!listener_.setReuseAddress(true) || !listener_.bind("127.0.0.1", wantedPort_)) {
        error = fmt::format("cannot listen on 127.0.0.1:{} (socket error {})", wantedPort_,
                            listener_.lastError());
    } else if (!listener_.listen()) {
        error = fmt::format("cannot listen on 127.0.0.1:{} (socket error {})", wantedPort_,
                            listener_.lastError());
    }
    MutexLock lock(mu_);
    if (!error.empty()) {
        failure_ = error;
        ended_ = true;
        cv_.notifyAll();
        return false;
    }
    port_ = listener_.localPort();
    listening_ = true;
    cv_.notifyAll();
    return true;
}

void SimStandIn::start() {
    {
        MutexLock lock(mu_);
        if (started_ || stopping_) {
            return;
        }
        started_ = true;
    }
    const bool listenNow = startDelayS_ <= 0.0;
    if (listenNow && !listen()) {
        throw std::runtime_error(failure());
    }
    if (listenNow) {
        core_.markStarted();
        log(fmt::format("listening on 127.0.0.1:{}", port()));
    }
    frameThread_ = std::thread([this] { frameLoop(); });
    acceptThread_ = std::thread([this, listenNow] {
        try {
            if (!listenNow) {
                MutexLock lock(mu_);
                const auto until = std::chrono::steady_clock::now() +
                                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                       std::chrono::duration<double>(startDelayS_));
                if (cv_.waitUntil(lock, until, [this]() REQUIRES(mu_) { return stopping_; })) {
                    return;
                }
                lock.unlock();
                if (core_.quitRequested()) {
                    MutexLock endLock(mu_);
                    ended_ = true;
                    cv_.notifyAll();
                    return;
                }
                if (!listen()) {
                    log(failure());
                    return;
                }
                core_.markStarted();
                log(fmt::format("listening on 127.0.0.1:{}", port()));
            }
            acceptLoop();
        } catch (const std::exception& e) {
            log(fmt::format("accept thread failed: {}", e.what()));
        } catch (...) {
            log("accept thread failed");
        }
        MutexLock lock(mu_);
        ended_ = true;
        cv_.notifyAll();
    });
}

void SimStandIn::acceptLoop() {
    for (;;) {
        {
            MutexLock lock(mu_);
            if (stopping_) {
                return;
            }
        }
        if (core_.quitRequested()) {
            break;
        }
        reapSessions(false);
        if (!listener_.waitReadable(50ms)) {
            continue;
        }
        platform::Socket s = listener_.accept();
        if (!s.valid()) {
            continue;
        }
        s.setNoDelay(true);
        auto session = std::make_shared<Session>(std::move(s), core_, log_);
        const std::uint64_t id = core_.connect(session);
        session->start(id);
        MutexLock lock(mu_);
        sessions_.push_back(std::move(session));
    }
    // The simulator has quit: nobody connects any more, and the clients get their QUIT.
    listener_.close();
    const auto until = std::chrono::steady_clock::now() + 2s;
    for (;;) {
        bool open = false;
        {
            MutexLock lock(mu_);
            for (const auto& s : sessions_) {
                open = open || !s->finished();
            }
        }
        if (!open || std::chrono::steady_clock::now() > until) {
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
}

void SimStandIn::reapSessions(bool all) {
    std::vector<std::shared_ptr<Session>> done;
    {
        MutexLock lock(mu_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (all || (*it)->finished()) {
                done.push_back(std::move(*it));
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& s : done) {
        s->stop();
    }
    for (auto& s : done) {
        s->join();
    }
}

void SimStandIn::frameLoop() {
    try {
        const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(1.0 / frameRate_));
        auto next = std::chrono::steady_clock::now();
        for (;;) {
            next += period;
            {
                MutexLock lock(mu_);
                if (cv_.waitUntil(lock, next, [this]() REQUIRES(mu_) { return stopping_; })) {
                    return;
                }
            }
            core_.frame();
            if (core_.quitRequested()) {
                return;
            }
            const auto now = std::chrono::steady_clock::now();
            if (now > next + 1s) {
                next = now;  // after a stall, no burst of frames to catch up
            }
        }
    } catch (const std::exception& e) {
        log(fmt::format("frame thread failed: {}", e.what()));
    } catch (...) {
        log("frame thread failed");
    }
}

void SimStandIn::stop() {
    {
        MutexLock lock(mu_);
        stopping_ = true;
        cv_.notifyAll();
    }
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    if (frameThread_.joinable()) {
        frameThread_.join();
    }
    reapSessions(true);
    listener_.close();
    MutexLock lock(mu_);
    ended_ = true;
    cv_.notifyAll();
}

bool SimStandIn::waitEnded(std::chrono::milliseconds timeout) {
    MutexLock lock(mu_);
    return cv_.waitFor(lock, timeout, [this]() REQUIRES(mu_) { return ended_; });
}

bool SimStandIn::waitListening(std::chrono::milliseconds timeout) {
    MutexLock lock(mu_);
    return cv_.waitFor(lock, timeout, [this]() REQUIRES(mu_) { return listening_ || ended_; }) &&
           listening_;
}

std::uint16_t SimStandIn::port() const {
    MutexLock lock(mu_);
    return port_;
}

std::string SimStandIn::failure() const {
    MutexLock lock(mu_);
    return failure_;
}

}  // namespace wnd::simstandin
