#include "simconnect/library_backend.h"

#include <fmt/format.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/shared_library.h"
#include "util/log.h"

namespace wnd {

namespace {

// The library's functions: C linkage, and on x64 Windows there is one calling convention.
using OpenFn = HRESULT (*)(HANDLE*, const char*, HWND, DWORD, HANDLE, DWORD);
using CloseFn = HRESULT (*)(HANDLE);
using CallDispatchFn = HRESULT (*)(HANDLE, DispatchProc, void*);
using AddToDataDefinitionFn = HRESULT (*)(HANDLE, SIMCONNECT_DATA_DEFINITION_ID, const char*,
                                          const char*, SIMCONNECT_DATATYPE, float, DWORD);
using SubscribeToSystemEventFn = HRESULT (*)(HANDLE, SIMCONNECT_CLIENT_EVENT_ID, const char*);
using MapClientEventToSimEventFn = HRESULT (*)(HANDLE, SIMCONNECT_CLIENT_EVENT_ID, const char*);
using AddClientEventToNotificationGroupFn = HRESULT (*)(HANDLE, SIMCONNECT_NOTIFICATION_GROUP_ID,
                                                        SIMCONNECT_CLIENT_EVENT_ID, BOOL);
using SetNotificationGroupPriorityFn = HRESULT (*)(HANDLE, SIMCONNECT_NOTIFICATION_GROUP_ID, DWORD);
using RequestDataOnSimObjectFn = HRESULT (*)(HANDLE, SIMCONNECT_DATA_REQUEST_ID,
                                             SIMCONNECT_DATA_DEFINITION_ID, SIMCONNECT_OBJECT_ID,
                                             SIMCONNECT_PERIOD, SIMCONNECT_DATA_REQUEST_FLAG, DWORD,
                                             DWORD, DWORD);
using RequestDataOnSimObjectTypeFn = HRESULT (*)(HANDLE, SIMCONNECT_DATA_REQUEST_ID,
                                                 SIMCONNECT_DATA_DEFINITION_ID, DWORD,
                                                 SIMCONNECT_SIMOBJECT_TYPE);
using SetDataOnSimObjectFn = HRESULT (*)(HANDLE, SIMCONNECT_DATA_DEFINITION_ID,
                                         SIMCONNECT_OBJECT_ID, SIMCONNECT_DATA_SET_FLAG, DWORD,
                                         DWORD, void*);
using TransmitClientEventFn = HRESULT (*)(HANDLE, SIMCONNECT_OBJECT_ID, SIMCONNECT_CLIENT_EVENT_ID,
                                          DWORD, SIMCONNECT_NOTIFICATION_GROUP_ID,
                                          SIMCONNECT_EVENT_FLAG);
using AICreateNonATCAircraftFn = HRESULT (*)(HANDLE, const char*, const char*,
                                             SIMCONNECT_DATA_INITPOSITION,
                                             SIMCONNECT_DATA_REQUEST_ID);
using AIObjectFn = HRESULT (*)(HANDLE, SIMCONNECT_OBJECT_ID, SIMCONNECT_DATA_REQUEST_ID);
using AISetAircraftFlightPlanFn = HRESULT (*)(HANDLE, SIMCONNECT_OBJECT_ID, const char*,
                                              SIMCONNECT_DATA_REQUEST_ID);
using GetLastSentPacketIDFn = HRESULT (*)(HANDLE, DWORD*);

// The program's dispatch procedure and its context, behind the one the library calls.
struct Relay {
    DispatchProc proc;
    void* context;
    std::vector<std::uint64_t>* buffer;
};

// Zero bytes after each message, as the TCP transport promises (simconnect.h).
constexpr std::size_t kPadding = 256;

void lf_relay(SIMCONNECT_RECV* data, DWORD size, void* context) {
    auto* r = static_cast<Relay*>(context);
    if (data == nullptr || size < sizeof(SIMCONNECT_RECV)) {
        return;
    }
    // The library's buffer has no alignment or padding promise: hand over a copy that has.
    r->buffer->assign((size + kPadding + 7) / 8, 0);
    std::memcpy(r->buffer->data(), data, size);
    r->proc(reinterpret_cast<SIMCONNECT_RECV*>(r->buffer->data()), size, r->context);
}

class LibrarySimConnect final : public SimConnectApi {
  public:
    explicit LibrarySimConnect(std::unique_ptr<platform::SharedLibrary> lib)
        : lib_(std::move(lib)) {}

