// Benchmark of the PST writer: folders through the public API, and raw nodes through the node
// database. Prints one JSON object; with a reader on PATH (pffexport) it also times the reader
// on the same file, so results can be read as ratios measured in one run.
//
// usage: pst_bench DIR [folders=20000] [nodes=1000000]
#include "ndb/NodeDatabase.h"
#include "ndb/PosixFile.h"
#include "pst/Store.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pst_bench DIR [folders] [nodes]\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const int folders = argc > 2 ? std::atoi(argv[2]) : 20000;
    const int nodes = argc > 3 ? std::atoi(argv[3]) : 1000000;
    const auto storePath = dir / "bench-folders.pst";
    const auto ndbPath = dir / "bench-nodes.pst";
    std::filesystem::remove(storePath);
    std::filesystem::remove(ndbPath);
    try {
        auto t0 = std::chrono::steady_clock::now();
        auto store = pst::Store::create(storePath, pst::Format::Unicode, "Benchmark");
        auto parent = store.ipmSubtree().createSubfolder("Many");
        for (int i = 0; i < folders; ++i)
            parent.createSubfolder("Folder " + std::to_string(i));
        store.close();
        const double folderSeconds = seconds(t0);

        t0 = std::chrono::steady_clock::now();
        pst::ndb::NodeDatabase db(pst::ndb::PosixFileSink::createExclusive(ndbPath), pst::Format::Unicode, 0);
        std::uint8_t data[200] = {};
        for (int i = 0; i < nodes; ++i) {
            const std::uint64_t bid = db.writeData(data, 100 + i % 100);
            db.putNode(pst::ndb::makeNid(pst::ndb::kNidTypeNormalMessage, 0x10000 + i), bid, 0, 0x8022);
            if (i % 100000 == 99999)
                db.commit();
        }
        db.commit();
        const double nodeSeconds = seconds(t0);

        t0 = std::chrono::steady_clock::now();
        const std::string cmd = "pffexport -q -f text -t " + (dir / "bench-export").string() + " " + storePath.string()
            + " > /dev/null 2>&1";
        const int rc = std::system(cmd.c_str());
        const double readerSeconds = seconds(t0);
        std::filesystem::remove_all(dir / "bench-export.export");
        std::printf("{\"folders\": %d, \"folders_seconds\": %.3f, \"pffexport_seconds\": %.3f, \"pffexport_exit\": %d, "
                    "\"writer_to_reader\": %.3f, \"nodes\": %d, \"nodes_seconds\": %.3f, \"nodes_file_bytes\": %llu}\n",
            folders, folderSeconds, readerSeconds, rc, readerSeconds > 0 ? folderSeconds / readerSeconds : 0.0, nodes,
            nodeSeconds, static_cast<unsigned long long>(db.fileSize()));
    } catch (const pst::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
