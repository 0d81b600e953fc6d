#include "rtlink/weather.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <nlohmann/json.hpp>

#include "board/status_board.h"
#include "rtlink/traffic_reader.h"
#include "util/log.h"

namespace wnd {

namespace {

constexpr double kHpaPerHundredthInHg = 0.33865307;
constexpr double kMinQnh = 900.0;
constexpr double kMaxQnh = 1100.0;

// A decimal integer as a text: optional blanks, an optional sign, digits; what follows
// the digits is ignored. Empty on success, else why it failed.
std::string lf_readDecimalInteger(const std::string& text, long long& value) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (v > 1'000'000'000'000LL) {
            return "out of range";
        }
        v = v * 10 + (text[i] - '0');
    }
    if (i == digitsStart) {
        return "not a decimal integer";
    }
    value = negative ? -v : v;
    return {};
}

int lf_toHpa(double value) {
    value = std::round(value);
    if (value > kMaxQnh) {
        value = std::round(value * kHpaPerHundredthInHg);
    }
    value = std::clamp(value, kMinQnh, kMaxQnh);
    return static_cast<int>(value);
}

}  // namespace

WeatherQnh gf_parseWeatherQnh(std::string_view datagram) {
    const auto json = nlohmann::json::parse(datagram);
    WeatherQnh result;
    if (!json.is_object()) {
        return result;
    }
    const auto it = json.find("QNH");
    if (it == json.end()) {
        return result;
    }
    if (it->is_number()) {
        result.kind = WeatherQnh::Kind::Value;
        result.hpa = lf_toHpa(it->get<double>());
    } else if (it->is_string()) {
        long long v = 0;
        result.error = lf_readDecimalInteger(it->get<std::string>(), v);
        if (!result.error.empty()) {
            result.kind = WeatherQnh::Kind::StringError;
            return result;
        }
        result.kind = WeatherQnh::Kind::Value;
        result.hpa = lf_toHpa(static_cast<double>(v));
    }
    return result;
}

QnhReader::QnhReader(TrafficReader& peer, std::atomic<int>& currentQnh)
    : UdpReader("QNH Reader", {&gf_board().weatherReader}), peer_(peer), currentQnh_(currentQnh) {}

void QnhReader::onStopped() {
    noQnh_.flush();
    parseErrors_.flush();
    exceptions_.flush();
    gf_logLine("QNH Reader has stopped");
}

void QnhReader::onDatagram(std::string_view datagram) {
    try {
        const WeatherQnh q = gf_parseWeatherQnh(datagram);
        switch (q.kind) {
            case WeatherQnh::Kind::NoQnh:
                if (noQnh_.admit()) {
                    gf_logLine("no QNH {}", datagram);
                }
                return;
            case WeatherQnh::Kind::StringError:
                if (parseErrors_.admit()) {
                    gf_logWarning("QNH string parse error: {} in {}", q.error, datagram);
                }
                return;
            case WeatherQnh::Kind::Value:
                break;
        }
        if (q.hpa == last_.load() && q.hpa != 1013) {
            return;
        }
        last_.store(q.hpa);
        peer_.setQnh(q.hpa);
        currentQnh_.store(q.hpa);
        gf_board().qnh.store(q.hpa);
        LinkState receiving = LinkState::Waiting;
        gf_board().weatherReader.compare_exchange_strong(receiving, LinkState::Good);
        gf_requestRepaint();
    } catch (const std::exception& e) {
        try {
            if (exceptions_.admit()) {
                gf_logLine("Exception {}, in {}", e.what(), datagram);
            }
        } catch (...) {
        }
    } catch (...) {
        try {
            if (exceptions_.admit()) {
                gf_logLine("Exception {}, in {}", "Unknown exception", datagram);
            }
        } catch (...) {
        }
    }
}

}  // namespace wnd
