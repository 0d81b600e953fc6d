#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/platform.h"
#include "platform/socket.h"

namespace wnd::platform {

namespace {

constexpr int kTimedOut = 10060;

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds lf_left(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

bool toSockaddr(const std::string& address, std::uint16_t port, sockaddr_in& sa) {
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (address.empty()) {
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) == 1;
}

Endpoint fromSockaddr(const sockaddr_in& sa) {
    char buf[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &sa.sin_addr, buf, sizeof buf);
    return {buf, ntohs(sa.sin_port)};
}

}  // namespace

std::optional<std::string> resolveIPv4(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) {
        return std::nullopt;
    }
    sockaddr_in sa{};
    std::memcpy(&sa, res->ai_addr, sizeof sa);
    ::freeaddrinfo(res);
    return fromSockaddr(sa).address;
}

Socket::Socket(Socket&& other) noexcept : fd_(other.fd_), lastError_(other.lastError_) {
    other.fd_ = -1;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        lastError_ = other.lastError_;
        other.fd_ = -1;
    }
    return *this;
}

bool Socket::fail() {
    lastError_ = socketErrorFromErrno(errno);
    return false;
}

Socket Socket::create(SocketType type) {
    Socket s(::socket(AF_INET, (type == SocketType::Tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC,
                      type == SocketType::Tcp ? IPPROTO_TCP : IPPROTO_UDP));
    if (!s.valid()) {
        s.fail();
    }
    return s;
}

bool Socket::setBlocking(bool blocking) {
    const int flags = ::fcntl(fd_, F_GETFL, 0);
    if (flags < 0) {
        return fail();
    }
    const int want = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd_, F_SETFL, want) == 0 || fail();
}

bool Socket::setReuseAddress(bool on) {
    const int v = on ? 1 : 0;
    return ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &v, sizeof v) == 0 || fail();
}

bool Socket::setNoDelay(bool on) {
    const int v = on ? 1 : 0;
    return ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) == 0 || fail();
}

bool Socket::setReceiveTimeout(std::chrono::milliseconds timeout) {
    receiveTimeout_ = timeout;  // kept for the record; Linux's SO_RCVTIMEO does the waiting
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    return ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 || fail();
}

bool Socket::setReceiveBuffer(int bytes) {
    return ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0 || fail();
}

bool Socket::bind(const std::string& address, std::uint16_t port) {
    sockaddr_in sa{};
    if (!toSockaddr(address == "0.0.0.0" ? std::string() : address, port, sa)) {
        lastError_ = 10049;
        return false;
    }
    return ::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 || fail();
}

bool Socket::listen(int backlog) {
    return ::listen(fd_, backlog < 0 ? SOMAXCONN : backlog) == 0 || fail();
}

Socket Socket::accept(Endpoint* peer) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int fd = -1;
    do {
        fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        fail();
        return {};
    }
    if (peer != nullptr) {
        *peer = fromSockaddr(sa);
    }
    return Socket(fd);
}

bool Socket::connect(const std::string& address, std::uint16_t port) {
    sockaddr_in sa{};
    if (!toSockaddr(address, port, sa)) {
        lastError_ = 10049;
        return false;
    }
    return ::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 || fail();
}

bool Socket::connect(const std::string& address, std::uint16_t port,
                     std::chrono::milliseconds timeout) {
    sockaddr_in sa{};
    if (!toSockaddr(address, port, sa)) {
        lastError_ = 10049;
        return false;
    }
    const int flags = ::fcntl(fd_, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) {
        return fail();
    }
    bool ok = ::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    if (!ok && errno != EINPROGRESS) {
        fail();
    } else if (!ok) {
        const int ready = waitFor(true, timeout);
        int error = 0;
        socklen_t len = sizeof error;
        if (ready == 0) {
            lastError_ = kTimedOut;
        } else if (ready > 0 && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
            fail();
        } else if (ready > 0 && error != 0) {
            lastError_ = socketErrorFromErrno(error);
        } else {
            ok = ready > 0;
        }
    }
    if (::fcntl(fd_, F_SETFL, flags) != 0 && ok) {
        return fail();
    }
    return ok;
}

long Socket::send(const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::send(fd_, p + done, size - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail();
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

long Socket::send(const void* data, std::size_t size, std::chrono::milliseconds timeout) {
    const auto* p = static_cast<const char*>(data);
    const Clock::time_point deadline = Clock::now() + timeout;
    std::size_t done = 0;
    while (done < size) {
        // One call never waits; the waiting is the poll's, with what is left of the time.
        const ssize_t n = ::send(fd_, p + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            fail();
            return -1;
        }
        const int ready = waitFor(true, lf_left(deadline));
        if (ready == 0) {
            lastError_ = kTimedOut;
        }
        if (ready <= 0) {
            return -1;
        }
    }
    return static_cast<long>(done);
}

long Socket::receive(void* data, std::size_t size) {
    ssize_t n = 0;
    do {
        n = ::recv(fd_, data, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            lastError_ = 10060;
        } else {
            fail();
        }
        return -1;
    }
    return static_cast<long>(n);
}

long Socket::receiveFrom(void* data, std::size_t size, Endpoint* from) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ssize_t n = 0;
    do {
        n = ::recvfrom(fd_, data, size, 0, reinterpret_cast<sockaddr*>(&sa), &len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            lastError_ = 10060;
        } else {
            fail();
        }
        return -1;
    }
    if (from != nullptr) {
        *from = fromSockaddr(sa);
    }
    return static_cast<long>(n);
}

long Socket::sendTo(const void* data, std::size_t size, const std::string& address,
                    std::uint16_t port) {
    sockaddr_in sa{};
    if (!toSockaddr(address, port, sa)) {
        lastError_ = 10049;
        return -1;
    }
    const ssize_t n =
        ::sendto(fd_, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (n < 0) {
        fail();
        return -1;
    }
    return static_cast<long>(n);
}

int Socket::waitFor(bool writable, std::chrono::milliseconds timeout) {
    pollfd p{fd_, static_cast<short>(writable ? POLLOUT : POLLIN), 0};
    const Clock::time_point deadline = Clock::now() + timeout;
    int r = 0;
    do {
        r = ::poll(&p, 1, static_cast<int>(lf_left(deadline).count()));
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        fail();
        return -1;
    }
    return r > 0 ? 1 : 0;
}

bool Socket::waitReadable(std::chrono::milliseconds timeout) {
    return waitFor(false, timeout) > 0;
}

bool Socket::waitWritable(std::chrono::milliseconds timeout) {
    return waitFor(true, timeout) > 0;
}

bool Socket::setResetOnClose() {
    const linger l{1, 0};
    return ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0 || fail();
}

void Socket::shutdown() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

void Socket::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::uint16_t Socket::localPort() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return 0;
    }
    return ntohs(sa.sin_port);
}

}  // namespace wnd::platform
