// Message benchmark of the PST writer. Modes:
//   message_bench small OUT.pst N            N small mail messages (subject, body, one recipient)
//   message_bench attach OUT.pst M FILE...   M messages, each with the next FILE as attachment
//   message_bench folder OUT.pst N           N small messages in one folder (the 100,000 case)
// Prints "seconds <wall time>" and "rss_kb <peak resident set>"; run_message_bench.sh drives it.
#include "pst/Store.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

namespace {

pst::MessageData smallMessage(int i)
{
    pst::MessageData m;
    m.properties = { { 0x0037, std::nullopt, 0x001F, "Message " + std::to_string(i) + " – Grüße" },
        { 0x1000, std::nullopt, 0x001F, "Hello,\r\nthis is message " + std::to_string(i) + ".\r\n" },
        { 0x0C1A, std::nullopt, 0x001F, std::string("Sender") },
        { 0x0C1F, std::nullopt, 0x001F, std::string("sender@example.com") },
        { 0x0039, std::nullopt, 0x0040, pst::FileTime { 133537536000000000LL + i * 10000000LL } } };
    m.recipients = { { "Anna", "anna@example.com", "SMTP", 1 }, { "Bob", "bob@example.com", "SMTP", 2 } };
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s small|attach|folder OUT.pst COUNT [FILE...]\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const int count = std::atoi(argv[3]);
    const auto start = std::chrono::steady_clock::now();
    try {
        auto store = pst::Store::create(argv[2], pst::Format::Unicode, "Benchmark");
        auto folder = store.ipmSubtree().createSubfolder("Bench");
        for (int i = 0; i < count; ++i) {
            pst::MessageData m = smallMessage(i);
            if (mode == "attach" && argc > 4)
                m.attachments = { { "data-" + std::to_string(i) + ".bin", argv[4 + i % (argc - 4)] } };
            folder.addMessage(m);
        }
        store.close();
    } catch (const pst::Error& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("seconds %.3f\nrss_kb %ld\n", seconds, ru.ru_maxrss);
    return 0;
}
