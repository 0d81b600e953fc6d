// Lets low-level helpers show a line in the status display without depending on the
// window: the user interface installs the sink at start; without one the line is logged.
#pragma once

#include <string_view>

namespace wnd {

using StatusSink = void (*)(std::string_view text);

void gf_setStatusSink(StatusSink sink);
// Shows (and logs) the text through the installed sink.
void gf_reportStatus(std::string_view text);

}  // namespace wnd
