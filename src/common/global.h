// The module Global: free routines shared by the windows.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace automation {
class NotesSession;
}

namespace common {

// The system temporary folder (honouring TMPDIR), ending in "/"; empty when there is none.
QString GetTempFolder();

// A private folder of the running conversion inside the temporary folder (made on first use
// by mkdtemp, readable by this user only, "ferrymark-<pid>-<start>-XXXXXX"), ending in "/"; empty when it
// cannot be made, and then the reason is in problem. Files extracted for the run go there, so
// that none outlives it.
QString RunTempFolder(QString* problem = nullptr);
// Removes the run's folder with everything still in it; the next use makes a new one.
void RemoveRunTempFolder();
// Removes the temporary folders that runs of this program left behind when they were killed
// (see automation::RemoveLeftoverFolders); one that cannot be removed is named on standard error.
void RemoveLeftoverTempFolders();

// Asks the user for a folder; returns it without a trailing "/" (unless it is the root), or
// empty when the dialog is cancelled.
QString BrowseForFolder(QWidget* owner, const QString& title);

// Sorts list[first..last] in place, ascending by character code (case-sensitive, a proper
// prefix first). Positions are 16-bit like the folder lists they sort.
void QuickSortStrings(std::vector<QString>& list, std::int16_t first, std::int16_t last);

// On a sorted list: empties the repeats of each text, then drops every empty entry, keeping
// the order of the rest.
void RemoveDuplicateStrings(std::vector<QString>& list);

// The part of path after its last separator ("/" or "\"); the whole path when it has none,
// empty when it ends in one.
QString FileNameFromPath(const QString& path);

// Creates the Notes session into session. When no Notes client can be created, reports
// "Lotus Notes not INSTALLED or Configured" and leaves session empty.
void CreateNotesSession(std::shared_ptr<automation::NotesSession>& session);

// What tells one state of a file from another: its size, modification time and identity on
// its file system. A file that is replaced, truncated or written to gets another stamp.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of the file at path, or nothing when there is no file there.
std::optional<FileStamp> StampOf(const QString& path);
// How the file at path differs from the stamp it had ("is gone", "was replaced", ...), or
// empty text when it is the same.
QString HowChanged(const QString& path, const FileStamp& before);

} // namespace common
