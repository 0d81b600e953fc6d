// One simulator frame that sends 500 position commands: the link's own work (a backend that
// does nothing), and the whole frame over loopback to the stand-in, encoding and sending
// included.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "sim/sim_link.h"
#include "simconnect/simconnect.h"
#include "simconnect/tcp_client.h"
#include "standins/sim/standin.h"

namespace {

using namespace std::chrono_literals;
using namespace wnd;

constexpr std::uint32_t kPositions = 500;

void lf_fill(SimLink& link, const std::vector<std::uint32_t>& oids, int round) {
    for (std::size_t i = 0; i < oids.size(); ++i) {
        PositionCommand p;
        p.objectId = oids[i];
        p.position.latitude = 47.4 + 0.0001 * static_cast<double>(i);
        p.position.longitude = 8.5 + 0.00001 * round;
        p.position.altitude = 3000.0;
        p.position.trueAirspeed = 180.0;
        link.queues().addPosition(p);
    }
    link.queues().swapPositionBuffers();
}

// Answers every call with success and does nothing.
class NullApi final : public SimConnectApi {
  public:
    HRESULT open(HANDLE*, const char*, HWND, DWORD, HANDLE, DWORD) override { return kScOk; }
    HRESULT close(HANDLE) override { return kScOk; }
    HRESULT callDispatch(HANDLE, DispatchProc, void*) override { return kScOk; }
    HRESULT addToDataDefinition(HANDLE, DWORD, const char*, const char*, SIMCONNECT_DATATYPE, float,
                                DWORD) override {
        return kScOk;
    }
    HRESULT subscribeToSystemEvent(HANDLE, DWORD, const char*) override { return kScOk; }
    HRESULT mapClientEventToSimEvent(HANDLE, DWORD, const char*) override { return kScOk; }
    HRESULT addClientEventToNotificationGroup(HANDLE, DWORD, DWORD, BOOL) override { return kScOk; }
    HRESULT setNotificationGroupPriority(HANDLE, DWORD, DWORD) override { return kScOk; }
    HRESULT requestDataOnSimObject(HANDLE, DWORD, DWORD, DWORD, SIMCONNECT_PERIOD, DWORD, DWORD,
                                   DWORD, DWORD) override {
        return kScOk;
    }
    HRESULT requestDataOnSimObjectType(HANDLE, DWORD, DWORD, DWORD,
                                       SIMCONNECT_SIMOBJECT_TYPE) override {
        return kScOk;
    }
    HRESULT setDataOnSimObject(HANDLE, DWORD, DWORD, DWORD, DWORD, DWORD, void* data) override {
        benchmark::DoNotOptimize(data);
        return kScOk;
    }
    HRESULT transmitClientEvent(HANDLE, DWORD, DWORD, DWORD, DWORD, DWORD) override {
        return kScOk;
    }
    HRESULT aiCreateNonATCAircraft(HANDLE, const char*, const char*, SIMCONNECT_DATA_INITPOSITION,
                                   DWORD) override {
        return kScOk;
    }
    HRESULT aiReleaseControl(HANDLE, DWORD, DWORD) override { return kScOk; }
    HRESULT aiRemoveObject(HANDLE, DWORD, DWORD) override { return kScOk; }
    HRESULT aiSetAircraftFlightPlan(HANDLE, DWORD, const char*, DWORD) override { return kScOk; }
    HRESULT getLastSentPacketID(HANDLE, DWORD* id) override {
        *id = 0;
        return kScOk;
    }
};

void BM_FrameOf500Positions_LinkOnly(benchmark::State& state) {
    NullApi api;
    gf_setSimConnectApi(&api);
    SimLink link;
    link.prepare(5);
    link.attachHandle(reinterpret_cast<HANDLE>(std::uintptr_t{1}));
    std::vector<std::uint32_t> oids;
    for (std::uint32_t i = 0; i < kPositions; ++i) {
        oids.push_back(100 + i);
    }
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        lf_fill(link, oids, ++round);
        state.ResumeTiming();
        link.sendFrame();
    }
    state.SetItemsProcessed(state.iterations() * kPositions);
    link.attachHandle(nullptr);
    gf_setSimConnectApi(nullptr);
}
BENCHMARK(BM_FrameOf500Positions_LinkOnly)->Unit(benchmark::kMicrosecond);

struct FrameContext {
    SimLink* link = nullptr;
    std::vector<DWORD> assigned;
    bool frameSent = false;
};

