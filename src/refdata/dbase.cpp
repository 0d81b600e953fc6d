#include "refdata/dbase.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "refdata/encrypted_file.h"
#include "util/files.h"
#include "util/log.h"
#include "util/no_destructor.h"
#include "util/strings.h"
#include "util/user_error.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

constexpr double kNmPerMetre = 0.0005399568034557236;

// Typical spans in metres, for a category the database gives no wingspan for.
constexpr std::array<double, kTypeCategoryCount> kTypicalSpanMetres = {
    11.0,  // light: a single-engine piston
    17.0,  // business jet
    32.0,  // large: a narrow-body airliner
    60.0,  // heavy: a wide-body airliner
    11.0,  // high performance: a fighter
    12.0,  // rotorcraft: a medium helicopter's rotor
};

// The items of a list attribute; empty items are no items.
std::vector<std::string> lf_items(std::string_view text) {
    std::vector<std::string> items = gf_splitList(text);
    std::erase_if(items, [](const std::string& i) { return i.empty(); });
    return items;
}

TypeCategory lf_category(const Dbase& d, std::string_view type) {
    for (TypeCategory c : {kLarge, kHeavy, kBuzjet, kRotorcraft, kHighPerf}) {
        if (d.categories[static_cast<std::size_t>(c)].contains(type)) {
            return c;
        }
    }
    return kLight;
}

std::string lf_lower(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return r;
}

bool lf_containsAnyCase(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos ||
           lf_lower(text).find(lf_lower(part)) != std::string::npos;
}

void lf_readSimilarTypes(const pugi::xml_node root, Dbase& d) {
    const pugi::xml_node section = root.child("similar_types");
    if (!section) {
        return;
    }
    for (const pugi::xml_node e : section.children("similar")) {
        std::vector<std::string> group = lf_items(e.attribute("types").value());
        if (!group.empty()) {
            std::sort(group.begin(), group.end());
            d.similarGroups.push_back(std::move(group));
        }
    }
}

void lf_readPublishers(const pugi::xml_node root, Dbase& d) {
    const pugi::xml_node section = root.child("publishers");
    if (!section) {
        return;
    }
    std::vector<std::string> texts;
    for (const pugi::xml_node e : section.children("pub")) {
        texts.emplace_back(e.attribute("names").value());
    }
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    for (const std::string& t : texts) {
        std::vector<std::string> group = lf_items(t);
        if (!group.empty()) {
            d.publishers.push_back(std::move(group));
        }
    }
    gf_logLine("{} publishers read", d.publishers.size());
}

void lf_readWingspans(const pugi::xml_node root, Dbase& d) {
    const pugi::xml_node section = root.child("wingspans");
    if (!section) {
        return;
    }
    for (const pugi::xml_node e : section.children("wingspan")) {
        const std::string type = e.attribute("type").value();
        if (type.empty() || !d.knownTypes.contains(type)) {
            gf_logWarning("wingspan model {} is not valid, skipped", type);
            continue;
        }
        const double half = e.attribute("meters").as_double(0.0) * 0.5 * kNmPerMetre;
        d.halfWingspans.emplace(type, half);
        d.largestHalfWingspan = std::max(d.largestHalfWingspan, half);
    }
    if (d.halfWingspans.empty()) {
        return;
    }
    std::array<double, kTypeCategoryCount> sum{};
    std::array<int, kTypeCategoryCount> count{};
    for (const auto& [type, half] : d.halfWingspans) {
        const auto c = static_cast<std::size_t>(lf_category(d, type));
        sum[c] += half;
        ++count[c];
    }
    for (std::size_t c = 0; c < sum.size(); ++c) {
        if (count[c] > 0) {
            d.categoryHalfWingspans[c] = sum[c] / count[c];
        }
    }
}

void lf_readFixes(const pugi::xml_node root, Dbase& d) {
    const pugi::xml_node section = root.child("fixes");
    if (!section) {
        return;
    }
    for (const pugi::xml_node e : section.children("fx")) {
        const std::string wro = e.attribute("wro").value();
        const std::string cor = e.attribute("cor").value();
        if (cor.empty() || !d.knownTypes.contains(cor)) {
            gf_logWarning("wrong fix {} -> {}, the latter is not valid", wro, cor);
        } else if (!d.fixes.emplace(wro, cor).second) {
            gf_logWarning("wrong part of fix: '{}', already exists, skipped", wro);
        }
    }
}