    // False (with the missing name in *reason) unless every function is there.
    bool resolveAll(std::string* reason) {
        return resolve("SimConnect_Open", open_, reason) &&
               resolve("SimConnect_Close", close_, reason) &&
               resolve("SimConnect_CallDispatch", callDispatch_, reason) &&
               resolve("SimConnect_AddToDataDefinition", addToDataDefinition_, reason) &&
               resolve("SimConnect_SubscribeToSystemEvent", subscribeToSystemEvent_, reason) &&
               resolve("SimConnect_MapClientEventToSimEvent", mapClientEventToSimEvent_, reason) &&
               resolve("SimConnect_AddClientEventToNotificationGroup",
                       addClientEventToNotificationGroup_, reason) &&
               resolve("SimConnect_SetNotificationGroupPriority", setNotificationGroupPriority_,
                       reason) &&
               resolve("SimConnect_RequestDataOnSimObject", requestDataOnSimObject_, reason) &&
               resolve("SimConnect_RequestDataOnSimObjectType", requestDataOnSimObjectType_,
                       reason) &&
               resolve("SimConnect_SetDataOnSimObject", setDataOnSimObject_, reason) &&
               resolve("SimConnect_TransmitClientEvent", transmitClientEvent_, reason) &&
               resolve("SimConnect_AICreateNonATCAircraft", aiCreateNonATCAircraft_, reason) &&
               resolve("SimConnect_AIReleaseControl", aiReleaseControl_, reason) &&
               resolve("SimConnect_AIRemoveObject", aiRemoveObject_, reason) &&
               resolve("SimConnect_AISetAircraftFlightPlan", aiSetAircraftFlightPlan_, reason) &&
               resolve("SimConnect_GetLastSentPacketID", getLastSentPacketID_, reason);
    }

