// Child process of the killed-process test: creates a store, then adds folders in batches and
// flushes after each batch, reporting "flushed <folders>" on stdout, until it is killed.
#include "pst/Store.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pst_kill_helper FILE.pst ansi|unicode\n");
        return 2;
    }
    const auto format = std::string(argv[2]) == "ansi" ? pst::Format::Ansi : pst::Format::Unicode;
    try {
        auto store = pst::Store::create(argv[1], format, "Killed");
        auto top = store.ipmSubtree();
        int made = 0;
        for (int batch = 0;; ++batch) {
            auto parent = top.createSubfolder("Batch " + std::to_string(batch));
            ++made;
            for (int i = 0; i < 25; ++i, ++made)
                parent.createSubfolder("Folder " + std::to_string(i)).createSubfolder("Leaf");
            made += 25;
            store.flush();
            std::printf("flushed %d\n", made);
            std::fflush(stdout);
        }
    } catch (const pst::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
