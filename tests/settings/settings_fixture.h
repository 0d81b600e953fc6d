#pragma once

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "board/run_control.h"
#include "settings/settings.h"
#include "testkit/log_capture.h"

namespace wnd {

// A per-user folder and working folder of its own; settings back at their defaults.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        oldCwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        gs().resetValues();
        gs().filePath = dir_ / "parameters.xml";
        gf_runControl().reset();
    }
    void TearDown() override {
        std::filesystem::current_path(oldCwd_);
        gs().resetValues();
    }

    std::string log() { return log_.text(); }
    std::string file() { return testkit::readFile(gs().filePath); }
    void write(const std::string& xml) { testkit::writeFile(gs().filePath, xml); }
    void writeParameters(const std::vector<std::pair<std::string, std::string>>& values,
                         bool withRoot = true) {
        write(testkit::parametersXml(values, withRoot));
    }
    // name → value of every element, in file order.
    std::vector<std::pair<std::string, std::string>> elements() {
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_file(gs().filePath.c_str()));
        pugi::xml_node ps = doc.child("root").child("parameters");
        if (!ps) {
            ps = doc.child("parameters");
        }
        std::vector<std::pair<std::string, std::string>> out;
        for (pugi::xml_node p : ps.children("parameter")) {
            out.emplace_back(p.attribute("name").value(), p.attribute("value").value());
        }
        return out;
    }
    // The first element named key, or "<missing>".
    std::string value(const std::string& key) {
        for (const auto& [k, v] : elements()) {
            if (k == key) {
                return v;
            }
        }
        return "<missing>";
    }

    testkit::TempDir dir_;
    testkit::LogCapture log_;
    std::filesystem::path oldCwd_;
};

}  // namespace wnd
