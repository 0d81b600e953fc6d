// The TCP transport: a SimConnect client of our own that speaks the FSX SP2 wire protocol
// to a server named by SimConnect.cfg (the simulator, or the stand-in `wendle-sim`).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "simconnect/simconnect.h"
#include "util/mutex.h"

namespace wnd {

// How long the transport waits on the network. A simulator that has not taken a connection
// or read a byte for this long has stalled; waiting longer would only hang whichever thread
// made the call (and closing down with it). A connect that runs out fails the open, which
// the program retries. A send that runs out breaks the link as a reset would: the call and
// every later one fail, and the next dispatch returns E_FAIL without a QUIT, which the program
// handles as a failed request (stop and restart). A simulator on this computer or its network
// accepts at once and reads once a frame; even a long stutter of a busy simulator stops its
// frames, and with them most of what the program sends, long before our send buffer fills.
inline constexpr std::chrono::milliseconds kTcpConnectTimeout{3000};
inline constexpr std::chrono::milliseconds kTcpSendTimeout{3000};

// Handles are small numbers, never reused, so a stale handle is refused, not followed.
// Every operation may be called from any thread. CallDispatch never waits for data: it
// hands over what has arrived, in order, and delivers a lost connection as one QUIT;
// after that every operation on the handle fails. Calls made from inside the dispatch
// procedure are sent together when it returns. An exception thrown by the dispatch
// procedure passes through CallDispatch (what it queued is still sent; the rest of that
// batch of messages is dropped).
class TcpSimConnect final : public SimConnectApi {
  public:
    TcpSimConnect();
    ~TcpSimConnect() override;
    TcpSimConnect(const TcpSimConnect&) = delete;
    TcpSimConnect& operator=(const TcpSimConnect&) = delete;

    // The folder whose SimConnect.cfg is read at each open; the current folder by default.
    void setConfigFolder(std::filesystem::path folder);

    HRESULT open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                 HANDLE hEventHandle, DWORD ConfigIndex) override;
    HRESULT close(HANDLE hSimConnect) override;
    HRESULT callDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) override;
    HRESULT addToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                const char* DatumName, const char* UnitsName,
                                SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                DWORD DatumID) override;
    HRESULT subscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                   const char* SystemEventName) override;
    HRESULT mapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                     const char* EventName) override;
    HRESULT addClientEventToNotificationGroup(HANDLE hSimConnect,
                                              SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                              SIMCONNECT_CLIENT_EVENT_ID EventID,
                                              BOOL bMaskable) override;
    HRESULT setNotificationGroupPriority(HANDLE hSimConnect,
                                         SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                         DWORD uPriority) override;
    HRESULT requestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                   SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                   SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                   SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin, DWORD interval,
                                   DWORD limit) override;
    HRESULT requestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                       SIMCONNECT_DATA_DEFINITION_ID DefineID, DWORD dwRadiusMeters,
                                       SIMCONNECT_SIMOBJECT_TYPE type) override;
    HRESULT setDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                               SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                               DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet) override;
    HRESULT transmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                SIMCONNECT_EVENT_FLAG Flags) override;
    HRESULT aiCreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                   const char* szTailNumber, SIMCONNECT_DATA_INITPOSITION InitPos,
                                   SIMCONNECT_DATA_REQUEST_ID RequestID) override;
    HRESULT aiReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                             SIMCONNECT_DATA_REQUEST_ID RequestID) override;
    HRESULT aiRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                           SIMCONNECT_DATA_REQUEST_ID RequestID) override;
    HRESULT aiSetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                    const char* szFlightPlanPath,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID) override;
    HRESULT getLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID) override;

    class Connection;

  private:
    std::shared_ptr<Connection> find(HANDLE h);
    template <typename Encode>
    HRESULT send(HANDLE h, Encode&& encode);
    void warnOnce(const std::string& text);

    Mutex mu_;
    std::map<std::uintptr_t, std::shared_ptr<Connection>> connections_ GUARDED_BY(mu_);
    std::uintptr_t nextHandle_ GUARDED_BY(mu_) = 1;
    std::filesystem::path configFolder_ GUARDED_BY(mu_);
    std::string lastWarning_ GUARDED_BY(mu_);
};

// The process-wide TCP transport (the default backend).
TcpSimConnect& gf_tcpSimConnect();

}  // namespace wnd
