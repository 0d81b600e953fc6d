// Shared by the simulator-link tests: a clean run frame with a log of its own, a SimConnect
// backend that writes down its calls, the transport's configuration, creations and the wait
// for the user position.
#pragma once

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

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

// A backend without a simulator: every call succeeds (handle 1), is written down as text, and
// may be held up by `gate` (called with that text before the call returns).
class FakeApi final : public SimConnectApi {
  public:
    std::vector<std::string> calls() {
        std::lock_guard lock(mu_);
        return calls_;
    }
    std::function<void(const std::string&)> gate;

    HRESULT open(HANDLE* h, const char* name, HWND, DWORD, HANDLE, DWORD idx) override {
        *h = reinterpret_cast<HANDLE>(std::uintptr_t{1});
        return note("open", name, idx);
    }
    HRESULT close(HANDLE) override { return kScOk; }
    HRESULT callDispatch(HANDLE, DispatchProc, void*) override { return kScOk; }
    HRESULT addToDataDefinition(HANDLE, DWORD def, const char* name, const char* units,
                                SIMCONNECT_DATATYPE type, float eps, DWORD datum) override {
        return note("define", def, name, units != nullptr ? units : "-", static_cast<DWORD>(type),
                    static_cast<double>(eps), datum);
    }
    HRESULT subscribeToSystemEvent(HANDLE, DWORD id, const char* name) override {
        return note("subscribe", id, name);
    }
    HRESULT mapClientEventToSimEvent(HANDLE, DWORD id, const char* name) override {
        return note("map", id, name);
    }
    HRESULT addClientEventToNotificationGroup(HANDLE, DWORD g, DWORD id, BOOL m) override {
        return note("group", g, id, m);
    }
    HRESULT setNotificationGroupPriority(HANDLE, DWORD g, DWORD p) override {
        return note("priority", g, p);
    }
    HRESULT requestDataOnSimObject(HANDLE, DWORD r, DWORD d, DWORD o, SIMCONNECT_PERIOD p, DWORD,
                                   DWORD, DWORD, DWORD) override {
        return note("request", r, d, o, static_cast<DWORD>(p));
    }
    HRESULT requestDataOnSimObjectType(HANDLE, DWORD r, DWORD d, DWORD radius,
                                       SIMCONNECT_SIMOBJECT_TYPE t) override {
        return note("bytype", r, d, radius, static_cast<DWORD>(t));
    }
    HRESULT setDataOnSimObject(HANDLE, DWORD d, DWORD o, DWORD, DWORD, DWORD size, void*) override {
        return note("set", d, o, size);
    }
    HRESULT transmitClientEvent(HANDLE, DWORD o, DWORD e, DWORD d, DWORD g, DWORD) override {
        return note("event", o, e, d, g);
    }
    HRESULT aiCreateNonATCAircraft(HANDLE, const char* title, const char* tail,
                                   SIMCONNECT_DATA_INITPOSITION, DWORD r) override {
        return note("create", title, tail, r);
    }
    HRESULT aiReleaseControl(HANDLE, DWORD o, DWORD r) override { return note("release", o, r); }
    HRESULT aiRemoveObject(HANDLE, DWORD o, DWORD r) override { return note("remove", o, r); }
    HRESULT aiSetAircraftFlightPlan(HANDLE, DWORD o, const char*, DWORD r) override {
        return note("plan", o, r);
    }
    HRESULT getLastSentPacketID(HANDLE, DWORD* id) override {
        std::lock_guard lock(mu_);
        *id = static_cast<DWORD>(calls_.size());
        return kScOk;
    }

  private:
    // "what arg arg ...".
    template <typename... Args>
    HRESULT note(const char* what, const Args&... args) {
        std::string call = what;
        ((call += fmt::format(" {}", args)), ...);
        if (gate) {
            gate(call);
        }
        std::lock_guard lock(mu_);
        calls_.push_back(std::move(call));
        return kScOk;
    }
    std::mutex mu_;
    std::vector<std::string> calls_;
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
