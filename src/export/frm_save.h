// The progress window: runs one conversion. Set-up (Outlook check, the PST file and its store),
// then the export phases in their fixed order, each gated by an export choice, then the
// completion message. Owns the stop button and the state the item writers share.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace automation {
class RDOSession;
class RDOMail;
class NotesDocument;
}

namespace widgets {
struct frmMainControls;
}

namespace names {
class NameResolver;
}

namespace exporting {

class MigrationReport;

// The export phases, in run order.
enum class Phase : std::uint8_t {
    Journal = 1,
    Contacts,
    CustomFolders,
    Inbox,
    SentItems,
    Drafts,
    DeletedItems,
    Calendar,
    Tasks,
};

class frmSave : public QDialog {
    Q_OBJECT
public:
    frmSave(QWidget* owner, const widgets::frmMainControls& mainWindow);
    ~frmSave() override;

    void Form_Load();
    void CmdStop_Click();
    void CmdConversion_Click();

    // Fills DocIdList and DocIdCount with the note IDs of the view FldName.
    void NotesInitFolder(const QString& FldName);

    // What a phase does with one open document (Program().NotesDoc) at position i of its
    // list: show its title and position, read its fields and write the item. Phases without a
    // writer show the title and position only.
    using DocumentWriter = std::function<void(frmSave&, Phase, std::int32_t i)>;
    void setDocumentWriter(Phase phase, DocumentWriter writer);

    // Makes the PST folder for a custom Notes folder name before its messages are written.
    using FolderMaker = std::function<void(frmSave&, const QString& folderName)>;
    void setFolderMaker(FolderMaker maker);

    // Progress labels of the current document: its title and "i/count".
    void ShowProgress(const QString& title, std::int32_t i);

    // Something did not reach the PST: of the current document (which then counts as failed,
    // or as incomplete when its item was saved), or of the run. A run that noted any, or whose
    // PST file could not be written, ends with a message that says so instead of the message
    // of success.
    void NoteNotWritten(const QString& what);
    // How the current document was written where its Notes form could not be kept as it was
    // (a repeat rule Outlook cannot express, an unknown time zone): said on its report row, the
    // item still counts as written.
    void NoteConversion(const QString& what);
    // Documents whose item is not in the PST, or not whole (the report's failed and incomplete
    // rows).
    int ItemsNotWritten() const;

    // An item of the current document was saved into that PST folder (a path below the top of
    // the store, "\Inbox"); the run's read-back expects it there.
    void NoteItemSaved(const QString& folder);
    // The path of a default folder below the top of the store ("\Inbox" for 6).
    static QString DefaultFolderPath(std::int16_t folder);

    // The migration report of the run: its text file (empty before the run wrote it) and its
    // one-line summary ("written N, skipped N, failed N").
    QString ReportPath() const { return reportPath_; }
    QString ReportSummary() const;

    // Controls, by name.
    QLabel* LblSaveHeader = nullptr;
    QLabel* LblSubject = nullptr;
    QLabel* LblProcessing = nullptr;
    QLabel* LblFoundLabel = nullptr;
    QLabel* LblFound = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* LblCurrent = nullptr;
    QLabel* ImgReadingArrow = nullptr;
    QPushButton* CmdConversion = nullptr;
    QPushButton* CmdStop = nullptr;

    // State of the run the writers share.
    std::shared_ptr<automation::RDOSession> RdoSession;
    bool StopRequested = false;
    std::shared_ptr<automation::RDOMail> CurrentItem;
    QString PstStoreId;
    // What the current document's item gets beyond the fields the writers pass on: a follow-up
    // flag (the document is in Notes' ($Follow-Up) folder) and its importance (0 low, 1 normal,
    // 2 high, as Outlook counts).
    struct ItemExtras {
        bool followUp = false;
        std::int32_t importance = 1;
    };
    ItemExtras CurrentExtras;
    // The names of the run's people: the user's names file, directory and address rule, given
    // before the run; the database's own Person documents and mail pairs are learned when the
    // run begins.
    std::shared_ptr<names::NameResolver> Names;

    const widgets::frmMainControls& mainWindow() const { return main_; }

private:
    struct Run;
    QString firstNotWritten_;
    std::unique_ptr<MigrationReport> report_;
    QString reportPath_;
    QString storeNotWritten_; // why the PST file could not be written, the first time
    const widgets::frmMainControls& main_;
    std::unique_ptr<Run> run_;
};

} // namespace exporting
