// wendle-rt: a stand-in for RealTraffic. It connects to the program's PSX port, answers
// the version question, logs the Qs121 and Qs123 lines it gets, and sends traffic lines
// and weather datagrams by UDP from a recorded scenario or from flights it generates
// around the user position. See README.md for the options and the line format.
#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/socket.h"
#include "standins/rt/standin.h"
#include "util/geodesy.h"
#include "util/mutex.h"
#include "util/wsa_errors.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using wnd::LatLon;
using wnd::Mutex;
using wnd::MutexLock;
namespace rs = wnd::rtstandin;

struct Options {
    std::string psxHost = "127.0.0.1";
    std::uint16_t psxPort = 10747;
    bool psx = true;
    std::string udpHost = "127.0.0.1";
    std::uint16_t trafficPort = 49005;
    std::uint16_t weatherPort = 49004;
    std::optional<LatLon> center;
    std::string scenario;
    int flights = 12;
    double spread = 120.0;
    std::optional<double> approachNm;
    std::uint32_t seed = 1;
    double runwayHeading = 280.0;
    std::optional<double> elevation;
    std::string runways;  // empty: the project's runway file when it is there
    bool noise = false;
    std::string writeScenario;  // write the generated flights there and end
    double reportInterval = 2.0;
    double speed = 1.0;
    bool loop = false;
    std::vector<std::string> qnh{"1013"};
    double weatherInterval = 5.0;
    std::string icao = "LSZH";
    int level = 2;
    std::string rtVersion = "9.0.0";
    std::optional<std::string> versionAnswer;
    bool answerVersion = true;
    bool hostile = false;
    int hostileEvery = 5;
    double duration = 0.0;
    double dropAfter = 0.0;
    double reconnectAfter = 3.0;
    bool stayAfterExit = false;
};

Mutex gOutMu;  // one line at a time on stdout
template <typename... Ts>
void lf_out(fmt::format_string<Ts...> f, Ts&&... args) {
    MutexLock lock(gOutMu);
    fmt::print("wendle-rt: {}\n", fmt::format(f, std::forward<Ts>(args)...));
    std::fflush(stdout);
}

[[noreturn]] void lf_usage(const std::string& why) {
    fmt::print(stderr,
               "wendle-rt: {}\n"
               "usage: wendle-rt [--psx-host H] [--psx-port N] [--no-psx] [--center LAT,LON]\n"
               "  [--udp-host H] [--traffic-port N] [--weather-port N]\n"
               "  [--scenario FILE | --flights N --spread S --approach-nm D --seed N "
               "--runway-heading DEG\n"
               "   --elevation FT --runways FILE --noise] [--report-interval S] [--speed F]\n"
               "  [--loop] [--write-scenario FILE --center LAT,LON]\n"
               "  [--qnh V,V,...] [--weather-interval S] [--icao CODE]\n"
               "  [--level N] [--rt-version TEXT] [--version-answer TEXT] [--no-version-answer]\n"
               "  [--hostile] [--hostile-every N] [--duration S] [--drop-after S]\n"
               "  [--reconnect-after S] [--stay-after-exit]\n",
               why);
    std::exit(2);
}

double lf_toDouble(const std::string& s, const std::string& opt) {
    try {
        std::size_t used = 0;
        const double v = std::stod(s, &used);
        if (used != s.size() || !std::isfinite(v)) {
            throw std::invalid_argument(s);
        }
        return v;
    } catch (const std::exception&) {
        lf_usage(fmt::format("{} needs a number, not '{}'", opt, s));
    }
}

std::uint16_t lf_toPort(const std::string& s, const std::string& opt) {
    const double v = lf_toDouble(s, opt);
    if (v < 0 || v > 65535 || v != std::floor(v)) {
        lf_usage(fmt::format("{} needs a port number, not '{}'", opt, s));
    }
    return static_cast<std::uint16_t>(v);
}

std::vector<std::string> lf_split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const auto p = s.find(sep, start);
        out.push_back(s.substr(start, p == std::string::npos ? p : p - start));
        if (p == std::string::npos) {
            return out;
        }
        start = p + 1;
    }
}

