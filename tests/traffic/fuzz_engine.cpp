// Libfuzzer target: reports and simulator notices of any content the reader could hand
// over (finite values, any range), fed into the engine on the test world with cycles in
// between. Nothing may crash, and no aircraft may be put below the ground or off the map.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "airports/airport_file.h"
#include "test_world.h"

namespace {

struct Reader {
    const std::uint8_t* p;
    std::size_t n;
    std::uint8_t byte() {
        if (n == 0) {
            return 0;
        }
        --n;
        return *p++;
    }
    // A value in [lo, hi] from two bytes.
    double range(double lo, double hi) {
        const double u = (byte() * 256.0 + byte()) / 65535.0;
        return lo + u * (hi - lo);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wnd;
    using namespace wnd::enginetest;
    static const bool prepared = [] {
        gf_prepareTestDatabase();
        return true;
    }();
    (void)prepared;
    TestWorld world;
    world.keepTracks = false;
    LiveEngine engine(world);
    // A park airport with a block of stands where many reports land: parking, leaving and
    // the stand rules run too.
    static AirportFileData stands = [] {
        AirportFileData f;
        for (std::uint32_t i = 0; i < 25; ++i) {
            StandRecord s;
            s.number = i + 1;
            s.id = "S" + std::to_string(i + 1);
            const LatLon p = gf_fromLocal({47.45, 8.55}, {30.0 * (i / 5), 40.0 * (i % 5)});
            s.lat = p.lat;
            s.lon = p.lon;
            s.heading = 0.3 * i;
            s.radiusNm = (10.0 + i) / kMetresPerNm;
            s.heli = i == 24;
            s.neighbours = {i > 0 ? i : 2, i + 2 <= 25 ? i + 2 : 1};
            f.stands.push_back(std::move(s));
        }
        return f;
    }();
    AirportFileData file = stands;
    engine.setParkAirport(EngineParkAirport{"LSZH", {47.45, 8.55}, 1416.0, &file, 1});
    Reader in{data, size};
    double t = 1700000000.0;
    int budget = 20000;  // engine cycles per input, so every input stays quick
    static const char* const kTypes[] = {"A320", "B738", "A333", "C172", "EC35", "F16"};
    while (in.n > 0) {
        const std::uint8_t op = in.byte();
        if (op < 160) {
            TrafficRecord r;
            r.id = 0x400000U + (op % 8U);
            r.model = kTypes[op % 6U];
            r.callsign = (op & 0x10U) != 0 ? "SWR" + std::to_string(op % 5U) : std::string();
            r.registration = (op & 0x20U) != 0 ? "HB-J" + std::to_string(op % 3U) : "";
            const double spread = (op & 0x01U) != 0 ? 0.002 : 0.5;
            r.lat = 47.45 + in.range(-spread, spread);
            r.lon = 8.55 + in.range(-spread, spread);
            r.altitude = in.byte() < 100 ? 0.0 : in.range(-2000.0, 60000.0);
            r.airborne = r.altitude > 0.0;
            r.groundSpeed = in.range(0.0, 2500.0);
            r.track = in.range(-720.0, 720.0);
            r.verticalRate = in.range(-20000.0, 20000.0);
            r.trueAirspeed = r.groundSpeed;
            r.trueHeadingValid = (op & 0x40U) != 0;
            r.trueHeading = in.range(0.0, 6.3);
            r.bankValid = (op & 0x80U) != 0;
            r.bank = in.range(-1.5, 1.5);
            t += in.range(0.0, 30.0);
            r.timestamp = t;
            r.dueCycle = engine.cycle() + 3000;
            world.traffic.push_back(std::move(r));
        } else if (op < 200 && !world.objects.empty()) {
            const auto it = std::next(world.objects.begin(),
                                      static_cast<long>(in.byte() % world.objects.size()));
            const auto kind = static_cast<NoticeKind>(in.byte() % 7U);
            world.pending.push_back(
                {it->first, it->second.aircraftId, kind, in.range(-100.0, 40.0), in.range(-1, 1)});
        } else {
            const int cycles = 1 + static_cast<int>(in.range(0.0, 1.0) * 3000.0);
            for (int i = 0; i < cycles && budget > 0; ++i, --budget) {
                engine.lf_handleAddingStack();
            }
        }
    }
    for (int i = 0; i < 500; ++i) {
        engine.lf_handleAddingStack();
    }
    for (const auto& [oid, o] : world.objects) {
        for (const AiPosition& p : o.track) {
            if (p.altitude < world.groundFt || std::abs(p.latitude) > 90.0) {
                std::abort();
            }
        }
    }
    return 0;
}
