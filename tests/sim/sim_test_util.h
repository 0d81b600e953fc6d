// Shared by the simulator-link tests: a clean run frame with a log of its own, the transport's
// configuration, creations and the wait for the user position.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "board/run_control.h"
#include "board/status_board.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "sim/flight_plan.h"
#include "sim/sim_link.h"
#include "simconnect/harness.h"
#include "simconnect/tcp_client.h"
#include "testkit/testkit.h"
#include "util/log.h"
#include "util/user_error.h"

namespace wnd::simtest {

using namespace std::chrono_literals;

// Every test starts from a fresh run: run control, display, settings, database, own log.
class RunFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_runControl().reset();
        gf_board().reset();
        gs().resetValues();
        gf_dbase().reset();
        gf_openLog(dir_ / "Log.txt");
    }
    void TearDown() override {
        gf_closeLog();
        gf_setSimConnectApi(nullptr);
    }
    std::string log() {
        gf_flushLog();
        return testkit::readFile(dir_ / "Log.txt");
    }
    bool logHas(const std::string& text) { return log().find(text) != std::string::npos; }
    bool waitLog(const std::string& text) {
        return testkit::waitUntil([&] { return logHas(text); }, 5s);
    }

    testkit::TempDir dir_;
};

inline void writeCfg(const std::filesystem::path& dir, std::uint16_t port) {
    testkit::writeFile(
        dir / "SimConnect.cfg",
        "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(port) + "\n");
}

inline CreateRequest creation(std::uint32_t aircraftId, const std::string& tail,
                              const std::string& title = "Wendle Test Livery", double lat = 47.46,
                              double lon = 8.55) {
    CreateRequest r;
    r.initPosition = sctest::initPosition(lat, lon, 1500, 90, false);
    r.tailNumber = tail;
    r.liveryTitle = title;
    r.aircraftId = aircraftId;
    return r;
}

// Asks for the user position until it has come (the user object id is then known).
inline bool waitUserPosition(SimLink& link) {
    return testkit::waitUntil(
        [&] {
            const auto u = link.requestUserPosition();
            return !gf_isNullPosition(u.latitude, u.longitude);
        },
        5s, 20ms);
}

}  // namespace wnd::simtest
