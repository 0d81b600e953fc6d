#include "liveries/liveries.h"

#include <set>

#include "board/status_board.h"
#include "liveries/liveries_state.h"
#include "liveries/livery_scan.h"
#include "liveries/matching.h"
#include "liveries/regcodes.h"
#include "util/log.h"

namespace wnd {

void gf_scanLiveries() {
    lf_scanLiveries();
}

void gf_processScannedLiveries() {
    LiveriesState& st = gf_liveries();
    if (st.processed && !st.scannedSinceProcessing) {
        gf_logLine("Processing scanned liveries skipped; already done in previous start-up");
        // The run reset cleared the window's count.
        gf_board().liveriesCount = static_cast<int>(st.catalogue.size());
        return;
    }
    st.catalogue = lf_readLiveriesScanned(st.paths.catalogue());
    st.regcodes.index.clear();
    st.regcodes.uniqueRegistrations.clear();
    st.regcodes.specialRegistrations.clear();
    st.regcodes.specialLiveries.clear();
    lf_indexCatalogue(st.catalogue);
    lf_addInlineRegcodes(st.catalogue);
    lf_processRegcodeFiles(st.catalogue);
    std::set<std::string, std::less<>> airlines;
    for (const auto& byAirline : st.indexes.airline) {
        for (const auto& entry : byAirline) {
            airlines.insert(entry.first);
        }
    }
    gf_logLine("{} airlines, {} pax aircraft models and {} cargo aircraft models", airlines.size(),
               st.indexes.model[0].size(), st.indexes.model[1].size());
    gf_logLine("{} registration codes", st.regcodes.index.size());
    lf_checkCategories(st.catalogue);
    gf_board().liveriesCount = static_cast<int>(st.catalogue.size());
    st.processed = true;
    st.scannedSinceProcessing = false;
}

void gf_writeMatchingSummary(bool emptyTable) {
    lf_logMatchingSummary();
    if (emptyTable) {
        gf_resetMatchCounters();
    }
}

void gf_resetLiveryRunState() {
    gf_resetMatchCounters();
    gf_liveries().clearFailedTitles();
}

void gf_setLiveryWorkFolder(const std::filesystem::path& work) {
    gf_liveries().paths.work = work;
}

}  // namespace wnd
