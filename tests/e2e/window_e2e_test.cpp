// The window from outside: the real `wendle` with --snapshot and control commands on its
// standard input, against the simulator and RealTraffic stand-ins. The pictures are read
// back with an XML parser; the four moments are also kept beside the build
// (window-pictures/) for the README's pictures in docs/.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "platform/socket.h"
#include "standin_run.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;

constexpr const char* kRed = "#ff0000";
constexpr const char* kYellow = "#ffff00";
constexpr const char* kLime = "#32cd32";
constexpr const char* kBlack = "#000000";

// A loopback TCP port free at the moment: the simulator starts late on it, so its port
// cannot be read from its output before the program starts.
std::uint16_t lf_freePort() {
    platform::Socket s = platform::Socket::create(platform::SocketType::Tcp);
    return s.bind("127.0.0.1", 0) ? s.localPort() : 0;
}

std::string lf_scenario(std::uint16_t port, int startDelayS) {
    return e2e::zurichScenario({{"port", port}, {"start_delay_s", startDelayS}});
}

// `wendle` painting its window into a file and taking commands from a pipe.
class WindowRun {
  public:
    WindowRun(std::vector<std::pair<std::string, std::string>> parameters, std::uint16_t simPort)
        : pipe_(wf_.dir / "commands") {
        wf_.writeParameters(parameters);
        testkit::writeFile(wf_.config / "InsideSystems" / "RealTraffic.jar", "");
        sctest::writeSimConnectCfg(wf_.work, simPort);
        testkit::Process::Options o = wf_.options();
        o.stdinFile = pipe_.path();
        wendle_ = std::make_unique<testkit::Process>(
            testkit::binary("wendle"), std::vector<std::string>{"--snapshot", snapshot().string()},
            o);
    }
    ~WindowRun() {
        if (wendle_->running()) {
            wendle_->terminate();
            wendle_->wait(20s);
        }
    }
    std::filesystem::path snapshot() const { return wf_.dir / "window.svg"; }
    std::filesystem::path parameters() const { return wf_.parametersFile(); }
    void send(const std::string& line) { pipe_.send(line); }
    std::string out() const { return testkit::readFile(wf_.dir / "stdout.txt"); }
    std::string log() const { return wf_.log(); }
    bool logShows(const std::string& text, std::chrono::milliseconds timeout = 30s) const {
        return testkit::waitUntil([&] { return log().find(text) != std::string::npos; }, timeout,
                                  50ms);
    }
    bool outShows(const std::string& text, std::chrono::milliseconds timeout = 10s) const {
        return testkit::waitUntil([&] { return out().find(text) != std::string::npos; }, timeout,
                                  50ms);
    }
    testkit::Process& wendle() { return *wendle_; }

    // The latest picture; false when it is not there or not XML.
    bool picture(pugi::xml_document& doc) const {
        const std::string svg = testkit::readFile(snapshot());
        return !svg.empty() && doc.load_string(svg.c_str());
    }
    // Waits until the picture shows what pred looks for.
    template <typename Pred>
    bool pictureShows(Pred pred, std::chrono::milliseconds timeout = 30s) const {
        return testkit::waitUntil(
            [&] {
                pugi::xml_document doc;
                return picture(doc) && pred(doc);
            },
            timeout, 100ms);
    }
    // Keeps the picture as it is now for the README.
    void keep(const std::string& name) const {
        const std::filesystem::path dir = testkit::stageDir().parent_path() / "window-pictures";
        std::filesystem::create_directories(dir);
        testkit::writeFile(dir / name, testkit::readFile(snapshot()));
    }

  private:
    testkit::WorkFolder wf_;
    testkit::InputPipe pipe_;
    std::unique_ptr<testkit::Process> wendle_;
};

std::string lf_fill(const pugi::xml_document& doc, const std::string& xpath) {
    return doc.select_node(xpath.c_str()).node().attribute("fill").value();
}
std::string lf_lamp(const pugi::xml_document& doc, const std::string& name) {
    return lf_fill(doc, "/svg/rect[@data-name='" + name + "']");
}
std::string lf_statusFill(const pugi::xml_document& doc) {
    return lf_fill(doc, "/svg/rect[@class='status']");
}
// The colour of the first text that begins with `start`; "" when none.
std::string lf_text(const pugi::xml_document& doc, const std::string& start,
                    std::string* whole = nullptr) {
    for (const pugi::xpath_node& n : doc.select_nodes("/svg/text")) {
        const std::string t = n.node().text().get();
        if (t.rfind(start, 0) == 0) {
            if (whole != nullptr) {
                *whole = t;
            }
            return n.node().attribute("fill").value();
        }
    }
    return "";
}
// A control's data-enabled or data-checked flag.
bool lf_flag(const pugi::xml_document& doc, const std::string& name, const char* flag) {
    return doc.select_node(("/svg/g[@data-name='" + name + "']").c_str())
        .node()
        .attribute(flag)
        .as_bool();
}
bool lf_enabled(const pugi::xml_document& doc, const std::string& name) {
    return lf_flag(doc, name, "data-enabled");
}

