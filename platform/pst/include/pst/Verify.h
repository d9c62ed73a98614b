// The PST verifier: reads a PST file (ANSI or Unicode) as an independent reader would, from
// [MS-PST], and reports every rule it breaks, from the header down to heaps, tables and the
// messaging rules. It shares no code with the writer but the public types.
#pragma once

#include "pst/Store.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pst {

// One broken rule: a stable code ("BLOCK_CRC", "HN_FREE_COUNT", ...), where it was found (file
// offset, NID, BID, HID, folder path), what the rule expects and what the file holds.
struct Finding {
    std::string code;
    std::string where;
    std::string expected;
    std::string actual;
};

// A folder as the file holds it: its path from the root ("\Top of Personal Folders\Inbox"),
// the message nodes that name it as parent, and what its tables and counters say.
struct VerifiedFolder {
    std::string path; // display names joined by "\", UTF-8; the root folder itself is "\"
    std::uint32_t nid = 0;
    std::uint32_t messages = 0; // normal message nodes whose parent is this folder
    std::uint32_t contentsRows = 0; // rows of its contents table
    std::uint32_t contentCount = 0; // PidTagContentCount
    std::uint32_t subfolders = 0; // rows of its hierarchy table
};

struct VerifyOptions {
    // Stop collecting after this many findings (the count goes on); 0 = no limit.
    std::size_t maxFindings = 1000;
    // Check the LTP and messaging layers too (heaps, PCs, TCs, folders); the NDB is always checked.
    bool checkLtp = true;
    // PidTagMessageSize as Outlook 2007 SP2 and later store it, for files this project writes:
    // each message's value is the bytes of its node's data tree and of all its subnodes' data
    // (MESSAGE_SIZE), and its contents row holds the same (ROW_MISMATCH). Off by default: older
    // Outlook stored a sum of property sizes, and Outlook's own files hold rows that lag.
    bool strictMessageSize = false;
};

struct VerifyReport {
    std::optional<Format> format; // none when the header could not be read
    std::vector<Finding> findings; // at most maxFindings
    std::size_t findingCount = 0; // all of them, also past maxFindings
    std::vector<VerifiedFolder> folders; // every folder reachable from the root, depth first
    std::uint64_t nodes = 0, blocks = 0, messages = 0;
    // What Outlook's own files show too, for people, never counted as findings: allocated space
    // that neither B-tree reaches (AMAP_LEAK; Outlook reserves pages from the AMap in advance)
    // and, unless strictMessageSize, contents rows whose PidTagMessageSize differs from the
    // message's (ROW_MISMATCH). At most 1000.
    std::vector<Finding> notes;
    std::uint64_t leakedBytes = 0; // all AMAP_LEAK space together
    bool ok() const { return findingCount == 0; }
};

// Reads and checks the file. Never throws for what the file holds (a truncated or hostile file
// gives findings); throws Error(Io) only when the file cannot be opened or read at all.
VerifyReport verify(const std::filesystem::path& pst, const VerifyOptions& options = {});

// "CODE at WHERE: expected E, found A" for people and logs.
std::string describe(const Finding& finding);

} // namespace pst
