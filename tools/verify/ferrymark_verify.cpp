// ferrymark-verify FILE.pst [--folders] [--max N] [--strict]: checks a PST file with the
// verifier. Prints one line per finding, one per note (what Outlook's files show too, never a
// finding), then a summary; with --folders one line per folder. --strict holds every message's
// PidTagMessageSize, and its contents row, to the size Outlook 2007 SP2 and later store (for
// files Ferrymark wrote; older Outlook files differ).
// Exit 0: no findings; 1: findings; 2: not readable as a PST (cannot open, no PST header).
#include "pst/Error.h"
#include "pst/Verify.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    std::string file;
    bool folders = false;
    pst::VerifyOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--folders")
            folders = true;
        else if (a == "--strict")
            options.strictMessageSize = true;
        else if (a == "--max" && i + 1 < argc)
            options.maxFindings = std::strtoul(argv[++i], nullptr, 10);
        else if (file.empty() && !a.starts_with("--"))
            file = a;
        else {
            std::fprintf(stderr, "usage: ferrymark-verify FILE.pst [--folders] [--max N] [--strict]\n");
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: ferrymark-verify FILE.pst [--folders] [--max N] [--strict]\n");
        return 2;
    }
    pst::VerifyReport r;
    try {
        r = pst::verify(file, options);
    } catch (const pst::Error& e) {
        std::fprintf(
            stderr, "%s: %s: %s (%s)\n", file.c_str(), e.operation().c_str(), e.actual().c_str(), e.expected().c_str());
        return 2;
    }
    for (const auto& f : r.findings)
        std::printf("%s\n", pst::describe(f).c_str());
    for (const auto& n : r.notes)
        std::printf("note: %s\n", pst::describe(n).c_str());
    if (r.findingCount > r.findings.size())
        std::printf("... %zu more findings not shown\n", r.findingCount - r.findings.size());
    if (folders)
        for (const auto& f : r.folders)
            std::printf("folder %s: %u messages, %u rows, content count %u, %u subfolders\n", f.path.c_str(),
                f.messages, f.contentsRows, f.contentCount, f.subfolders);
    const char* format = !r.format ? "none" : *r.format == pst::Format::Unicode ? "Unicode" : "ANSI";
    std::printf("%s: %s, %llu nodes, %llu blocks, %llu messages, %zu folders, %zu findings\n", file.c_str(), format,
        static_cast<unsigned long long>(r.nodes), static_cast<unsigned long long>(r.blocks),
        static_cast<unsigned long long>(r.messages), r.folders.size(), r.findingCount);
    if (!r.format)
        return 2;
    return r.ok() ? 0 : 1;
}
