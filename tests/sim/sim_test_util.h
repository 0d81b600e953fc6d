// Shared by the simulator-link tests (and the link's e2e run): a SimConnect backend that writes
// down its calls, a clean run frame with a log and a link of its own, and creations.
#pragma once

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
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
#include "testkit/log_capture.h"
#include "util/user_error.h"

namespace wnd::simtest {

using namespace std::chrono_literals;

// A backend without a simulator: every call succeeds (handle 1); requests and AI calls are
// written down as text and may be held up by `gate` (called with that text before the call
// returns).
class FakeApi final : public SimConnectApi {
  public:
    std::vector<std::string> calls() {
        std::lock_guard lock(mu_);
        return calls_;
    }
    std::function<void(const std::string&)> gate;

    HRESULT open(HANDLE* h, const char*, HWND, DWORD, HANDLE, DWORD) override {
        *h = reinterpret_cast<HANDLE>(std::uintptr_t{1});
        return kScOk;
    }
    HRESULT close(HANDLE) override { return kScOk; }
    HRESULT callDispatch(HANDLE, DispatchProc, void*) override { return kScOk; }
    // The registration: the stand-in checks it (an exception for anything it does not know).
    HRESULT addToDataDefinition(HANDLE, DWORD, const char*, const char*, SIMCONNECT_DATATYPE, float,
                                DWORD) override {
        return kScOk;
    }
    HRESULT subscribeToSystemEvent(HANDLE, DWORD, const char*) override { return kScOk; }
    HRESULT mapClientEventToSimEvent(HANDLE, DWORD, const char*) override { return kScOk; }
    HRESULT addClientEventToNotificationGroup(HANDLE, DWORD, DWORD, BOOL) override { return kScOk; }
    HRESULT setNotificationGroupPriority(HANDLE, DWORD, DWORD) override { return kScOk; }
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

// Every test starts from a fresh run (run control, display, settings, database, a log) with
// a link of its own, prepared for Prepar3D v5.
class RunFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_runControl().reset();
        gf_board().reset();
        gs().resetValues();
        gf_dbase().reset();
        link_.prepare(5);
    }
    void TearDown() override {
        link_.stopClient();
        link_.attachHandle(nullptr);
        gf_setSimConnectApi(nullptr);  // the transport again
    }
    // The link on the fake backend, as if connected.
    FakeApi& useFakeApi() {
        gf_setSimConnectApi(&api_);
        link_.attachHandle(reinterpret_cast<HANDLE>(std::uintptr_t{1}));
        return api_;
    }
    std::string log() { return log_.text(); }
    bool logHas(const std::string& text) { return log_.contains(text); }
    bool waitLog(const std::string& text) {
        return testkit::waitUntil([&] { return logHas(text); }, 5s);
    }

    testkit::TempDir dir_;
    testkit::LogCapture log_;
    FakeApi api_;
    SimLink link_;
};

inline CreateRequest creation(std::uint32_t aircraftId, const std::string& tail,
                              const std::string& title = "Wendle Test Livery", double lat = 47.46,
                              double lon = 8.55) {
    return {SIMCONNECT_DATA_INITPOSITION{lat, lon, 1500, 0, 0, 90, 0, 0}, tail, title, aircraftId};
}

}  // namespace wnd::simtest
