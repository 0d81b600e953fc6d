// libFuzzer entry: one weather datagram through the QNH Reader.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rtlink/traffic_reader.h"
#include "rtlink/weather.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wnd;
    static TrafficQueue queue;
    static TrafficReader traffic(queue);
    static std::atomic<int> current{1013};
    static QnhReader reader(traffic, current);
    if (size >= 16384) {
        return 0;
    }
    reader.handOn(std::string_view(reinterpret_cast<const char*>(data), size), true);
    if (current.load() < 900 || current.load() > 1100) {
        std::abort();
    }
    return 0;
}
