// Packets encoded and decoded per second, and one simulator frame's worth of position
// updates (500 SetDataOnSimObject) sent by our client and applied by the stand-in.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "simconnect/simconnect.h"
#include "simconnect/tcp_client.h"
#include "simconnect/wire.h"
#include "standins/sim/standin.h"

namespace {

using namespace std::chrono_literals;
using namespace wnd;

struct Position {
    double lat, lon, pitch, bank, heading, alt, vs, tas;
};

void BM_EncodeSetData(benchmark::State& state) {
    scwire::PacketWriter w;
    Position p{47.5, 8.5, 0.01, -0.02, 1.5, 3500.25, -12.5, 180};
    std::uint32_t id = 0;
    for (auto _ : state) {
        w.clear();
        scwire::gf_encodeSetDataOnSimObject(w, 402, 5, 0, 0, sizeof p, &p);
        w.endClient(++id);
        benchmark::DoNotOptimize(w.buffer().data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeSetData);

void BM_EncodeCreate(benchmark::State& state) {
    scwire::PacketWriter w;
    SIMCONNECT_DATA_INITPOSITION p{47.45, 8.56, 1421, 0, 0, 280, 1, 0};
    std::uint32_t id = 0;
    for (auto _ : state) {
        w.clear();
        scwire::gf_encodeAICreateNonATCAircraft(w, "Boeing 737-800 Paint1", "N12345", p, 104);
        w.endClient(++id);
        benchmark::DoNotOptimize(w.buffer().data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeCreate);

// The client's side: a 64 KiB read of by-type replies cut into messages.
void BM_DecodeServerStream(benchmark::State& state) {
    scwire::PacketWriter w;
    std::size_t messages = 0;
    while (w.size() < 64 * 1024) {
        scwire::ObjectDataHeader h;
        h.recvId = SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE;
        h.requestId = 101;
        h.objectId = static_cast<DWORD>(messages + 2);
        h.defineId = 404;
        h.defineCount = 4;
        scwire::gf_beginRecvObjectData(w, h, 4);
        w.f64(5.0);
        w.f64(1416.0);
        w.u64(1);
        w.fixedString("SWR123", 32);
        w.endServer();
        ++messages;
    }
    const auto stream = w.buffer();
    scwire::Framer framer(scwire::kServerHeaderSize);
    for (auto _ : state) {
        framer.feed(stream.data(), stream.size());
        std::span<const std::uint8_t> p;
        std::size_t n = 0;
        while (framer.next(p) == scwire::Framer::Status::Packet) {
            n += p.size() >= scwire::gf_minRecvSize(scwire::gf_readU32(p.data() + 8)) ? 1u : 0u;
        }
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(messages));
}
BENCHMARK(BM_DecodeServerStream);

// The stand-in's side without sockets: a SetDataOnSimObject packet decoded and applied.
void BM_StandInAppliesSetData(benchmark::State& state) {
    class NullOutbox : public simstandin::Outbox {
        void post(std::span<const std::uint8_t>) override {}
        void closeAfterFlush() override {}
        void drop() override {}
    };
    simstandin::SimCore core(simstandin::Scenario{}, nullptr);
    const auto client = core.connect(std::make_shared<NullOutbox>());
    scwire::PacketWriter w;
    scwire::gf_encodeOpen(w, "bench");
    w.endClient(1);
    core.handlePacket(client, w.buffer());
    const char* vars[8][2] = {{"Plane Latitude", "degree"},
                              {"Plane Longitude", "degree"},
                              {"Plane Pitch degrees", "radians"},
                              {"Plane Bank degrees", "radians"},
                              {"Plane Heading degrees true", "radians"},
                              {"Plane Altitude", "feet"},
                              {"Vertical Speed", "feet per second"},
                              {"Airspeed True", "knots"}};
    for (auto& v : vars) {
        w.clear();
        scwire::gf_encodeAddToDataDefinition(w, 402, v[0], v[1], SIMCONNECT_DATATYPE_FLOAT64, 0,
                                             SIMCONNECT_UNUSED);
        w.endClient(2);
        core.handlePacket(client, w.buffer());
    }
    w.clear();
    scwire::gf_encodeAICreateNonATCAircraft(w, "T", "N1", {47, 8, 0, 0, 0, 0, 1, 0}, 104);
    w.endClient(3);
    core.handlePacket(client, w.buffer());
    Position p{47.5, 8.5, 0.01, -0.02, 1.5, 3500.25, -12.5, 180};
    w.clear();
    scwire::gf_encodeSetDataOnSimObject(w, 402, simstandin::kFirstAiObjectId, 0, 0, sizeof p, &p);
    w.endClient(4);
    const auto packet = w.buffer();
    for (auto _ : state) {
        core.handlePacket(client, packet);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StandInAppliesSetData);

// One frame of the program: on the stand-in's frame event, the dispatch procedure sends 500
// position updates through our client over loopback; timed from the frame's arrival until the
// stand-in has applied the last one.
struct FrameContext {
    HANDLE h = nullptr;
    std::vector<DWORD> ids;
    Position p{47.5, 8.5, 0.01, -0.02, 1.5, 3500.25, -12.5, 180};
    bool armed = false;
    bool sent = false;
    std::chrono::steady_clock::time_point start;
};

void onFrame(SIMCONNECT_RECV* msg, DWORD, void* context) {
    auto* ctx = static_cast<FrameContext*>(context);
    if (msg->dwID != SIMCONNECT_RECV_ID_EVENT_FRAME || !ctx->armed) {
        return;
    }
    ctx->armed = false;
    ctx->start = std::chrono::steady_clock::now();
    for (DWORD id : ctx->ids) {
        ctx->p.lat += 1e-7;
        SimConnect_SetDataOnSimObject(ctx->h, 402, id, 0, 0, sizeof ctx->p, &ctx->p);
    }
    ctx->sent = true;
}

void BM_FrameOf500SetData(benchmark::State& state) {
    constexpr std::size_t kAircraft = 500;
    const auto folder = std::filesystem::temp_directory_path() / "wendle-simconnect-bench";
    std::filesystem::create_directories(folder);
    simstandin::Scenario sc;
    sc.frameRate = 60;
    simstandin::SimStandIn sim(sc, {std::uint16_t{0}, std::nullopt, {}});
    sim.start();
    sim.waitListening(5s);
    std::ofstream(folder / "SimConnect.cfg")
        << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << sim.port() << "\n";
    gf_tcpSimConnect().setConfigFolder(folder);
    FrameContext ctx;
    if (SimConnect_Open(&ctx.h, "bench", nullptr, 0, nullptr, 0) != kScOk) {
        state.SkipWithError("cannot connect to the stand-in");
        return;
    }
    const char* vars[8][2] = {{"Plane Latitude", "degree"},
                              {"Plane Longitude", "degree"},
                              {"Plane Pitch degrees", "radians"},
                              {"Plane Bank degrees", "radians"},
                              {"Plane Heading degrees true", "radians"},
                              {"Plane Altitude", "feet"},
                              {"Vertical Speed", "feet per second"},
                              {"Airspeed True", "knots"}};
    for (auto& v : vars) {
        SimConnect_AddToDataDefinition(ctx.h, 402, v[0], v[1]);
    }
    SimConnect_SubscribeToSystemEvent(ctx.h, 1, "Frame");
    for (std::size_t i = 0; i < kAircraft; ++i) {
        SimConnect_AICreateNonATCAircraft(
            ctx.h, "Bench Airliner", "N1",
            {47.0 + static_cast<double>(i) * 1e-3, 8.0, 0, 0, 0, 0, 1, 0}, 104);
    }
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (sim.core().aiObjects().size() < kAircraft && std::chrono::steady_clock::now() < until) {
        SimConnect_CallDispatch(ctx.h, onFrame, &ctx);
        std::this_thread::sleep_for(1ms);
    }
    for (const auto& o : sim.core().aiObjects()) {
        ctx.ids.push_back(o.id);
    }
    for (auto _ : state) {
        const auto target = sim.core().setDataApplied() + ctx.ids.size();
        ctx.armed = true;
        ctx.sent = false;
        while (!ctx.sent) {
            SimConnect_CallDispatch(ctx.h, onFrame, &ctx);
            std::this_thread::sleep_for(100us);
        }
        while (sim.core().setDataApplied() < target) {
            // spin: the time until the stand-in has applied them all is what counts
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - ctx.start).count());
    }
    state.counters["aircraft"] = static_cast<double>(ctx.ids.size());
    SimConnect_Close(ctx.h);
    sim.stop();
}
BENCHMARK(BM_FrameOf500SetData)->Unit(benchmark::kMicrosecond)->UseManualTime()->Iterations(200);

}  // namespace
