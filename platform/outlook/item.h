// Items of the Outlook stand-in: property assignment by object-model name, recipients,
// attachments, and saving into the PST.
#pragma once

#include "automation/outlook.h"
#include "pst/Store.h"

#include <cstdint>
#include <memory>
#include <string>

namespace outlook {

// A store open in this process.
struct OpenStore {
    pst::Store store;
    std::string entryId; // hex text
    std::string displayName;
    bool dirty = false; // written since the last flush
    // Save points: items saved and when the store was last flushed (steady clock, ms).
    std::uint32_t savesSinceFlush = 0;
    std::int64_t lastFlushMs = 0;
};

// Called after every item save: flushes the store at a save point (every SavePointItems
// items, or SavePointMs after the last flush), so that a run that dies loses at most the
// items since then. Throws AutomationError when the flush fails.
void SavePoint(OpenStore& store);
inline constexpr std::uint32_t SavePointItems = 5000;
inline constexpr std::int64_t SavePointMs = 5000;

// A new, unsaved item of that kind in folder.
std::shared_ptr<automation::RDOMail> NewItem(
    std::shared_ptr<OpenStore> store, pst::Folder folder, automation::OlItemType kind);

// MAPIUtils.HrSetOneProp on an item's message.
void SetPropertyByTag(automation::MAPIMessage& message, std::uint32_t tag, const automation::Variant& value, bool save);

// The folder at "\\Store display name\Folder\Subfolder" among the open stores.
std::shared_ptr<automation::RDOFolder> FolderFromPath(const std::string& path);

} // namespace outlook
