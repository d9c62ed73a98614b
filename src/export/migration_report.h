// The migration report of one run: a row for every Notes document the run looked at (and for
// every document it did not), with where it went in the PST and what became of it, the
// messages counted in the PST when it was read back, and whatever went wrong outside any one
// document. Written beside the PST as <name>.report.csv (the rows) and <name>.report.txt (a
// summary a person reads first), whether the run completed, failed or was stopped.
#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace exporting {

enum class Outcome : std::uint8_t {
    Written, // the item is in the PST
    Incomplete, // the item is in the PST, but part of it is not (an attachment, say)
    Skipped, // deliberately not written (not of the phase's kind, stopped, in no exported view)
    Failed, // should have been written and is not in the PST
};
const char* OutcomeName(Outcome outcome);

struct ReportRow {
    QString noteId;
    QString unid;
    QString form;
    QString subject;
    QString phase; // "Inbox", "contacts", ...; empty for documents no phase looked at
    QString view; // the Notes view or folder that listed it
    QString folder; // where it went in the PST, below the top of the store ("\Inbox")
    Outcome outcome = Outcome::Failed;
    QString reason;
    QString placement; // why it went to its folder, when no view or folder of Notes gave it
    QString ignored; // what the reader left out of the document ("3 <objectref> ignored; ...")
};

class MigrationReport {
public:
    // A document a phase is about to write; what the phase learns of it goes to this row until
    // finishDocument.
    void beginDocument(const QString& noteId, const QString& phase, const QString& view);
    ReportRow* current() { return open_ ? &rows_.back() : nullptr; }
    bool currentSaved() const { return open_ && savedCurrent_; }
    // The item of the current document was saved into folder.
    void itemSaved(const QString& folder);
    // Something of the current document, or of the run when no document is open, did not
    // reach the PST.
    void problem(const QString& what);
    // A construct the reader left out of the current document, count times ("<objectref>", 3):
    // the row says "3 <objectref> ignored"; the report totals them over the run.
    void ignoredContent(const QString& construct, std::uint32_t count);
    // Closes the current row: written when an item was saved (incomplete when something of
    // it was lost), failed when something was lost and nothing saved, else skipped with
    // skipReason.
    void finishDocument(const QString& skipReason);
    // A row for a document that was not written for a reason known up front.
    void add(ReportRow row);
    // The last count items saved into folder are not in the PST after all (the file lost what
    // came after its last save point): their rows become failed with reason. Returns how many
    // rows it changed.
    std::int32_t markLost(const QString& folder, std::int32_t count, const QString& reason);

    // What the reader noticed about the database as a whole (a note ID written twice).
    void databaseNote(const QString& what) { databaseNotes_.push_back(what); }

    // Notes names no source of the run's names knew, with how often each occurred; they kept
    // their Notes form and type NOTES.
    void setUnresolvedNames(std::vector<std::pair<QString, int>> names) { unresolvedNames_ = std::move(names); }

    // Note IDs of the documents any phase looked at.
    bool looked(const QString& noteId) const;

    // Items saved, by PST folder.
    const std::map<QString, std::int32_t>& savedByFolder() const { return savedByFolder_; }
    std::int32_t count(Outcome outcome) const;
    const std::vector<ReportRow>& rows() const { return rows_; }
    const std::vector<QString>& runProblems() const { return runProblems_; }

    // How the run ended, in a few words, and what the read-back of the PST found.
    void setEnding(const QString& ending) { ending_ = ending; }
    void setReadBack(const QString& summary) { readBack_ = summary; }

    // "written N, skipped N, failed N" (incomplete items count as written and are named too).
    QString summaryLine() const;

    // Paths of the two files for a PST path: "dir/name.pst" gives "dir/name.report.csv".
    static QString csvPath(const QString& pstPath);
    static QString textPath(const QString& pstPath);
    // Writes both files beside the PST. Returns an empty text, or what could not be written.
    QString write(const QString& pstPath, const QString& databasePath, const QString& storeName) const;

private:
    std::vector<ReportRow> rows_;
    bool open_ = false;
    bool savedCurrent_ = false;
    std::map<QString, std::int32_t> savedByFolder_;
    std::vector<QString> runProblems_;
    std::vector<QString> databaseNotes_;
    std::vector<std::pair<QString, int>> unresolvedNames_;
    std::set<QString> lookedIds_;
    std::map<QString, std::pair<std::int64_t, std::int32_t>> ignoredTotals_; // construct: (count, documents)
    QString ending_;
    QString readBack_;
};

} // namespace exporting
