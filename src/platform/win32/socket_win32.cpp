#include <winsock2.h>
// winsock2.h must come before windows.h, which would pull in the old winsock.h.
#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/platform.h"
#include "platform/socket.h"

namespace wnd::platform {

namespace {

// Not in every MinGW header set: stops an ICMP "port unreachable" for an earlier datagram
// from failing the next receive with WSAECONNRESET (Linux reports no such thing).
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

SOCKET sock(NativeSocket fd) {
    return static_cast<SOCKET>(fd);
}

bool toSockaddr(const std::string& address, std::uint16_t port, sockaddr_in& sa) {
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = ::htons(port);
    if (address.empty()) {
        sa.sin_addr.s_addr = ::htonl(INADDR_ANY);
        return true;
    }
    return ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) == 1;
}

Endpoint fromSockaddr(const sockaddr_in& sa) {
    char buf[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &sa.sin_addr, buf, sizeof buf);
    return {buf, ::ntohs(sa.sin_port)};
}

// Like O_CLOEXEC: a started child (the installer) must not keep our ports open.
void noInherit(SOCKET s) {
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

// Linux needs no start-up before the first socket; so that Windows need not either, the
// first socket starts Winsock once for the life of the process (socketStartup/Cleanup pairs
// of the callers then never take it down under another user's sockets).
void ensureWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

// select on one socket: 1 ready, 0 time-out, SOCKET_ERROR. A connect that failed shows in
// the exception set.
int selectOne(SOCKET s, bool writable, std::chrono::milliseconds timeout) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    const auto ms = std::max<std::chrono::milliseconds::rep>(timeout.count(), 0);
    timeval tv{};
    tv.tv_sec = static_cast<long>(ms / 1000);
    tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
    return writable ? ::select(0, nullptr, &set, &failed, &tv)
                    : ::select(0, &set, nullptr, nullptr, &tv);
}

int selectReadable(SOCKET s, std::chrono::milliseconds timeout) {
    return selectOne(s, false, timeout);
}

std::chrono::milliseconds lf_left(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

// Before a receive with a time-out: false (and the code in error) when nothing came in time.
bool readableInTime(SOCKET s, std::chrono::milliseconds timeout, int& error) {
    if (timeout.count() <= 0) {
        return true;
    }
    const int r = selectReadable(s, timeout);
    if (r > 0) {
        return true;
    }
    error = r == 0 ? WSAETIMEDOUT : ::WSAGetLastError();
    return false;
}

int chunk(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

}  // namespace

std::optional<std::string> resolveIPv4(const std::string& host) {
    ensureWinsock();
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

Socket::Socket(Socket&& other) noexcept
    : fd_(other.fd_), lastError_(other.lastError_), receiveTimeout_(other.receiveTimeout_) {
    other.fd_ = kInvalidSocket;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        lastError_ = other.lastError_;
        receiveTimeout_ = other.receiveTimeout_;
        other.fd_ = kInvalidSocket;
    }
    return *this;
}

bool Socket::fail() {
    lastError_ = ::WSAGetLastError();
    return false;
}

Socket Socket::create(SocketType type) {
    ensureWinsock();
    const bool tcp = type == SocketType::Tcp;
    const SOCKET s =
        ::socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, tcp ? IPPROTO_TCP : IPPROTO_UDP);
    Socket out(static_cast<NativeSocket>(s));
    if (s == INVALID_SOCKET) {
        out.fail();
        return out;
    }
    noInherit(s);
    if (!tcp) {
        BOOL report = FALSE;
        DWORD bytes = 0;
        ::WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &bytes, nullptr,
                   nullptr);
    }
    return out;
}

bool Socket::setBlocking(bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    // FIONBIO is an unsigned code; the call takes it as a long.
    return ::ioctlsocket(sock(fd_), static_cast<long>(FIONBIO), &nonBlocking) == 0 || fail();
}

