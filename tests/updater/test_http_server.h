// A small HTTP/1.1 server on loopback for download tests: serves fixed bodies by path.
#pragma once

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "util/mutex.h"

namespace wnd::testing {

class TestHttpServer {
  public:
    TestHttpServer();  // listens on 127.0.0.1, a free port
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    struct Reply {
        int status = 200;
        std::string body;
        std::string headers;  // extra header lines, each ending in "\r\n"
        bool cut = false;     // announces the whole body, sends half of it and closes
    };
    // Paths not served answer 404.
    void serve(const std::string& path, std::string body, int status = 200);
    void serve(const std::string& path, Reply reply);
    // "http://127.0.0.1:<port>"
    std::string url() const;
    std::vector<std::string> requests() const;    // request paths, in order
    std::vector<std::string> userAgents() const;  // their User-Agent values

  private:
    void run();
    void answer(platform::Socket& client);

    platform::Socket listener_;
    std::uint16_t port_ = 0;
    mutable Mutex mu_;
    bool stop_ GUARDED_BY(mu_) = false;
    std::map<std::string, Reply> replies_ GUARDED_BY(mu_);
    std::vector<std::string> requests_ GUARDED_BY(mu_);
    std::vector<std::string> userAgents_ GUARDED_BY(mu_);
    std::thread thread_;
};

// A port on loopback with nothing listening.
std::uint16_t gf_closedPort();

}  // namespace wnd::testing
