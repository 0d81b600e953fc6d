// A thin, portable wrapper around the system's sockets: one call per system call, so
// callers can report each step's failure with its own text. Errors are Windows socket
// codes (see gf_wsaErrorText) on every system.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace wnd::platform {

enum class SocketType { Tcp, Udp };

// The system's socket handle: a file descriptor, or a Windows SOCKET (pointer-sized).
#ifdef _WIN32
using NativeSocket = std::uintptr_t;
#else
using NativeSocket = int;
#endif
inline constexpr NativeSocket kInvalidSocket = static_cast<NativeSocket>(-1);

struct Endpoint {
    std::string address;  // dotted IPv4
    std::uint16_t port = 0;
    bool operator==(const Endpoint&) const = default;
};

// An IPv4 address for a host name or dotted text; nothing when it does not resolve.
std::optional<std::string> resolveIPv4(const std::string& host);

class Socket {
  public:
    Socket() = default;
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Each of these returns false (or an invalid socket, or a negative count) on failure;
    // lastError() then holds the Windows socket code.
    static Socket create(SocketType type);
    bool valid() const { return fd_ != kInvalidSocket; }
    bool setBlocking(bool blocking);
    bool setReuseAddress(bool on);
    bool setNoDelay(bool on);
    bool setReceiveTimeout(std::chrono::milliseconds timeout);
    bool setReceiveBuffer(int bytes);
    // address "" or "0.0.0.0" binds all interfaces.
    bool bind(const std::string& address, std::uint16_t port);
    bool listen(int backlog = -1);  // -1: the system's largest
    Socket accept(Endpoint* peer = nullptr);
    bool connect(const std::string& address, std::uint16_t port);
    // Gives up after the time-out (code 10060); the socket stays blocking.
    bool connect(const std::string& address, std::uint16_t port, std::chrono::milliseconds timeout);
    // Bytes moved, 0 for an orderly close (receive), -1 on error (a time-out gives -1
    // with the code 10060), never a partial send on a blocking socket.
    long send(const void* data, std::size_t size);
    // All of it, or -1 once the peer has taken nothing more for the time-out (code 10060)
    // or on error; some of the bytes may have gone then, so the stream is unusable.
    long send(const void* data, std::size_t size, std::chrono::milliseconds timeout);
    long receive(void* data, std::size_t size);
    long receiveFrom(void* data, std::size_t size, Endpoint* from);
    long sendTo(const void* data, std::size_t size, const std::string& address, std::uint16_t port);
    // Waits until data can be read (or written); false on time-out or error.
    bool waitReadable(std::chrono::milliseconds timeout);
    bool waitWritable(std::chrono::milliseconds timeout);
    // Closing then resets the connection (the peer's calls fail) instead of ending it in
    // order (the peer reads an end of stream).
    bool setResetOnClose();
    // Wakes a thread blocked in accept, receive or send on this socket.
    void shutdown();
    void close();
    std::uint16_t localPort() const;
    int lastError() const { return lastError_; }

  private:
    explicit Socket(NativeSocket fd) : fd_(fd) {}
    bool fail();
    // 1 ready, 0 time-out, -1 error (lastError set).
    int waitFor(bool writable, std::chrono::milliseconds timeout);
    NativeSocket fd_ = kInvalidSocket;
    int lastError_ = 0;
    // On Windows the receive calls wait for it themselves: a socket whose SO_RCVTIMEO ran out
    // is left in an undefined state there.
    std::chrono::milliseconds receiveTimeout_{0};
};

}  // namespace wnd::platform
