#include "PstTestSupport.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <sstream>
#include <sys/wait.h>

namespace psttest {

CommandResult run(const std::string& commandLine)
{
    CommandResult r;
    FILE* p = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.output.append(buf.data(), n);
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CommandResult script(const std::string& name, const std::string& args)
{
    return run(
        std::string(FERRYMARK_SYSTEM_PYTHON) + " " + quote(std::string(PST_TEST_SOURCE_DIR) + "/" + name) + " " + args);
}

ScratchDir::ScratchDir()
{
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("ferrymark-pst-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path referenceDir() { return std::filesystem::path(FERRYMARK_TEST_DATA_DIR) / "pst"; }

VerifyResult verify(const std::filesystem::path& pst, const pst::VerifyOptions& options)
{
    VerifyResult r;
    try {
        r.report = pst::verify(pst, options);
    } catch (const std::exception& e) {
        r.output = std::string("not readable: ") + e.what() + "\n";
        return r;
    }
    r.ok = r.report.ok() && r.report.format.has_value();
    for (const auto& f : r.report.findings)
        r.output += pst::describe(f) + "\n";
    r.output += std::to_string(r.report.findingCount) + " findings, " + std::to_string(r.report.nodes) + " nodes\n";
    return r;
}

CommandResult pypffWalk(const std::filesystem::path& pst) { return script("walk_folders.py", quote(pst.string())); }

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::set<std::string> pffexportFolders(const std::filesystem::path& pst, std::string& log)
{
    const auto target = pst.parent_path() / (pst.stem().string() + "-pffexport");
    auto r = run("pffexport -f text -t " + quote(target.string()) + " " + quote(pst.string()));
    log = "exit " + std::to_string(r.exitCode) + "\n" + r.output;
    std::set<std::string> out;
    const auto root = std::filesystem::path(target.string() + ".export");
    if (r.exitCode != 0 || !std::filesystem::exists(root))
        return out;
    for (auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_directory())
            out.insert(std::filesystem::relative(e.path(), root).string());
    std::filesystem::remove_all(root);
    return out;
}

std::vector<std::string> readpstFolders(const std::filesystem::path& pst, std::string& log)
{
    const auto target = pst.parent_path() / (pst.stem().string() + "-readpst");
    std::filesystem::create_directories(target);
    auto r = run("readpst -o " + quote(target.string()) + " -D -r " + quote(pst.string()));
    log = "exit " + std::to_string(r.exitCode) + "\n" + r.output;
    std::vector<std::string> out;
    static const std::regex folder("^Processing Folder \"(.*)\"$");
    for (const auto& l : lines(r.output)) {
        std::smatch m;
        if (std::regex_match(l, m, folder))
            out.push_back(m[1]);
    }
    std::filesystem::remove_all(target);
    return out;
}

AMapSummary amapSummary(const std::filesystem::path& pst)
{
    std::ifstream in(pst, std::ios::binary);
    const std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), {});
    AMapSummary s;
    if (d.size() < 0x4400 + 512)
        return s;
    const bool unicode = d[10] >= 23; // wVer
    auto le = [&](std::size_t at, unsigned width) {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < width; ++i)
            v |= std::uint64_t(d[at + i]) << (8 * i);
        return v;
    };
    // ROOT: dwReserved, ibFileEof, ibAMapLast, cbAMapFree, cbPMapFree, BREFNBT, BREFBBT, fAMapValid.
    const std::size_t root = unicode ? 180 : 164;
    const unsigned w = unicode ? 8 : 4;
    s.headerFree = le(root + 4 + 2 * w, w);
    s.valid = d[root + 4 + 8 * w];
    for (std::size_t ib = 0x4400; ib + 512 <= d.size(); ib += 253952)
        for (std::size_t i = 0; i < 496; ++i)
            for (int bit = 0; bit < 8; ++bit)
                if (!(d[ib + (unicode ? 0 : 4) + i] & (0x80 >> bit)))
                    s.mapFree += 64;
    return s;
}

} // namespace psttest
