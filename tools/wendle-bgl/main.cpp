// wendle-bgl FILE...: what the scenery reader finds in BGL files, as JSON lines, for users
// who want to check a scenery and for tests. For each airport one line
//   {"file","ident","name","altitude_ft","layout","stands":[{"id","kind","type",
//    "radius_m","heading_deg","lat","lon"}...]}
// and for each file one line {"file","precheck","airports","messages":[...]}.
// Every airport with a valid ident is listed (no airports database is consulted).
// Exit status 0, 1 when a file could not be read, 2 for a wrong command line.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "scan/bgl_reader.h"
#include "util/files.h"

namespace {

using nlohmann::json;

std::string lf_kind(const wnd::BglStand& s) {
    if (s.heli) {
        return "helipad";
    }
    if (s.cargo) {
        return "cargo";
    }
    return s.ramp ? "ramp" : "gate";
}

class JsonSink final : public wnd::BglSink {
  public:
    explicit JsonSink(std::string file) : file_(std::move(file)) {}

    bool acceptAirport(std::string_view /*ident*/) override { return true; }
    void airport(wnd::BglAirport&& a) override {
        json stands = json::array();
        for (const wnd::BglStand& s : a.stands) {
            json j;
            j["id"] = s.id;
            j["kind"] = lf_kind(s);
            if (s.parkingType >= 0) {
                j["type"] = s.parkingType;
            }
            j["radius_m"] = s.radius * 1852.0;
            j["heading_deg"] = s.heading * 180.0 / std::numbers::pi;
            j["lat"] = s.latitude;
            j["lon"] = s.longitude;
            stands.push_back(std::move(j));
        }
        json line;
        line["file"] = file_;
        line["ident"] = a.ident;
        line["name"] = a.name;
        line["altitude_ft"] = a.altitudeFt;
        line["layout"] = a.v5Layout ? "v5" : "fsx";
        line["stands"] = std::move(stands);
        std::cout << line.dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
        ++airports_;
    }
    void log(std::string_view line) override { messages_.emplace_back(line); }
    void warning(std::string_view line) override {
        messages_.push_back("==> " + std::string(line));
    }
    void scanLog(std::string_view line) override { messages_.emplace_back(line); }

    int airports() const { return airports_; }
    const std::vector<std::string>& messages() const { return messages_; }

  private:
    std::string file_;
    int airports_ = 0;
    std::vector<std::string> messages_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h") {
        std::cerr << "usage: wendle-bgl FILE...\n"
                     "Prints the airports of BGL scenery files and their stands as JSON lines.\n";
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path = wnd::gf_textPath(argv[i]);
        const std::string name = wnd::gf_pathText(path);
        JsonSink sink(name);
        json summary;
        summary["file"] = name;
        std::string error;
        const std::optional<wnd::BglData> data = wnd::gf_loadBglFile(path, &error);
        if (!data) {
            summary["error"] = error;
            status = 1;
        } else {
            const wnd::BglView view(*data);
            summary["precheck"] = wnd::gf_bglPreCheck(view);
            wnd::gf_processBglData(view, name, sink);
        }
        summary["airports"] = sink.airports();
        summary["messages"] = sink.messages();
        std::cout << summary.dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
    }
    std::cout.flush();
    return status;
}
