#include "scan/airport_files.h"

#include <fmt/format.h>

#include <algorithm>
#include <numbers>
#include <pugixml.hpp>
#include <system_error>

#include "refdata/dbase.h"
#include "util/charset.h"
#include "util/files.h"
#include "util/log.h"
#include "util/strings.h"
#include "util/version.h"
#include "util/xml.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

constexpr std::string_view kSimaddon = "simaddon";

class DeliveredOnDisk final : public DeliveredAirports {
  public:
    explicit DeliveredOnDisk(fs::path base) : base_(std::move(base)) {}

    std::optional<DeliveredAirport> find(std::string_view kind,
                                         std::string_view code) const override {
        if (kind.empty()) {
            return std::nullopt;
        }
        const fs::path relative = gf_deliveredPath(kind, code);
        const fs::path full = base_ / relative;
        std::error_code ec;
        if (!fs::is_regular_file(full, ec)) {
            return std::nullopt;
        }
        DeliveredAirport d{relative, 0};
        pugi::xml_document doc;
        if (doc.load_file(full.c_str())) {
            for ([[maybe_unused]] pugi::xml_node p :
                 doc.child("root").child("parkpositions").children("parkpos")) {
                ++d.stands;
            }
        }
        return d;
    }

  private:
    fs::path base_;
};

std::string lf_plural(std::size_t n) {
    return n == 1 ? "" : "s";
}

}  // namespace

fs::path gf_deliveredPath(std::string_view kind, std::string_view code) {
    const fs::path file = gf_textPath(fmt::format("{}.xml", code));
    if (kind == kSimaddon) {
        return fs::path("archive") / "simaddon" / file;
    }
    std::string folder;
    for (char c : kind) {
        folder += c == ' ' ? std::string("%20") : std::string(1, c);
    }
    return fs::path("archive") / "thirdparty" / gf_textPath(folder) / file;
}

std::shared_ptr<const DeliveredAirports> gf_deliveredAirportsOnDisk(fs::path base) {
    return std::make_shared<DeliveredOnDisk>(std::move(base));
}

bool gf_standIdLess(std::string_view a, std::string_view b) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && digit(a[ie])) {
                ++ie;
            }
            while (je < b.size() && digit(b[je])) {
                ++je;
            }
            std::string_view na = a.substr(i, ie - i);
            std::string_view nb = b.substr(j, je - j);
            na.remove_prefix(std::min(na.find_first_not_of('0'), na.size()));
            nb.remove_prefix(std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) {
                return na.size() < nb.size();
            }
            if (na != nb) {
                return na < nb;
            }
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j) {
        return a.size() - i < b.size() - j;
    }
    return a < b;
}

