// libFuzzer entry: one traffic datagram through the Traffic Reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rtlink/traffic_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wnd;
    static TrafficQueue queue;
    static TrafficReader* reader = [] {
        queue.setMainCycleRuns(true);
        auto* r = new TrafficReader(queue);
        r->setUserPosition({47.4647, 8.5492});
        r->setParkAirport(ParkAirportRef{{47.4647, 8.5492}, 1416.0});
        r->setCallsignCollection(true);
        return r;
    }();
    if (size >= 16384) {
        return 0;  // the receive loop never hands these on
    }
    reader->handOn(std::string_view(reinterpret_cast<const char*>(data), size), (size & 1) == 0);
    if (queue.size() > 1024) {
        queue.clear();
        reader->clearCallsigns();
    }
    return 0;
}
