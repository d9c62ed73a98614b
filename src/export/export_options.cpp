#include "export/export_options.h"

#include "automation/outlook.h"
#include "common/failure_rule.h"
#include "common/global.h"
#include "common/program_state.h"
#include "common/ui_seams.h"
#include "export/frm_save.h"
#include "names/name_resolver.h"
#include "widgets/frm_main_controls.h"
#include "widgets/tab_strip.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

namespace exporting {

int MajorVersion(const QString& versionText)
{
    // Like Val(): leading digits count, the first other character ends the number.
    const QString head = versionText.left(2).trimmed();
    int value = 0;
    for (const QChar ch : head) {
        if (!ch.isDigit())
            break;
        value = value * 10 + ch.digitValue();
    }
    return value;
}

ExportOptions::ExportOptions(QWidget* owner, const widgets::frmMainControls& controls)
    : owner_(owner)
    , c_(controls)
{
}

void ExportOptions::NotesTab_Click(std::int16_t tabNumber)
{
    if (tabNumber != 7)
        return;
    enum class Label { OutlookMissing };
    common::Routine<Label> r;
    r.onErrorGoTo(Label::OutlookMissing);
    std::shared_ptr<automation::RDOSession> session;
    const auto landed = r.run([&] {
        int major = 0;
        r.step([&] {
            session = automation::CreateObjectAs<automation::RDOSession>("Redemption.RDOSession");
            session->Logon();
        });
        common::DoEvents();
        r.step([&] { major = MajorVersion(QString::fromStdString(session->OutlookVersion())); });
        c_.OptOutlookFormat2K->setEnabled(true);
        c_.OptOutlookFormat2K3->setEnabled(major >= 11);
        r.step([&] { session->Logoff(); });
        session.reset();
    });
    if (landed) {
        common::MsgBox(common::WithReason(
                           QStringLiteral("Outlook NOT installed to configured properly.\nPlease set the Outlook as "
                                          "default email client."),
                           QString::fromStdString(r.lastError())),
            common::MsgButtons::Ok, common::MsgIcon::Information, QStringLiteral("Outlook NOT Installed"), owner_);
    }
}

void ExportOptions::CmdStartConversion_Click()
{
    // Export works on the database in the path box, and only after a scan of it has read it
    // to its end; anything else would make a PST of nothing, or of another database.
    auto& g = common::Program();
    if (g.ScannedDatabase.isEmpty() || g.ScannedDatabase != c_.txtNotesDatabaseFile->text()) {
        common::MsgBox(QStringLiteral("Please select a Notes database and click Start Scan to proceed."),
            common::MsgButtons::Ok, common::MsgIcon::Information, QStringLiteral("Select Notes Database"), owner_);
        c_.NotesTab->selectTab(1);
        return;
    }
    const QString title = QStringLiteral("Export to Outlook");
    bool anyTicked = false;
    for (QCheckBox* box : { c_.SaveOptionEmails, c_.SaveOptionCalendars, c_.SaveOptionContacts, c_.SaveOptionJournals,
             c_.SaveOptionToDo })
        anyTicked = anyTicked || box->isChecked();
    if (!anyTicked) {
        common::MsgBox(QStringLiteral("Please Select Outlook Items to Save"), common::MsgButtons::Ok,
            common::MsgIcon::Information, title, owner_);
        return;
    }
    if (!c_.OptOutlookFormat2K->isChecked() && !c_.OptOutlookFormat2K3->isChecked()) {
        common::MsgBox(QStringLiteral("Please Select Outlook Format"), common::MsgButtons::Ok,
            common::MsgIcon::Information, title, owner_);
        return;
    }
    // The user's names are read before anything else happens: a file that cannot be used is
    // said now, and nothing is written.
    auto names = std::make_shared<names::NameResolver>();
    try {
        if (const QString file = c_.txtNamesFile->text().trimmed(); !file.isEmpty())
            names->LoadMappingFile(file);
        if (const QString file = c_.txtDirectoryFile->text().trimmed(); !file.isEmpty())
            names->LoadDirectory(file);
        names->SetAddressRule(c_.txtAddressRule->text());
    } catch (const names::NamesError& e) {
        common::MsgBox(QString::fromUtf8(e.what()) + QStringLiteral("\nNothing was exported."), common::MsgButtons::Ok,
            common::MsgIcon::Warning, QStringLiteral("Internet Addresses of People"), owner_);
        return;
    }
    g.SaveFolder = common::BrowseForFolder(nullptr, QStringLiteral("Select Path to Save PST File"));
    if (g.SaveFolder.isEmpty())
        return;
    frmSave progress(owner_, c_);
    progress.Names = std::move(names);
    if (prepareRun)
        prepareRun(progress);
    common::ShowModal(progress);
}

} // namespace exporting

namespace exporting {

namespace {
    void browse(QWidget* owner, QLineEdit* target, const QString& title, const QString& filter)
    {
        common::FileDialogRequest request;
        request.owner = owner;
        request.title = title;
        request.fileName = target->text();
        request.filter = filter;
        if (const QString chosen = common::seams().openFile(request); !chosen.isEmpty())
            target->setText(chosen);
    }
} // namespace

void ExportOptions::CmdBrowseNamesFile_Click()
{
    browse(owner_, c_.txtNamesFile, QStringLiteral("Names File"), QStringLiteral("Names (*.csv *.txt);;All Files (*)"));
}

void ExportOptions::CmdBrowseDirectoryFile_Click()
{
    browse(owner_, c_.txtDirectoryFile, QStringLiteral("Domino Directory Export"),
        QStringLiteral("Notes DXL Export (*.dxl);;All Files (*)"));
}

} // namespace exporting
