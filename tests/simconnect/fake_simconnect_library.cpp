// A stand-in for the simulator's SimConnect library: the seventeen functions with C linkage,
// each noting its call, so the loader's test can load it like the real one and see every
// operation arrive with its arguments. Built without one function (WENDLE_FAKE_WITHOUT) it
// is a library the loader must refuse.
#include <cstring>
#include <string>
#include <type_traits>

#include "simconnect/simconnect.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace wnd;

namespace {

std::string g_calls;

std::string text(const char* s) {
    return s == nullptr ? "(null)" : s;
}
template <typename T>
std::string text(T v) {
    if constexpr (std::is_floating_point_v<T>) {
        return std::to_string(v);
    } else {
        return std::to_string(static_cast<long long>(v));
    }
}

// One line of the call list: "what arg arg ...".
template <typename... Args>
HRESULT note(const char* what, const Args&... args) {
    g_calls += what;
    ((g_calls += ' ', g_calls += text(args)), ...);
    g_calls += '\n';
    return kScOk;
}

}  // namespace

FAKE_EXPORT const char* FakeSimConnect_Calls() {
    return g_calls.c_str();
}

FAKE_EXPORT HRESULT SimConnect_Open(HANDLE* h, const char* name, HWND, DWORD, HANDLE, DWORD cfg) {
    *h = reinterpret_cast<HANDLE>(std::uintptr_t{0x51});
    return note("Open", name, cfg);
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

FAKE_EXPORT HRESULT SimConnect_AddToDataDefinition(HANDLE, DWORD def, const char* name,
                                                   const char* units, SIMCONNECT_DATATYPE type,
                                                   float epsilon, DWORD datum) {
    return note("AddToDataDefinition", def, name, units, type, epsilon, datum);
}

FAKE_EXPORT HRESULT SimConnect_SubscribeToSystemEvent(HANDLE, DWORD event, const char* name) {
    return note("SubscribeToSystemEvent", event, name);
}

FAKE_EXPORT HRESULT SimConnect_MapClientEventToSimEvent(HANDLE, DWORD event, const char* name) {
    return note("MapClientEventToSimEvent", event, name);
}

FAKE_EXPORT HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE, DWORD group, DWORD event,
                                                                 BOOL maskable) {
    return note("AddClientEventToNotificationGroup", group, event, maskable);
}

FAKE_EXPORT HRESULT SimConnect_SetNotificationGroupPriority(HANDLE, DWORD group, DWORD priority) {
    return note("SetNotificationGroupPriority", group, priority);
}

FAKE_EXPORT HRESULT SimConnect_RequestDataOnSimObject(HANDLE, DWORD request, DWORD def,
                                                      DWORD object, SIMCONNECT_PERIOD period,
                                                      DWORD flags, DWORD origin, DWORD interval,
                                                      DWORD limit) {
    return note("RequestDataOnSimObject", request, def, object, period, flags, origin, interval,
                limit);
}

FAKE_EXPORT HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE, DWORD request, DWORD def,
                                                          DWORD radius,
                                                          SIMCONNECT_SIMOBJECT_TYPE type) {
    return note("RequestDataOnSimObjectType", request, def, radius, type);
}

FAKE_EXPORT HRESULT SimConnect_SetDataOnSimObject(HANDLE, DWORD def, DWORD object, DWORD flags,
                                                  DWORD count, DWORD unitSize, void* data) {
    double first = 0;
    std::memcpy(&first, data, sizeof first);
    return note("SetDataOnSimObject", def, object, flags, count, unitSize, first);
}

FAKE_EXPORT HRESULT SimConnect_TransmitClientEvent(HANDLE, DWORD object, DWORD event, DWORD data,
                                                   DWORD group, DWORD flags) {
    return note("TransmitClientEvent", object, event, data, group, flags);
}

FAKE_EXPORT HRESULT SimConnect_AICreateNonATCAircraft(HANDLE, const char* title, const char* tail,
                                                      SIMCONNECT_DATA_INITPOSITION pos,
                                                      DWORD request) {
    return note("AICreateNonATCAircraft", title, tail, pos.Latitude, pos.Heading, pos.OnGround,
                pos.Airspeed, request);
}

FAKE_EXPORT HRESULT SimConnect_AIReleaseControl(HANDLE, DWORD object, DWORD request) {
    return note("AIReleaseControl", object, request);
}

FAKE_EXPORT HRESULT SimConnect_AIRemoveObject(HANDLE, DWORD object, DWORD request) {
    return note("AIRemoveObject", object, request);
}

FAKE_EXPORT HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE, DWORD object, const char* path,
                                                       DWORD request) {
    return note("AISetAircraftFlightPlan", object, path, request);
}

#ifndef WENDLE_FAKE_WITHOUT
FAKE_EXPORT HRESULT SimConnect_GetLastSentPacketID(HANDLE, DWORD* sendId) {
    *sendId = 77;
    return note("GetLastSentPacketID");
}
#endif