Options lf_parseArgs(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                lf_usage(a + " needs a value");
            }
            return argv[++i];
        };
        if (a == "--psx-host") {
            o.psxHost = value();
        } else if (a == "--psx-port") {
            o.psxPort = lf_toPort(value(), a);
        } else if (a == "--no-psx") {
            o.psx = false;
        } else if (a == "--center") {
            const auto parts = lf_split(value(), ',');
            if (parts.size() != 2) {
                lf_usage("--center needs LAT,LON");
            }
            o.center = LatLon{lf_toDouble(parts[0], a), lf_toDouble(parts[1], a)};
        } else if (a == "--udp-host") {
            o.udpHost = value();
        } else if (a == "--traffic-port") {
            o.trafficPort = lf_toPort(value(), a);
        } else if (a == "--weather-port") {
            o.weatherPort = lf_toPort(value(), a);
        } else if (a == "--scenario") {
            o.scenario = value();
        } else if (a == "--flights") {
            o.flights = static_cast<int>(lf_toDouble(value(), a));
        } else if (a == "--spread") {
            o.spread = lf_toDouble(value(), a);
        } else if (a == "--approach-nm") {
            o.approachNm = lf_toDouble(value(), a);
        } else if (a == "--seed") {
            o.seed = static_cast<std::uint32_t>(lf_toDouble(value(), a));
        } else if (a == "--runway-heading") {
            o.runwayHeading = lf_toDouble(value(), a);
        } else if (a == "--elevation") {
            o.elevation = lf_toDouble(value(), a);
        } else if (a == "--runways") {
            o.runways = value();
        } else if (a == "--noise") {
            o.noise = true;
        } else if (a == "--write-scenario") {
            o.writeScenario = value();
        } else if (a == "--report-interval") {
            o.reportInterval = lf_toDouble(value(), a);
        } else if (a == "--speed") {
            o.speed = lf_toDouble(value(), a);
            if (o.speed <= 0.0) {
                lf_usage("--speed must be above 0");
            }
        } else if (a == "--loop") {
            o.loop = true;
        } else if (a == "--qnh") {
            o.qnh = lf_split(value(), ',');
        } else if (a == "--weather-interval") {
            o.weatherInterval = lf_toDouble(value(), a);
        } else if (a == "--icao") {
            o.icao = value();
        } else if (a == "--level") {
            o.level = static_cast<int>(lf_toDouble(value(), a));
        } else if (a == "--rt-version") {
            o.rtVersion = value();
        } else if (a == "--version-answer") {
            o.versionAnswer = value();
        } else if (a == "--no-version-answer") {
            o.answerVersion = false;
        } else if (a == "--hostile") {
            o.hostile = true;
        } else if (a == "--hostile-every") {
            o.hostileEvery = std::max(1, static_cast<int>(lf_toDouble(value(), a)));
        } else if (a == "--duration") {
            o.duration = lf_toDouble(value(), a);
        } else if (a == "--drop-after") {
            o.dropAfter = lf_toDouble(value(), a);
        } else if (a == "--reconnect-after") {
            o.reconnectAfter = lf_toDouble(value(), a);
        } else if (a == "--stay-after-exit") {
            o.stayAfterExit = true;
        } else if (a == "--help" || a == "-h") {
            lf_usage("help");
        } else {
            lf_usage("unknown option " + a);
        }
    }
    if (!o.writeScenario.empty() && !o.center) {
        lf_usage("--write-scenario needs --center");
    }
    if (!o.psx && !o.center && o.scenario.empty()) {
        lf_usage("--no-psx needs --center or --scenario");
    }
    return o;
}

// What the PSX side learns and the sender needs.
class Shared {
  public:
    std::atomic<bool> stop{false};
    void setUser(LatLon p, double altFt) {
        MutexLock lock(mu_);
        user_ = p;
        userAlt_ = altFt;
    }
    std::optional<LatLon> user() const {
        MutexLock lock(mu_);
        return user_;
    }
    double userAlt() const {
        MutexLock lock(mu_);
        return userAlt_;
    }

