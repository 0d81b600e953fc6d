#include "testkit/testkit.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace wnd::testkit {

TempDir::TempDir() {
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
        fs::path p = base / ("wendle-test-" + std::to_string(rd()));
        if (fs::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const fs::path& p, std::string_view content) {
    if (p.has_parent_path()) {
        fs::create_directories(p.parent_path());
    }
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) {
        ++n;
    }
    return n;
}

static fs::path envOr(const char* name, const fs::path& fallback) {
    const char* v = std::getenv(name);
    return (v != nullptr && *v != '\0') ? fs::path(v) : fallback;
}

fs::path stageDir() {
    return envOr("WENDLE_STAGE_DIR", WENDLE_DEFAULT_STAGE_DIR);
}
fs::path binary(const std::string& name) {
    return stageDir() / name;
}
fs::path sourceDir() {
    return envOr("WENDLE_SOURCE_DIR", WENDLE_DEFAULT_SOURCE_DIR);
}
fs::path sharedDataDir() {
    const fs::path p = envOr("WENDLE_SHARED_DATA_DIR", WENDLE_DEFAULT_SHARED_DATA_DIR);
    std::error_code ec;
    return fs::is_directory(p, ec) ? p : fs::path();
}

#ifdef _WIN32
// The Windows build runs the unit tests only; the black-box runs of the real binaries are
// driven from Linux.
Process::Process(const fs::path&, const std::vector<std::string>&, const Options&) {
    throw std::runtime_error("the Windows test build starts no child processes");
}
Process::~Process() = default;
std::optional<int> Process::wait(std::chrono::milliseconds) {
    return status_;
}
bool Process::running() {
    return false;
}
void Process::signal(int) {}
void Process::terminate() {}
#else
Process::Process(const fs::path& exe, const std::vector<std::string>& args, const Options& opt) {
    outFile_ =
        opt.stdoutFile.empty() ? opt.cwd / (exe.filename().string() + ".stdout") : opt.stdoutFile;
    errFile_ =
        opt.stderrFile.empty() ? opt.cwd / (exe.filename().string() + ".stderr") : opt.stderrFile;
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string kv(*e);
        const std::string key = kv.substr(0, kv.find('='));
        if (opt.env.find(key) == opt.env.end()) {
            envStrings.push_back(kv);
        }
    }
    for (const auto& [k, v] : opt.env) {
        envStrings.push_back(k + "=" + v);
    }
    std::vector<char*> envp;
    for (auto& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{exe.string()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argStrings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        if (!opt.cwd.empty() && ::chdir(opt.cwd.c_str()) != 0) {
            ::_exit(126);
        }
        if (!opt.stdinFile.empty()) {
            const int in = ::open(opt.stdinFile.c_str(), O_RDONLY);
            if (in >= 0) {
                ::dup2(in, 0);
            }
        }
        const int out = ::open(outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
        }
        if (err >= 0) {
            ::dup2(err, 2);
        }
        // A clean signal state: the test runner may have blocked some.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
}

InputPipe::InputPipe(std::filesystem::path path) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) != 0) {
        throw std::runtime_error("mkfifo failed: " + path_.string());
    }
    // Read and write: the open does not wait for a reader.
    fd_ = ::open(path_.c_str(), O_RDWR);
    if (fd_ < 0) {
        throw std::runtime_error("cannot open the pipe " + path_.string());
    }
}

InputPipe::~InputPipe() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void InputPipe::send(std::string_view line) {
    std::string text(line);
    text.push_back('\n');
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n <= 0) {
            throw std::runtime_error("write to the pipe failed");
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

Process::~Process() {
    if (running()) {
        ::kill(pid_, SIGKILL);
        int st = 0;
        ::waitpid(pid_, &st, 0);
    }
}

std::optional<int> Process::wait(std::chrono::milliseconds timeout) {
    if (status_) {
        return status_;
    }
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int st = 0;
        const pid_t r = ::waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return status_;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool Process::running() {
    return !wait(std::chrono::milliseconds(0)).has_value();
}

void Process::signal(int sig) {
    if (running()) {
        ::kill(pid_, sig);
    }
}

void Process::terminate() {
    signal(SIGTERM);
}
#endif

std::string Process::out() const {
    return readFile(outFile_);
}
std::string Process::err() const {
    return readFile(errFile_);
}

WorkFolder::WorkFolder(bool withDocs, bool withInput) {
    work = dir / "work";
    config = dir / "config";
    runtime = dir / "runtime";
    fs::create_directories(work);
    fs::create_directories(config);
    fs::create_directories(runtime);
    if (withDocs) {
        fs::create_directories(work / "docs");
    }
    if (withInput && fs::is_directory(stageDir() / "input")) {
        fs::copy(stageDir() / "input", work / "input", fs::copy_options::recursive);
    }
}

Process::Options WorkFolder::options() const {
    Process::Options o;
    o.cwd = work;
    // Port 9 on loopback is closed.
    o.env = {{"XDG_CONFIG_HOME", config.string()},
             {"XDG_RUNTIME_DIR", runtime.string()},
             {"WENDLE_SERVER_URL", "http://127.0.0.1:9"}};
    o.stdoutFile = dir / "stdout.txt";
    o.stderrFile = dir / "stderr.txt";
    return o;
}

namespace {
Process::Options serveOptions(const fs::path& logDir) {
    Process::Options o;
    o.cwd = logDir;
    o.env["PYTHONUNBUFFERED"] = "1";  // its address line at once
    o.stdoutFile = logDir / "serve.out";
    o.stderrFile = logDir / "serve.err";
    return o;
}
}  // namespace

ServedTree::ServedTree(const fs::path& tree, const fs::path& logDir)
    : process(sourceDir() / "scripts" / "serve", {tree.string(), "0"}, serveOptions(logDir)) {
    static const std::regex kServing(R"(127\.0\.0\.1 port (\d+))");
    std::smatch m;
    std::string out;
    waitUntil([&] { return std::regex_search(out = readFile(logDir / "serve.out"), m, kServing); },
              std::chrono::seconds(20), std::chrono::milliseconds(100));
    url = "http://127.0.0.1:" + (m.empty() ? std::string("9") : m[1].str());
}

std::string parametersXml(const std::vector<std::pair<std::string, std::string>>& values,
                          bool withRoot) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += withRoot ? "<root>\n  <parameters>\n" : "<parameters>\n";
    for (const auto& [k, v] : values) {
        xml += "    <parameter name=\"" + k + "\" value=\"" + v + "\" />\n";
    }
    xml += withRoot ? "  </parameters>\n</root>\n" : "</parameters>\n";
    return xml;
}

std::string WorkFolder::runUntilLogged(const std::string& until) const {
    fs::remove(work / "Log.txt");  // the program keeps it as Log0.txt anyway
    Process p(binary("wendle"), {}, options());
    waitUntil(
        [&] {
            const std::string text = log();
            return text.find(until) != std::string::npos ||
                   text.find("Exiting: ") != std::string::npos;
        },
        std::chrono::seconds(120), std::chrono::milliseconds(100));
    waitUntil([&] { return !p.running(); }, std::chrono::seconds(2));
    if (p.running()) {
        p.terminate();
    }
    p.wait(std::chrono::seconds(30));
    return log();
}

std::string parameterValue(const fs::path& file, const std::string& key) {
    const std::string text = readFile(file);
    const std::string tag = "name=\"" + key + "\" value=\"";
    const auto at = text.find(tag);
    if (at == std::string::npos) {
        return "<missing>";
    }
    const auto start = at + tag.size();
    return text.substr(start, text.find('"', start) - start);
}

}  // namespace wnd::testkit