    HRESULT open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                 HANDLE hEventHandle, DWORD ConfigIndex) override {
        return open_(phSimConnect, szName, hWnd, UserEventWin32, hEventHandle, ConfigIndex);
    }
    HRESULT close(HANDLE h) override { return close_(h); }
    HRESULT callDispatch(HANDLE h, DispatchProc proc, void* context) override {
        if (proc == nullptr) {
            return kScInvalidArg;
        }
        // Dispatch runs on one thread at a time (the simulator link's), so one buffer will do;
        // thread_local keeps a second connection's dispatch from sharing it.
        thread_local std::vector<std::uint64_t> buffer;
        Relay relay{proc, context, &buffer};
        return callDispatch_(h, &lf_relay, &relay);
    }
    HRESULT addToDataDefinition(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                const char* DatumName, const char* UnitsName,
                                SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                DWORD DatumID) override {
        return addToDataDefinition_(h, DefineID, DatumName, UnitsName, DatumType, fEpsilon,
                                    DatumID);
    }
    HRESULT subscribeToSystemEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                   const char* SystemEventName) override {
        return subscribeToSystemEvent_(h, EventID, SystemEventName);
    }
    HRESULT mapClientEventToSimEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                     const char* EventName) override {
        return mapClientEventToSimEvent_(h, EventID, EventName);
    }
    HRESULT addClientEventToNotificationGroup(HANDLE h, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                              SIMCONNECT_CLIENT_EVENT_ID EventID,
                                              BOOL bMaskable) override {
        return addClientEventToNotificationGroup_(h, GroupID, EventID, bMaskable);
    }
    HRESULT setNotificationGroupPriority(HANDLE h, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                         DWORD uPriority) override {
        return setNotificationGroupPriority_(h, GroupID, uPriority);
    }
    HRESULT requestDataOnSimObject(HANDLE h, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                   SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                   SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                   SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin, DWORD interval,
                                   DWORD limit) override {
        return requestDataOnSimObject_(h, RequestID, DefineID, ObjectID, Period, Flags, origin,
                                       interval, limit);
    }
    HRESULT requestDataOnSimObjectType(HANDLE h, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                       SIMCONNECT_DATA_DEFINITION_ID DefineID, DWORD dwRadiusMeters,
                                       SIMCONNECT_SIMOBJECT_TYPE type) override {
        return requestDataOnSimObjectType_(h, RequestID, DefineID, dwRadiusMeters, type);
    }
    HRESULT setDataOnSimObject(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                               SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                               DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet) override {
        return setDataOnSimObject_(h, DefineID, ObjectID, Flags, ArrayCount, cbUnitSize, pDataSet);
    }
    HRESULT transmitClientEvent(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID,
                                SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                SIMCONNECT_EVENT_FLAG Flags) override {
        return transmitClientEvent_(h, ObjectID, EventID, dwData, GroupID, Flags);
    }
    HRESULT aiCreateNonATCAircraft(HANDLE h, const char* szContainerTitle, const char* szTailNumber,
                                   SIMCONNECT_DATA_INITPOSITION InitPos,
                                   SIMCONNECT_DATA_REQUEST_ID RequestID) override {
        return aiCreateNonATCAircraft_(h, szContainerTitle, szTailNumber, InitPos, RequestID);
    }
    HRESULT aiReleaseControl(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID,
                             SIMCONNECT_DATA_REQUEST_ID RequestID) override {
        return aiReleaseControl_(h, ObjectID, RequestID);
    }
    HRESULT aiRemoveObject(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID,
                           SIMCONNECT_DATA_REQUEST_ID RequestID) override {
        return aiRemoveObject_(h, ObjectID, RequestID);
    }
    HRESULT aiSetAircraftFlightPlan(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID,
                                    const char* szFlightPlanPath,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID) override {
        return aiSetAircraftFlightPlan_(h, ObjectID, szFlightPlanPath, RequestID);
    }
    HRESULT getLastSentPacketID(HANDLE h, DWORD* pdwSendID) override {
        return getLastSentPacketID_(h, pdwSendID);
    }

  private:
    template <typename Fn>
    bool resolve(const char* name, Fn& out, std::string* reason) {
        const platform::LibraryFunction f = lib_->function(name);
        if (f == nullptr) {
            if (reason != nullptr) {
                *reason = fmt::format("{} not found in the library", name);
            }
            return false;
        }
        out = reinterpret_cast<Fn>(f);
        return true;
    }

    std::unique_ptr<platform::SharedLibrary> lib_;
    OpenFn open_ = nullptr;
    CloseFn close_ = nullptr;
    CallDispatchFn callDispatch_ = nullptr;
    AddToDataDefinitionFn addToDataDefinition_ = nullptr;
    SubscribeToSystemEventFn subscribeToSystemEvent_ = nullptr;
    MapClientEventToSimEventFn mapClientEventToSimEvent_ = nullptr;
    AddClientEventToNotificationGroupFn addClientEventToNotificationGroup_ = nullptr;
    SetNotificationGroupPriorityFn setNotificationGroupPriority_ = nullptr;
    RequestDataOnSimObjectFn requestDataOnSimObject_ = nullptr;
    RequestDataOnSimObjectTypeFn requestDataOnSimObjectType_ = nullptr;
    SetDataOnSimObjectFn setDataOnSimObject_ = nullptr;
    TransmitClientEventFn transmitClientEvent_ = nullptr;
    AICreateNonATCAircraftFn aiCreateNonATCAircraft_ = nullptr;
    AIObjectFn aiReleaseControl_ = nullptr;
    AIObjectFn aiRemoveObject_ = nullptr;
    AISetAircraftFlightPlanFn aiSetAircraftFlightPlan_ = nullptr;
    GetLastSentPacketIDFn getLastSentPacketID_ = nullptr;
};

}  // namespace

std::unique_ptr<SimConnectApi> gf_loadSimConnectLibrary(const std::filesystem::path& path,
                                                        std::string* reason) {
    auto lib = platform::loadSharedLibrary(path, reason);
    if (!lib) {
        return nullptr;
    }
    auto api = std::make_unique<LibrarySimConnect>(std::move(lib));
    if (!api->resolveAll(reason)) {
        return nullptr;
    }
    return api;
}

void gf_selectSimConnectBackend() {
    static std::unique_ptr<SimConnectApi> library;
    if (library) {
        return;
    }
    std::string reason;
    library = gf_loadSimConnectLibrary(kSimConnectLibraryName, &reason);
    if (library) {
        gf_setSimConnectApi(library.get());
        gf_logLine("SimConnect: using the simulator's library {}", kSimConnectLibraryName);
    } else {
        gf_logLine("SimConnect: using the built-in TCP transport ({}: {})", kSimConnectLibraryName,
                   reason);
    }
}

}  // namespace wnd