bool Socket::setReuseAddress(bool on) {
    // On a TCP socket Windows' SO_REUSEADDR would let a second listener take a port in use
    // (Linux refuses that), and Windows needs no flag to rebind a port in TIME_WAIT; so only
    // datagram sockets, which share a port the same way on both systems, get it.
    int type = 0;
    int len = sizeof type;
    if (::getsockopt(sock(fd_), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &len) != 0) {
        return fail();
    }
    if (type == SOCK_STREAM) {
        return true;
    }
    const BOOL v = on ? TRUE : FALSE;
    return ::setsockopt(sock(fd_), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&v),
                        sizeof v) == 0 ||
           fail();
}

bool Socket::setNoDelay(bool on) {
    const BOOL v = on ? TRUE : FALSE;
    return ::setsockopt(sock(fd_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&v),
                        sizeof v) == 0 ||
           fail();
}

bool Socket::setReceiveTimeout(std::chrono::milliseconds timeout) {
    // Windows leaves a socket whose SO_RCVTIMEO ran out in an undefined state (and Wine can
    // lose a datagram arriving just then): the receive calls wait with select instead.
    if (fd_ == kInvalidSocket) {
        lastError_ = WSAENOTSOCK;
        return false;
    }
    receiveTimeout_ = std::max(timeout, std::chrono::milliseconds(0));
    return true;
}

