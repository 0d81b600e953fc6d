// Helpers shared by the tests: temporary folders, files, and running the real binaries.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace wnd::testkit {

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, std::string_view content);
// How often `what` stands in `text`.
std::size_t count(const std::string& text, const std::string& what);

// parameters.xml text with the given name/value pairs, with or without its root element.
std::string parametersXml(const std::vector<std::pair<std::string, std::string>>& values,
                          bool withRoot = true);
// The value of the first parameter named key in a parameters.xml, or "<missing>".
std::string parameterValue(const std::filesystem::path& file, const std::string& key);

// The folder the build lays out as the program's working folder (executables, docs, input).
std::filesystem::path stageDir();
// Path of one of the built executables ("wendle", "wendle-sim", ...).
std::filesystem::path binary(const std::string& name);
// The shared real-data folder (../shared/data); empty when it is absent.
std::filesystem::path sharedDataDir();
std::filesystem::path sourceDir();

// A child process with its standard output and error captured to files.
class Process {
  public:
    struct Options {
        std::filesystem::path cwd;
        std::map<std::string, std::string> env;  // added to (or replacing) the parent's
        std::filesystem::path stdoutFile;        // default: a file in cwd
        std::filesystem::path stderrFile;
        std::filesystem::path stdinFile;  // default: the parent's standard input
    };
    Process(const std::filesystem::path& exe, const std::vector<std::string>& args,
            const Options& opt);
    ~Process();  // kills a process still running
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Exit status (or 128+signal), or nothing when it did not end in time.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    void signal(int sig);
    void terminate();  // SIGTERM
    bool running();
    std::string out() const;
    std::string err() const;

  private:
    int pid_ = -1;
    std::optional<int> status_;
    std::filesystem::path outFile_;
    std::filesystem::path errFile_;
};

// A named pipe that a child reads as its standard input (Options::stdinFile), so a test can
// type lines to it while it runs. Held open for writing here, so the child never waits for
// a writer and sees the end of its input only when the pipe goes.
class InputPipe {
  public:
    explicit InputPipe(std::filesystem::path path);
    ~InputPipe();
    InputPipe(const InputPipe&) = delete;
    InputPipe& operator=(const InputPipe&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Writes the line and its newline.
    void send(std::string_view line);

  private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// The error text of a call (e.what()), or "" when it does not throw.
template <typename F>
std::string errorText(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// Polls until pred is true or the time is up; returns pred's last value.
template <typename Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step = std::chrono::milliseconds(20));

// scripts/serve on a free loopback port with `tree` as its root, for the object's life; its
// output and the requests it logs go to serve.out and serve.err in `logDir`.
struct ServedTree {
    ServedTree(const std::filesystem::path& tree, const std::filesystem::path& logDir);
    std::string url;  // "http://127.0.0.1:PORT"; port 9 (closed) when it did not start
    Process process;
};

// A working folder and per-user folder for running the real program.
struct WorkFolder {
    TempDir dir;
    std::filesystem::path work;     // the program's working folder (has docs/)
    std::filesystem::path config;   // XDG_CONFIG_HOME
    std::filesystem::path runtime;  // XDG_RUNTIME_DIR (the single-instance lock)
    // A working folder as installed: docs/ and the staged input/ with the data files.
    explicit WorkFolder(bool withDocs = true, bool withInput = true);
    std::filesystem::path userFolder() const { return config / "Wendle_P3D"; }
    std::filesystem::path parametersFile() const { return userFolder() / "parameters.xml"; }
    // Its folders in the environment; the version check fails at once, never reaching out.
    Process::Options options() const;
    void writeParameters(const std::vector<std::pair<std::string, std::string>>& values) const {
        writeFile(parametersFile(), parametersXml(values));
    }
    std::string log() const { return readFile(work / "Log.txt"); }
    // Runs `wendle` here until its log shows `until` or an exit, closes it as the close
    // button would, and returns the log.
    std::string runUntilLogged(const std::string& until) const;
};

}  // namespace wnd::testkit

#ifdef _WIN32
// The two POSIX environment calls the tests use, for the Windows build (the C runtime's
// getenv sees what _putenv_s sets).
inline int setenv(const char* name, const char* value, int /*overwrite*/) {
    return ::_putenv_s(name, value);
}
inline int unsetenv(const char* name) {
    return ::_putenv_s(name, "");
}
#endif

#include "testkit/testkit_inl.h"
