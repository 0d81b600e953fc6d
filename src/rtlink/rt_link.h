// The RealTraffic link of one process: the PSX-protocol server, the Traffic Reader and
// the QNH Reader, the traffic-record queue with the main-cycle-runs flag, and the
// current QNH. The entry points below are what the start of the traffic, the main cycle
// and closing down call; README.md says which duty calls which.
#pragma once

#include <atomic>
#include <cstdint>

#include "rtlink/link_hooks.h"
#include "rtlink/psx_server.h"
#include "rtlink/traffic_queue.h"
#include "rtlink/traffic_reader.h"
#include "rtlink/weather.h"
#include "util/mutex.h"

namespace wnd {

class RtLink {
  public:
    RtLink();
    RtLink(const RtLink&) = delete;
    RtLink& operator=(const RtLink&) = delete;

    // Set once before the traffic starts; later changes reach only later calls.
    void setHooks(LinkHooks hooks);
    LinkHooks hooks() const;
    // RealTraffic detected on this computer (start-up); read by the start of the traffic.
    void setRealTrafficLocal(bool local) { realTrafficLocal_.store(local); }
    bool realTrafficLocal() const { return realTrafficLocal_.load(); }

    TrafficQueue& queue() { return queue_; }
    TrafficReader& trafficReader() { return traffic_; }
    QnhReader& qnhReader() { return qnh_; }
    PsxServer& server() { return server_; }
    // The process-wide QNH in hPa.
    int currentQnh() const { return currentQnh_.load(); }

    // Start of the traffic, the link's steps in one call: server or UDP-only mode,
    // waiting for RealTraffic and the first Qs123, the QNH Reader, 2 s later the Traffic
    // Reader, the first Qs121, and up to 15 s of waiting for the first traffic line.
    // False when a stop or close came first. Server errors raise std::runtime_error.
    bool startTrafficLink();
    // The single steps, for callers that need them apart.
    void startServer();  // with PORT_NUMBER
    void setUdpOnlyMode();
    void waitForRealTraffic();
    void startQnhReader(std::uint16_t port = QnhReader::kDefaultPort);
    void startTrafficReader(std::uint16_t port = TrafficReader::kDefaultPort);
    // True when a traffic line came within 15 s; else logs "No traffic in this region?".
    bool waitForFirstTraffic();

    // Main cycle. The overloads without data take it from the hooks.
    void sendPosition();
    void sendPosition(const RtUserAircraft& user);
    void sendTime();
    void sendTime(const ZuluTime& zulu);
    // The user position (from the hooks) into the Traffic Reader, every 5 seconds.
    void copyUserPosition();
    // The reader liveness check of the main cycle.
    void livenessCheck();

    // Closing down, first the readers: main-cycle-runs cleared under the link lock, both readers'
    // stop flags set.
    void stopForClosingDown();
    // Closing down, then the sockets: "exit" to RealTraffic, both sockets closed, the readers'
    // threads joined (their stop flags end them within a second).
    void closeForClosingDown();

    // The readers' shared state back to the start (handshake and lost client).
    void resetReaderState();
    // Run reset: everything of the link back to the start of a run.
    void reset();

  private:
    mutable Mutex hooksMu_;
    LinkHooks hooks_ GUARDED_BY(hooksMu_);
    std::atomic<bool> realTrafficLocal_{false};
    std::atomic<int> currentQnh_{1013};
    TrafficQueue queue_;
    TrafficReader traffic_;
    QnhReader qnh_;
    PsxServer server_;
    // The liveness check's memory; used by the traffic worker only.
    std::uint32_t trafficSeen_ = 0;
    std::uint32_t weatherSeen_ = 0;
    bool trafficReceiving_ = false;
    bool weatherReceiving_ = false;
};

RtLink& gf_rtLink();

}  // namespace wnd
