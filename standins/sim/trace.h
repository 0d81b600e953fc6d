// The stand-in's trace: one JSON object a line, `t` in seconds since the stand-in started.
#pragma once

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace wnd::simstandin {

class TraceWriter {
  public:
    // Throws std::runtime_error when the file cannot be created.
    explicit TraceWriter(const std::filesystem::path& file);
    // Writes {"t":t,"ev":ev, …fields}; t is rounded to milliseconds.
    void write(double t, std::string_view ev, const nlohmann::ordered_json& fields = {});
    void flush();

  private:
    std::ofstream out_;
};

// Text of the simulator's ANSI code page (Windows-1252) as UTF-8, for the trace.
std::string gf_ansiToUtf8(std::string_view ansi);
// UTF-8 as Windows-1252 for the wire; characters it lacks become '?'.
std::string gf_utf8ToAnsi(std::string_view utf8);

}  // namespace wnd::simstandin