void lf_readPublisherAirports(const pugi::xml_node root, Dbase& d) {
    const pugi::xml_node section = root.child("thirdpartiesP3D");
    if (!section) {
        return;
    }
    for (const pugi::xml_node e : section.children("thirdpartieP3D")) {
        d.publisherAirports.push_back(
            {e.attribute("pub").value(), lf_items(e.attribute("arpts").value())});
    }
}

void lf_readRegistrations(const pugi::xml_node root, Dbase& d) {
    if (const pugi::xml_node section = root.child("dbase")) {
        for (const pugi::xml_node e : section.children("db")) {
            d.registrations.push_back({e.attribute("reg").value(), e.attribute("airl").value(),
                                       e.attribute("type").value(), e.attribute("opr").value(),
                                       e.attribute("cargo").as_bool(false)});
        }
    }
    auto& regs = d.registrations;
    std::sort(regs.begin(), regs.end(),
              [](const DbaseRecord& a, const DbaseRecord& b) { return a.reg < b.reg; });
    regs.erase(
        std::unique(regs.begin(), regs.end(),
                    [](const DbaseRecord& a, const DbaseRecord& b) { return a.reg == b.reg; }),
        regs.end());
    regs.shrink_to_fit();
    for (std::size_t i = 0; i < regs.size(); ++i) {
        if (!regs[i].reg.empty() && regs[i].reg.size() < 6) {
            d.shortRegistrations.push_back(i);
        }
    }
    gf_logLine("{} dbase records read", regs.size());
    gf_flushLog();
}

const DbaseRecord* lf_findRecord(std::string_view reg) {
    const auto& regs = gf_dbase().registrations;
    const auto it =
        std::lower_bound(regs.begin(), regs.end(), reg,
                         [](const DbaseRecord& r, std::string_view key) { return r.reg < key; });
    return it != regs.end() && it->reg == reg ? &*it : nullptr;
}

const DbaseRecord* lf_findByCandidates(std::string_view reg) {
    if (reg.empty()) {
        return nullptr;
    }
    for (const std::string& candidate : gf_registrationCandidates(reg)) {
        if (const DbaseRecord* r = lf_findRecord(candidate)) {
            return r;
        }
    }
    return nullptr;
}

}  // namespace

