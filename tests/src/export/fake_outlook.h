// A scripted Outlook for tests that must force a failure or see which calls a run makes:
// stores, folders and items live in memory; any member can be told to fail.
#pragma once

#include "automation/outlook.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fake_outlook {

struct Item {
    std::int16_t kind = 0;
    std::map<std::string, automation::Variant> properties;
    std::vector<std::string> recipients;
    std::vector<std::string> attachments;
    bool saved = false;
};

struct Folder {
    std::string name;
    std::vector<std::shared_ptr<Folder>> folders;
    std::vector<std::shared_ptr<Item>> items;
};

struct Store {
    std::string path;
    std::int16_t format = 0;
    std::string displayName;
    std::string entryId;
    std::shared_ptr<Folder> top = std::make_shared<Folder>();
    std::map<std::int16_t, std::shared_ptr<Folder>> defaults;
};

struct Outlook {
    std::string version = "16.0.0.0";
    std::vector<std::shared_ptr<Store>> stores;
    int logons = 0;
    int logoffs = 0;
    // Members that throw AutomationError: "Create", "Logon", "OutlookVersion", "AddPSTStore",
    // "Folders.Add", "GetStoreFromID", "Logoff".
    std::set<std::string> failing;
};

// Registers "Redemption.RDOSession" over outlook.
void Register(std::shared_ptr<Outlook> outlook);

} // namespace fake_outlook
