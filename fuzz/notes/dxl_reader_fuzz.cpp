// Feeds arbitrary bytes to the DXL reader as a database file and reads everything it offers:
// views, their documents, every item and every attachment. Only AutomationError may come out.
#include "automation/notes.h"
#include "notes/notes_session.h"

#include <cstdint>
#include <cstdio>
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
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
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
        for (const char* id : { "8fa", "912", "4", "8FE" }) {
            try {
                readDocument(*db->GetDocumentByID(id));
            } catch (const automation::AutomationError&) {
            }
        }
    } catch (const automation::AutomationError&) {
    }
    return 0;
}
