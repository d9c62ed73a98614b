// The main window's reading of a Notes database: choosing the file, the scan, the mail folder
// tree with its counts, the message list of a clicked folder, and the calendar, contact,
// to-do and journal previews. The main window's handlers call these.
#pragma once

#include <QString>

#include <cstdint>

class QCheckBox;
class QLabel;
class QWidget;

namespace widgets {
struct frmMainControls;
class PreviewList;
}

namespace notes {

class NotesReader {
public:
    NotesReader(QWidget* owner, const widgets::frmMainControls& controls);

    void CmdBrowse_Click();
    void CmdScan_Click();

    void EmailTreeFill();
    std::int32_t CountEmails(const QString& FolderName);
    void ContactsTreeView_Click();
    void EnumerateEmails(const QString& viewName);

    void EnumerateCalendars(const QString& FolderName);
    void EnumerateContacts(const QString& FolderName);
    void EnumerateToDoList(const QString& FolderName);
    void EnumerateJournals();

    // The eight lines shown when Notes cannot be used.
    static QString NotesErrorReport();

    // The folder the open dialog starts in: the bundled sample databases.
    static QString SamplesFolder();

private:
    struct Preview;
    void fillPreview(const Preview& preview, const QString& viewName);
    // The calendar and to-do previews: subject and one date of documents of one form.
    struct DatedPreview {
        QLabel* arrow;
        widgets::PreviewList* list;
        int image;
        QCheckBox* box; // the export choice a listed document enables
        const char* view;
        const char* form;
        const char* dateItem;
    };
    void fillDatedPreview(const DatedPreview& preview, const QString& FolderName);
    void hideArrows();
    // Empties the mail folder tree, the message list and the four previews.
    void clearPreviews();
    // Forgets the scanned database and locks the Export tab and the toolbar's Export button.
    void disarmExport();
    std::string databasePath() const;

    QWidget* owner_;
    const widgets::frmMainControls& c_;
};

} // namespace notes
