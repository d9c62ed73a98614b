// Program-wide state shared by the main window and the progress window for the whole process.
#pragma once

#include "common/global.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace automation {
class NotesSession;
class NotesDatabase;
class NotesView;
class NotesDocument;
}

namespace common {

struct ProgramState {
    // The current Notes objects; each may be none.
    std::shared_ptr<automation::NotesSession> NotesSession;
    std::shared_ptr<automation::NotesDatabase> NotesDb;
    std::shared_ptr<automation::NotesView> NotesView;
    std::shared_ptr<automation::NotesDocument> NotesDoc;

    // The database title read by the scan; during a run, the PST store's display name.
    QString MailboxName;
    // The path of the database the last scan read to its end; empty after Browse and while a
    // scan runs or after it failed. Export works only on the database in the path box when
    // it is this one.
    QString ScannedDatabase;
    // That file as the scan found it: the run exports only from the very same file.
    std::optional<FileStamp> ScannedStamp;

    std::int16_t IsJournalDatabase = 0; // the scanned database is a personal journal
    std::int16_t ContactsFound = 0; // the contact preview found at least one contact

    // Document counts of the six standard mail views, as last counted.
    std::int32_t InboxCount = 0;
    std::int32_t DraftsCount = 0;
    std::int32_t SentCount = 0;
    std::int32_t FollowUpCount = 0;
    std::int32_t JunkMailCount = 0;
    std::int32_t TrashCount = 0;

    // The run: the folder chosen for the PST, the PST's file name and full path.
    QString SaveFolder;
    QString PstFileName;
    QString PstFullPath;

    // The document list of the export phase that runs: its view, the note IDs in view order,
    // and how many of them the phase processes.
    QString ViewName;
    std::vector<QString> DocIdList;
    std::int32_t DocIdCount = 0;

    // Releases the Notes objects, document first, then view, database and session.
    void releaseNotes();
};

ProgramState& Program();

} // namespace common
