// Shared by the SimConnect tests: a client of our transport that keeps what it receives, an
// in-process stand-in on a free loopback port, and the registration the program makes.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "simconnect/simconnect.h"
#include "simconnect/standin/standin.h"
#include "simconnect/tcp_client.h"
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
    // The data of a SIMOBJECT_DATA message.
    const std::uint8_t* data() const {
        return reinterpret_cast<const std::uint8_t*>(words.data()) + kSimObjectDataOffset;
    }
    template <typename T>
    T at(std::size_t offset) const {
        T v;
        std::memcpy(&v, data() + offset, sizeof v);
        return v;
    }
};

inline void writeCfg(const std::filesystem::path& dir, std::uint16_t port) {
    testkit::writeFile(
        dir / "SimConnect.cfg",
        "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(port) + "\n");
}

class Client {
  public:
    explicit Client(std::uint16_t port, const char* name = "Wendle_P3D") {
        writeCfg(dir_.path(), port);
        gf_tcpSimConnect().setConfigFolder(dir_.path());
        openResult = SimConnect_Open(&h, name, nullptr, 0, nullptr, 0);
    }
    ~Client() {
        if (h != nullptr) {
            SimConnect_Close(h);
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool opened() const { return openResult == kScOk && h != nullptr; }

    HRESULT pump() {
        lastDispatch = SimConnect_CallDispatch(h, &Client::onMessage, this);
        return lastDispatch;
    }
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
    // Pumps for a while, keeping everything.
    void pumpFor(std::chrono::milliseconds d) {
        pumpUntil([] { return false; }, d);
    }

    const Msg* find(DWORD id, const std::function<bool(const Msg&)>& pred = {}) const {
        for (const Msg& m : msgs) {
            if (m.id() == id && (!pred || pred(m))) {
                return &m;
            }
        }
        return nullptr;
    }
    std::size_t count(DWORD id, const std::function<bool(const Msg&)>& pred = {}) const {
        std::size_t n = 0;
        for (const Msg& m : msgs) {
            n += (m.id() == id && (!pred || pred(m))) ? 1u : 0u;
        }
        return n;
    }
    // Waits for a message of that id (and predicate) and returns it; nullptr on time-out.
    const Msg* waitFor(DWORD id, const std::function<bool(const Msg&)>& pred = {},
                       std::chrono::milliseconds timeout = 5s) {
        pumpUntil([&] { return find(id, pred) != nullptr; }, timeout);
        return find(id, pred);
    }
    const Msg* waitException(DWORD exception, std::chrono::milliseconds timeout = 5s) {
        return waitFor(
            SIMCONNECT_RECV_ID_EXCEPTION,
            [&](const Msg& m) {
                return m.as<SIMCONNECT_RECV_EXCEPTION>().dwException == exception;
            },
            timeout);
    }
    std::vector<DWORD> exceptions() const {
        std::vector<DWORD> out;
        for (const Msg& m : msgs) {
            if (m.id() == SIMCONNECT_RECV_ID_EXCEPTION) {
                out.push_back(m.as<SIMCONNECT_RECV_EXCEPTION>().dwException);
            }
        }
        return out;
    }
    DWORD lastSendId() const {
        DWORD id = 0;
        SimConnect_GetLastSentPacketID(h, &id);
        return id;
    }

    HANDLE h = nullptr;
    HRESULT openResult = kScFail;
    HRESULT lastDispatch = kScOk;
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
    explicit StandIn(simstandin::Scenario sc = {}, bool autoStart = true)
        : trace_(dir_ / "trace.jsonl"),
          standin_(std::make_unique<simstandin::SimStandIn>(
              std::move(sc), simstandin::StandInOptions{std::uint16_t{0}, trace_, {}})) {
        if (autoStart) {
            standin_->start();
        }
    }
    simstandin::SimStandIn& operator*() { return *standin_; }
    simstandin::SimStandIn* operator->() { return standin_.get(); }
    std::uint16_t port() {
        standin_->waitListening(5s);
        return standin_->port();
    }
    simstandin::SimCore& core() { return standin_->core(); }
    const std::filesystem::path& dir() const { return dir_.path(); }
    // The trace's lines so far.
    std::vector<nlohmann::json> trace() const {
        std::vector<nlohmann::json> out;
        const std::string text = testkit::readFile(trace_);
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t eol = text.find('\n', pos);
            if (eol == std::string::npos) {
                break;
            }
            out.push_back(nlohmann::json::parse(text.substr(pos, eol - pos)));
            pos = eol + 1;
        }
        return out;
    }
    std::vector<nlohmann::json> traceOf(const std::string& ev) const {
        std::vector<nlohmann::json> out;
        for (auto& j : trace()) {
            if (j["ev"] == ev) {
                out.push_back(j);
            }
        }
        return out;
    }
    void stop() { standin_->stop(); }

  private:
    testkit::TempDir dir_;
    std::filesystem::path trace_;
    std::unique_ptr<simstandin::SimStandIn> standin_;
};

// The registration the program makes after each open, in its order.
inline void registerLikeTheProgram(HANDLE h) {
    const std::pair<DWORD, const char*> events[] = {
        {201, "Sim"},           {202, "ObjectAdded"},
        {203, "ObjectRemoved"}, {205, "PositionChanged"},
        {206, "FlightLoaded"},  {204, "Frame"}};
    for (const auto& [id, name] : events) {
        ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, id, name), kScOk);
    }
    struct Var {
        DWORD def;
        const char* name;
        const char* units;
        SIMCONNECT_DATATYPE type;
    };
    constexpr auto F64 = SIMCONNECT_DATATYPE_FLOAT64;
    constexpr auto I64 = SIMCONNECT_DATATYPE_INT64;
    const Var vars[] = {
        {401, "SPOILERS HANDLE POSITION", "percent", F64},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", F64},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", F64},
        {402, "Plane Latitude", "degree", F64},
        {402, "Plane Longitude", "degree", F64},
        {402, "Plane Pitch degrees", "radians", F64},
        {402, "Plane Bank degrees", "radians", F64},
        {402, "Plane Heading degrees true", "radians", F64},
        {402, "Plane Altitude", "feet", F64},
        {402, "Vertical Speed", "feet per second", F64},
        {402, "Airspeed True", "knots", F64},
        {403, "Plane Latitude", "degree", F64},
        {403, "Plane Longitude", "degree", F64},
        {403, "Plane Pitch degrees", "radians", F64},
        {403, "Plane Bank degrees", "radians", F64},
        {403, "Plane Heading degrees true", "radians", F64},
        {403, "Plane Altitude", "feet", F64},
        {403, "Plane Alt Above Ground", "feet", F64},
        {403, "Ground Velocity", "knots", F64},
        {403, "ZULU TIME", "Seconds", I64},
        {403, "ZULU DAY OF YEAR", "Number", I64},
        {403, "ZULU YEAR", "Number", I64},
        {403, "LIGHT STATES", "Mask", I64},
        {404, "Plane Alt Above Ground", "feet", F64},
        {404, "Ground Altitude", "feet", F64},
        {404, "SIM ON GROUND", "Bool", I64},
        {404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32},
        {405, "Static CG to Ground", "feet", F64},
        {405, "Static Pitch", "radians", F64},
        {406, "Light On States", "Mask", I64},
        {407, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV},
        {408, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32},
        {409, "SIM ON GROUND", "Bool", I64},
    };
    for (const Var& v : vars) {
        ASSERT_EQ(
            SimConnect_AddToDataDefinition(h, v.def, v.name, v.units, v.type, 0, SIMCONNECT_UNUSED),
            kScOk);
    }
    const std::pair<DWORD, const char*> clientEvents[] = {{220, "GEAR_SET"},
                                                          {221, "ENGINE_AUTO_START"},
                                                          {222, "ENGINE_AUTO_SHUTDOWN"},
                                                          {223, "THROTTLE_SET"},
                                                          {218, "FLAPS_SET"},
                                                          {219, "SPOILERS_SET"},
                                                          {208, "NAV_LIGHTS_SET"},
                                                          {207, "BEACON_LIGHTS_SET"},
                                                          {211, "LANDING_LIGHTS_SET"},
                                                          {209, "TAXI_LIGHTS_SET"},
                                                          {210, "STROBES_SET"},
                                                          {213, "LOGO_LIGHTS_SET"},
                                                          {212, "CABIN_LIGHTS_SET"},
                                                          {214, "ALL_LIGHTS_TOGGLE"},
                                                          {215, "FREEZE_LATITUDE_LONGITUDE_SET"},
                                                          {216, "FREEZE_ALTITUDE_SET"},
                                                          {217, "FREEZE_ATTITUDE_SET"}};
    for (const auto& [id, name] : clientEvents) {
        ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, id, name), kScOk);
    }
    const DWORD grouped[] = {208, 207, 211, 209, 210, 213, 212, 214,
                             218, 219, 220, 222, 223, 215, 216, 217};
    for (DWORD id : grouped) {
        ASSERT_EQ(SimConnect_AddClientEventToNotificationGroup(h, 301, id, 1), kScOk);
    }
    ASSERT_EQ(SimConnect_SetNotificationGroupPriority(h, 301, SIMCONNECT_GROUP_PRIORITY_HIGHEST),
              kScOk);
}

// Definition 402's layout: where the program puts an AI aircraft.
struct Position402 {
    double lat, lon, pitch, bank, heading, alt, vs, tas;
};
static_assert(sizeof(Position402) == 64);

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
