#include "simconnect/simconnect.h"

#include <atomic>

#include "simconnect/tcp_client.h"

namespace wnd {

namespace {
std::atomic<SimConnectApi*> g_api{nullptr};
}  // namespace

SimConnectApi& gf_simConnectApi() {
    SimConnectApi* api = g_api.load(std::memory_order_acquire);
    return api != nullptr ? *api : gf_tcpSimConnect();
}

void gf_setSimConnectApi(SimConnectApi* api) {
    g_api.store(api, std::memory_order_release);
}

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex) {
    return gf_simConnectApi().open(phSimConnect, szName, hWnd, UserEventWin32, hEventHandle,
                                   ConfigIndex);
}

HRESULT SimConnect_Close(HANDLE hSimConnect) {
    return gf_simConnectApi().close(hSimConnect);
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) {
    return gf_simConnectApi().callDispatch(hSimConnect, pfcnDispatch, pContext);
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                       DWORD DatumID) {
    return gf_simConnectApi().addToDataDefinition(hSimConnect, DefineID, DatumName, UnitsName,
                                                  DatumType, fEpsilon, DatumID);
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName) {
    return gf_simConnectApi().subscribeToSystemEvent(hSimConnect, EventID, SystemEventName);
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName) {
    return gf_simConnectApi().mapClientEventToSimEvent(hSimConnect, EventID, EventName);
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect,
                                                     SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                     BOOL bMaskable) {
    return gf_simConnectApi().addClientEventToNotificationGroup(hSimConnect, GroupID, EventID,
                                                                bMaskable);
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect,
                                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                DWORD uPriority) {
    return gf_simConnectApi().setNotificationGroupPriority(hSimConnect, GroupID, uPriority);
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                          DWORD interval, DWORD limit) {
    return gf_simConnectApi().requestDataOnSimObject(hSimConnect, RequestID, DefineID, ObjectID,
                                                     Period, Flags, origin, interval, limit);
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type) {
    return gf_simConnectApi().requestDataOnSimObjectType(hSimConnect, RequestID, DefineID,
                                                         dwRadiusMeters, type);
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet) {
    return gf_simConnectApi().setDataOnSimObject(hSimConnect, DefineID, ObjectID, Flags, ArrayCount,
                                                 cbUnitSize, pDataSet);
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags) {
    return gf_simConnectApi().transmitClientEvent(hSimConnect, ObjectID, EventID, dwData, GroupID,
                                                  Flags);
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                          const char* szTailNumber,
                                          SIMCONNECT_DATA_INITPOSITION InitPos,
                                          SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return gf_simConnectApi().aiCreateNonATCAircraft(hSimConnect, szContainerTitle, szTailNumber,
                                                     InitPos, RequestID);
}

HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return gf_simConnectApi().aiReleaseControl(hSimConnect, ObjectID, RequestID);
}

HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                  SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return gf_simConnectApi().aiRemoveObject(hSimConnect, ObjectID, RequestID);
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                           const char* szFlightPlanPath,
                                           SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return gf_simConnectApi().aiSetAircraftFlightPlan(hSimConnect, ObjectID, szFlightPlanPath,
                                                      RequestID);
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID) {
    return gf_simConnectApi().getLastSentPacketID(hSimConnect, pdwSendID);
}

}  // namespace wnd