std::string_view gf_typeCategoryName(TypeCategory c) {
    static constexpr std::array<std::string_view, kTypeCategoryCount> kNames = {
        "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};
    const auto i = static_cast<std::size_t>(c);
    return i < kNames.size() ? kNames[i] : std::string_view("Light");
}

void Dbase::reset() {
    *this = Dbase{};
}

Dbase& gf_dbase() {
    static NoDestructor<Dbase> d;
    return *d;
}

void gf_readXmlListSection(const pugi::xml_document& doc, const char* section, const char* element,
                           const char* attribute, CodeSet& target) {
    const pugi::xml_node root = doc.child("root");
    if (!root) {
        throw UserErrorException(61, std::string("XML root missing: ") + "root");
    }
    const pugi::xml_node s = root.child(section);
    if (!s) {
        throw UserErrorException(61, std::string("Missing section: ") + section);
    }
    target.clear();
    for (const pugi::xml_node e : s.children(element)) {
        for (std::string& item : lf_items(e.attribute(attribute).value())) {
            target.insert(std::move(item));
        }
    }
    if (target.empty()) {
        throw UserErrorException(
            61, fmt::format("In XML file section [{}], element [{}], attribute [{}] is empty.",
                            section, element, attribute));
    }
}

bool gf_readDbase(const fs::path& inputFolder) {
    const fs::path enc = inputFolder / "dbase.enc";
    const fs::path xml = inputFolder / "dbase.xml";
    std::error_code ec;
    if (!fs::exists(enc, ec)) {
        throw std::runtime_error(fmt::format("{} not available", gf_pathText(enc)));
    }
    if (!gf_streamDecrypt(enc, xml)) {
        throw std::runtime_error(fmt::format("{} stream decrypt failed", gf_pathText(enc)));
    }
    // Decrypted reference data never stays on disk, whatever happens below.
    const PlainFileGuard removePlain(xml);

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_file(xml.c_str(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed) {
        gf_logWarning("'{}' not read because of {}", gf_pathText(xml), parsed.description());
        return false;
    }

    // Built aside and put in place whole, so a failed read leaves no half tables.
    Dbase d;
    d.registrations.reserve(57000);
    d.similarGroups.reserve(64);
    d.publisherAirports.reserve(200);
    gf_readXmlListSection(doc, "aircrafts", "aircraft", "types", d.knownTypes);
    gf_readXmlListSection(doc, "high_performance", "hpf", "types",
                          d.categories[static_cast<std::size_t>(kHighPerf)]);
    gf_readXmlListSection(doc, "heavy", "hvy", "types",
                          d.categories[static_cast<std::size_t>(kHeavy)]);
    gf_readXmlListSection(doc, "large", "lar", "types",
                          d.categories[static_cast<std::size_t>(kLarge)]);
    gf_readXmlListSection(doc, "buzjet", "bzj", "types",
                          d.categories[static_cast<std::size_t>(kBuzjet)]);
    gf_readXmlListSection(doc, "rotorcraft", "rot", "types",
                          d.categories[static_cast<std::size_t>(kRotorcraft)]);
    gf_readXmlListSection(doc, "cargo_types", "cargo_type", "types", d.cargoTypes);
    const pugi::xml_node root = doc.child("root");
    lf_readSimilarTypes(root, d);
    gf_readXmlListSection(doc, "ICAO_airlines", "ICAO", "codes", d.airlines);
    gf_readXmlListSection(doc, "cargo_operators", "ICAO", "codes", d.cargoOperators);
    lf_readPublishers(root, d);
    lf_readWingspans(root, d);
    lf_readFixes(root, d);
    gf_readXmlListSection(doc, "simaddonsP3D", "simaddonP3D", "arpts", d.simAddonAirports);
    lf_readPublisherAirports(root, d);
    lf_readRegistrations(root, d);
    d.read = true;
    gf_dbase() = std::move(d);
    return true;
}

void gf_readDataFilesOnce(const fs::path& inputFolder) {
    if (gf_dbase().read) {
        return;
    }
    if (!gf_readDbase(inputFolder)) {
        throw std::runtime_error("reading data files failed!");
    }
}

TypeCategory gf_typeCategory(std::string_view type) {
    return lf_category(gf_dbase(), type);
}

bool gf_isKnownType(std::string_view type) {
    return !type.empty() && gf_dbase().knownTypes.contains(type);
}

bool gf_isKnownAirline(std::string_view code) {
    return !code.empty() && gf_dbase().airlines.contains(code);
}

double gf_halfWingspan(std::string_view type) {
    const Dbase& d = gf_dbase();
    if (const auto it = d.halfWingspans.find(type); it != d.halfWingspans.end()) {
        return it->second;
    }
    const auto c = static_cast<std::size_t>(lf_category(d, type));
    const double mean = d.categoryHalfWingspans[c];
    return mean > 0.0 ? mean : kTypicalSpanMetres[c] * 0.5 * kNmPerMetre;
}

double gf_largestHalfWingspan() {
    return gf_dbase().largestHalfWingspan;
}

std::vector<std::string> gf_registrationCandidates(std::string_view reg) {
    std::vector<std::string> out;
    if (reg.size() >= 5 && reg.front() != 'N' && reg.find('-') == std::string_view::npos) {
        out.reserve(3);
        out.push_back(fmt::format("{}-{}", reg.substr(0, 2), reg.substr(2)));
        out.push_back(fmt::format("{}-{}", reg.substr(0, 1), reg.substr(1)));
    }
    out.emplace_back(reg);
    return out;
}

std::optional<DbaseInfo> gf_lookupRegistration(std::string_view reg) {
    if (const DbaseRecord* r = lf_findByCandidates(reg)) {
        return DbaseInfo{r->airl, r->type, r->opr, r->cargo};
    }
    return std::nullopt;
}

std::string gf_airlineOfRegistration(std::string_view reg) {
    const DbaseRecord* r = lf_findByCandidates(reg);
    return r != nullptr ? r->airl : std::string();
}

std::string gf_operatorOfRegistration(std::string_view reg) {
    const DbaseRecord* r = lf_findByCandidates(reg);
    return r != nullptr ? r->opr : std::string();
}

std::optional<std::string> gf_findRegistrationIn(std::string_view text) {
    const Dbase& d = gf_dbase();
    for (const std::size_t i : d.shortRegistrations) {
        const std::string& reg = d.registrations[i].reg;
        if (text.find(reg) != std::string_view::npos) {
            return reg;
        }
    }
    return std::nullopt;
}

std::string gf_publisherOfPath(std::string_view path,
                               const std::function<void(const std::string&)>& scanLog) {
    if (lf_containsAnyCase(path, "ORBX")) {
        const std::string publisher = "simaddon";
        if (scanLog) {
            scanLog(fmt::format("from filename => publisher {}", publisher));
        }
        return publisher;
    }
    for (const auto& group : gf_dbase().publishers) {
        for (const std::string& name : group) {
            if (lf_containsAnyCase(path, name)) {
                return group.front();
            }
        }
    }
    return {};
}

}  // namespace wnd
