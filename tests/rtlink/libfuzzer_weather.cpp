// libFuzzer entry: one weather datagram through the QNH Reader. An odd first byte hands on the
// rest as it is, an even one as the value of "QNH" in an object, which reaches the number and
// text rules sooner. Whatever comes, the QNH stays within 900 to 1100 hPa.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "rtlink/traffic_reader.h"
#include "rtlink/weather.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wnd;
    static TrafficQueue queue;
    static TrafficReader traffic(queue);
    static std::atomic<int> current{1013};
    static QnhReader reader(traffic, current);
    if (size < 1) {
        return 0;
    }
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string datagram = (data[0] & 1) != 0 ? rest : R"({"QNH":)" + rest + "}";
    if (datagram.size() >= 16384) {
        return 0;  // the receive loop never hands on more
    }
    const auto block = std::make_unique<char[]>(datagram.size());
    std::copy(datagram.begin(), datagram.end(), block.get());
    reader.handOn(std::string_view(block.get(), datagram.size()), true);
    if (current.load() < 900 || current.load() > 1100) {
        std::abort();
    }
    return 0;
}