  private:
    mutable Mutex mu_;
    std::optional<LatLon> user_ GUARDED_BY(mu_);
    double userAlt_ GUARDED_BY(mu_) = 0.0;
};

bool lf_sleepUnlessStopped(const Shared& shared, std::chrono::duration<double> d) {
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(d);
    while (Clock::now() < end) {
        if (shared.stop.load()) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return !shared.stop.load();
}

// One line from the program. Returns false when the connection is to end.
bool lf_handleLine(const std::string& line, const Options& o, wnd::platform::Socket& sock,
                   Shared& shared) {
    if (line == "Qs999=version") {
        if (!o.answerVersion) {
            lf_out("version question not answered");
            return true;
        }
        const std::string answer = o.versionAnswer.value_or(
            fmt::format(R"({{"level":{},"version":"{}"}})", o.level, o.rtVersion));
        const std::string wire = answer + "\r\n";
        if (sock.send(wire.data(), wire.size()) < 0) {
            lf_out("version answer failed: {}", wnd::gf_wsaErrorText(sock.lastError()));
            return false;
        }
        lf_out("version question answered: {}", answer);
    } else if (line.rfind("Qs121=", 0) == 0) {
        const auto f = lf_split(line.substr(6), ';');
        if (f.size() == 7) {
            try {
                const LatLon p{std::stod(f[5]) * wnd::kRad2Deg, std::stod(f[6]) * wnd::kRad2Deg};
                shared.setUser(p, std::stod(f[3]) / 1000.0);
                lf_out("received {} (user at {:.6f},{:.6f})", line, p.lat, p.lon);
                return true;
            } catch (const std::exception&) {
            }
        }
        lf_out("received malformed {}", line);
    } else if (line.rfind("Qs123=", 0) == 0) {
        lf_out("received {}", line);
    } else if (line == "exit") {
        lf_out("exit received");
        if (!o.stayAfterExit) {
            shared.stop.store(true);
        }
        return false;
    } else {
        lf_out("received unknown line: {}", line);
    }
    return true;
}

void lf_psxLoop(const Options& o, Shared& shared) {
    bool dropped = false;
    bool announced = false;
    while (!shared.stop.load()) {
        auto sock = wnd::platform::Socket::create(wnd::platform::SocketType::Tcp);
        if (!sock.valid() || !sock.connect(o.psxHost, o.psxPort)) {
            if (!announced) {
                lf_out("waiting for the program at {}:{}", o.psxHost, o.psxPort);
                announced = true;
            }
            lf_sleepUnlessStopped(shared, 500ms);
            continue;
        }
        announced = false;
        sock.setNoDelay(true);
        lf_out("connected to {}:{}", o.psxHost, o.psxPort);
        const auto connectedAt = Clock::now();
        std::string pending;
        char buf[4096];
        bool open = true;
        while (open && !shared.stop.load()) {
            if (o.dropAfter > 0.0 && !dropped &&
                Clock::now() - connectedAt >= std::chrono::duration<double>(o.dropAfter)) {
                dropped = true;
                lf_out("dropping the connection");
                sock.close();
                lf_sleepUnlessStopped(shared, std::chrono::duration<double>(o.reconnectAfter));
                break;
            }
            if (!sock.waitReadable(200ms)) {
                continue;
            }
            const long n = sock.receive(buf, sizeof buf);
            if (n == 0) {
                lf_out("connection closed by the program");
                break;
            }
            if (n < 0) {
                lf_out("receive failed: {}", wnd::gf_wsaErrorText(sock.lastError()));
                break;
            }
            pending.append(buf, static_cast<std::size_t>(n));
            for (auto eol = pending.find('\n'); eol != std::string::npos;
                 eol = pending.find('\n')) {
                std::string line = pending.substr(0, eol);
                pending.erase(0, eol + 1);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                if (!lf_handleLine(line, o, sock, shared)) {
                    open = false;
                    break;
                }
            }
        }
        sock.close();
        if (!shared.stop.load()) {
            lf_sleepUnlessStopped(shared, 1s);
        }
    }
}

double lf_epochNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The QNH the generated altitudes are barometric for: the first --qnh item when it is a
// plausible number of hPa.
double lf_generatorQnh(const Options& o) {
    try {
        const double v = std::stod(o.qnh.front());
        return v >= 900.0 && v <= 1100.0 ? v : 1013.25;
    } catch (const std::exception&) {
        return 1013.25;
    }
}

rs::GeneratorOptions lf_generatorOptions(const Options& o, LatLon where,
                                         const std::vector<rs::Runway>& runways,
                                         std::uint32_t seed) {
    rs::GeneratorOptions g;
    g.airport = where;
    g.runways = rs::airportRunwaysNear(runways, where, 8.0);
    g.elevationFt = o.elevation;
    g.runwayHeadingDeg = o.runwayHeading;
    g.qnhHpa = lf_generatorQnh(o);
    g.noise = o.noise;
    g.flights = o.flights;
    g.spreadSeconds = o.spread;
    g.approachStartNm = o.approachNm;
    g.reportInterval = o.reportInterval;
    g.seed = seed;
    return g;
}

void lf_sendLoop(const Options& o, Shared& shared, std::optional<rs::Scenario> recorded,
                 const std::vector<rs::Runway>& runways) {
    // RealTraffic sends traffic once it knows where the user is.
    std::optional<LatLon> center = o.center;
    while (!center && !shared.stop.load()) {
        center = shared.user();
        if (!center) {
            std::this_thread::sleep_for(50ms);
        }
    }
    if (shared.stop.load()) {
        return;
    }
    auto sock = wnd::platform::Socket::create(wnd::platform::SocketType::Udp);
    if (!sock.valid()) {
        lf_out("cannot create the UDP socket: {}", wnd::gf_wsaErrorText(sock.lastError()));
        shared.stop.store(true);
        return;
    }
    std::uint32_t seed = o.seed;
    const auto makeScenario = [&]() {
        if (recorded) {
            return *recorded;
        }
        const rs::GeneratorOptions g =
            lf_generatorOptions(o, shared.user().value_or(*center), runways, seed++);
        return rs::generateScenario(g);
    };
    rs::Scenario sc = makeScenario();
    lf_out("sending scenario '{}' ({} reports over {:.0f} s) around {:.6f},{:.6f}", sc.name,
           sc.reports.size(), sc.duration(), center->lat, center->lon);

    std::vector<std::string> hostileTraffic;
    const auto hostileWeather = rs::hostileWeatherDatagrams();
    std::size_t hostileIdx = 0;
    std::size_t hostileWeatherIdx = 0;
    std::size_t idx = 0;
    std::size_t qnhIdx = 0;
    std::uint64_t lines = 0;
    std::uint64_t weather = 0;
    std::uint64_t bad = 0;
    auto t0 = Clock::now();
    double epoch0 = lf_epochNow();
    double nextWeather = 0.0;
    const auto sendTo = [&](const std::string& d, std::uint16_t port) {
        if (sock.sendTo(d.data(), d.size(), o.udpHost, port) < 0 && d.size() < 65000) {
            lf_out("send to port {} failed: {}", port, wnd::gf_wsaErrorText(sock.lastError()));
        }
    };
    while (!shared.stop.load()) {
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double scenarioTime = wall * o.speed;
        while (idx < sc.reports.size() && sc.reports[idx].t <= scenarioTime) {
            const auto& r = sc.reports[idx++];
            const double stamp = epoch0 + r.t / o.speed;
            sendTo(rs::formatTrafficLine(r, stamp), o.trafficPort);
            ++lines;
            if (o.hostile && lines % static_cast<std::uint64_t>(o.hostileEvery) == 0) {
                if (hostileTraffic.empty()) {
                    hostileTraffic = rs::hostileTrafficDatagrams(r, stamp);
                }
                sendTo(hostileTraffic[hostileIdx++ % hostileTraffic.size()], o.trafficPort);
                ++bad;
            }
        }
        if (wall >= nextWeather) {
            nextWeather += std::max(0.1, o.weatherInterval);
            if (o.hostile && weather % 2 == 1) {
                sendTo(hostileWeather[hostileWeatherIdx++ % hostileWeather.size()], o.weatherPort);
                ++bad;
            } else {
                sendTo(rs::weatherDatagram(o.qnh[qnhIdx++ % o.qnh.size()], o.icao), o.weatherPort);
            }
            ++weather;
        }
        if (idx == sc.reports.size() && idx > 0) {
            lf_out("scenario '{}' done: {} traffic lines sent", sc.name, lines);
            if (!o.loop) {
                idx = sc.reports.size() + 1;  // only weather from now on
            } else {
                sc = makeScenario();
                idx = 0;
                t0 = Clock::now();
                epoch0 = lf_epochNow();
                nextWeather = 0.0;
            }
        }
        std::this_thread::sleep_for(10ms);
    }
    lf_out("sent {} traffic lines, {} weather datagrams, {} of them malformed", lines, weather,
           bad);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = lf_parseArgs(argc, argv);
    std::optional<rs::Scenario> recorded;
    if (!o.scenario.empty()) {
        try {
            recorded = rs::loadScenario(o.scenario);
        } catch (const std::exception& e) {
            fmt::print(stderr, "wendle-rt: {}\n", e.what());
            return 1;
        }
    }
    std::vector<rs::Runway> runways;
    if (o.scenario.empty()) {
#ifdef WENDLE_RT_RUNWAYS_FILE
        const std::string runwayFile = o.runways.empty() ? WENDLE_RT_RUNWAYS_FILE : o.runways;
#else
        const std::string runwayFile = o.runways;
#endif
        try {
            if (!runwayFile.empty()) {
                runways = rs::loadRunways(runwayFile);
            }
        } catch (const std::exception& e) {
            if (!o.runways.empty()) {
                fmt::print(stderr, "wendle-rt: {}\n", e.what());
                return 1;
            }
            lf_out("no runway file ({}): generated flights use runway heading {:.0f}", e.what(),
                   o.runwayHeading);
        }
    }
    if (!o.writeScenario.empty()) {
        const rs::Scenario sc =
            o.scenario.empty()
                ? rs::generateScenario(lf_generatorOptions(o, *o.center, runways, o.seed))
                : *recorded;
        if (!rs::saveScenario(sc, o.writeScenario)) {
            fmt::print(stderr, "wendle-rt: cannot write {}\n", o.writeScenario);
            return 1;
        }
        lf_out("wrote scenario '{}' ({} reports over {:.0f} s) to {}", sc.name, sc.reports.size(),
               sc.duration(), o.writeScenario);
        return 0;
    }
    Shared shared;
    wnd::platform::socketStartup();
    wnd::platform::watchCloseRequests([&shared] { shared.stop.store(true); });
    Options effective = o;
    if (!effective.center && !effective.psx && recorded && recorded->center) {
        effective.center = recorded->center;
    }
    std::thread sender([&] {
        try {
            lf_sendLoop(effective, shared, recorded, runways);
        } catch (const std::exception& e) {
            lf_out("sender stopped: {}", e.what());
            shared.stop.store(true);
        }
    });
    std::thread timer([&] {
        if (o.duration > 0.0) {
            lf_sleepUnlessStopped(shared, std::chrono::duration<double>(o.duration));
            shared.stop.store(true);
        }
    });
    try {
        if (o.psx) {
            lf_psxLoop(effective, shared);
        } else {
            while (!shared.stop.load()) {
                std::this_thread::sleep_for(50ms);
            }
        }
    } catch (const std::exception& e) {
        lf_out("stopped: {}", e.what());
        shared.stop.store(true);
    }
    sender.join();
    timer.join();
    lf_out("done");
    wnd::platform::socketCleanup();
    return 0;
}
