// libFuzzer entry: bytes from the simulator, cut into messages and handed over as the
// transport does (framing, alignment, padding, short messages left out), through the link's
// dispatch procedure. The link has no connection, so what it would send goes nowhere.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <vector>

#include "board/run_control.h"
#include "sim/sim_link.h"
#include "simconnect/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wnd;
    static SimLink* link = new SimLink();  // never destroyed, as the program's own
    gf_runControl().reset();
    link->reset();
    link->prepare(5);
    scwire::Framer framer(scwire::kServerHeaderSize);
    framer.feed(data, size);
    scwire::Inbox inbox;
    std::span<const std::uint8_t> packet;
    while (framer.next(packet) == scwire::Framer::Status::Packet) {
        inbox.add(packet);
    }
    for (std::size_t i = 0; i < inbox.size(); ++i) {
        try {
            link->dispatchForTest(inbox.message(i), inbox.messageSize(i));
        } catch (const std::exception&) {
            // The SimClient thread shows it and ends; the next message is a new start here.
        }
    }
    std::vector<SimNotice> notices;
    link->takeNotices(notices);
    return 0;
}
