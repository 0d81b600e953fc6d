// The Traffic Reader: RealTraffic's traffic lines (UDP 49005) into TrafficRecords.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rtlink/link_hooks.h"
#include "rtlink/traffic_queue.h"
#include "rtlink/udp_reader.h"
#include "util/geodesy.h"
#include "util/log_throttle.h"
#include "util/mutex.h"

namespace wnd {

class TrafficReader final : public UdpReader {
  public:
    static constexpr std::uint16_t kDefaultPort = 49005;
    // Fields 0 to 28 are read; a shorter line is rejected before any field is looked at
    // ("too few fields: {n}"), so nothing beyond the line is ever read.
    static constexpr std::size_t kFieldsRead = 29;
    static constexpr double kDefaultRadiusNm = 40.0;
    // Engine cycles (10 ms) between a report's arrival and the cycle it is due at.
    static constexpr std::int32_t kDueDelayCycles = 3000;
    // The callsign set stops growing here (far more than any airspace holds).
    static constexpr std::size_t kMaxCallsigns = 4096;

    explicit TrafficReader(TrafficQueue& queue);
    ~TrafficReader() override { stopAndJoin(); }
    TrafficReader(const TrafficReader&) = delete;
    TrafficReader& operator=(const TrafficReader&) = delete;

    // Inputs from other threads.
    void setUserPosition(LatLon position);
    LatLon userPosition() const;
    // The park airport (position and elevation) of the ground rules; nothing when none.
    void setParkAirport(std::optional<ParkAirportRef> airport);
    // The traffic radius in nautical miles, set by the range setter.
    void setTrafficRadius(double nm);
    double trafficRadius() const;
    // The engine's cycle counter for the due cycle; set while the reader does not run.
    void setCycleSource(std::function<std::int32_t()> source);

    // Callsign collection for static parking: the callsigns of the traffic around.
    void setCallsignCollection(bool on) { collecting_.store(on); }
    bool callsignCollection() const { return collecting_.load(); }
    void clearCallsigns();
    std::set<std::string> callsigns() const;

    int qnh() const { return qnh_.load(); }
    void setQnh(int hpa) { qnh_.store(hpa); }
    // Seconds since 1970 of the last traffic line read; 0 while none has come.
    double lastTrafficTime() const { return lastTraffic_.load(); }
    // QNH 1013, no traffic time, no callsigns.
    void resetShared();

    // One traffic datagram: the " VEH" drop, the split into fields, processLineSub.
    // Never throws for any content of the datagram.
    void onDatagram(std::string_view datagram) override;
    // The checks and conversion of one line's fields. Returns true when a record was
    // queued; false when the line was dropped or the main cycle does not run. Raises
    // std::runtime_error for a bad field.
    bool processLineSub(std::span<const std::string_view> fields, std::string_view datagram);

  protected:
    void onStopped() override;

  private:
    struct Inputs {
        LatLon user;
        double radiusNm = kDefaultRadiusNm;
        std::optional<ParkAirportRef> park;
    };
    Inputs inputs() const;

    TrafficQueue& queue_;
    // Bad lines from the network are logged, but never so many that they flood the log.
    LogThrottle badLines_{"exception in processLineSub"};
    mutable Mutex inputsMu_;
    Inputs inputs_ GUARDED_BY(inputsMu_);
    std::atomic<bool> collecting_{false};
    mutable Mutex callsignsMu_;
    std::set<std::string> callsigns_ GUARDED_BY(callsignsMu_);
    std::atomic<int> qnh_{1013};
    std::atomic<double> lastTraffic_{0.0};
    // Set before the reader's thread starts, read only by it.
    std::function<std::int32_t()> cycleSource_;
    // Reused for every datagram by the reader's thread.
    std::vector<std::string_view> fields_;
};

}  // namespace wnd
