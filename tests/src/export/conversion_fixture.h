// End-to-end conversions: a builder database is scanned and converted through the real windows
// offscreen, the Outlook stand-in writes a real PST, and the independent readers (pypff,
// pffexport, readpst) say what it holds.
#pragma once

#include "../notes/scan_fixture.h"

#include "export/frm_save.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

// What the readers saw in one PST. Folder paths are below "Top of Personal Folders"
// ("Inbox", "Projects/2009"); readers are "pypff", "pffexport", "readpst" and, for Unicode
// files, "pst_extractor".
struct PstView {
    QJsonObject json;

    QStringList folders(const char* reader) const;
    QJsonArray items(const char* reader, const QString& folder) const;
    // The item with that subject in the folder, or an empty object.
    QJsonObject item(const char* reader, const QString& folder, const QString& subject) const;
    // Subjects of a folder's items, sorted.
    QStringList subjects(const char* reader, const QString& folder) const;
};

// The readers that show every folder, message and attachment.
inline constexpr const char* Readers[] = { "pypff", "pffexport", "readpst" };
// The name of a test run in each PST format (the parameter true for Unicode).
inline std::string FormatName(const ::testing::TestParamInfo<bool>& info) { return info.param ? "Unicode" : "Ansi"; }

// The names of a recipient list as a reader gives it.
QStringList Names(const QJsonValue& list);
// "name <email>" of each entry (pffexport gives both).
QStringList Addresses(const QJsonValue& list);
// A recipient list of an item as a reader shows it: Addresses for pffexport, Names for the others.
QStringList Shown(const char* reader, const QJsonObject& item, const char* field);
// "name size sha256" of each attachment, in the reader's order; of one file's bytes.
QStringList AttachmentsOf(const QJsonObject& item);
QString AttachmentLine(const QString& name, const QByteArray& bytes);
// A property of an item as pypff shows it: a tag ("0x3A06") or a named one ("PSETID_Address:0x8083").
QJsonValue Prop(const QJsonObject& item, const char* key);
// The run's report beside the PST ("csv" or "txt"), and the CSV line of the document with that subject.
QString ReportOf(const QString& pst, const char* kind);
QString ReportLine(const QString& pst, const QString& subject);
// What pst_readers.py prints for a PST, unchecked (ConversionFixture::read checks it).
QJsonObject ReadersJson(const QString& pst);
QString Sha256(const QByteArray& bytes);
// One line per item (subject, class, sender, recipient names, attachments), sorted: what two
// readers must agree on.
QStringList Summaries(const QJsonArray& items);

class ConversionFixture : public ScanFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Scans the database and converts it with the export choices ticked (all that the scan
    // enabled when none are given). Returns the PST's path, or empty when the run did not end
    // with its completion message (of success, or that items could not be written).
    QString convert(const dxl::DatabaseBuilder& db, bool unicode = true, std::initializer_list<QCheckBox*> only = {});
    // The same for a database file.
    QString convertFile(const std::string& path, bool unicode = true, std::initializer_list<QCheckBox*> only = {});
    // The title of the last message: "Export Complete" when every item reached the PST.
    QString endTitle() const;
    // The strict checker must accept the file; then the readers' view of it.
    PstView read(const QString& pst);
    // The temporary folder of the program (TMPDIR), inside temp.
    QString tempFolder() const { return temp.path() + QStringLiteral("/tmp"); }
    // Files and folders left in the temporary folder, or written beside it.
    QStringList tempLeftovers() const;

    QTemporaryDir temp;
    QTemporaryDir out;
    QStringList headers; // every progress header shown, in order
    exporting::frmSave* progress = nullptr;
    std::function<void()> onEvents; // runs where the program processes events during a run
    std::function<void()> afterScan; // runs between the scan and the export

private:
    QByteArray oldTmp_;
    bool hadTmp_ = false;
};
