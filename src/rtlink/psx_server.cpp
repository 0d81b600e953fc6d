#include "rtlink/psx_server.h"

#include <chrono>
#include <cmath>
#include <exception>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>

#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "util/geodesy.h"
#include "util/log.h"
#include "util/program.h"
#include "util/time.h"
#include "util/wsa_errors.h"

namespace wnd {

namespace {

using namespace std::chrono_literals;

constexpr int kWsaTypeNotFound = 10109;  // what getaddrinfo gives for a bad service
constexpr int kWsaConnReset = 10054;
constexpr int kWsaTimedOut = 10060;
constexpr auto kAcceptPoll = 250ms;
// How long the handshake waits for the version answer before it goes on without one.
constexpr auto kVersionAnswerWait = 10s;

void lf_repaint() {
    gf_requestRepaint();
}

// Days from 1970-01-01 to 1 January of `year` in the proleptic Gregorian calendar.
std::int64_t lf_daysToJan1(std::int64_t year) {
    const std::int64_t y = year - 1;  // the year before, as March-based years count
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = 306;  // 1 January is day 306 of the March-based year
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool lf_portFromText(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    unsigned v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(v);
    return true;
}

}  // namespace

std::string gf_formatQs121(const RtUserAircraft& u) {
    return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{};{:.6f};{:.6f}\r\n",
                       u.pitchRad * 100000.0, u.bankRad * 100000.0, u.headingRad,
                       u.altitudeFt * 1000.0, u.groundSpeedKt * 1000.0, u.latDeg * kDeg2Rad,
                       u.lonDeg * kDeg2Rad);
}

std::int64_t gf_zuluMillis(const ZuluTime& zulu) {
    if (!std::isfinite(zulu.secondsOfDay)) {
        return 0;
    }
    const std::int64_t days = lf_daysToJan1(zulu.year) + zulu.dayOfYear - 1;
    const double millis = (static_cast<double>(days) * 86400.0 + zulu.secondsOfDay) * 1000.0;
    if (std::abs(millis) > 9.0e18) {
        return 0;  // no date the simulator can have
    }
    return std::llround(millis);
}

void lf_processRTVersion(std::string_view answer) {
    if (answer.empty()) {
        showStatus("No RealTraffic version received?");
        return;
    }
    try {
        const auto json = nlohmann::json::parse(answer);
        const auto& level = json.at("level");
        if (!level.is_number_integer()) {
            throw std::runtime_error("level is not an integer");
        }
        const auto version = json.at("version").get<std::string>();
        gf_board().setEditionText(fmt::format(
            "RT {} edition: {}", level.get<std::int64_t>() == 2 ? "prof" : "stnd", version));
    } catch (const std::exception& e) {
        gf_logLine("{}: JSON parse failed: {}", "lf_processRTVersion", e.what());
        gf_board().setEditionText({});
    }
    lf_repaint();
}

PsxServer::PsxServer(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

PsxServer::~PsxServer() {
    client_.close();
    listen_.close();
    if (libraryStarted_) {
        platform::socketCleanup();
    }
}

void PsxServer::start(const std::string& portText) {
    closeDown();
    if (!platform::socketStartup()) {
        throw std::runtime_error(
            fmt::format("WSAStartup failed with error {}", platform::lastSocketError()));
    }
    libraryStarted_ = true;
    const auto fail = [this](const std::string& message) {
        listen_.close();
        platform::socketCleanup();
        libraryStarted_ = false;
        throw std::runtime_error(message);
    };
    std::uint16_t port = 0;
    if (!lf_portFromText(portText, port)) {
        fail(fmt::format("getaddrinfo failed with error {}", kWsaTypeNotFound));
    }
    listen_ = platform::Socket::create(platform::SocketType::Tcp);
    if (!listen_.valid()) {
        fail("socket failed with error " + gf_wsaErrorText(listen_.lastError()));
    }
    if (!listen_.setBlocking(true)) {
        fail("ioctlsocket failed with error " + gf_wsaErrorText(listen_.lastError()));
    }
    if (!listen_.setReuseAddress(true)) {
        fail("setsockopt(SO_REUSEADDR) failed");
    }
    if (!listen_.bind("", port)) {
        fail(fmt::format("Bind failed at port {} with error {}", portText,
                         gf_wsaErrorText(listen_.lastError())));
    }
    if (!listen_.listen()) {
        fail("listen failed with error " + gf_wsaErrorText(listen_.lastError()));
    }
}

bool PsxServer::waitForClient() {
    if (connected_.load() || !listen_.valid()) {
        return false;
    }
    // The accept itself has no time-out; waiting for the listening socket in short steps
    // lets a stop or close (the window's close button) end the wait.
    for (;;) {
        if (gf_runControl().ending()) {
            return false;
        }
        const auto before = std::chrono::steady_clock::now();
        if (listen_.waitReadable(kAcceptPoll)) {
            break;
        }
        if (std::chrono::steady_clock::now() - before < kAcceptPoll / 2) {
            std::this_thread::sleep_for(kAcceptPoll);  // a failing wait must not spin
        }
    }
    platform::Socket client = listen_.accept();
    if (!client.valid()) {
        gf_logLine("waitForClient interrupted: {} accept failed with error {}", gf_utcClock(),
                   gf_wsaErrorText(listen_.lastError()));
        return false;
    }
    if (!client.setNoDelay(true)) {
        gf_logLine("waitForClient interrupted: {}",
                   fmt::format("{} setsockopt failed with error {}", gf_utcClock(),
                               gf_wsaErrorText(client.lastError())));
        return false;
    }
    client_ = std::move(client);
    connected_.store(true);
    return true;
}

void PsxServer::waitForRealTraffic() {
    showStatus(fmt::format("Waiting for RealTraffic to connect to {} ...", kProductTitle));
    gf_flushLog();
    if (callbacks_.resetReaderState) {
        callbacks_.resetReaderState();
    }
    if (waitForClient()) {
        std::string answer;
        if (sendText("Qs999=version\r\n")) {
            // A client that never answers must not hold up the start (or the close button).
            const auto end = std::chrono::steady_clock::now() + kVersionAnswerWait;
            while (!gf_runControl().ending() && std::chrono::steady_clock::now() < end) {
                if (client_.waitReadable(kAcceptPoll)) {
                    answer = receiveText();
                    break;
                }
            }
        }
        lf_processRTVersion(answer);
        gf_board().rtLink.store(connected_.load() ? LinkState::Good : LinkState::Off);
        lf_repaint();
        connectedThisRun_.store(true);
        gf_logLine("RealTraffic connected");
    }
    gf_board().clearStatus();
}

void PsxServer::sendPosition(const RtUserAircraft& user) {
    if (!listen_.valid()) {
        return;  // RealTraffic is not on this computer, or the link is not started
    }
    if (std::abs(user.latDeg) <= 0.0001 && std::abs(user.lonDeg) <= 0.0001) {
        return;
    }
    if (!connected_.load()) {
        if (gf_runControl().exitReason() != ExitReason::NotYetSet) {
            return;
        }
        if (waitForClient()) {
            gf_board().rtLink.store(LinkState::Good);
            lf_repaint();
            showStatus(fmt::format("{} RealTraffic re-connected", gf_utcClock()));
            gf_board().clearStatus();
        }
        return;
    }
    if (!sendText(gf_formatQs121(user))) {
        lostClient();
    }
}

void PsxServer::sendTime(const ZuluTime& zulu) {
    if (!connected_.load()) {
        return;
    }
    const std::int64_t millis = gf_zuluMillis(zulu);
    if (millis < 1000) {
        return;
    }
    if (!sendText(fmt::format("Qs123={}\r\n", millis))) {
        lostClient();
    }
}

void PsxServer::lostClient() {
    gf_board().rtLink.store(LinkState::Off);
    lf_repaint();
    if (!gf_runControl().closeRequested() && callbacks_.removeLiveTraffic) {
        callbacks_.removeLiveTraffic();
    }
    if (callbacks_.resetReaderState) {
        callbacks_.resetReaderState();
    }
    showStatus(
        fmt::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", gf_utcClock()));
}

bool PsxServer::sendText(std::string_view text) {
    if (!client_.valid()) {
        return false;
    }
    int error = 0;
    // RealTraffic sends nothing after its version answer, so a readable socket with
    // nothing to read is its orderly close. Looking first makes this send report it; the
    // system would accept one more send into the closed connection.
    if (client_.waitReadable(0ms)) {
        char scratch[4096];
        const long n = client_.receive(scratch, sizeof scratch);
        if (n == 0) {
            error = kWsaConnReset;
        } else if (n < 0 && client_.lastError() != kWsaTimedOut) {
            error = client_.lastError();
        }
    }
    if (error == 0 && client_.send(text.data(), text.size()) == static_cast<long>(text.size())) {
        return true;
    }
    if (error == 0) {
        error = client_.lastError();
    }
    const bool quiet = gf_runControl().ending();
    if (!quiet) {
        gf_logLine("sendDataPacket to RealTraffic failed: {}", gf_wsaErrorText(error));
    }
    closeClient();
    if (!quiet) {
        gf_logLine("RealTraffic client socket closed");
    }
    return false;
}

std::string PsxServer::receiveText() {
    if (!client_.valid()) {
        return {};
    }
    std::string buffer(kReceiveLimit, '\0');
    const long n = client_.receive(buffer.data(), buffer.size());
    if (n < 0) {
        if (!gf_runControl().ending()) {
            gf_logLine("receive: {}", gf_wsaErrorText(client_.lastError()));
        }
        return {};
    }
    const auto size = static_cast<std::size_t>(n);
    if (size >= kReceiveLimit) {
        gf_logLine("receive: buffer overrun: {}", size);
        return {};
    }
    buffer.resize(size);
    return buffer;
}

void PsxServer::closeClient() {
    connected_.store(false);
    client_.close();
}

void PsxServer::closeDown() {
    if (connected_.load()) {
        sendText("exit\r\n");
    }
    closeClient();
    listen_.close();
    if (libraryStarted_) {
        platform::socketCleanup();
        libraryStarted_ = false;
    }
}

}  // namespace wnd
