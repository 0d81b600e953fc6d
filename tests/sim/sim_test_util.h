// Shared by the simulator-link tests: a clean run frame with a log of its own, a recording
// SimConnect backend, hand-made messages for the dispatch, and a link on the in-process
// stand-in.
#pragma once

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/run_control.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "sim/flight_plan.h"
#include "sim/sim_link.h"
#include "simconnect/harness.h"
#include "simconnect/tcp_client.h"
#include "testkit/testkit.h"
#include "ui/display.h"
#include "util/log.h"
#include "util/user_error.h"

namespace wnd::simtest {

using namespace std::chrono_literals;

// Every test starts from a fresh run: run control, display, settings, database, own log.
class RunFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_runControl().reset();
        gf_display().reset();
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
    bool waitLog(const std::string& text, std::chrono::milliseconds t = 5s) {
        return testkit::waitUntil([&] { return logHas(text); }, t);
    }

    testkit::TempDir dir_;
};

// Forwards to the TCP transport and writes down what the link asked for, in order.
class RecordingApi final : public SimConnectApi {
  public:
    std::vector<std::string> calls() {
        std::lock_guard lock(mu_);
        return calls_;
    }

    HRESULT open(HANDLE* h, const char* name, HWND w, DWORD m, HANDLE e, DWORD idx) override {
        note(fmt::format("open {} {}", name, idx));
        return in().open(h, name, w, m, e, idx);
    }
    HRESULT close(HANDLE h) override { return in().close(h); }
    HRESULT callDispatch(HANDLE h, DispatchProc p, void* c) override {
        return in().callDispatch(h, p, c);
    }
    HRESULT addToDataDefinition(HANDLE h, DWORD def, const char* name, const char* units,
                                SIMCONNECT_DATATYPE type, float eps, DWORD datum) override {
        note(fmt::format("define {} {} {} {} {} {}", def, name, units != nullptr ? units : "-",
                         static_cast<DWORD>(type), static_cast<double>(eps), datum));
        return in().addToDataDefinition(h, def, name, units, type, eps, datum);
    }
    HRESULT subscribeToSystemEvent(HANDLE h, DWORD id, const char* name) override {
        note(fmt::format("subscribe {} {}", id, name));
        return in().subscribeToSystemEvent(h, id, name);
    }
    HRESULT mapClientEventToSimEvent(HANDLE h, DWORD id, const char* name) override {
        note(fmt::format("map {} {}", id, name));
        return in().mapClientEventToSimEvent(h, id, name);
    }
    HRESULT addClientEventToNotificationGroup(HANDLE h, DWORD g, DWORD id, BOOL m) override {
        note(fmt::format("group {} {} {}", g, id, m));
        return in().addClientEventToNotificationGroup(h, g, id, m);
    }
    HRESULT setNotificationGroupPriority(HANDLE h, DWORD g, DWORD p) override {
        note(fmt::format("priority {} {}", g, p));
        return in().setNotificationGroupPriority(h, g, p);
    }
    HRESULT requestDataOnSimObject(HANDLE h, DWORD r, DWORD d, DWORD o, SIMCONNECT_PERIOD p,
                                   DWORD f, DWORD org, DWORD i, DWORD l) override {
        note(fmt::format("request {} {} {} {}", r, d, o, static_cast<DWORD>(p)));
        return in().requestDataOnSimObject(h, r, d, o, p, f, org, i, l);
    }
    HRESULT requestDataOnSimObjectType(HANDLE h, DWORD r, DWORD d, DWORD radius,
                                       SIMCONNECT_SIMOBJECT_TYPE t) override {
        note(fmt::format("bytype {} {} {} {}", r, d, radius, static_cast<DWORD>(t)));
        return in().requestDataOnSimObjectType(h, r, d, radius, t);
    }
    HRESULT setDataOnSimObject(HANDLE h, DWORD d, DWORD o, DWORD f, DWORD n, DWORD size,
                               void* data) override {
        return in().setDataOnSimObject(h, d, o, f, n, size, data);
    }
    HRESULT transmitClientEvent(HANDLE h, DWORD o, DWORD e, DWORD d, DWORD g, DWORD f) override {
        note(fmt::format("transmit {} {} {} {} {}", o, e, d, g, f));
        return in().transmitClientEvent(h, o, e, d, g, f);
    }
    HRESULT aiCreateNonATCAircraft(HANDLE h, const char* title, const char* tail,
                                   SIMCONNECT_DATA_INITPOSITION p, DWORD r) override {
        note(fmt::format("create {} {} {}", title, tail, r));
        return in().aiCreateNonATCAircraft(h, title, tail, p, r);
    }
    HRESULT aiReleaseControl(HANDLE h, DWORD o, DWORD r) override {
        note(fmt::format("release {} {}", o, r));
        return in().aiReleaseControl(h, o, r);
    }
    HRESULT aiRemoveObject(HANDLE h, DWORD o, DWORD r) override {
        note(fmt::format("remove {} {}", o, r));
        return in().aiRemoveObject(h, o, r);
    }
    HRESULT aiSetAircraftFlightPlan(HANDLE h, DWORD o, const char* path, DWORD r) override {
        note(fmt::format("plan {} {}", o, r));
        return in().aiSetAircraftFlightPlan(h, o, path, r);
    }
    HRESULT getLastSentPacketID(HANDLE h, DWORD* id) override {
        return in().getLastSentPacketID(h, id);
    }

