// Helpers for the PST tests: a scratch folder, the verifier, running the independent readers,
// and reading their answers.
#pragma once

#include "pst/Verify.h"

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace psttest {

struct CommandResult {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

// Runs a shell command line; the output is captured.
CommandResult run(const std::string& commandLine);
std::string quote(const std::string& s);
// Runs one of this folder's Python scripts with the system Python (pypff); args are quoted already.
CommandResult script(const std::string& name, const std::string& args);

// A fresh folder under the system temp folder, removed at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Outlook-written PST files of tests/data/pst.
std::filesystem::path referenceDir();

// The verifier's judgement of a file: ok when it finds nothing; output lists what it found.
// Files of our writer are held to Outlook's PidTagMessageSize in message and row (strict).
struct VerifyResult {
    bool ok = false;
    std::string output;
    pst::VerifyReport report;
};
inline pst::VerifyOptions writerOptions()
{
    pst::VerifyOptions o;
    o.strictMessageSize = true;
    return o;
}
VerifyResult verify(const std::filesystem::path& pst, const pst::VerifyOptions& options = writerOptions());
// Folder paths ("Top of Personal Folders/Inbox") and subfolder counts as pypff walks them.
CommandResult pypffWalk(const std::filesystem::path& pst);
// Folder paths as exported by pffexport (directories of the export).
std::set<std::string> pffexportFolders(const std::filesystem::path& pst, std::string& log);
// Folder names readpst processes ("Processing Folder" lines) and its log.
std::vector<std::string> readpstFolders(const std::filesystem::path& pst, std::string& log);
std::vector<std::string> lines(const std::string& text);

// The header's cbAMapFree and fAMapValid next to the free space the AMap pages describe.
struct AMapSummary {
    std::uint64_t headerFree = 0;
    std::uint64_t mapFree = 0;
    int valid = -1;
};
AMapSummary amapSummary(const std::filesystem::path& pst);

} // namespace psttest