TEST(WindowE2E, PicturesAndCommandsThroughARunWithTraffic) {
    testkit::TempDir dir;
    const std::string liveries = e2e::demoLiveries(dir.path());
    const std::uint16_t port = lf_freePort();
    ASSERT_NE(port, 0);
    sctest::SimProcess sim(lf_scenario(port, 12), {"--port", std::to_string(port)});
    WindowRun run({{"SIM_INSTALL_PATH", (dir / "Prepar3D v5").string()},
                   {"SCAN_LIVERIES", "true"},
                   {"SCAN_AIRPORTS", "false"},
                   {"lfolder0", liveries}},
                  port);

    // At start: no simulator, no RealTraffic, every control where the table puts it.
    ASSERT_TRUE(run.pictureShows([](const pugi::xml_document& d) {
        return lf_lamp(d, "Sim") == kRed && lf_lamp(d, "RT") == kBlack;
    })) << run.out();
    run.keep("window-start.svg");

    // Waiting for the simulator: the destination can be typed, the callsign tools not yet.
    ASSERT_TRUE(run.logShows("Waiting for Prepar3Dv5 ...")) << run.log();
    ASSERT_TRUE(run.pictureShows([](const pugi::xml_document& d) {
        return lf_enabled(d, "DESTINATION") && lf_enabled(d, "REREAD") && !lf_enabled(d, "CS_OID");
    })) << run.out();
    run.keep("window-waiting.svg");
    run.send("type DESTINATION " + std::string(200, 'k'));
    EXPECT_TRUE(run.outShows("Status: destination '" + std::string(200, 'K') + "' is not valid"));
    run.send("type DESTINATION lszh");
    ASSERT_TRUE(testkit::waitUntil(
        [&] { return testkit::parameterValue(run.parameters(), "DESTINATION") == "LSZH"; }, 10s));
    EXPECT_TRUE(run.outShows("Status: New destination: LSZH"));

    // Bad lines: a reason each, nothing saved, the program goes on.
    run.send("fly to LSZH");
    run.send("select MAX_LIVE_SEL 7");
    run.send("click AEROWINX\x01");
    run.send("type DESTINATION EDDF");  // the field waits for the engine now
    EXPECT_TRUE(run.outShows("Command refused: unknown command 'FLY'"));
    EXPECT_TRUE(run.outShows("Command refused: '7' is not in the list of MAX_LIVE_SEL"));
    EXPECT_TRUE(run.outShows("Command refused: control characters are not allowed"));
    EXPECT_TRUE(run.outShows("Command refused: DESTINATION is disabled"));
    EXPECT_EQ(testkit::parameterValue(run.parameters(), "DESTINATION"), "LSZH");
    EXPECT_EQ(testkit::parameterValue(run.parameters(), "AEROWINX"), "false");
    EXPECT_EQ(testkit::parameterValue(run.parameters(), "MAX_LIVE_SEL"), "500");

    // A flight with traffic.
    ASSERT_TRUE(run.logShows(e2e::simConnectedText(), 60s)) << run.log();
    testkit::Process::Options o;
    o.stdoutFile = dir / "rt.out";
    o.stderrFile = dir / "rt.err";
    testkit::Process rt(testkit::binary("wendle-rt"),
                        {"--flights", "8", "--spread", "30", "--approach-nm", "4", "--seed", "3"},
                        o);
    ASSERT_TRUE(testkit::waitUntil([&] { return sim.traceOf("create").size() >= 2; }, 120s, 1s))
        << run.log() << testkit::readFile(dir / "rt.out");
    std::string live;
    ASSERT_TRUE(run.pictureShows(
        [&](const pugi::xml_document& d) {
            return lf_lamp(d, "RT") == kLime && lf_text(d, "live:", &live) == kLime &&
                   live != "live:   0" && lf_enabled(d, "CS_OID");
        },
        60s))
        << run.log();
    {
        pugi::xml_document d;
        ASSERT_TRUE(run.picture(d));
        EXPECT_NE(lf_lamp(d, "Sim"), kRed);
        EXPECT_EQ(lf_text(d, "Traffic"), kLime);
        EXPECT_EQ(lf_text(d, "Max live (park incl):"), kBlack);
        // The scan done and the kinds without liveries switched off show in their boxes.
        EXPECT_FALSE(lf_flag(d, "SCAN_LIVERIES", "data-checked"));
        EXPECT_FALSE(lf_flag(d, "HELICOPTERS", "data-checked"));
        EXPECT_TRUE(lf_flag(d, "GUID_CHANGES", "data-checked"));
    }
    run.keep("window-traffic.svg");

    run.send("type BLOCK_CALLSIGN abc");
    EXPECT_TRUE(run.outShows("Status: callsign 'abc' is not valid"));
    EXPECT_EQ(testkit::parameterValue(run.parameters(), "BLOCK_CALLSIGN"), "");

    // No live traffic wanted: every created aircraft goes, the label turns yellow.
    run.send("select MAX_LIVE_SEL 0");
    EXPECT_TRUE(run.pictureShows([](const pugi::xml_document& d) {
        return lf_text(d, "Max live (park incl):") == kYellow;
    }));
    EXPECT_TRUE(testkit::waitUntil(
        [&] {
            for (const nlohmann::json& c : sim.traceOf("create")) {
                if (sim.traceOf("remove", {{"oid", c.at("oid")}}).empty()) {
                    return false;
                }
            }
            return true;
        },
        30s, 1s))
        << run.log();
    EXPECT_TRUE(run.pictureShows(
        [](const pugi::xml_document& d) { return lf_text(d, "live:   0") == kLime; }));

    // Ticking the livery scan during the run restarts it after 2 s.
    run.send("click SCAN_LIVERIES");
    EXPECT_TRUE(run.outShows("Status: Your liveries will be scanned\n"));
    EXPECT_TRUE(run.logShows("Exiting: NEW SETTINGS")) << run.log();
    EXPECT_TRUE(run.logShows("Restarting after 2 seconds")) << run.log();
    EXPECT_TRUE(run.logShows("Restart countdown finished")) << run.log();
    // The new run scans the liveries again.
    EXPECT_TRUE(testkit::waitUntil([&] { return e2e::count(run.log(), "for liveries ...") >= 2; },
                                   30s, 100ms))
        << run.log();

    run.wendle().terminate();
    EXPECT_EQ(run.wendle().wait(20s), 0);
}

