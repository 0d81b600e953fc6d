#include "liveries/matching.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>

#include "board/status_board.h"
#include "liveries/liveries_state.h"
#include "settings/settings.h"
#include "util/log.h"

namespace wnd {

namespace {

constexpr std::string_view kGeneric = "ZZZ";
constexpr std::string_view kPrivate = "PVT";
constexpr int kPicks = 5;

std::mt19937& lf_generator() {
    thread_local std::mt19937 generator{std::random_device{}()};
    return generator;
}

std::size_t lf_randomIndex(std::size_t size) {
    std::uniform_int_distribution<std::size_t> pick(0, size - 1);
    return pick(lf_generator());
}

bool lf_isSpecial(const LiveriesState& st, const std::string& title) {
    return st.regcodes.specialLiveries.contains(title);
}

bool lf_categoryGoesGeneric(TypeCategory c) {
    return c == kLight || c == kBuzjet || c == kRotorcraft;
}

// The database's record of the aircraft's registration, looked up at most once a match.
class DbRecord {
  public:
    explicit DbRecord(const std::string& reg) : reg_(reg) {}
    const std::optional<DbaseInfo>& get() {
        if (!done_) {
            done_ = true;
            if (!reg_.empty()) {
                info_ = gf_lookupRegistration(reg_);
            }
        }
        return info_;
    }
    // The airline of the record when the database knows an operator for it.
    std::string_view operatorsAirline() {
        const std::optional<DbaseInfo>& i = get();
        return i && !i->opr.empty() ? std::string_view(i->airl) : std::string_view();
    }

