// The loader of the simulator's SimConnect library, against a library of ours with the
// same seventeen functions.
#include "simconnect/library_backend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/shared_library.h"

namespace wnd {
namespace {

struct Seen {
    DWORD size = 0;
    DWORD eventId = 0;
    DWORD data = 0;
    bool aligned = false;
    bool padded = false;
};

void onMessage(SIMCONNECT_RECV* msg, DWORD size, void* context) {
    auto* seen = static_cast<Seen*>(context);
    seen->size = size;
    const auto* ev = reinterpret_cast<const SIMCONNECT_RECV_EVENT*>(msg);
    seen->eventId = ev->uEventID;
    seen->data = ev->dwData;
    seen->aligned = reinterpret_cast<std::uintptr_t>(msg) % 8 == 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(msg);
    seen->padded = true;
    for (DWORD i = size; i < size + 256; ++i) {
        seen->padded = seen->padded && bytes[i] == 0;
    }
}

TEST(SimConnectLibrary, ForwardsEveryOperation) {
    std::string reason;
    auto api = gf_loadSimConnectLibrary(WENDLE_FAKE_SIMCONNECT, &reason);
    ASSERT_NE(api, nullptr) << reason;

    HANDLE h = nullptr;
    EXPECT_EQ(api->open(&h, "Wendle_P3D", nullptr, 0, nullptr, 2), kScOk);
    EXPECT_EQ(h, reinterpret_cast<HANDLE>(std::uintptr_t{0x51}));
    api->addToDataDefinition(h, 1, "PLANE LATITUDE", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 0.5F,
                             9);
    api->subscribeToSystemEvent(h, 2, "Frame");
    api->mapClientEventToSimEvent(h, 3, "GEAR_SET");
    api->addClientEventToNotificationGroup(h, 4, 3, 1);
    api->setNotificationGroupPriority(h, 4, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
    api->requestDataOnSimObject(h, 5, 1, 6, SIMCONNECT_PERIOD_SECOND, 3, 1, 2, 3);
    api->requestDataOnSimObjectType(h, 6, 1, 200000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    double lat = 47.25;
    api->setDataOnSimObject(h, 1, 6, 0, 0, sizeof lat, &lat);
    api->transmitClientEvent(h, 6, 3, 1, 4, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
    SIMCONNECT_DATA_INITPOSITION pos{47.5, 8.5, 1400, 0, 0, 270, 1, 0};
    api->aiCreateNonATCAircraft(h, "Airbus A320", "HB-JLT", pos, 7);
    api->aiReleaseControl(h, 6, 8);
    api->aiRemoveObject(h, 6, 9);
    api->aiSetAircraftFlightPlan(h, 6, "C:\\plans\\LSZH-EGLL", 10);
    DWORD sendId = 0;
    api->getLastSentPacketID(h, &sendId);
    EXPECT_EQ(sendId, 77U);
    Seen seen;
    EXPECT_EQ(api->callDispatch(h, &onMessage, &seen), kScOk);
    api->close(h);

    // The library's event came unaligned and unpadded; the program gets it aligned with zeros
    // after it.
    EXPECT_EQ(seen.size, sizeof(SIMCONNECT_RECV_EVENT));
    EXPECT_EQ(seen.eventId, 7U);
    EXPECT_EQ(seen.data, 42U);
    EXPECT_TRUE(seen.aligned);
    EXPECT_TRUE(seen.padded);

    auto lib = platform::loadSharedLibrary(WENDLE_FAKE_SIMCONNECT);
    ASSERT_NE(lib, nullptr);
    using CallsFn = const char* (*)();
    const auto calls = reinterpret_cast<CallsFn>(lib->function("FakeSimConnect_Calls"));
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(std::string(calls()),
              "Open Wendle_P3D 2\n"
              "AddToDataDefinition 1 PLANE LATITUDE degrees 4 0.500000 9\n"
              "SubscribeToSystemEvent 2 Frame\n"
              "MapClientEventToSimEvent 3 GEAR_SET\n"
              "AddClientEventToNotificationGroup 4 3 1\n"
              "SetNotificationGroupPriority 4 1\n"
              "RequestDataOnSimObject 5 1 6 4 3 1 2 3\n"
              "RequestDataOnSimObjectType 6 1 200000 2\n"
              "SetDataOnSimObject 1 6 0 0 8 47.250000\n"
              "TransmitClientEvent 6 3 1 4 16\n"
              "AICreateNonATCAircraft Airbus A320 HB-JLT 47.500000 270.000000 1 0 7\n"
              "AIReleaseControl 6 8\n"
              "AIRemoveObject 6 9\n"
              "AISetAircraftFlightPlan 6 C:\\plans\\LSZH-EGLL 10\n"
              "GetLastSentPacketID\n"
              "CallDispatch\n"
              "Close\n");
}

TEST(SimConnectLibrary, RefusedWhenAbsentOrIncomplete) {
    std::string reason;
    EXPECT_EQ(gf_loadSimConnectLibrary(WENDLE_FAKE_SIMCONNECT_INCOMPLETE, &reason), nullptr);
    EXPECT_EQ(reason, "SimConnect_GetLastSentPacketID not found in the library");
    reason.clear();
    EXPECT_EQ(gf_loadSimConnectLibrary("no-such-folder/SimConnect.dll", &reason), nullptr);
    EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace wnd