void lf_onMessage(SIMCONNECT_RECV* msg, DWORD, void* context) {
    auto* c = static_cast<FrameContext*>(context);
    if (msg->dwID == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID) {
        c->assigned.push_back(
            reinterpret_cast<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID*>(msg)->dwObjectID);
    } else if (msg->dwID == SIMCONNECT_RECV_ID_EVENT_FRAME && c->link != nullptr && !c->frameSent) {
        c->frameSent = c->link->sendFrame();
    }
}

// The frame as the SimClient thread runs it: the dispatch call in which the frame's 500
// SetDataOnSimObject calls are made and sent to the stand-in.
void BM_FrameOf500Positions_OverLoopback(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "wendle_sim_bench";
    std::filesystem::create_directories(dir);
    simstandin::Scenario sc;
    sc.frameRate = 200;
    sc.objectLimit = 1000;
    simstandin::SimStandIn sim(sc, {std::uint16_t{0}, std::nullopt, {}});
    sim.start();
    sim.waitListening(5s);
    std::ofstream(dir / "SimConnect.cfg")
        << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << sim.port() << "\n";
    gf_tcpSimConnect().setConfigFolder(dir);

    HANDLE h = nullptr;
    if (gf_scFailed(SimConnect_Open(&h, "Wendle_P3D", nullptr, 0, nullptr, 0))) {
        state.SkipWithError("no connection to the stand-in");
        return;
    }
    SimConnect_SubscribeToSystemEvent(h, 204, "Frame");
    SimConnect_AddToDataDefinition(h, 402, "Plane Latitude", "degree");
    SimConnect_AddToDataDefinition(h, 402, "Plane Longitude", "degree");
    SimConnect_AddToDataDefinition(h, 402, "Plane Pitch degrees", "radians");
    SimConnect_AddToDataDefinition(h, 402, "Plane Bank degrees", "radians");
    SimConnect_AddToDataDefinition(h, 402, "Plane Heading degrees true", "radians");
    SimConnect_AddToDataDefinition(h, 402, "Plane Altitude", "feet");
    SimConnect_AddToDataDefinition(h, 402, "Vertical Speed", "feet per second");
    SimConnect_AddToDataDefinition(h, 402, "Airspeed True", "knots");
    FrameContext ctx;
    // One more than needed: the stand-in's first AI object has id 2, which the link takes
    // for the user's (ids not above the user's are never moved).
    for (std::uint32_t i = 0; i <= kPositions; ++i) {
        SIMCONNECT_DATA_INITPOSITION p{47.4 + 0.0001 * i, 8.5, 3000, 0, 0, 90, 0, 0};
        SimConnect_AICreateNonATCAircraft(h, "Bench Livery", "BENCH", p, 104);
    }
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (ctx.assigned.size() <= kPositions && std::chrono::steady_clock::now() < deadline) {
        SimConnect_CallDispatch(h, &lf_onMessage, &ctx);
        std::this_thread::sleep_for(1ms);
    }
    if (ctx.assigned.size() <= kPositions) {
        state.SkipWithError("the stand-in did not create the objects");
        SimConnect_Close(h);
        return;
    }
    SimLink link;
    link.prepare(5);
    link.attachHandle(h);
    ctx.link = &link;
    std::vector<std::uint32_t> oids;
    for (DWORD oid : ctx.assigned) {
        if (oid > link.userObjectId() && oids.size() < kPositions) {
            oids.push_back(oid);
        }
    }
    const auto applied0 = sim.core().setDataApplied();
    int round = 0;
    for (auto _ : state) {
        lf_fill(link, oids, ++round);
        ctx.frameSent = false;
        double seconds = 0;
        while (!ctx.frameSent) {
            const auto t0 = std::chrono::steady_clock::now();
            SimConnect_CallDispatch(h, &lf_onMessage, &ctx);
            const auto t1 = std::chrono::steady_clock::now();
            if (ctx.frameSent) {
                seconds = std::chrono::duration<double>(t1 - t0).count();
            } else {
                std::this_thread::sleep_for(200us);
            }
        }
        state.SetIterationTime(seconds);
    }
    // Let the stand-in apply the last frames before counting.
    const auto expected = applied0 + static_cast<std::uint64_t>(state.iterations()) * kPositions;
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (sim.core().setDataApplied() < expected && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(10ms);
    }
    state.counters["applied_per_frame"] =
        benchmark::Counter(static_cast<double>(sim.core().setDataApplied() - applied0) /
                           static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * kPositions);
    link.attachHandle(nullptr);
    SimConnect_Close(h);
    sim.stop();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FrameOf500Positions_OverLoopback)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
