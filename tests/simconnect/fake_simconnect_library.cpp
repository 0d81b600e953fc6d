// A stand-in for the simulator's SimConnect library: the seventeen functions with C linkage,
// each noting its call, so the loader's test can load it like the real one and see every
// operation arrive with its arguments. Built without one function (WENDLE_FAKE_WITHOUT) it
// is a library the loader must refuse.
#include <cstring>
#include <string>

#include "simconnect/simconnect.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace wnd;

namespace {

std::string g_calls;

HRESULT note(const std::string& call) {
    g_calls += call;
    g_calls += '\n';
    return kScOk;
}

std::string text(const char* s) {
    return s == nullptr ? "(null)" : s;
}

}  // namespace

FAKE_EXPORT const char* FakeSimConnect_Calls() {
    return g_calls.c_str();
}

FAKE_EXPORT HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND, DWORD, HANDLE,
                                    DWORD ConfigIndex) {
    *phSimConnect = reinterpret_cast<HANDLE>(std::uintptr_t{0x51});
    return note("Open " + text(szName) + " " + std::to_string(ConfigIndex));
}

FAKE_EXPORT HRESULT SimConnect_Close(HANDLE) {
    return note("Close");
}

FAKE_EXPORT HRESULT SimConnect_CallDispatch(HANDLE, DispatchProc proc, void* context) {
    // An event at an odd address with nothing after it, as a library may hand one over.
    static unsigned char raw[1 + sizeof(SIMCONNECT_RECV_EVENT)];
    SIMCONNECT_RECV_EVENT ev{};
    ev.dwSize = sizeof ev;
    ev.dwVersion = 4;
    ev.dwID = SIMCONNECT_RECV_ID_EVENT;
    ev.uGroupID = 3;
    ev.uEventID = 7;
    ev.dwData = 42;
    std::memcpy(raw + 1, &ev, sizeof ev);
    proc(reinterpret_cast<SIMCONNECT_RECV*>(raw + 1), sizeof ev, context);
    return note("CallDispatch");
}

FAKE_EXPORT HRESULT SimConnect_AddToDataDefinition(HANDLE, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                   const char* DatumName, const char* UnitsName,
                                                   SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                                   DWORD DatumID) {
    return note("AddToDataDefinition " + std::to_string(DefineID) + " " + text(DatumName) + " " +
                text(UnitsName) + " " + std::to_string(DatumType) + " " + std::to_string(fEpsilon) +
                " " + std::to_string(DatumID));
}

FAKE_EXPORT HRESULT SimConnect_SubscribeToSystemEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                      const char* SystemEventName) {
    return note("SubscribeToSystemEvent " + std::to_string(EventID) + " " + text(SystemEventName));
}

FAKE_EXPORT HRESULT SimConnect_MapClientEventToSimEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                        const char* EventName) {
    return note("MapClientEventToSimEvent " + std::to_string(EventID) + " " + text(EventName));
}

FAKE_EXPORT HRESULT
SimConnect_AddClientEventToNotificationGroup(HANDLE, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                             SIMCONNECT_CLIENT_EVENT_ID EventID, BOOL bMaskable) {
    return note("AddClientEventToNotificationGroup " + std::to_string(GroupID) + " " +
                std::to_string(EventID) + " " + std::to_string(bMaskable));
}

FAKE_EXPORT HRESULT SimConnect_SetNotificationGroupPriority(
    HANDLE, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, DWORD uPriority) {
    return note("SetNotificationGroupPriority " + std::to_string(GroupID) + " " +
                std::to_string(uPriority));
}

FAKE_EXPORT HRESULT SimConnect_RequestDataOnSimObject(HANDLE, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                      SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                      SIMCONNECT_OBJECT_ID ObjectID,
                                                      SIMCONNECT_PERIOD Period,
                                                      SIMCONNECT_DATA_REQUEST_FLAG Flags,
                                                      DWORD origin, DWORD interval, DWORD limit) {
    return note("RequestDataOnSimObject " + std::to_string(RequestID) + " " +
                std::to_string(DefineID) + " " + std::to_string(ObjectID) + " " +
                std::to_string(Period) + " " + std::to_string(Flags) + " " +
                std::to_string(origin) + " " + std::to_string(interval) + " " +
                std::to_string(limit));
}

FAKE_EXPORT HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE,
                                                          SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                          DWORD dwRadiusMeters,
                                                          SIMCONNECT_SIMOBJECT_TYPE type) {
    return note("RequestDataOnSimObjectType " + std::to_string(RequestID) + " " +
                std::to_string(DefineID) + " " + std::to_string(dwRadiusMeters) + " " +
                std::to_string(type));
}

FAKE_EXPORT HRESULT SimConnect_SetDataOnSimObject(HANDLE, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                  SIMCONNECT_OBJECT_ID ObjectID,
                                                  SIMCONNECT_DATA_SET_FLAG Flags, DWORD ArrayCount,
                                                  DWORD cbUnitSize, void* pDataSet) {
    double first = 0;
    std::memcpy(&first, pDataSet, sizeof first);
    return note("SetDataOnSimObject " + std::to_string(DefineID) + " " + std::to_string(ObjectID) +
                " " + std::to_string(Flags) + " " + std::to_string(ArrayCount) + " " +
                std::to_string(cbUnitSize) + " " + std::to_string(first));
}

FAKE_EXPORT HRESULT SimConnect_TransmitClientEvent(HANDLE, SIMCONNECT_OBJECT_ID ObjectID,
                                                   SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                                   SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                   SIMCONNECT_EVENT_FLAG Flags) {
    return note("TransmitClientEvent " + std::to_string(ObjectID) + " " + std::to_string(EventID) +
                " " + std::to_string(dwData) + " " + std::to_string(GroupID) + " " +
                std::to_string(Flags));
}

FAKE_EXPORT HRESULT SimConnect_AICreateNonATCAircraft(HANDLE, const char* szContainerTitle,
                                                      const char* szTailNumber,
                                                      SIMCONNECT_DATA_INITPOSITION InitPos,
                                                      SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return note("AICreateNonATCAircraft " + text(szContainerTitle) + " " + text(szTailNumber) +
                " " + std::to_string(InitPos.Latitude) + " " + std::to_string(InitPos.Heading) +
                " " + std::to_string(InitPos.OnGround) + " " + std::to_string(InitPos.Airspeed) +
                " " + std::to_string(RequestID));
}

FAKE_EXPORT HRESULT SimConnect_AIReleaseControl(HANDLE, SIMCONNECT_OBJECT_ID ObjectID,
                                                SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return note("AIReleaseControl " + std::to_string(ObjectID) + " " + std::to_string(RequestID));
}

FAKE_EXPORT HRESULT SimConnect_AIRemoveObject(HANDLE, SIMCONNECT_OBJECT_ID ObjectID,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return note("AIRemoveObject " + std::to_string(ObjectID) + " " + std::to_string(RequestID));
}

FAKE_EXPORT HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE, SIMCONNECT_OBJECT_ID ObjectID,
                                                       const char* szFlightPlanPath,
                                                       SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return note("AISetAircraftFlightPlan " + std::to_string(ObjectID) + " " +
                text(szFlightPlanPath) + " " + std::to_string(RequestID));
}

#ifndef WENDLE_FAKE_WITHOUT
FAKE_EXPORT HRESULT SimConnect_GetLastSentPacketID(HANDLE, DWORD* pdwSendID) {
    *pdwSendID = 77;
    return note("GetLastSentPacketID");
}
#endif