  private:
    const std::string& reg_;
    bool done_ = false;
    std::optional<DbaseInfo> info_;
};

bool lf_similarTypes(MatchAircraft& ac, std::string_view airline,
                     const std::vector<SimilarType>& similar) {
    for (const SimilarType& s : similar) {
        if (s.category == ac.category && lf_lookupByAirlineWithFallback(ac, airline, s.type) &&
            lf_acceptMatch(ac, 3)) {
            return true;
        }
    }
    return false;
}

// The last steps: the generic airline, then any livery of the type or a similar one.
bool lf_lastResort(MatchAircraft& ac, int depth) {
    const LiveriesState& st = gf_liveries();
    bool genericTried = false;
    if (depth == 4) {
        genericTried = true;
        if (lf_lookupByAirlineWithFallback(ac, kGeneric, ac.type) && lf_acceptMatch(ac, 4)) {
            return true;
        }
    }
    if (!lf_categoryGoesGeneric(ac.category) || depth < 3) {
        return false;
    }
    if (!genericTried && ac.airline != kPrivate &&
        lf_lookupByAirlineWithFallback(ac, kGeneric, ac.type) && lf_acceptMatch(ac, 4)) {
        return true;
    }
    if (lf_lookupGeneric(ac, ac.type) && lf_acceptMatch(ac, 5)) {
        return true;
    }
    const auto similar = st.indexes.similar.find(ac.type);
    if (similar != st.indexes.similar.end() && !similar->second.empty()) {
        for (const SimilarType& s : similar->second) {
            if (lf_lookupGeneric(ac, s.type) && lf_acceptMatch(ac, 6)) {
                return true;
            }
        }
        return false;
    }
    for (const std::string& model :
         st.indexes.genericModels[static_cast<std::size_t>(ac.category)]) {
        if (lf_lookupGeneric(ac, model) && lf_acceptMatch(ac, 6)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool lf_pickTitle(MatchAircraft& ac, const TitleList& candidates) {
    if (candidates.empty()) {
        return false;
    }
    const LiveriesState& st = gf_liveries();
    const bool random = gs().RANDOM.value() && candidates.size() > 1;
    // A title the simulator refused is passed over like a special one: it would only be
    // refused again, and would hide the other candidates of this step.
    auto usable = [&st](const std::string& t) {
        return !lf_isSpecial(st, t) && !st.isFailedTitle(t);
    };
    for (int i = 0; i < kPicks; ++i) {
        const std::string& t = candidates[random ? lf_randomIndex(candidates.size()) : 0];
        if (usable(t)) {
            ac.title = t;
            return true;
        }
        if (!random) {
            break;  // the same pick every time
        }
    }
    std::vector<const std::string*> rest;
    for (const std::string& t : candidates) {
        if (usable(t)) {
            rest.push_back(&t);
        }
    }
    if (rest.empty()) {
        return false;
    }
    ac.title = *rest[random ? lf_randomIndex(rest.size()) : 0];
    return true;
}

bool lf_lookupByAirline(MatchAircraft& ac, std::string_view airline, std::string_view type,
                        bool cargoIndex) {
    const auto& index = gf_liveries().indexes.airline[cargoIndex ? 1 : 0];
    const auto byAirline = index.find(airline);
    if (byAirline == index.end()) {
        return false;
    }
    const auto byType = byAirline->second.find(type);
    return byType != byAirline->second.end() && lf_pickTitle(ac, byType->second);
}

bool lf_lookupByAirlineWithFallback(MatchAircraft& ac, std::string_view airline,
                                    std::string_view type) {
    if (lf_lookupByAirline(ac, airline, type, ac.cargo)) {
        return true;
    }
    return ac.cargo && lf_lookupByAirline(ac, airline, type, false);
}

bool lf_lookupGeneric(MatchAircraft& ac, std::string_view type) {
    const auto& index = gf_liveries().indexes.model[ac.cargo ? 1 : 0];
    const auto it = index.find(type);
    return it != index.end() && lf_pickTitle(ac, it->second);
}

bool lf_acceptMatch(MatchAircraft& ac, int step) {
    if (step < 0 || step >= kMatchSteps) {
        throw std::logic_error(fmt::format("lf_acceptMatch: no step {}", step));
    }
    LiveriesState& st = gf_liveries();
    if (st.isFailedTitle(ac.title)) {
        ac.title.clear();
        return false;
    }
    st.matchCounts[static_cast<std::size_t>(step)].fetch_add(1, std::memory_order_relaxed);
    if (gf_logIsOpen()) {
        gf_logLine("          {} ={}= {}", ac.label, step, ac.title);
    }
    ac.fsltl = ac.title.find("FSLTL_") != std::string::npos;
    ac.step = step;
    return true;
}

bool lf_matchLivery(MatchAircraft& ac) {
    ac.title.clear();
    ac.fsltl = false;
    ac.step = -1;
    const LiveriesState& st = gf_liveries();
    const int depth = gs().MATCHING_DEPTH.value();
    // The registration steps: a livery named for this registration.
    if (!ac.registration.empty()) {
        const auto it = st.regcodes.index.find(ac.registration);
        if (it != st.regcodes.index.end()) {
            ac.title = it->second;
            if (lf_acceptMatch(ac,
                               st.regcodes.uniqueRegistrations.contains(ac.registration) ? 0 : 1)) {
                return true;
            }
        }
    }
    if (depth < 2) {
        return false;
    }
    // Private flights go to the generic airline at once.
    if (ac.airline == kPrivate && lf_lookupByAirlineWithFallback(ac, kGeneric, ac.type) &&
        lf_acceptMatch(ac, 4)) {
        return true;
    }
    DbRecord db(ac.registration);
    // Airline and type: the airline, then the database's airline of the registration.
    if (!ac.airline.empty()) {
        if (lf_lookupByAirlineWithFallback(ac, ac.airline, ac.type) && lf_acceptMatch(ac, 2)) {
            return true;
        }
        const std::string_view dbAirline = db.operatorsAirline();
        if (!dbAirline.empty() && lf_lookupByAirlineWithFallback(ac, dbAirline, ac.type) &&
            lf_acceptMatch(ac, 2)) {
            return true;
        }
    }
    // Similar types of the same size.
    if (depth >= 3 && !ac.airline.empty()) {
        const auto similar = st.indexes.similar.find(ac.type);
        if (similar != st.indexes.similar.end()) {
            if (lf_similarTypes(ac, ac.airline, similar->second)) {
                return true;
            }
            const std::string_view dbAirline = db.operatorsAirline();
            if (!dbAirline.empty() && lf_similarTypes(ac, dbAirline, similar->second)) {
                return true;
            }
        }
    }
    return lf_lastResort(ac, depth);
}

bool gf_matchLivery(MatchAircraft& ac) {
    return lf_matchLivery(ac);
}

bool gf_matchLiveryForParked(MatchAircraft& ac) {
    const LiveriesState& st = gf_liveries();
    if (!ac.title.empty() && st.indexes.titles.contains(ac.title) && !st.isFailedTitle(ac.title)) {
        if (gf_logIsOpen()) {
            gf_logLine("          {} =s= {}", ac.label, ac.title);
        }
        ac.fsltl = ac.title.find("FSLTL_") != std::string::npos;
        return true;
    }
    if (lf_matchLivery(ac)) {
        return true;
    }
    gf_logLine("{:8}: {} no livery match ...", ac.label,
               fmt::format("{} {} {}", ac.airline, ac.type, ac.registration));
    return false;
}

void gf_addFailedLivery(std::string_view title) {
    gf_liveries().addFailedTitle(title);
}

bool gf_isFailedLivery(std::string_view title) {
    return gf_liveries().isFailedTitle(title);
}

TextMap<std::vector<SimilarType>> gf_similarModelDefinitions() {
    TextMap<std::vector<SimilarType>> out;
    for (const std::vector<std::string>& group : gf_dbase().similarGroups) {
        for (const std::string& type : group) {
            std::vector<SimilarType>& list = out[type];
            for (const std::string& other : group) {
                if (other == type ||
                    std::any_of(list.begin(), list.end(),
                                [&other](const SimilarType& s) { return s.type == other; })) {
                    continue;
                }
                list.push_back(SimilarType{other, gf_typeCategory(other)});
            }
        }
    }
    return out;
}

void lf_indexCatalogue(const LiveryCatalogue& catalogue) {
    MatchingIndexes& idx = gf_liveries().indexes;
    idx.clear();
    for (const Livery& l : catalogue) {
        const std::size_t kind = l.cargo ? 1 : 0;
        idx.airline[kind][l.airl][l.type].push_back(l.title);
        idx.model[kind][l.type].push_back(l.title);
        idx.titles.insert(l.title);
    }
    idx.similar = gf_similarModelDefinitions();
    for (const auto& byAirline : idx.airline) {
        const auto generic = byAirline.find(kGeneric);
        if (generic == byAirline.end()) {
            continue;
        }
        for (const auto& [type, titles] : generic->second) {
            const TypeCategory c = gf_typeCategory(type);
            if (lf_categoryGoesGeneric(c)) {
                idx.genericModels[static_cast<std::size_t>(c)].push_back(type);
            }
        }
    }
    for (auto& models : idx.genericModels) {
        std::sort(models.begin(), models.end());
        models.erase(std::unique(models.begin(), models.end()), models.end());
    }
}

void lf_checkCategories(const LiveryCatalogue& catalogue) {
    std::array<std::size_t, kTypeCategoryCount> pax{};
    std::array<std::size_t, kTypeCategoryCount> cargo{};
    for (const Livery& l : catalogue) {
        auto& counts = l.cargo ? cargo : pax;
        ++counts[static_cast<std::size_t>(gf_typeCategory(l.type))];
    }
    Settings& s = gs();
    for (int c = 0; c < kTypeCategoryCount; ++c) {
        const auto i = static_cast<std::size_t>(c);
        const std::string_view name = gf_typeCategoryName(static_cast<TypeCategory>(c));
        if (pax[i] + cargo[i] > 0) {
            const std::string cargoPart =
                cargo[i] > 0
                    ? fmt::format(" and {} cargo liverie{}", cargo[i], cargo[i] == 1 ? "" : "s")
                    : std::string();
            gf_logLine("Category {}: {} pax liverie{}{}", name, pax[i], pax[i] == 1 ? "" : "s",
                       cargoPart);
            continue;
        }
        gf_logLine("Category {}: No livery found", name);
        BoolParameter* p = nullptr;
        const char* what = nullptr;
        if (c == kLight) {
            p = &s.LIGHT_AIRCRAFT;
            what = "light aircraft";
        } else if (c == kHighPerf) {
            p = &s.HIGH_PERF_AIRCRAFT;
            what = "High Perf aircraft";
        } else if (c == kRotorcraft) {
            p = &s.HELICOPTERS;
            what = "Helicopters";
        }
        if (p != nullptr && p->value()) {
            p->set(false);
            gf_saveParameter(*p);
            gf_requestRepaint();
            gf_logLine("{} temporarily switched off because you do not have {} installed", p->key(),
                       what);
        }
    }
}

void lf_logMatchingSummary() {
    LiveriesState& st = gf_liveries();
    std::string text = "live traffic livery matching summary\nMatches at step:";
    for (int step = 0; step < kMatchSteps; ++step) {
        text +=
            fmt::format("\n{}: {}", step, st.matchCounts[static_cast<std::size_t>(step)].load());
    }
    // Binary: the same bytes on every system, and the same line ends as the log.
    std::ofstream out(st.paths.matchingSummary(),
                      std::ios::out | std::ios::trunc | std::ios::binary);
    if (out.is_open()) {
        out << text << '\n';
    }
    if (!out.is_open() || !out.good()) {
        text += "\nCould not be created";
    }
    gf_logLine(text);
}

void gf_resetMatchCounters() {
    for (auto& c : gf_liveries().matchCounts) {
        c.store(0);
    }
}

}  // namespace wnd
