// Registration codes: which installed livery a real registration is shown in, which
// liveries are reserved for their own registrations, and which titles are not to be used.
// Sources: the liveries' own atc_id (in-line), the shipped input/AIG-regcodes.enc and the
// user's text files in input/my_regcodes ("title;REG1,REG2[;#]", '#' = special).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "liveries/livery.h"

namespace wnd {

struct RegcodeRecord {
    std::string title;
    std::vector<std::string> regs;  // trimmed, upper-case, each once, in written order
    bool special = false;
    // The record names no registration at all: its title is not to be used.
    bool dontUse = false;
};

// Built once per run when the catalogue is processed; read-only afterwards.
struct RegcodeTables {
    TextMap<std::string> index;            // registration -> title
    TextSet uniqueRegistrations;           // of special records with exactly one registration
    TextSet specialRegistrations;          // of special records
    TextSet specialLiveries;               // titles of special records
    TextSet dontUseTitles;                 // read when a scan starts
    std::vector<std::string> reportLines;  // for OfflineRegcodes.txt

    void clear();
};

// Reads a decrypted AIG-regcodes.xml and deletes it. Returns the number of records read,
// or -1 when the file does not load or lacks <AIG-regcodes> (an empty list is no error).
// A failing deletion throws std::filesystem::filesystem_error ("remove").
int lf_readRegcodeFile(std::vector<RegcodeRecord>& records, const std::filesystem::path& xml);

// Reads every *.txt file of the folder (charset detected); false when one failed.
// `multiple` receives a line for each registration the files give to two titles.
bool lf_readUserRegcodeFiles(std::vector<RegcodeRecord>& records,
                             const std::filesystem::path& folder,
                             std::vector<std::string>* multiple = nullptr);

// The scan's titles not to use, from the shipped file and the user's files.
void lf_readDontUseTitles();

// Every livery with an atc_id enters the index; clashes go to InlineRegcodes.txt.
void lf_addInlineRegcodes(const LiveryCatalogue& catalogue);

// Merges records whose titles are installed into the index and the special sets.
void lf_mergeRegcodes(const std::vector<RegcodeRecord>& records, const TextSet& installedTitles);

// The shipped file, then the user's files; writes OfflineRegcodes.txt and MyMultRegcodes.txt.
void lf_processRegcodeFiles(const LiveryCatalogue& catalogue);

}  // namespace wnd
