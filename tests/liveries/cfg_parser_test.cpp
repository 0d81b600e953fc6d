#include "liveries/cfg_parser.h"

#include <gtest/gtest.h>

namespace wnd {
namespace {

TEST(CfgParser, KeyLinesFollowThePatternsAndDropComments) {
    struct Case {
        const char* line;
        std::optional<CfgKey> key;
        const char* value;
    };
    const Case cases[] = {
        {"title=AIG A320 Lufthansa", CfgKey::title, "AIG A320 Lufthansa"},
        {"  Title =  A B  \r", CfgKey::title, "A B"},
        {"ATC_ID=d-aipx", CfgKey::atc_id, "d-aipx"},
        {"model=long //clean,long", CfgKey::model, "long"},
        {"texture=http://example//x", CfgKey::texture, "http://example//x"},
        {"atc_parking_codes = DLH, LH", CfgKey::atc_parking_codes, "DLH, LH"},
        {"sim=\tAIG_A320\t", CfgKey::sim, "AIG_A320"},
        // Not one of the keys, or no value.
        {"title=", std::nullopt, ""},
        {"model=//clean", std::nullopt, ""},
        {"titlex=1", std::nullopt, ""},
        {"ui_title=1", std::nullopt, ""},
        {"// title=commented", std::nullopt, ""},
        {"title A320", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const auto kv = lf_matchKeyLine(c.line);
        ASSERT_EQ(kv.has_value(), c.key.has_value()) << c.line;
        if (kv) {
            EXPECT_EQ(kv->key, *c.key) << c.line;
            EXPECT_EQ(kv->value, c.value) << c.line;
        }
    }
}

TEST(CfgParser, SectionHeaders) {
    EXPECT_EQ(lf_matchFltsimHeader("[fltsim.0]"), 0);
    EXPECT_EQ(lf_matchFltsimHeader("  [FLTSIM.12]  \r"), 12);
    EXPECT_EQ(lf_matchFltsimHeader("[Fltsim.3]"), 3);
    // No overflow, also where a long has 32 bits.
    const std::optional<long> big = lf_matchFltsimHeader("[fltsim.99999999999999999999]");
    ASSERT_TRUE(big);
    EXPECT_LE(*big, 2147483647L);
    for (const char* no :
         {"[fltsim.]", "[fltsim.x]", "[fltsim.1] x", "[fltsim.1", "[General]", "fltsim.1", ""}) {
        EXPECT_FALSE(lf_matchFltsimHeader(no)) << no;
    }
    EXPECT_TRUE(lf_isSectionHeader(" [General]"));
    EXPECT_TRUE(lf_isSectionHeader("[fltsim.x]"));
    EXPECT_FALSE(lf_isSectionHeader("title=[x]"));
}

TEST(CfgParser, SectionsEndAtAnyHeaderAndKeepTheFirstOfEachKey) {
    const std::vector<std::string> lines = {
        "// header comment",  "atc_model=IGNORED?", "[fltsim.0]",    "title=One",
        "title=Two",          "atc_id=A",           "atc_id=B",      "[General]",
        "title=Not a livery", "atc_model=B738",     "[fltsim.1]",    "title=  Spaced  ",
        "[fltsim.2]",         "[FLTSIM.3]",         "atc_model=A320"};
    const ParsedCfg cfg = lf_parseCfgLines(lines);
    // The first atc_model line of the file counts, wherever it is.
    EXPECT_EQ(cfg.atcModel, "IGNORED?");
    ASSERT_EQ(cfg.sections.size(), 4U);
    const FltsimSection& s0 = cfg.sections[0];
    EXPECT_EQ(s0.header, "[fltsim.0]");
    EXPECT_EQ(s0.line, 3U);
    EXPECT_EQ(s0[CfgKey::title], "One");
    EXPECT_EQ(s0.count(CfgKey::title), 2);
    EXPECT_EQ(s0[CfgKey::atc_id], "A");
    EXPECT_EQ(s0.count(CfgKey::atc_id), 2);
    EXPECT_EQ(cfg.sections[1][CfgKey::title], "Spaced");
    EXPECT_EQ(cfg.sections[1].rawTitle, "  Spaced  ");
    EXPECT_FALSE(cfg.sections[2][CfgKey::title]);
    EXPECT_EQ(cfg.sections[3][CfgKey::atc_model], "A320");
}

}  // namespace
}  // namespace wnd
