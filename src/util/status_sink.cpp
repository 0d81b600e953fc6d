#include "util/status_sink.h"

#include <atomic>

#include "util/log.h"

namespace wnd {

namespace {
std::atomic<StatusSink> g_sink{nullptr};
}

void gf_setStatusSink(StatusSink sink) {
    g_sink.store(sink);
}

void gf_reportStatus(std::string_view text) {
    if (StatusSink sink = g_sink.load(); sink != nullptr) {
        sink(text);
    } else {
        gf_logLine(text);
    }
}

}  // namespace wnd
