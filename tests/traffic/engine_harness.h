// The fixture of the engine tests: a test world, an engine on it, and the database entries
// the reports need.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "traffic/test_world.h"

namespace wnd::enginetest {

// Metres between two positions the engine sent.
inline double gf_metresApart(const AiPosition& a, const AiPosition& b) {
    return gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * kMetresPerNm;
}
// A second's step (less 5 m of slack) over what the faster of the two speeds allows.
inline double gf_stepRatio(const AiPosition& a, const AiPosition& b) {
    const double allowed = std::max(a.trueAirspeed, b.trueAirspeed) * kMetresPerNm / 3600.0;
    return (gf_metresApart(a, b) - 5.0) / std::max(allowed, 0.1);
}

class EngineHarness : public ::testing::Test {
  protected:
    void SetUp() override { gf_prepareTestDatabase(); }
    void TearDown() override {
        gf_dbase().reset();
        gs().resetValues();
    }
    void feed(const Report& r) { world.traffic.push_back(gf_record(r, engine.cycle())); }
    void run(int cycles) {
        for (int i = 0; i < cycles; ++i) {
            engine.lf_handleAddingStack();
        }
    }
    LiveAircraft* aircraft(std::uint32_t id = 0x4b1801) { return engine.findById(id); }
    // Every position the engine sent the aircraft's object.
    const std::vector<AiPosition>& trackOf(std::uint32_t id = 0x4b1801) {
        static const std::vector<AiPosition> none;
        const SimObject* o = world.objectOf(id);
        return o != nullptr ? o->track : none;
    }

    TestWorld world;
    LiveEngine engine{world};
};

}  // namespace wnd::enginetest
