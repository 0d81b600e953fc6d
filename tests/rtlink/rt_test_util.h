// Helpers of the RealTraffic link tests: a captured log and traffic lines to vary.
#pragma once

#include <array>
#include <string>

#include "testkit/testkit.h"
#include "util/log.h"

namespace wnd::rttest {

// Opens Log.txt in a temporary folder for the test's lifetime.
class LogCapture {
  public:
    LogCapture() { gf_openLog(dir_ / "Log.txt"); }
    ~LogCapture() { gf_closeLog(); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::string text() const {
        gf_flushLog();
        return testkit::readFile(dir_ / "Log.txt");
    }
    bool contains(const std::string& s) const { return text().find(s) != std::string::npos; }

  private:
    testkit::TempDir dir_;
};

// A good airborne traffic line near Zurich, 30 fields, any of which a test may change.
class Line {
  public:
    Line() {
        f_ = {"RTTFC", "4921528", "47.500000",     "8.600000",  "5000", "-700",
              "0",     "250.5",   "180.0",         "SWR123",    "A320", "HB-JLT",
              "LHR",   "ZRH",     "1700000000.50", "wendle-rt", "null", "adsb_icao",
              "5000",  "-1",      "200",           "-1",        "-1",   "-5.0",
              "-1",    "252.0",   "-700",          "none",      "A3",   "-1"};
    }
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
    std::array<std::string, 30> f_;
};

}  // namespace wnd::rttest