TEST(WindowE2E, AnErrorHidesStatusMessagesUntilTheRestart) {
    testkit::TempDir dir;
    // No install path and no simulator in the registry: the run ends with an error.
    WindowRun run({{"SCAN_LIVERIES", "false"}, {"SCAN_AIRPORTS", "false"}}, 9);
    ASSERT_TRUE(run.outShows("Error 151: No P3D install path detected")) << run.out();
    ASSERT_TRUE(run.pictureShows([](const pugi::xml_document& d) {
        return lf_statusFill(d) == kRed &&
               lf_text(d, "151: No P3D install path detected") == kBlack &&
               lf_enabled(d, "ALL_INSTALL_PATH");
    })) << run.out();
    run.keep("window-error.svg");

    run.send("click AEROWINX");
    run.send("sync");  // refused after the click was handled
    ASSERT_TRUE(run.outShows("Command refused: unknown command 'SYNC'"));
    EXPECT_EQ(run.out().find("Status: Note: This mode"), std::string::npos) << run.out();
    // The setting is taken (its label turns yellow); the error stays on the status line.
    EXPECT_TRUE(run.pictureShows([](const pugi::xml_document& d) {
        return lf_text(d, "Aerowinx") == kYellow && lf_statusFill(d) == kRed;
    }));

    // The install path the error asks for: one that is not there is refused; with one that
    // is, the error goes and the run restarts after 3 s.
    run.send("type ALL_INSTALL_PATH " + (dir / "nowhere").string());
    EXPECT_TRUE(
        run.outShows("Status: This install path does not exist: " + (dir / "nowhere").string()));
    const std::filesystem::path sim = dir / "Prepar3D v5";
    std::filesystem::create_directories(sim);
    run.send("type ALL_INSTALL_PATH " + sim.string());
    EXPECT_TRUE(run.outShows("Status: Install path exists, Wendle_P3D will restart"));
    EXPECT_TRUE(run.logShows("Restarting after 3 seconds")) << run.log();
    EXPECT_TRUE(run.logShows("Restart countdown finished")) << run.log();
    EXPECT_EQ(testkit::parameterValue(run.parameters(), "SIM_INSTALL_PATH"), sim.string());
    EXPECT_TRUE(
        run.pictureShows([](const pugi::xml_document& doc) { return lf_statusFill(doc) != kRed; }));
    run.wendle().terminate();
    EXPECT_EQ(run.wendle().wait(20s), 0);
}

}  // namespace
}  // namespace wnd
