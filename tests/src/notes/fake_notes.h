// A scripted Notes client for tests that must force a failure or control a value the DXL
// stand-in derives (such as a document's size). Databases are built in memory; any member can
// be told to fail.
#pragma once

#include "automation/notes.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fake_notes {

struct Document {
    std::string noteId;
    std::int32_t size = 0;
    std::map<std::string, automation::Variant> items;
};

struct View {
    std::string name;
    bool folder = false;
    std::vector<std::string> noteIds;
};

struct Database {
    std::string title = "Fake";
    int type = 2;
    std::vector<View> views;
    std::vector<Document> documents;
    // Members that throw AutomationError, e.g. "Title", "Type", "Views", "GetView:($Inbox)",
    // "Name:Projects", "Count:People", "GetItemValue:Subject".
    std::set<std::string> failing;
};

// Registers a "Notes.NotesSession" whose GetDatabase opens db for any path.
void Register(std::shared_ptr<Database> db);

} // namespace fake_notes
