// Shared by the SimConnect tests: a client of our transport that keeps what it receives, an
// in-process stand-in on a free loopback port, and the registration the program makes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "simconnect/sim_process.h"
#include "simconnect/simconnect.h"
#include "simconnect/tcp_client.h"
#include "standins/sim/standin.h"
#include "testkit/testkit.h"

namespace wnd::sctest {

using namespace std::chrono_literals;

// One received message, copied to aligned storage.
struct Msg {
    std::vector<std::uint64_t> words;
    DWORD size = 0;
    const SIMCONNECT_RECV& recv() const {
        return *reinterpret_cast<const SIMCONNECT_RECV*>(words.data());
    }
    DWORD id() const { return recv().dwID; }
    template <typename T>
    const T& as() const {
        return *reinterpret_cast<const T*>(words.data());
    }
};

using MsgPred = std::function<bool(const Msg&)>;

// Matches a system event with its data (ObjectAdded and ObjectRemoved carry the object id).
inline MsgPred isEvent(DWORD eventId, DWORD data) {
    return [=](const Msg& m) {
        const auto& e = m.as<SIMCONNECT_RECV_EVENT>();
        return e.uEventID == eventId && e.dwData == data;
    };
}
inline MsgPred isReplyTo(DWORD requestId) {
    return [=](const Msg& m) {
        return m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwRequestID == requestId;
    };
}

inline auto matching(DWORD id, const MsgPred& pred) {
    return [&pred, id](const Msg& m) { return m.id() == id && (!pred || pred(m)); };
}

class Client {
  public:
    explicit Client(std::uint16_t port) {
        writeSimConnectCfg(dir_.path(), port);
        gf_tcpSimConnect().setConfigFolder(dir_.path());
        openResult = SimConnect_Open(&h, "Wendle_P3D", nullptr, 0, nullptr, 0);
    }
    ~Client() {
        if (h != nullptr) {
            SimConnect_Close(h);
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool opened() const { return openResult == kScOk && h != nullptr; }

    HRESULT pump() { return SimConnect_CallDispatch(h, &Client::onMessage, this); }
    bool pumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 5s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            pump();
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    void pumpFor(std::chrono::milliseconds d) {
        pumpUntil([] { return false; }, d);
    }

    const Msg* find(DWORD id, const MsgPred& pred = {}) const {
        const auto it = std::ranges::find_if(msgs, matching(id, pred));
        return it == msgs.end() ? nullptr : &*it;
    }
    std::size_t count(DWORD id, const MsgPred& pred = {}) const {
        return static_cast<std::size_t>(std::ranges::count_if(msgs, matching(id, pred)));
    }
    // Waits for a message of that id (and predicate) and returns it; nullptr on time-out.
    const Msg* waitFor(DWORD id, const MsgPred& pred = {}, std::chrono::milliseconds timeout = 5s) {
        pumpUntil([&] { return find(id, pred) != nullptr; }, timeout);
        return find(id, pred);
    }
    const Msg* waitException(DWORD exception) {
        return waitFor(SIMCONNECT_RECV_ID_EXCEPTION, [&](const Msg& m) {
            return m.as<SIMCONNECT_RECV_EXCEPTION>().dwException == exception;
        });
    }
    DWORD lastSendId() const {
        DWORD id = 0;
        SimConnect_GetLastSentPacketID(h, &id);
        return id;
    }

    HANDLE h = nullptr;
    HRESULT openResult = kScFail;
    std::vector<Msg> msgs;

  private:
    static void onMessage(SIMCONNECT_RECV* data, DWORD size, void* context) {
        auto* self = static_cast<Client*>(context);
        Msg m;
        m.size = size;
        m.words.assign((size + 7) / 8 + 1, 0);
        std::memcpy(m.words.data(), data, size);
        self->msgs.push_back(std::move(m));
    }

    testkit::TempDir dir_;
};

// The stand-in in this process, on a free port, with a trace in a temporary folder.
class StandIn {
  public:
    explicit StandIn(simstandin::Scenario sc = {})
        : standin_(std::move(sc),
                   simstandin::StandInOptions{std::uint16_t{0}, dir_ / "trace.jsonl", {}}) {
        standin_.start();
    }
    simstandin::SimStandIn* operator->() { return &standin_; }
    std::uint16_t port() {
        standin_.waitListening(5s);
        return standin_.port();
    }
    simstandin::SimCore& core() { return standin_.core(); }
    const std::filesystem::path& dir() const { return dir_.path(); }
    // The trace's lines of that event so far.
    std::vector<nlohmann::json> traceOf(const std::string& ev) const {
        return traceLines(testkit::readFile(dir_ / "trace.jsonl"), ev);
    }

  private:
    testkit::TempDir dir_;
    simstandin::SimStandIn standin_;
};

// The part of the program's registration the stand-in tests use: its system events and the
// on-ground definition. The link's whole registration meets wendle-sim in tests/e2e.
inline void registerLikeTheProgram(HANDLE h) {
    const std::pair<DWORD, const char*> events[] = {
        {201, "Sim"}, {202, "ObjectAdded"}, {203, "ObjectRemoved"}, {204, "Frame"}};
    for (const auto& [id, name] : events) {
        ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, id, name), kScOk);
    }
    ASSERT_EQ(
        SimConnect_AddToDataDefinition(h, 409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64),
        kScOk);
}

inline SIMCONNECT_DATA_INITPOSITION initPosition(double lat, double lon, double altFt,
                                                 double hdgDeg, bool onGround, DWORD airspeed = 0) {
    SIMCONNECT_DATA_INITPOSITION p{};
    p.Latitude = lat;
    p.Longitude = lon;
    p.Altitude = altFt;
    p.Heading = hdgDeg;
    p.OnGround = onGround ? 1 : 0;
    p.Airspeed = airspeed;
    return p;
}

}  // namespace wnd::sctest
