// The QNH Reader: RealTraffic's weather datagrams (UDP 49004, JSON) into the QNH.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "rtlink/udp_reader.h"
#include "util/log_throttle.h"

namespace wnd {

class TrafficReader;

// What a weather datagram says about the QNH.
struct WeatherQnh {
    enum class Kind {
        Value,        // hpa holds the QNH in hPa, clamped to 900..1100
        NoQnh,        // no usable "QNH" member
        StringError,  // a text that is no decimal integer; error says why
    };
    Kind kind = Kind::NoQnh;
    int hpa = 0;
    std::string error;
};

// Parses the datagram as JSON and takes its "QNH": a number is rounded, a text is read
// as a decimal integer; values above 1100 are hundredths of an inch of mercury. Raises
// the JSON library's error when the datagram is no JSON.
WeatherQnh gf_parseWeatherQnh(std::string_view datagram);

class QnhReader final : public UdpReader {
  public:
    static constexpr std::uint16_t kDefaultPort = 49004;

    // peer gets every new QNH; currentQnh is the process-wide QNH.
    QnhReader(TrafficReader& peer, std::atomic<int>& currentQnh);
    ~QnhReader() override { stopAndJoin(); }
    QnhReader(const QnhReader&) = delete;
    QnhReader& operator=(const QnhReader&) = delete;

    int lastQnh() const { return last_.load(); }
    void resetShared() { last_.store(1013); }

    // Never throws for any content of the datagram.
    void onDatagram(std::string_view datagram) override;

  protected:
    void onStopped() override;

  private:
    TrafficReader& peer_;
    std::atomic<int>& currentQnh_;
    std::atomic<int> last_{1013};
    // Datagrams without a usable QNH are logged, but never so many that they flood the log.
    LogThrottle noQnh_{"no QNH"};
    LogThrottle parseErrors_{"QNH string parse error"};
    LogThrottle exceptions_{"Exception in the QNH Reader"};
};

}  // namespace wnd
