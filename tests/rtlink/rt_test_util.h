// A traffic line to vary, for the RealTraffic link's tests and its fuzz target.
#pragma once

#include <array>
#include <string>

namespace wnd::rttest {

// A good airborne traffic line near Zurich, 30 fields, any of which a test may change.
class Line {
  public:
    Line& set(std::size_t i, std::string v) {
        f_.at(i) = std::move(v);
        return *this;
    }
    std::string str() const { return first(f_.size()); }
    // Only the first n fields.
    std::string first(std::size_t n) const {
        std::string out;
        for (std::size_t i = 0; i < n && i < f_.size(); ++i) {
            out += (i == 0 ? "" : ",") + f_[i];
        }
        return out;
    }

  private:
    std::array<std::string, 30> f_ = {
        "RTTFC", "4921528", "47.500000",     "8.600000",  "5000", "-700",
        "0",     "250.5",   "180.0",         "SWR123",    "A320", "HB-JLT",
        "LHR",   "ZRH",     "1700000000.50", "wendle-rt", "null", "adsb_icao",
        "5000",  "-1",      "200",           "-1",        "-1",   "-5.0",
        "-1",    "252.0",   "-700",          "none",      "A3",   "-1"};
};

}  // namespace wnd::rttest
