// libFuzzer entry: one traffic datagram through the Traffic Reader. The first byte sets the
// reader's settings and says whether the rest is a whole datagram or, after a byte that picks
// the field, one field of a good line: that way the fuzzer reaches the rules behind the first
// checks of a line. After any input a good line must still give exactly one record.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "rt_test_util.h"
#include "rtlink/traffic_reader.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wnd;
    static const ParkAirportRef park{{47.4647, 8.5492}, 1416.0};
    static const std::string good = rttest::Line().str();
    static TrafficQueue queue;
    static TrafficReader* reader = [] {
        queue.setMainCycleRuns(true);
        auto* r = new TrafficReader(queue);
        r->setUserPosition(park.position);
        r->setCallsignCollection(true);
        r->setCycleSource([] { return 0x7FFFFFF0; });  // the due cycle wraps
        return r;
    }();
    if (size < 2) {
        return 0;
    }
    const std::uint8_t how = data[0];
    gs().AIRBORNE_ONLY.set((how & 2) != 0);
    reader->setParkAirport((how & 4) != 0 ? std::nullopt : std::optional(park));
    std::string datagram;
    if ((how & 1) != 0) {
        datagram.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    } else {
        const std::string field(reinterpret_cast<const char*>(data) + 2, size - 2);
        datagram = rttest::Line().set(data[1] % 30, field).str();
    }
    if (datagram.size() >= 16384) {
        return 0;  // the receive loop never hands on more
    }
    // A block of the datagram's exact size, so ASan sees any read past its end.
    const auto block = std::make_unique<char[]>(datagram.size());
    std::copy(datagram.begin(), datagram.end(), block.get());
    reader->handOn(std::string_view(block.get(), datagram.size()), (how & 8) == 0);

    const std::size_t before = queue.size();
    reader->onDatagram(good);
    if (queue.size() != before + 1) {
        std::abort();
    }
    if (queue.size() > 1024) {
        queue.clear();
        reader->clearCallsigns();
    }
    return 0;
}