  private:
    static SimConnectApi& in() { return gf_tcpSimConnect(); }
    void note(std::string s) {
        std::lock_guard lock(mu_);
        calls_.push_back(std::move(s));
    }
    std::mutex mu_;
    std::vector<std::string> calls_;
};

// A message built by hand, 8-byte aligned and zero padded like the transport's.
struct Message {
    alignas(8) std::array<std::uint8_t, 1024> bytes{};
    DWORD size = 0;

    template <typename T>
    T& as() {
        return *reinterpret_cast<T*>(bytes.data());
    }
    SIMCONNECT_RECV* recv() { return &as<SIMCONNECT_RECV>(); }
    template <typename T>
    void put(std::size_t offset, const T& v) {
        std::memcpy(bytes.data() + offset, &v, sizeof v);
    }
};

inline Message objectData(DWORD recvId, DWORD requestId, DWORD objectId, std::size_t dataSize) {
    Message m;
    auto& d = m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>();
    d.dwID = recvId;
    d.dwRequestID = requestId;
    d.dwObjectID = objectId;
    m.size = static_cast<DWORD>(kSimObjectDataOffset + dataSize);
    d.dwSize = m.size;
    return m;
}

inline Message userPosition(double lat, double lon, DWORD objectId = 1) {
    Message m = objectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, simid::kReqUserPosition, objectId,
                           sizeof(UserAircraftData));
    UserAircraftData u;
    u.latitude = lat;
    u.longitude = lon;
    u.altitude = -20.0;
    u.zuluYear = 2024;
    u.zuluDayOfYear = 61;
    u.zuluTime = 37785;
    m.put(kSimObjectDataOffset, u);
    return m;
}

inline Message inRange(DWORD objectId, double agl, double groundAlt, bool onGround,
                       const std::string& atcId) {
    Message m =
        objectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, simid::kReqInRange, objectId, 56);
    m.put(kSimObjectDataOffset, agl);
    m.put(kSimObjectDataOffset + 8, groundAlt);
    m.put(kSimObjectDataOffset + 16, std::int64_t{onGround ? 1 : 0});
    std::memcpy(m.bytes.data() + kSimObjectDataOffset + 24, atcId.data(),
                std::min<std::size_t>(atcId.size(), 31));
    return m;
}

inline Message addRemove(DWORD eventId, DWORD objectId,
                         SIMCONNECT_SIMOBJECT_TYPE type = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) {
    Message m;
    auto& e = m.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
    e.dwID = SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE;
    e.uEventID = eventId;
    e.dwData = objectId;
    e.eObjType = type;
    m.size = sizeof e;
    e.dwSize = m.size;
    return m;
}

inline Message exceptionMsg(DWORD exception, DWORD sendId = 0, DWORD index = 0) {
    Message m;
    auto& e = m.as<SIMCONNECT_RECV_EXCEPTION>();
    e.dwID = SIMCONNECT_RECV_ID_EXCEPTION;
    e.dwException = exception;
    e.dwSendID = sendId;
    e.dwIndex = index;
    m.size = sizeof e;
    e.dwSize = m.size;
    return m;
}

inline void feed(SimLink& link, Message m) {
    link.dispatchForTest(m.recv(), m.size);
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

// A link of the test's own on the in-process stand-in (closed with the test).
class LinkOnStandIn : public RunFrame {
  protected:
    void start(simstandin::Scenario sc = {}, int p3dMajor = 5) {
        sim_ = std::make_unique<sctest::StandIn>(std::move(sc));
        sctest::writeCfg(dir_.path(), sim_->port());
        gf_tcpSimConnect().setConfigFolder(dir_.path());
        link_ = std::make_unique<SimLink>();
        link_->prepare(p3dMajor);
        link_->startClient();
    }
    void TearDown() override {
        if (link_) {
            link_->stopClient();
        }
        link_.reset();
        sim_.reset();
        RunFrame::TearDown();  // the transport is the backend again
    }
    bool waitRunning() {
        return testkit::waitUntil([&] { return link_->simulatorRunning(); }, 5s);
    }
    // Asks for the user position until it has come (the user object id is then known).
    bool waitUserPosition() {
        return testkit::waitUntil(
            [&] {
                const auto u = link_->requestUserPosition();
                return !gf_isNullPosition(u.latitude, u.longitude);
            },
            5s, 20ms);
    }
    std::vector<SimNotice> waitNotices(std::size_t n, std::chrono::milliseconds t = 5s) {
        std::vector<SimNotice> out;
        testkit::waitUntil(
            [&] {
                link_->takeNotices(out);
                return out.size() >= n;
            },
            t);
        return out;
    }
    // Trace lines of one kind, after the stand-in has written its latest samples.
    std::vector<nlohmann::json> trace(const std::string& ev) { return sim_->traceOf(ev); }

    RecordingApi api_;  // outlives the link; installed by the tests that read it
    std::unique_ptr<sctest::StandIn> sim_;
    std::unique_ptr<SimLink> link_;
};

}  // namespace wnd::simtest