bool gf_writeAirportFile(GeneratedAirport airport, const fs::path& path) {
    std::stable_sort(
        airport.stands.begin(), airport.stands.end(),
        [](const BglStand& x, const BglStand& y) { return gf_standIdLess(x.id, y.id); });
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("root");
    root.append_child("meta").append_attribute("version").set_value(
        gf_programVersion().text().c_str());
    pugi::xml_node parameters = root.append_child("parameters");
    auto property = [&](const char* name, const std::string& value) {
        pugi::xml_node p = parameters.append_child("parameter");
        p.append_attribute("name").set_value(name);
        p.append_attribute("value").set_value(value.c_str());
    };
    property("airport_name", airport.name);
    property("publisher", airport.publisher);
    property("altitude", fmt::format("{}", airport.altitudeFt));
    property("num_parkpos", fmt::format("{}", airport.stands.size()));
    property("BGLpath", airport.bglPath);
    pugi::xml_node positions = root.append_child("parkpositions");
    for (const BglStand& s : airport.stands) {
        pugi::xml_node p = positions.append_child("parkpos");
        p.append_attribute("id").set_value(s.id.c_str());
        p.append_attribute("latitude").set_value(fmt::format("{:.6f}", s.latitude).c_str());
        p.append_attribute("longitude").set_value(fmt::format("{:.6f}", s.longitude).c_str());
        p.append_attribute("heading").set_value(
            fmt::format("{:.1f}", s.heading * 180.0 / std::numbers::pi).c_str());
        p.append_attribute("radius").set_value(fmt::format("{:.1f}", s.radius * 1852.0).c_str());
        if (s.heli) {
            p.append_attribute("heli").set_value(true);
        }
        if (s.cargo) {
            p.append_attribute("cargo").set_value(true);
        }
        if (s.ramp) {
            p.append_attribute("ramp").set_value(true);
        }
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    return gf_saveXmlDocument(doc, path);
}

ScanFileSink::ScanFileSink(ScanSession& session, fs::path file)
    : session_(session), file_(std::move(file)), fileText_(gf_pathText(file_)) {}

bool ScanFileSink::acceptAirport(std::string_view ident) {
    if (ident.size() != 3 && ident.size() != 4) {
        return false;
    }
    const std::string code = gf_toUpper(ident);
    if (code.size() == 4) {
        if (session_.isRtAirport && session_.isRtAirport(code)) {
            return true;
        }
        scanLog(fmt::format("{} is not an airport supported by RealTraffic ", code));
    }
    return false;
}

void ScanFileSink::airportStarts(std::string_view ident) {
    kind_ = gf_publisherOfPath(fileText_, [this](const std::string& line) { scanLog(line); });
    link(gf_toUpper(ident));
}

void ScanFileSink::link(std::string_view code) {
    const bool simaddon = kind_ == kSimaddon;
    linked_ = session_.delivered ? session_.delivered->find(kind_, code) : std::nullopt;
    if (!linked_) {
        scanLog(simaddon ? fmt::format("{} does not exist as simaddon", code)
                         : fmt::format("thirdparty {} {} does not exist", kind_, code));
        return;
    }
    const fs::path folder = session_.base / "airports" / (simaddon ? "my_ORBX" : "my_thirdparty");
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path linkFile = folder / gf_textPath(fmt::format("{}.txt", code));
    const std::string target = gf_pathText(linked_->path);
    if (!gf_writeTextFile(target, linkFile)) {
        // Without its link the airport has no file: it is generated instead.
        scanLog(fmt::format("{}Writing {} did not succeed", "===> ", gf_pathText(linkFile)));
        linked_.reset();
        return;
    }
    scanLog(simaddon ? fmt::format("{} airport {} linked to {}", kSimaddon, code, target)
                     : fmt::format("thirdparty airport {} linked to {}", code, target));
}

void ScanFileSink::airport(BglAirport&& a) {
    const bool simaddon = kind_ == kSimaddon;
    const std::size_t n = a.stands.size();
    const bool more = linked_ && n > linked_->stands && !simaddon;
    if (more) {
        scanLog(fmt::format("{}{} has {} parkpos while archived one has {}", "===> ", a.ident, n,
                            linked_->stands));
    }
    if (!linked_ || more) {
        generate(a);
    }
}

void ScanFileSink::generate(const BglAirport& a) {
    const std::string_view folderName = kind_ == kSimaddon ? "my_ORBX" : "my_thirdparty";
    const fs::path relative =
        fs::path("airports") / folderName / gf_textPath(fmt::format("{}.xml", a.ident));
    const std::string key = gf_pathText(relative);
    const std::size_t n = a.stands.size();
    MutexLock lock(session_.mu);
    if (const auto it = session_.generated.find(key);
        it != session_.generated.end() && it->second >= n) {
        scanLog(
            fmt::format("{} in {} has {} parkpos, not more than the {} already generated: "
                        "not written",
                        a.ident, fileText_, n, it->second));
        return;
    }
    GeneratedAirport g{a.ident, a.name, kind_, a.altitudeFt, fileText_, a.stands};
    if (!gf_writeAirportFile(std::move(g), session_.base / relative)) {
        scanLog(fmt::format("{}Generating {} did not succeed", "===> ", key));
        return;
    }
    session_.generated[key] = n;
    const auto h = static_cast<std::size_t>(a.helipads);
    scanLog(fmt::format(
        "Generated {}: {} position{}{}", key, n, lf_plural(n),
        h > 0 ? fmt::format(", of which {} helipad{}", h, lf_plural(h)) : std::string()));
}

void ScanFileSink::log(std::string_view line) {
    gf_logLine(line);
}
void ScanFileSink::warning(std::string_view line) {
    gf_logWarning(line);
}
void ScanFileSink::scanLog(std::string_view line) {
    session_.scanLog.add(line);
}

}  // namespace wnd
