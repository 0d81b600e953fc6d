// What the scan does with each airport it reads: the publisher kind of the scenery, the
// link to a delivered airport file, the comparison of stand counts and the generated
// airport file (root / meta / parameters / parkpositions, the format the park airports
// read).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/bgl_reader.h"
#include "scan/scan_log.h"
#include "util/mutex.h"

namespace wnd {

struct DeliveredAirport {
    std::filesystem::path path;  // relative to the working folder, as a link file names it
    std::size_t stands = 0;
};

// The airport files delivered with the program. Behind an interface so that an index that
// comes with the delivered files can take the place of looking on disk.
class DeliveredAirports {
  public:
    virtual ~DeliveredAirports() = default;
    // kind is "simaddon" or a publisher's name.
    virtual std::optional<DeliveredAirport> find(std::string_view kind,
                                                 std::string_view code) const = 0;
};

// archive/simaddon/<code>.xml, or archive/thirdparty/<publisher>/<code>.xml with the
// blanks of the publisher's name written "%20" (as the delivered folders are named).
std::filesystem::path gf_deliveredPath(std::string_view kind, std::string_view code);

// Looks in the working folder `base`; the stands are the file's "parkpos" elements.
std::shared_ptr<const DeliveredAirports> gf_deliveredAirportsOnDisk(std::filesystem::path base);

struct GeneratedAirport {
    std::string code;
    std::string name;
    std::string publisher;
    int altitudeFt = 0;
    std::string bglPath;
    std::vector<BglStand> stands;
};

// Natural order of the ids: letters as text, numbers by value (g2 before g10).
bool gf_standIdLess(std::string_view a, std::string_view b);
// Sorts the stands and writes the file atomically; false when it could not be written.
bool gf_writeAirportFile(GeneratedAirport airport, const std::filesystem::path& path);

// What the tasks of one scan share. Each airport writes only its own code-named files;
// the map below keeps two scenery files of one airport from overwriting the richer one.
struct ScanSession {
    std::filesystem::path base;  // the working folder; empty: the current folder
    ScanLog scanLog;
    std::shared_ptr<const DeliveredAirports> delivered;
    std::function<bool(std::string_view)> isRtAirport;

    Mutex mu;
    std::map<std::string, std::size_t, std::less<>> generated GUARDED_BY(mu);
};

// The scan's sink for one scenery file: the ident check, then per airport the publisher
// kind, the link, the comparison and the generated file.
class ScanFileSink : public BglSink {
  public:
    ScanFileSink(ScanSession& session, std::filesystem::path file);

    bool acceptAirport(std::string_view ident) override;
    void airportStarts(std::string_view ident) override;
    void airport(BglAirport&& airport) override;
    void log(std::string_view line) override;
    void warning(std::string_view line) override;
    void scanLog(std::string_view line) override;

  private:
    void link(std::string_view code);
    void generate(const BglAirport& a);

    ScanSession& session_;
    std::filesystem::path file_;
    std::string fileText_;
    // Of the airport being read.
    std::string kind_;
    std::optional<DeliveredAirport> linked_;
};

}  // namespace wnd
