// Measures the Notes stand-in on one DXL database and prints its speed as ratios to baselines
// measured in the same run: opening (indexing) against `cat FILE > /dev/null`, documents read
// per second the way the conversion reads mail, index memory per document, and attachment
// extraction against the same cat.
//
// Usage: ferrymark_notes_bench FILE.dxl
#include "automation/notes.h"
#include "notes/dxl_database.h"
#include "notes/notes_session.h"

#include <expat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

template <class F> double best(int runs, F&& f)
{
    double shortest = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        shortest = std::min(shortest, seconds(t0, Clock::now()));
    }
    return shortest;
}

const char* const MailItems[] = { "Subject", "From", "INetFrom", "SendTo", "InetSendTo", "CopyTo", "InetCopyTo",
    "BlindCopyTo", "InetBlindCopyTo", "PostedDate", "Body" };

// Expat alone, without handlers: the floor under any index built with it.
void expatOnly(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY);
    XML_Parser parser = XML_ParserCreateNS(nullptr, '|');
    for (;;) {
        void* buffer = XML_GetBuffer(parser, 256 * 1024);
        const ssize_t n = buffer != nullptr ? ::read(fd, buffer, 256 * 1024) : -1;
        if (n < 0 || XML_ParseBuffer(parser, static_cast<int>(n), n == 0 ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
            std::fprintf(stderr, "expat baseline: cannot parse %s\n", file.c_str());
            std::exit(1);
        }
        if (n == 0)
            break;
    }
    XML_ParserFree(parser);
    ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ferrymark_notes_bench FILE.dxl\n");
        return 2;
    }
    const std::string file = argv[1];
    struct stat st { };
    if (::stat(file.c_str(), &st) != 0) {
        std::perror(file.c_str());
        return 1;
    }
    const double megabytes = static_cast<double>(st.st_size) / 1e6;
    const std::string cat = "cat '" + file + "' > /dev/null";
    auto session = notes::CreateNotesSession();

    try {
        // Baseline: reading the file, warm in the page cache as the index reads it.
        if (std::system(cat.c_str()) != 0)
            return 1;
        const double catTime = best(5, [&] {
            if (std::system(cat.c_str()) != 0)
                std::exit(1);
        });
        const double expatTime = best(3, [&] { expatOnly(file); });
        const double openTime = best(3, [&] {
            notes::ClearDatabaseCache();
            (void)session->GetDatabase("", file);
        });

        const auto index = notes::detail::DatabaseIndex::open(file);
        const std::size_t documents = index->documents().size();
        std::vector<std::string> ids;
        ids.reserve(documents);
        for (std::uint32_t i = 0; i < documents; ++i)
            ids.push_back(index->noteIdText(i));

        // Reading documents as the mail phases do: open the (cached) database again for every
        // document, fetch it by note ID, test and read the mail items, look for attachments.
        std::size_t values = 0;
        std::size_t attachments = 0;
        const auto t0 = Clock::now();
        for (const auto& id : ids) {
            auto db = session->GetDatabase("", file);
            auto doc = db->GetDocumentByID(id);
            for (const char* item : MailItems)
                if (doc->HasItem(item))
                    values += doc->GetItemValue(item).array().size();
            if (doc->HasEmbedded())
                for (const auto& item : doc->Items())
                    attachments += item->Type() == automation::NotesItemAttachment ? 1 : 0;
        }
        const double readTime = seconds(t0, Clock::now());

        auto db = session->GetDatabase("", file);
        const double fetchOnly = best(1, [&] {
            for (const auto& id : ids)
                (void)db->GetDocumentByID(id);
        });

        std::printf("database         %s: %.1f MB, %zu documents, %zu attachments\n", file.c_str(), megabytes,
            documents, attachments);
        std::printf("cat baseline     %.4f s (%.0f MB/s)\n", catTime, megabytes / catTime);
        std::printf("expat alone      %.4f s (%.0f MB/s) = %.2fx cat (parse without handlers)\n", expatTime,
            megabytes / expatTime, expatTime / catTime);
        std::printf("open (index)     %.4f s (%.0f MB/s) = %.2fx cat, %.2fx expat alone   [goal <= 3x cat]\n", openTime,
            megabytes / openTime, openTime / catTime, openTime / expatTime);
        std::printf("index memory     %.0f bytes/document   [goal < 300]\n",
            static_cast<double>(index->memoryUsed()) / static_cast<double>(std::max<std::size_t>(documents, 1)));
        std::printf("documents read   %.0f/s with the mail items (%zu values), %.0f/s fetch only   [goal >= 50000/s]\n",
            static_cast<double>(documents) / readTime, values, static_cast<double>(documents) / fetchOnly);

        // Listing the views that are not folders, from a freshly opened database: entries are
        // read from the index, selection formulas are evaluated over every document.
        for (const auto& view : session->GetDatabase("", file)->Views()) {
            if (view->IsFolder())
                continue;
            const std::string name = view->Name();
            std::int32_t count = 0;
            const double listTime = best(3, [&] {
                notes::ClearDatabaseCache();
                count = session->GetDatabase("", file)->GetView(name)->AllEntries()->Count();
            });
            std::printf("view %-12s %d documents listed in %.4f s (%.0f documents scanned/s), open included\n",
                name.c_str(), count, listTime, static_cast<double>(documents) / listTime);
        }

        if (attachments > 0) {
            std::uint64_t bytes = 0;
            const auto a0 = Clock::now();
            for (const auto& id : ids) {
                auto doc = db->GetDocumentByID(id);
                if (!doc->HasEmbedded())
                    continue;
                for (const auto& item : doc->Items()) {
                    if (item->Type() != automation::NotesItemAttachment)
                        continue;
                    auto object = doc->GetAttachment(item->Values().first().toText());
                    object->ExtractFile("/dev/null");
                    bytes += static_cast<std::uint64_t>(object->FileSize());
                }
            }
            const double extractTime = seconds(a0, Clock::now());
            std::printf("attachments      %.1f MB decoded in %.3f s (%.0f MB/s of file, %.2fx cat)\n",
                static_cast<double>(bytes) / 1e6, extractTime, megabytes / extractTime, extractTime / catTime);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
