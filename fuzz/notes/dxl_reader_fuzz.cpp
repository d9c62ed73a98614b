// Feeds arbitrary bytes to the DXL reader as a database file and reads everything it offers:
// views, their documents, every item and every attachment. Only AutomationError may come out.
// The same bytes go to the native MIME readers as raw item data (an RFC822 text item, MIME part
// items cut at every "--" line) and as a whole MIME message, so that the seeds of raw items and
// MIME entities (seeds/*.mime, *.raw) reach them without the base64 of a DXL file in between.
// They also go to the CD record reader as one rich text item, and as two items of one body, and
// as a font table, as the raw rich text of the reference exports does (seeds/*.cd).
#include "automation/notes.h"
#include "automation/notes_item_values.h"
#include "notes/mime_body.h"
#include "notes/native_mime.h"
#include "notes/notes_session.h"
#include "notes/rich_text.h"
#include "notes/rich_text_cd.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
const std::string& scratch(const char* suffix)
{
    static const std::string base = "/tmp/dxl-fuzz-" + std::to_string(::getpid());
    static std::string path;
    path = base + suffix;
    return path;
}

void readDocument(const automation::NotesDocument& doc)
{
    (void)doc.NoteID();
    (void)doc.Size();
    (void)doc.HasEmbedded();
    for (const auto& item : doc.Items()) {
        (void)doc.GetItemValue(item->Name()).first().toText();
        if (item->Type() == automation::NotesItemAttachment) {
            if (auto object = doc.GetAttachment(item->Values().first().toText())) {
                try {
                    object->ExtractFile(scratch(".out"));
                } catch (const automation::AutomationError&) {
                }
            }
        }
    }
}
// Reading a few items of every document passes over the others unparsed: their values must be
// those a whole read gives, wherever all documents read whole.
void compareItemValues(const automation::NotesDatabase& db, const std::vector<std::string>& ids)
{
    const auto* walk = dynamic_cast<const automation::NotesItemValues*>(&db);
    if (walk == nullptr)
        return;
    std::vector<std::shared_ptr<automation::NotesDocument>> docs;
    std::vector<std::string> names;
    try {
        for (const auto& id : ids) {
            docs.push_back(db.GetDocumentByID(id));
            for (const auto& item : docs.back()->Items())
                if (names.size() < 6 && std::find(names.begin(), names.end(), item->Name()) == names.end())
                    names.push_back(item->Name());
        }
    } catch (const automation::AutomationError&) {
        return;
    }
    if (names.empty())
        return;
    std::size_t row = 0;
    walk->EachItemValues(names, [&](const std::vector<automation::Variant>& values) {
        if (row < docs.size())
            for (std::size_t k = 0; k < names.size(); ++k) {
                const auto& doc = *docs[row];
                // A document's item without values reads as one empty text, as in Notes.
                const bool has = doc.HasItem(names[k]);
                const bool none = values[k].isArray() && values[k].array().empty();
                const automation::Variant read
                    = has && none ? automation::Variant(automation::VariantArray { "" }) : values[k];
                const automation::Variant whole
                    = has ? doc.GetItemValue(names[k]) : automation::Variant(automation::VariantArray {});
                if (!(read == whole)) {
                    std::fprintf(stderr, "item %s of note %s: a read of a few items differs from a whole read\n",
                        names[k].c_str(), doc.NoteID().c_str());
                    std::abort();
                }
            }
        ++row;
    });
}
} // namespace

void readRaw(std::string_view bytes)
{
    using namespace notes::detail;
    Item header;
    ParsedDocument document;
    std::string headers;
    setRfc822Values(header, bytes, document.findings, headers);
    (void)parseMimeBody(bytes);
    std::vector<MimePartBytes> parts;
    for (std::size_t at = 0; at < bytes.size() && parts.size() < 64;) {
        auto next = bytes.find("\n--", at);
        next = next == std::string_view::npos ? bytes.size() : next + 1;
        document.items.push_back(Item { "Body", 0x19, {}, 0, -1 });
        parts.push_back(MimePartBytes { document.items.size() - 1, std::string(bytes.substr(at, next - at)) });
        at = next;
    }
    applyNativeMime(document, parts, bytes.size() < 4096 ? bytes : std::string_view());

    const FontTable fonts = readFontTable(bytes);
    (void)plainText(*readComposite({ bytes }, fonts, document.findings, "Body"));
    (void)plainText(*readComposite(
        { bytes.substr(0, bytes.size() / 2), bytes.substr(bytes.size() / 2) }, fonts, document.findings, "Body"));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    readRaw(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string file = scratch(".dxl");
    if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    // Files written within the same clock tick can share size and time: read each one afresh.
    notes::ClearDatabaseCache();
    try {
        auto db = notes::CreateNotesSession()->GetDatabase("", file);
        (void)db->Title();
        for (const auto& view : db->Views()) {
            int budget = 64;
            (void)view->AllEntries()->Count();
            try {
                for (auto doc = view->GetFirstDocument(); doc && budget-- > 0; doc = view->GetNextDocument(*doc))
                    readDocument(*doc);
            } catch (const automation::AutomationError&) {
            }
            if (auto again = db->GetView(view->Name()))
                (void)again->IsFolder();
        }
        auto ids = db->AllDocumentIDs();
        ids.resize(std::min<std::size_t>(ids.size(), 4));
        compareItemValues(*db, ids);
        for (const char* id : { "8fa", "912", "4", "8FE" })
            ids.emplace_back(id);
        for (const auto& id : ids) {
            try {
                readDocument(*db->GetDocumentByID(id));
            } catch (const automation::AutomationError&) {
            }
        }
    } catch (const automation::AutomationError&) {
    }
    return 0;
}