bool Socket::setReceiveBuffer(int bytes) {
    return ::setsockopt(sock(fd_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                        sizeof bytes) == 0 ||
           fail();
}

bool Socket::bind(const std::string& address, std::uint16_t port) {
    sockaddr_in sa{};
    if (!toSockaddr(address == "0.0.0.0" ? std::string() : address, port, sa)) {
        lastError_ = WSAEADDRNOTAVAIL;
        return false;
    }
    return ::bind(sock(fd_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 || fail();
}

bool Socket::listen(int backlog) {
    return ::listen(sock(fd_), backlog < 0 ? SOMAXCONN : backlog) == 0 || fail();
}

Socket Socket::accept(Endpoint* peer) {
    sockaddr_in sa{};
    int len = sizeof sa;
    const SOCKET s = ::accept(sock(fd_), reinterpret_cast<sockaddr*>(&sa), &len);
    if (s == INVALID_SOCKET) {
        fail();
        return {};
    }
    noInherit(s);
    if (peer != nullptr) {
        *peer = fromSockaddr(sa);
    }
    return Socket(static_cast<NativeSocket>(s));
}

bool Socket::connect(const std::string& address, std::uint16_t port) {
    sockaddr_in sa{};
    if (!toSockaddr(address, port, sa)) {
        lastError_ = WSAEADDRNOTAVAIL;
        return false;
    }
    return ::connect(sock(fd_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 || fail();
}

bool Socket::connect(const std::string& address, std::uint16_t port,
                     std::chrono::milliseconds timeout) {
    sockaddr_in sa{};
    if (!toSockaddr(address, port, sa)) {
        lastError_ = WSAEADDRNOTAVAIL;
        return false;
    }
    if (!setBlocking(false)) {
        return false;
    }
    bool ok = ::connect(sock(fd_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    if (!ok && ::WSAGetLastError() != WSAEWOULDBLOCK) {
        fail();
    } else if (!ok) {
        const int ready = waitFor(true, timeout);
        int error = 0;
        int len = sizeof error;
        if (ready == 0) {
            lastError_ = WSAETIMEDOUT;
        } else if (ready > 0 && ::getsockopt(sock(fd_), SOL_SOCKET, SO_ERROR,
                                             reinterpret_cast<char*>(&error), &len) != 0) {
            fail();
        } else if (ready > 0 && error != 0) {
            lastError_ = error;
        } else {
            ok = ready > 0;
        }
    }
    if (!setBlocking(true) && ok) {
        return false;
    }
    return ok;
}

long Socket::send(const void* data, std::size_t size, std::chrono::milliseconds timeout) {
    // A blocking send waits until the peer has taken all of its bytes, even right after
    // select said the socket was writable, and Winsock has no per-call MSG_DONTWAIT: the
    // socket is non-blocking for the length of this call.
    if (!setBlocking(false)) {
        return -1;
    }
    const auto* p = static_cast<const char*>(data);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        const int n = ::send(sock(fd_), p + done, chunk(size - done), 0);
        if (n != SOCKET_ERROR) {
            done += static_cast<std::size_t>(n);
        } else if (::WSAGetLastError() != WSAEWOULDBLOCK) {
            ok = fail();
        } else {
            const int ready = waitFor(true, lf_left(deadline));
            if (ready == 0) {
                lastError_ = WSAETIMEDOUT;
            }
            ok = ready > 0;
        }
    }
    const int error = lastError_;
    if (!setBlocking(true) && ok) {
        return -1;
    }
    lastError_ = error;
    return ok ? static_cast<long>(done) : -1;
}

long Socket::send(const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const int n = ::send(sock(fd_), p + done, chunk(size - done), 0);
        if (n == SOCKET_ERROR) {
            fail();
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

long Socket::receive(void* data, std::size_t size) {
    if (!readableInTime(sock(fd_), receiveTimeout_, lastError_)) {
        return -1;
    }
    const int n = ::recv(sock(fd_), static_cast<char*>(data), chunk(size), 0);
    if (n == SOCKET_ERROR) {
        const int e = ::WSAGetLastError();
        // A non-blocking socket with nothing to read counts as a time-out, as on Linux.
        lastError_ = e == WSAEWOULDBLOCK ? WSAETIMEDOUT : e;
        return -1;
    }
    return n;
}

long Socket::receiveFrom(void* data, std::size_t size, Endpoint* from) {
    if (!readableInTime(sock(fd_), receiveTimeout_, lastError_)) {
        return -1;
    }
    sockaddr_in sa{};
    int len = sizeof sa;
    int n = ::recvfrom(sock(fd_), static_cast<char*>(data), chunk(size), 0,
                       reinterpret_cast<sockaddr*>(&sa), &len);
    if (n == SOCKET_ERROR) {
        const int e = ::WSAGetLastError();
        if (e != WSAEMSGSIZE) {
            lastError_ = e == WSAEWOULDBLOCK ? WSAETIMEDOUT : e;
            return -1;
        }
        // Linux hands over the start of a datagram too big for the buffer; so do we.
        n = chunk(size);
    }
    if (from != nullptr) {
        *from = fromSockaddr(sa);
    }
    return n;
}

long Socket::sendTo(const void* data, std::size_t size, const std::string& address,
                    std::uint16_t port) {
    sockaddr_in sa{};
    if (!toSockaddr(address, port, sa)) {
        lastError_ = WSAEADDRNOTAVAIL;
        return -1;
    }
    const int n = ::sendto(sock(fd_), static_cast<const char*>(data), chunk(size), 0,
                           reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (n == SOCKET_ERROR) {
        fail();
        return -1;
    }
    return n;
}

bool Socket::waitReadable(std::chrono::milliseconds timeout) {
    // select rather than WSAPoll, whose error reporting differs between Windows versions.
    const int r = selectReadable(sock(fd_), timeout);
    if (r == SOCKET_ERROR) {
        return fail();
    }
    return r > 0;
}

bool Socket::waitWritable(std::chrono::milliseconds timeout) {
    return waitFor(true, timeout) > 0;
}

int Socket::waitFor(bool writable, std::chrono::milliseconds timeout) {
    const int r = selectOne(sock(fd_), writable, timeout);
    if (r == SOCKET_ERROR) {
        fail();
        return -1;
    }
    return r > 0 ? 1 : 0;
}

bool Socket::setResetOnClose() {
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    return ::setsockopt(sock(fd_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l),
                        sizeof l) == 0 ||
           fail();
}

void Socket::shutdown() {
    if (fd_ == kInvalidSocket) {
        return;
    }
    ::shutdown(sock(fd_), SD_BOTH);
    // Unlike Linux, Windows does not wake a call already blocked on the socket for that (nor
    // for a listener or a datagram socket, which have nothing to shut down): cancel it.
    ::CancelIoEx(reinterpret_cast<HANDLE>(sock(fd_)), nullptr);
}

void Socket::close() {
    if (fd_ != kInvalidSocket) {
        ::closesocket(sock(fd_));
        fd_ = kInvalidSocket;
    }
}

std::uint16_t Socket::localPort() const {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (::getsockname(sock(fd_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return 0;
    }
    return ::ntohs(sa.sin_port);
}

}  // namespace wnd::platform
