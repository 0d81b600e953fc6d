// The command side without a simulator: pacing, client events, the outgoing queues, what the
// frame sends, the worker's requests, and the bookkeeping of refused creations.
#include <gtest/gtest.h>

#include <future>

#include "board/status_board.h"
#include "sim_test_util.h"
#include "testkit/testkit.h"

namespace wnd {
namespace {

class Commands : public simtest::RunFrame {
  protected:
    std::vector<ClientEventCommand> events() { return link_.queues().queued().events; }
    void clearQueues() { link_.sendFrame(); }  // no connection: the queues are emptied
    AiCommands& ai_ = link_.commands();
};

TEST(Pacing, OneCreationPer50CyclesLiveFirstAndOneRemovalPer10) {
    PacingQueues q;
    q.queueStaticCreation(simtest::creation(7, "STATIC7"));
    for (std::uint32_t id : {1u, 2u, 3u}) {
        q.queueLiveCreation(simtest::creation(0x4B0000 + id, fmt::format("LIVE{}", id)));
    }
    for (std::uint32_t oid = 100; oid < 105; ++oid) {
        q.queueRemoval(oid);
    }
    EXPECT_TRUE(q.creationQueued("LIVE3"));
    EXPECT_TRUE(q.cancelQueuedCreation(0x4B0003));
    EXPECT_FALSE(q.creationQueued("LIVE3"));
    EXPECT_FALSE(q.cancelQueuedCreation(0x4B0003));

    std::vector<std::pair<int, std::string>> created;
    std::vector<std::pair<int, std::uint32_t>> removed;
    for (int cycle = 0; cycle < 160; ++cycle) {
        const PacingQueues::Due due = q.step();
        if (due.creation) {
            created.emplace_back(cycle, due.creation->tailNumber);
        }
        if (due.removal) {
            removed.emplace_back(cycle, *due.removal);
        }
    }
    EXPECT_EQ(created, (std::vector<std::pair<int, std::string>>{
                           {0, "LIVE1"}, {50, "LIVE2"}, {100, "STATIC7"}}));
    EXPECT_EQ(removed, (std::vector<std::pair<int, std::uint32_t>>{
                           {0, 100}, {10, 101}, {20, 102}, {30, 103}, {40, 104}}));
    EXPECT_EQ(q.liveCreationCount() + q.staticCreationCount() + q.removalCount(), 0u);
}

TEST_F(Commands, FlapsAndThrottleAreSentOnlyWhenTheStepChangesAndRotorcraftGetNoFlaps) {
    AiControls ac{5000, kLarge};
    ai_.setFlaps(ac, 2);
    ai_.setFlaps(ac, 2);
    ai_.setFlaps(ac, 4);  // no such step
    ai_.setThrottle(ac, 4);
    ai_.setThrottle(ac, 4);
    ai_.setThrottle(ac, 5);
    AiControls heli{7000, kRotorcraft};
    ai_.setGear(heli, true);
    ai_.setSpoilers(heli, true);
    ai_.setFlaps(heli, 3);
    ai_.setThrottle(heli, 0);
    ai_.setSpoilers(ac, true);
    EXPECT_EQ(events(), (std::vector<ClientEventCommand>{{5000, simid::kEvFlaps, 10240},
                                                         {5000, simid::kEvThrottle, 16383},
                                                         {7000, simid::kEvThrottle, 0},
                                                         {5000, simid::kEvSpoilers, 16383}}));
    EXPECT_TRUE(logHas("==> gf_setFlaps: invalid flaps index"));

    // After a respawn any valid step goes out again.
    clearQueues();
    ac.afterRespawnRemoval();
    ac.objectId = 6000;
    ai_.setFlaps(ac, 2);
    ai_.setThrottle(ac, 4);
    EXPECT_EQ(events(), (std::vector<ClientEventCommand>{{6000, simid::kEvFlaps, 10240},
                                                         {6000, simid::kEvThrottle, 16383}}));
}

// A new aircraft has sent no step yet: its parked configuration sends throttle and flaps 0.
TEST_F(Commands, ParkedConfigurationOfANewAircraftSendsEveryStep) {
    gs().RANDOM.set(false);
    gs().NAV_LIGHTS_WHILE_PARKED.set(false);
    AiControls ac{8000, kLarge};
    ai_.setParkedConfiguration(ac, false);
    const std::vector<ClientEventCommand> expected = {
        {8000, simid::kEvThrottle, 0},       {8000, simid::kEvFlaps, 0},
        {8000, simid::kEvEngineShutdown, 0}, {8000, simid::kEvNavLights, 0},
        {8000, simid::kEvBeaconLights, 0},   {8000, simid::kEvLandingLights, 0},
        {8000, simid::kEvTaxiLights, 0},     {8000, simid::kEvStrobes, 0},
        {8000, simid::kEvLogoLights, 1},     {8000, simid::kEvCabinLights, 1}};
    EXPECT_EQ(events(), expected);
    // Again, with the stand flag: the steps are there already, the cabin stays dark.
    clearQueues();
    gs().NAV_LIGHTS_WHILE_PARKED.set(true);
    ai_.setParkedConfiguration(ac, true);
    const auto again = events();
    ASSERT_EQ(again.size(), 8u);
    EXPECT_EQ(again[0].eventId, simid::kEvEngineShutdown);
    EXPECT_EQ(again[1], (ClientEventCommand{8000, simid::kEvNavLights, 1}));
    EXPECT_EQ(again[7], (ClientEventCommand{8000, simid::kEvCabinLights, 0}));
}

TEST_F(Commands, PositionsSwapOncePerCycleAndABusyLockDropsTheCycleButLosesNothingQueued) {
    CommandQueues& q = link_.queues();
    PositionCommand p;
    p.objectId = 42;
    p.position.latitude = 47.0;
    q.addPosition(p);
    EXPECT_TRUE(q.swapPositionBuffers());
    p.position.latitude = 47.5;  // a newer cycle replaces what the frame has not sent yet
    q.addPosition(p);
    EXPECT_TRUE(q.swapPositionBuffers());
    ai_.setNavLight(AiControls{42, kLarge}, true);
    {
        auto held = q.lock();
        p.position.latitude = 48.0;
        q.addPosition(p);
        EXPECT_FALSE(q.swapPositionBuffers());
        EXPECT_FALSE(link_.sendFrame());
    }
    const CommandBatch out = q.queued();
    ASSERT_EQ(out.positions.size(), 1u);
    EXPECT_DOUBLE_EQ(out.positions[0].position.latitude, 47.5);
    EXPECT_EQ(out.events.size(), 1u);
    EXPECT_EQ(link_.framesBusy(), 1u);
    // The dropped cycle left nothing behind for the next swap.
    EXPECT_TRUE(q.swapPositionBuffers());
    EXPECT_TRUE(q.queued().positions.empty());
}

// What one frame sends, in order: never to an object not above the user's; flaps between two
// releases; each creation waits as pending; after a request error nothing goes out.
TEST_F(Commands, TheFrameSendsInOrderAndNeverToTheUserOrBelow) {
    simtest::FakeApi& api = useFakeApi();
    for (std::uint32_t oid : {2u, 3u}) {  // the user object id is 2 until a position comes
        PositionCommand p;
        p.objectId = oid;
        link_.queues().addPosition(p);
        AiControls ac{oid, kLarge};
        ai_.setFlaps(ac, 1);
        link_.pacing().queueRemoval(oid);
    }
    link_.queues().swapPositionBuffers();
    link_.pacing().queueLiveCreation(simtest::creation(0x4B0001, "SWR1"));
    link_.pacingStep();
    for (int i = 0; i < 10; ++i) {
        link_.pacingStep();
    }
    ASSERT_TRUE(link_.sendFrame());
    EXPECT_EQ(api.calls(),
              (std::vector<std::string>{"set 402 3 64", "release 3 103", "event 3 218 3072 301",
                                        "release 3 103", "create Wendle Test Livery SWR1 104",
                                        "remove 3 105"}));
    EXPECT_TRUE(logHas("==> SimConnect call to remove ac with objectid 2"));
    ASSERT_EQ(link_.pendingCreations().size(), 1u);
    EXPECT_EQ(link_.pendingCreations()[0].callsign, "SWR1");
    EXPECT_EQ(link_.pendingCreations()[0].sendId, 5u);

    link_.handleRequestError();
    link_.pacing().queueLiveCreation(simtest::creation(0x4B0002, "SWR2"));
    for (int i = 0; i < 50; ++i) {
        link_.pacingStep();
    }
    ASSERT_TRUE(link_.sendFrame());
    EXPECT_EQ(api.calls().size(), 6u);
    EXPECT_TRUE(link_.queues().queued().empty());
    // The run's stop and restart: SimLifecycle.ABrokenLinkIsARequestErrorAndTheRunRestarts.
}

// A simulator that stops reading holds up the thread that sends; the worker's requests must
// not hold the command lock meanwhile, or the frame and the by-type handler would wait too.
TEST_F(Commands, TheWorkersRequestsHoldNoLockWhileTheyWaitOnTheSimulator) {
    simtest::FakeApi& api = useFakeApi();
    std::promise<void> inCall;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    api.gate = [&](const std::string& call) {
        if (call.starts_with("request 109")) {
            inCall.set_value();
            released.wait();
        }
    };
    auto worker = std::async(std::launch::async, [&] { link_.requestUserPosition(); });
    inCall.get_future().wait();
    EXPECT_TRUE(link_.sendFrame());
    EXPECT_TRUE(link_.queues().swapPositionBuffers());
    release.set_value();
    worker.get();
}

TEST_F(Commands, RefusedLiveriesCountOnceAndTheTwentiethEndsTheRunAndNoLiveryIsReported) {
    for (int i = 0; i < 19; ++i) {
        const std::string title = fmt::format("Livery {}", i);
        link_.creationRefused("SWR1", title, "A320", "SWR");
        link_.creationRefused("SWR2", title, "A321", "SWR");
    }
    EXPECT_EQ(link_.failedLiveryCount(), 19u);
    EXPECT_TRUE(link_.isFailedLivery("Livery 3"));
    EXPECT_TRUE(link_.isFailedCombination("A321", "SWR"));
    EXPECT_FALSE(link_.isFailedCombination("A330", "SWR"));
    EXPECT_EQ(gf_board().status(), "SWR2 'Livery 18' could not be created by your Sim!");
    EXPECT_EQ(
        testkit::errorText([&] { link_.creationRefused("SWR3", "Livery 19", "A320", "SWR"); }),
        "81: There are too many liveries that could not be created!, see Log.txt");
    EXPECT_TRUE(
        logHas("\n===> Error 81, There are too many liveries that could not be created!\n"));

    link_.writeNoLiveryReport();
    EXPECT_FALSE(logHas("No match found for:"));
    EXPECT_EQ(SimLink::noLiveryKey("PVT", "C72", ""), "PVT C72  ");
    link_.addNoLivery(SimLink::noLiveryKey("EZY", "A20N", "G-UZHA"));
    link_.addNoLivery(SimLink::noLiveryKey("AAL", "B38M", "N314RG"));
    EXPECT_TRUE(link_.isNoLivery("EZY A20N G-UZHA"));
    link_.writeNoLiveryReport();
    EXPECT_TRUE(logHas("\nNo match found for:\nAAL B38M N314RG\nEZY A20N G-UZHA\n" +
                       std::string(48, '-') + "\n"));
}

}  // namespace
}  // namespace wnd
