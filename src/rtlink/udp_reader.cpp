#include "rtlink/udp_reader.h"

#include <chrono>
#include <exception>
#include <stdexcept>

#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "util/log.h"
#include "util/wsa_errors.h"

namespace wnd {

namespace {

constexpr int kWsaInterrupted = 10004;
constexpr int kWsaWouldBlock = 10035;
constexpr int kWsaMessageTooLong = 10040;
constexpr int kWsaTimedOut = 10060;
constexpr int kRestartDelaySeconds = 15;

}  // namespace

UdpReader::UdpReader(std::string name, std::initializer_list<std::atomic<LinkState>*> displayStates)
    : name_(std::move(name)), displayStates_(displayStates), buffer_(kBufferSize) {}

UdpReader::~UdpReader() {
    // The derived destructor has joined the thread; a thread still here could only call
    // into a destroyed object.
    if (thread_.joinable()) {
        std::terminate();
    }
}

void UdpReader::start(std::uint16_t port, bool realTrafficLocal) {
    if (running_.load()) {
        gf_logWarning("{} runs already", name_);
        return;
    }
    join();
    boundPort_.store(0);
    running_.store(true);
    thread_ = std::thread([this, port, realTrafficLocal] { threadBody(port, realTrafficLocal); });
}

void UdpReader::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void UdpReader::setDisplayStates(LinkState state) {
    for (auto* s : displayStates_) {
        s->store(state);
    }
    gf_requestRepaint();
}

void UdpReader::handOn(std::string_view datagram, bool realTrafficLocal) {
    if (datagram.empty()) {
        return;
    }
    if (!realTrafficLocal) {
        // RealTraffic on another computer may deliver the same datagram twice.
        if (datagram == previous_) {
            return;
        }
        previous_.assign(datagram);
    }
    count_.fetch_add(1);
    onDatagram(datagram);
}

void UdpReader::receiveLoop(platform::Socket& socket, bool realTrafficLocal) {
    for (;;) {
        if (stop_.load()) {
            socket.shutdown();
            socket.close();
            onStopped();
            return;
        }
        const long n = socket.receiveFrom(buffer_.data(), buffer_.size(), nullptr);
        std::size_t size = n < 0 ? 0 : static_cast<std::size_t>(n);
        if (n < 0) {
            const int code = socket.lastError();
            if (code == kWsaInterrupted || code == kWsaWouldBlock || code == kWsaTimedOut ||
                stop_.load()) {
                continue;
            }
            // Windows reports a datagram longer than the buffer as an error of its own.
            if (code != kWsaMessageTooLong) {
                throw std::runtime_error(fmt::format("receive error: {}", gf_wsaErrorText(code)));
            }
            size = kBufferSize;
        }
        if (size >= kBufferSize) {
            // Linux cuts a longer datagram to the buffer, so it shows as a full one.
            if (!gf_runControl().ending() && overruns_.admit()) {
                gf_logLine("buffer overrun: {} bytes", size);
            }
            continue;
        }
        handOn(std::string_view(buffer_.data(), size), realTrafficLocal);
    }
}

void UdpReader::threadBody(std::uint16_t port, bool realTrafficLocal) {
    std::string error;
    bool failed = false;
    bool libraryStarted = false;
    platform::Socket socket;
    try {
        if (!platform::socketStartup()) {
            throw std::runtime_error(
                fmt::format("WSA startup error: {}", platform::lastSocketError()));
        }
        libraryStarted = true;
        socket = platform::Socket::create(platform::SocketType::Udp);
        if (!socket.valid()) {
            throw std::runtime_error(fmt::format("failed to create the socket, error: {}",
                                                 gf_wsaErrorText(socket.lastError())));
        }
        if (!socket.bind(realTrafficLocal ? "127.0.0.1" : "", port)) {
            throw std::runtime_error(fmt::format("bind to stream socket failed, error: {}",
                                                 gf_wsaErrorText(socket.lastError())));
        }
        boundPort_.store(socket.localPort());
        setDisplayStates(LinkState::Good);
        gf_logLine("{} connected", name_);
        if (!socket.setReceiveTimeout(std::chrono::milliseconds(1000))) {
            throw std::runtime_error(fmt::format("setsockopt(SO_RCVTIMEO) failed, error: {}",
                                                 gf_wsaErrorText(socket.lastError())));
        }
        receiveLoop(socket, realTrafficLocal);
    } catch (const std::exception& e) {
        failed = true;
        error = e.what();
    } catch (...) {
        failed = true;
        error = "Unknown exception";
    }
    try {
        socket.close();
        if (libraryStarted) {
            platform::socketCleanup();
        }
        overruns_.flush();
        setDisplayStates(LinkState::Hidden);
        gf_logLine("{} disconnected", name_);
        if (failed) {
            showStatus(fmt::format("The {} has stopped with error: {}", name_, error));
            gf_runControl().requestStop(ExitReason::ReaderError, kRestartDelaySeconds);
        }
    } catch (const std::exception& e) {
        gf_logWarning("{} exception: {}", name_, e.what());
        gf_runControl().requestStop(ExitReason::ReaderError, kRestartDelaySeconds);
    } catch (...) {
        gf_runControl().requestStop(ExitReason::ReaderError, kRestartDelaySeconds);
    }
    running_.store(false);
}

}  // namespace wnd
