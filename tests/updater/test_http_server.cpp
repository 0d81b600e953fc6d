#include "test_http_server.h"

#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <sstream>

namespace wnd::testing {

using namespace std::chrono_literals;

TestHttpServer::TestHttpServer() : listener_(platform::Socket::create(platform::SocketType::Tcp)) {
    if (!listener_.valid() || !listener_.setReuseAddress(true) || !listener_.bind("127.0.0.1", 0) ||
        !listener_.listen()) {
        throw std::runtime_error("test HTTP server: cannot listen");
    }
    port_ = listener_.localPort();
    thread_ = std::thread([this] { run(); });
}

TestHttpServer::~TestHttpServer() {
    {
        MutexLock lock(mu_);
        stop_ = true;
    }
    thread_.join();
}

void TestHttpServer::serve(const std::string& path, std::string body, int status) {
    serve(path, Reply{status, std::move(body), {}, false});
}

void TestHttpServer::serve(const std::string& path, Reply reply) {
    MutexLock lock(mu_);
    replies_[path] = std::move(reply);
}

std::string TestHttpServer::url() const {
    return fmt::format("http://127.0.0.1:{}", port_);
}

std::vector<std::string> TestHttpServer::requests() const {
    MutexLock lock(mu_);
    return requests_;
}

std::vector<std::string> TestHttpServer::userAgents() const {
    MutexLock lock(mu_);
    return userAgents_;
}

void TestHttpServer::run() {
    try {
        for (;;) {
            {
                MutexLock lock(mu_);
                if (stop_) {
                    return;
                }
            }
            if (!listener_.waitReadable(50ms)) {
                continue;
            }
            platform::Socket client = listener_.accept();
            if (client.valid()) {
                answer(client);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "test HTTP server: %s\n", e.what());
    }
}

void TestHttpServer::answer(platform::Socket& client) {
    client.setReceiveTimeout(2s);
    std::string request;
    char buf[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const long n = client.receive(buf, sizeof buf);
        if (n <= 0) {
            return;
        }
        request.append(buf, static_cast<std::size_t>(n));
    }
    std::istringstream lines(request);
    std::string method, path, line, agent;
    lines >> method >> path;
    while (std::getline(lines, line)) {
        if (line.rfind("User-Agent: ", 0) == 0) {
            agent = line.substr(12);
            if (!agent.empty() && agent.back() == '\r') {
                agent.pop_back();
            }
        }
    }
    Reply reply{404, "not found", {}, false};
    {
        MutexLock lock(mu_);
        requests_.push_back(path);
        userAgents_.push_back(agent);
        if (const auto it = replies_.find(path); it != replies_.end()) {
            reply = it->second;
        }
    }
    const std::string head = fmt::format(
        "HTTP/1.1 {} {}\r\nContent-Length: {}\r\n{}Connection: close\r\n\r\n", reply.status,
        reply.status == 200 ? "OK" : "Error", reply.body.size(), reply.headers);
    client.send(head.data(), head.size());
    client.send(reply.body.data(), reply.cut ? reply.body.size() / 2 : reply.body.size());
    client.shutdown();
}

std::uint16_t gf_closedPort() {
    platform::Socket s = platform::Socket::create(platform::SocketType::Tcp);
    s.bind("127.0.0.1", 0);
    return s.localPort();  // closed again when s goes
}

}  // namespace wnd::testing
