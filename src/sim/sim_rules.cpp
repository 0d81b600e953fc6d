#include "sim/sim_rules.h"

#include <fmt/format.h>

#include <exception>

#include "refdata/dbase.h"
#include "util/user_error.h"

namespace wnd {

namespace {

bool lf_isAsciiAlnumOrSpace(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
           c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool lf_contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Ordinal day (1 = 1 January of year 1, proleptic Gregorian) of 1 January of the year.
std::int64_t lf_ordinalOfNewYear(std::int64_t year) {
    const std::int64_t y = year - 1;
    return 365 * y + y / 4 - y / 100 + y / 400 + 1;
}

constexpr std::int64_t kOrdinalOf1970 = 719163;

// The database's half wingspan of a type, or 0 when it has none.
double lf_knownHalfWingspan(std::string_view type) {
    const auto& spans = gf_dbase().halfWingspans;
    const auto it = spans.find(type);
    return it == spans.end() ? 0.0 : it->second;
}

}  // namespace

std::string gf_filterSimulatorName(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (char c : raw) {
        if (lf_isAsciiAlnumOrSpace(c)) {
            out.push_back(c);
        }
    }
    return out;
}

std::string gf_simulatorName(std::string_view filteredName, const std::array<DWORD, 4>& version) {
    if (filteredName == "KittyHawk" || filteredName == "SunRise") {
        throw UserErrorException(
            78, fmt::format("{}, (MSFS) not being P3D connects ... ?", filteredName));
    }
    return fmt::format("{} ({}.{}.{}.{})", filteredName, version[0], version[1], version[2],
                       version[3]);
}

void gf_checkP3dVersion(std::string_view simulatorName, std::string_view installPath,
                        int p3dMajor) {
    const bool v5 =
        lf_contains(simulatorName, "v5") &&
        (lf_contains(installPath, "v5") || lf_contains(installPath, "V5") || p3dMajor == 5);
    const bool v6 =
        lf_contains(simulatorName, "v6") &&
        (lf_contains(installPath, "v6") || lf_contains(installPath, "V6") || p3dMajor == 6);
    if (!v5 && !v6) {
        throw UserErrorException(
            78, fmt::format("wrong P3D version '{}' connects ... ?)", simulatorName));
    }
}

std::optional<std::int64_t> gf_simulationTime(std::int64_t year, std::int64_t dayOfYear,
                                              std::int64_t secondsOfDay) {
    // The simulator counts 1 January as day 1, so the day's offset is dayOfYear - 1.
    if (year < 1 || year > 9999 || dayOfYear < 1 || dayOfYear > 366 || secondsOfDay < 0 ||
        secondsOfDay > 86400) {
        return std::nullopt;
    }
    return (lf_ordinalOfNewYear(year) + dayOfYear - 1 - kOrdinalOf1970) * 86400 + secondsOfDay;
}

UserModelInfo gf_resolveUserModel(std::string_view model, std::string_view title) {
    if (model.empty()) {
        throw UserErrorException(
            71, "atc_model= in [General] section of your aircraft.cfg is empty or missing");
    }
    try {
        UserModelInfo info;
        const double largest = gf_largestHalfWingspan();
        if (lf_contains(model, "camerapod") || lf_contains(model, "Crew Vessel")) {
            info.noAircraft = true;
            info.model = "E190";
            info.halfWingspanNm = lf_knownHalfWingspan(info.model);
            if (info.halfWingspanNm <= 0.0) {
                info.halfWingspanNm = largest;
            }
            info.category = 0;
        } else {
            info.model = std::string(model);
            const double span = model.size() < 5 ? lf_knownHalfWingspan(model) : 0.0;
            info.halfWingspanNm = span > 0.0 ? span : largest;
            if (info.halfWingspanNm == largest && title.size() >= 13) {
                const std::string_view head = title.substr(0, 13);
                for (std::string_view a : {"A319", "A320", "A321"}) {
                    if (head == fmt::format("Aerosoft {}", a)) {
                        info.model = std::string(a);
                        info.deducedFromTitle = true;
                        const double again = lf_knownHalfWingspan(a);
                        info.halfWingspanNm = again > 0.0 ? again : largest;
                        break;
                    }
                }
            }
            info.category = static_cast<int>(gf_typeCategory(info.model));
        }
        info.spanUnknown = info.halfWingspanNm == largest;
        return info;
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception&) {
        throw UserErrorException(73,
                                 "It looks like you have not selected an aircraft as user vehicle");
    }
}

}  // namespace wnd
