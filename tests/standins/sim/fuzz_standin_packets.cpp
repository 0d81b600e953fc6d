// libFuzzer entry: a client's bytes through the stand-in's core, after the open and a
// registration like the program's (events, definitions, two AI aircraft), so that short inputs
// find something to act on. The first byte chooses: bit 0 leaves out the set-up; bit 1 takes
// the rest as a raw stream for the server's framer; otherwise the rest is records of
// [function][length, 2 bytes][payload], each sent as a whole packet (a function byte from 0x80
// on goes without the function flag). Beyond not crashing, all the core sends must frame
// cleanly, and a new client must still be served.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "simconnect/wire.h"
#include "standins/sim/sim_core.h"

namespace {

using namespace wnd;

class FramingOutbox final : public simstandin::Outbox {
  public:
    void post(std::span<const std::uint8_t> bytes) override {
        framer_.feed(bytes.data(), bytes.size());
        std::span<const std::uint8_t> p;
        while (framer_.next(p) == scwire::Framer::Status::Packet) {
            last.assign(p.begin(), p.end());
        }
        if (framer_.bad()) {
            std::abort();
        }
    }
    void closeAfterFlush() override {}
    void drop() override {}
    std::vector<std::uint8_t> last;

  private:
    scwire::Framer framer_{scwire::kServerHeaderSize};
};

// Cut as the server cuts the stream, with a frame now and then.
void fz_send(simstandin::SimCore& core, std::uint64_t id, std::span<const std::uint8_t> bytes) {
    scwire::Framer framer(scwire::kClientHeaderSize);
    framer.feed(bytes.data(), bytes.size());
    std::span<const std::uint8_t> packet;
    for (int n = 1; framer.next(packet) == scwire::Framer::Status::Packet; ++n) {
        core.handlePacket(id, packet);
        if (n % 8 == 0) {
            core.frame();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    simstandin::Scenario sc;
    sc.refuseTitles = {"R"};
    sc.objectLimit = 4;
    simstandin::SimCore core(sc, std::make_unique<simstandin::TraceWriter>("/dev/null"));
    const std::uint64_t id = core.connect(std::make_shared<FramingOutbox>());
    scwire::PacketWriter w;
    std::uint32_t sendId = 1;
    if ((data[0] & 1) == 0) {
        const SIMCONNECT_DATA_INITPOSITION at{47.46, 8.56, 1421, 0, 0, 0, 1, 0};
        for (const auto& encode : std::initializer_list<std::function<void()>>{
                 [&] { scwire::gf_encodeOpen(w, "fuzz"); },
                 [&] { scwire::gf_encodeSubscribeToSystemEvent(w, 1, "ObjectAdded"); },
                 [&] { scwire::gf_encodeSubscribeToSystemEvent(w, 2, "Frame"); },
                 [&] { scwire::gf_encodeMapClientEventToSimEvent(w, 3, "FLAPS_SET"); },
                 [&] { scwire::gf_encodeAddClientEventToNotificationGroup(w, 4, 3, true); },
                 [&] { scwire::gf_encodeAddToDataDefinition(w, 5, "PLANE LATITUDE", "", 4, 0, 0); },
                 [&] { scwire::gf_encodeAddToDataDefinition(w, 5, "ATC ID", "", 6, 0, 1); },
                 [&] { scwire::gf_encodeAddToDataDefinition(w, 6, "TITLE", "", 11, 0, 2); },
                 [&] { scwire::gf_encodeAICreateNonATCAircraft(w, "T", "N1", at, 104); },
                 [&] { scwire::gf_encodeAICreateNonATCAircraft(w, "R", "N2", at, 104); }}) {
            encode();
            w.endClient(sendId++);
        }
    }
    if ((data[0] & 2) != 0) {
        w.bytes(data + 1, size - 1);
    } else {
        for (std::size_t i = 1; i + 3 <= size;) {
            const std::size_t len =
                std::min(std::size_t{data[i + 1]} | (std::size_t{data[i + 2]} << 8), size - i - 3);
            const std::uint32_t fn = data[i];
            w.beginClient(fn < 0x80 ? scwire::kFunctionFlag | fn : fn);
            w.bytes(data + i + 3, len);
            w.endClient(sendId++);
            i += 3 + len;
        }
    }
    fz_send(core, id, w.buffer());
    core.frame();
    core.disconnect(id);

    // A new client still gets the user's title.
    const auto fresh = std::make_shared<FramingOutbox>();
    const std::uint64_t next = core.connect(fresh);
    scwire::PacketWriter ask;
    scwire::gf_encodeOpen(ask, "after");
    ask.endClient(1);
    scwire::gf_encodeAddToDataDefinition(ask, 1, "TITLE", "", SIMCONNECT_DATATYPE_STRING32, 0, 0);
    ask.endClient(2);
    scwire::gf_encodeRequestDataOnSimObject(ask, 2, 1, 0, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    ask.endClient(3);
    fz_send(core, next, ask.buffer());
    const std::vector<std::uint8_t>& got = fresh->last;
    if (got.size() < kSimObjectDataOffset + 32 ||
        scwire::gf_readU32(got.data() + 8) != SIMCONNECT_RECV_ID_SIMOBJECT_DATA ||
        std::string_view(reinterpret_cast<const char*>(got.data() + kSimObjectDataOffset)) !=
            "Default Aircraft") {
        std::abort();
    }
    return 0;
}
