// A client of our transport that keeps what it receives.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "simconnect/sim_process.h"
#include "simconnect/simconnect.h"
#include "simconnect/tcp_client.h"
#include "testkit/testkit.h"

namespace wnd::sctest {

using namespace std::chrono_literals;

// One received message, copied to aligned storage.
struct Msg {
    std::vector<std::uint64_t> words;
    DWORD size = 0;
    const SIMCONNECT_RECV& recv() const {
        return *reinterpret_cast<const SIMCONNECT_RECV*>(words.data());
    }
    DWORD id() const { return recv().dwID; }
    template <typename T>
    const T& as() const {
        return *reinterpret_cast<const T*>(words.data());
    }
};

using MsgPred = std::function<bool(const Msg&)>;

inline auto matching(DWORD id, const MsgPred& pred) {
    return [&pred, id](const Msg& m) { return m.id() == id && (!pred || pred(m)); };
}

class Client {
  public:
    explicit Client(std::uint16_t port) {
        writeSimConnectCfg(dir_.path(), port);
        gf_tcpSimConnect().setConfigFolder(dir_.path());
        openResult = SimConnect_Open(&h, "Wendle_P3D", nullptr, 0, nullptr, 0);
    }
    ~Client() {
        if (h != nullptr) {
            SimConnect_Close(h);
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool opened() const { return openResult == kScOk && h != nullptr; }

    HRESULT pump() { return SimConnect_CallDispatch(h, &Client::onMessage, this); }
    bool pumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 5s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            pump();
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    void pumpFor(std::chrono::milliseconds d) {
        pumpUntil([] { return false; }, d);
    }

    std::size_t count(DWORD id, const MsgPred& pred = {}) const {
        return static_cast<std::size_t>(std::ranges::count_if(msgs, matching(id, pred)));
    }
    HANDLE h = nullptr;
    HRESULT openResult = kScFail;
    std::vector<Msg> msgs;

  private:
    static void onMessage(SIMCONNECT_RECV* data, DWORD size, void* context) {
        auto* self = static_cast<Client*>(context);
        Msg m;
        m.size = size;
        m.words.assign((size + 7) / 8 + 1, 0);
        std::memcpy(m.words.data(), data, size);
        self->msgs.push_back(std::move(m));
    }

    testkit::TempDir dir_;
};

}  // namespace wnd::sctest
