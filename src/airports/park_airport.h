// The park airport: the one airport at a time whose stands get static parked aircraft, its
// file read with its learned companion, and the user's list of park airports
// ("airports/my_park_airports.txt") from which it is chosen as the user moves. Traffic
// worker thread only, except the copy of the code and position that any thread may read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/airport_file.h"
#include "util/geodesy.h"
#include "util/mutex.h"

namespace wnd {

struct ParkListEntry {
    std::string code;
    std::string stand;  // the reserved stand; may be empty
    LatLon position;
    double distanceNm = 0.0;
};

// The user aircraft as the park cycle sees it.
struct ParkUser {
    LatLon position;
    double heightFt = 0.0;  // compared with AIRP_HEIGHT
    bool onGround = false;
};

class ParkAirports {
  public:
    static constexpr double kUserStandNm = 0.029697624190064796;  // 55 m

    // ---- The park airport ----
    const std::string& code() const { return code_; }
    bool isSet() const { return !code_.empty(); }
    const std::string& iata() const { return iata_; }
    LatLon position() const { return position_; }
    double altitudeFt() const { return altitudeFt_; }
    const std::string& reservedStand() const { return reservedStand_; }
    const AirportFileData& file() const { return file_; }
    AirportFileData& file() { return file_; }
    const std::filesystem::path& filePath() const { return filePath_; }
    // Changes whenever the park airport is set, read or left (the engine follows it).
    std::uint64_t generation() const { return generation_; }

    // Makes the airport with this code the park airport (the airports database's data);
    // false for an unknown code.
    bool setParkAirport(std::string_view code);
    // Reads the park airport's file with its learned file; an error text, empty on success.
    std::string gf_readApf(const std::filesystem::path& path);
    std::string lf_readParkedFile(const ParkUser& user);
    void leave();

    // ---- The list ----
    bool lf_readMyParkAirports();
    const std::list<ParkListEntry>& list() const { return list_; }
    void recordFrontEntry();
    void setDestination(std::string_view code);
    // The re-read the window asks for; a message to show, or "".
    std::string reread(const ParkUser& user);

    // ---- The park cycle step ----
    void step(const ParkUser& user);
    bool readNow() const { return readNow_; }

    // The nearest stand within 55 m of p; empty for none.
    std::string standNear(const LatLon& p) const;
    // The same from any thread (the simulator link's user-stand check), on a copy of the
    // stands published when the file is read.
    std::string standNearAnyThread(const LatLon& p) const;
    // The simulator link found the user at this stand (any thread): the next step records
    // it as the reserved stand of the park airport.
    void noteUserStand(std::string stand);
    // Learning changed the park airport's flights: leaving saves the learned file.
    void markLearnedChanged() { learnedChanged_ = true; }
    // Learning added or extended flights since the file was read (or a change was marked).
    bool learnedChanged() const;
    // Writes the learned file when learning changed something (not for a handmade file).
    void saveLearned();
    void reset();

  private:
    void refreshOrder(const ParkUser& user);
    void search(const ParkUser& user);
    void sightCheck(const ParkUser& user);
    void applyDefaults();
    void forgetAirport();  // the park airport and its file; the list stays

    std::string code_;
    std::string iata_;
    LatLon position_;
    double altitudeFt_ = 0.0;
    std::int32_t stands_ = 0;
    std::string reservedStand_;
    AirportFileData file_;
    std::filesystem::path filePath_;
    bool readNow_ = false;
    std::uint64_t generation_ = 0;
    std::list<ParkListEntry> list_;
    LatLon lastUser_;
    LatLon groundCheckAt_;  // where the user stood at the last check for another airport
    // An airport whose file could not be read is not tried again every second.
    std::string failedCode_;
    int failedWait_ = 0;
    bool learnedChanged_ = false;

    struct Spot {
        std::string id;
        LatLon position;
    };
    mutable Mutex spotsMu_;
    std::vector<Spot> spots_ GUARDED_BY(spotsMu_);
    std::optional<std::string> userStand_ GUARDED_BY(spotsMu_);
    void publishSpots();
};

ParkAirports& gf_parkAirports();
inline constexpr std::string_view kParkListFile = "airports/my_park_airports.txt";

}  // namespace wnd
