// Child process of the killed-process test: creates a store, then adds folders in batches and
// flushes after each batch, reporting "flushed <folders>" on stdout, until it is killed. A short
// pause between batches keeps the file small enough for the readers to check quickly.
#include "pst/Store.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

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
            for (int i = 0; i < 5; ++i, ++made)
                parent.createSubfolder("Folder " + std::to_string(i)).createSubfolder("Leaf");
            made += 5;
            store.flush();
            std::printf("flushed %d\n", made);
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } catch (const pst::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
