// ferrymark-convert: converts Notes databases to PST files without a display, by driving the
// program's own windows offscreen as a user would: choose the file, scan, tick the categories,
// choose the format and the folder, press Export to Outlook.
//
//   ferrymark-convert [--format unicode|ansi] [--only emails,calendars,contacts,todo,journals]
//                     [--names-csv FILE] [--directory FILE] [--address-rule RULE]
//                     --out FOLDER DATABASE...
//
// --names-csv, --directory and --address-rule are the export tab's names file, Domino Directory
// export and address rule: where senders' and recipients' Notes names find Internet addresses.
//
// For each database it prints the run's summary ("written N, skipped N, failed N") and the
// migration report's path ("report: ..."), and last the PST's full path, or a line starting
// with "error:" (also when items could not be written; the line then names the PST that holds
// the rest). The exit status is 0 when every database was converted whole.
//
// SIGINT and SIGTERM stop the run as the stop button does: it ends before its next document,
// the PST is written, the report and the final message follow and the temporary files go;
// the databases not yet begun are left, and the exit status is 128 + the signal.
#include "common/global.h"
#include "common/program_state.h"
#include "common/stop_signals.h"
#include "common/ui_seams.h"
#include "export/frm_save.h"
#include "notes/notes_session.h"
#include "outlook/stand_in.h"
#include "shell/frm_main.h"
#include "widgets/frm_main_controls.h"
#include "widgets/tab_strip.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <unistd.h>

namespace {

struct Options {
    bool unicode = true;
    std::optional<QStringList> only;
    QString out;
    QStringList databases;
    QString namesFile, directory, addressRule;
};

int usage(const char* problem)
{
    std::cerr << "ferrymark-convert: " << problem << "\n"
              << "usage: ferrymark-convert [--format unicode|ansi] "
                 "[--only emails,calendars,contacts,todo,journals]\n"
                 "       [--names-csv FILE] [--directory FILE] [--address-rule RULE] --out FOLDER DATABASE...\n"
                 "Each DATABASE is a DXL export. For one that keeps every folder's documents, run the exporter\n"
                 "in tools/notes-export/ (jar from its build.sh) where Notes or Domino is installed:\n"
                 "  java -cp Notes.jar:ferrymark-notes-export.jar ferrymark.notesexport.NotesExport --out DIR x.nsf\n"
                 "(README.md, \"Exporting from Notes with the Ferrymark exporter\")\n";
    return 2;
}

std::optional<Options> parse(const QStringList& args, int& status)
{
    Options o;
    static const QStringList categories { "emails", "calendars", "contacts", "todo", "journals" };
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](const char* what) -> std::optional<QString> {
            if (i + 1 >= args.size()) {
                status = usage((std::string(what) + " needs a value").c_str());
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == "--format") {
            auto v = value("--format");
            if (!v)
                return std::nullopt;
            if (*v != "unicode" && *v != "ansi") {
                status = usage("--format is unicode or ansi");
                return std::nullopt;
            }
            o.unicode = *v == "unicode";
        } else if (a == "--only") {
            auto v = value("--only");
            if (!v)
                return std::nullopt;
            o.only = v->split(',', Qt::SkipEmptyParts);
            for (const QString& c : *o.only)
                if (!categories.contains(c)) {
                    status = usage(("unknown category " + c.toStdString()).c_str());
                    return std::nullopt;
                }
        } else if (a == "--names-csv" || a == "--directory" || a == "--address-rule") {
            auto v = value(a.toStdString().c_str());
            if (!v)
                return std::nullopt;
            (a == "--names-csv" ? o.namesFile : a == "--directory" ? o.directory : o.addressRule) = *v;
        } else if (a == "--out") {
            auto v = value("--out");
            if (!v)
                return std::nullopt;
            o.out = *v;
        } else if (a == "--help" || a == "-h") {
            status = usage("converts Notes databases (DXL exports) to PST files");
            return std::nullopt;
        } else if (a.startsWith("--")) {
            status = usage(("unknown option " + a.toStdString()).c_str());
            return std::nullopt;
        } else {
            o.databases << a;
        }
    }
    if (o.out.isEmpty() || o.databases.isEmpty()) {
        status = usage("--out and at least one database are required");
        return std::nullopt;
    }
    return o;
}

// Prints what the progress window shows while the run goes on.
class ProgressPrinter {
public:
    void attach(exporting::frmSave* window) { window_ = window; }
    void detach()
    {
        endBar();
        window_ = nullptr;
    }

    void poll()
    {
        if (!window_)
            return;
        const QString header = window_->LblSaveHeader->text();
        const QString current = window_->LblCurrent->text();
        if (header != header_ && !header.startsWith("Creating List for Exporting")) {
            endBar();
            std::cout << header.toStdString() << std::endl;
            header_ = header;
        }
        if (current != current_ && terminal_) {
            current_ = current;
            const auto slash = current.indexOf('/');
            const double done = current.left(slash).toDouble() + 1;
            const double total = current.mid(slash + 1).toDouble();
            if (slash > 0 && total > 0) {
                const int width = 30;
                const int filled = static_cast<int>(width * std::min(done / total, 1.0));
                std::cout << "\r  [" << std::string(static_cast<std::size_t>(filled), '#')
                          << std::string(static_cast<std::size_t>(width - filled), ' ') << "] "
                          << static_cast<long long>(done) << "/" << static_cast<long long>(total) << std::flush;
                barShown_ = true;
            }
        }
    }

private:
    void endBar()
    {
        if (barShown_)
            std::cout << "\n";
        barShown_ = false;
    }
    exporting::frmSave* window_ = nullptr;
    QString header_;
    QString current_;
    bool barShown_ = false;
    bool terminal_ = isatty(STDOUT_FILENO) != 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int status = 0;
    const auto options = parse(QApplication::arguments(), status);
    if (!options)
        return status;
    const QString outFolder = QDir(options->out).absolutePath();
    if (!QDir(outFolder).exists()) {
        std::cerr << "error: the output folder does not exist: " << outFolder.toStdString() << "\n";
        return 1;
    }

    common::CatchStopSignals();
    common::RemoveLeftoverTempFolders();
    notes::RegisterNotesSession();
    outlook::RegisterOutlookStandIn();

    ProgressPrinter progress;
    QString reportPath;
    QString reportSummary;
    QString lastTitle;
    QString lastText;
    common::UiSeams scripted;
    scripted.messageBox = [&](const common::MessageRequest& m) {
        progress.poll();
        std::cout << m.title.toStdString() << ": " << QString(m.text).replace('\n', " | ").toStdString() << std::endl;
        lastTitle = m.title;
        lastText = m.text;
        return m.buttons == common::MsgButtons::YesNo ? common::MsgResult::No : common::MsgResult::Ok;
    };
    scripted.chooseFolder = [&](QWidget*, const QString&) { return outFolder; };
    scripted.openFile = [](const common::FileDialogRequest&) { return QString(); };
    scripted.showHelp = [](QWidget*, const QString&) { return false; };
    scripted.wait = [](int) {};
    exporting::frmSave* running = nullptr;
    scripted.doEvents = [&] {
        progress.poll();
        if (running && common::StopSignalReceived() != 0)
            running->CmdStop_Click();
    };
    scripted.showModal = [&](QDialog& dialog) {
        auto* window = dynamic_cast<exporting::frmSave*>(&dialog);
        if (!window)
            return;
        running = window;
        progress.attach(window);
        if (common::StopSignalReceived() != 0)
            window->CmdStop_Click();
        window->CmdConversion_Click();
        progress.detach();
        running = nullptr;
        reportPath = window->ReportPath();
        reportSummary = window->ReportSummary();
    };
    common::ScopedSeams scope(scripted);

    int failures = 0;
    for (const QString& database : options->databases) {
        if (const int signal = common::StopSignalReceived()) {
            std::cout << "error: " << database.toStdString() << ": not converted, stopped by signal " << signal
                      << std::endl;
            ++failures;
            continue;
        }
        std::cout << "Converting " << database.toStdString() << std::endl;
        common::Program() = common::ProgramState();
        shell::frmMain window;
        const auto& c = window.controls();
        auto fail = [&](const QString& why) {
            std::cout << "error: " << database.toStdString() << ": " << why.toStdString() << std::endl;
            ++failures;
        };
        // What the last message says went wrong: its reason when it gives one (the Notes and
        // Outlook reports name what usually causes them first), else its first line.
        auto failure = [&](const QString& otherwise) {
            if (lastText.isEmpty())
                return otherwise;
            const QString reason = common::ReasonOf(lastText);
            return reason.isEmpty() ? lastText.section('\n', 0, 0) : reason;
        };

        c.NotesTab->selectTab(1);
        c.txtNotesDatabaseFile->setText(QFileInfo(database).absoluteFilePath());
        lastTitle.clear();
        window.CmdScan_Click();
        if (lastTitle != "Scan Completed...") {
            fail(failure(QStringLiteral("the scan did not complete")));
            continue;
        }

        lastTitle.clear();
        c.NotesTab->selectTab(7);
        if (lastTitle == "Outlook NOT Installed") {
            fail(failure(QStringLiteral("Outlook cannot be used")));
            continue;
        }
        const std::map<QString, QCheckBox*> boxes { { "emails", c.SaveOptionEmails },
            { "calendars", c.SaveOptionCalendars }, { "contacts", c.SaveOptionContacts }, { "todo", c.SaveOptionToDo },
            { "journals", c.SaveOptionJournals } };
        for (const auto& [name, box] : boxes) {
            const bool wanted = options->only ? options->only->contains(name) : true;
            box->setChecked(wanted && box->isEnabled());
            if (wanted && options->only && !box->isEnabled())
                std::cout << "note: " << name.toStdString() << " are not in this database" << std::endl;
        }
        QRadioButton* format = options->unicode ? c.OptOutlookFormat2K3 : c.OptOutlookFormat2K;
        if (!format->isEnabled()) {
            std::cout << "note: Unicode is not available; writing ANSI" << std::endl;
            format = c.OptOutlookFormat2K;
        }
        format->setChecked(true);
        c.txtNamesFile->setText(options->namesFile);
        c.txtDirectoryFile->setText(options->directory);
        c.txtAddressRule->setText(options->addressRule);

        if (const int signal = common::StopSignalReceived()) {
            fail(QStringLiteral("not converted, stopped by signal %1").arg(signal));
            continue;
        }
        lastTitle.clear();
        reportPath.clear();
        reportSummary.clear();
        window.CmdStartConversion_Click();
        if (!reportSummary.isEmpty())
            std::cout << reportSummary.toStdString() << std::endl;
        if (!reportPath.isEmpty())
            std::cout << "report: " << reportPath.toStdString() << std::endl;
        if (const int signal = common::StopSignalReceived(); signal != 0 && !lastTitle.isEmpty()) {
            // The PST is whole but holds only what was written before the signal.
            fail(QStringLiteral("stopped by signal %1 before the end; the PST holds what was written (in %2)")
                     .arg(signal)
                     .arg(common::Program().PstFullPath));
        } else if (lastTitle == "Export Complete") {
            std::cout << common::Program().PstFullPath.toStdString() << std::endl;
        } else if (lastTitle == "Export Incomplete") {
            // The PST holds what could be written; the error line says what could not.
            fail(lastText.section('\n', 0, 1).replace('\n', ' ') + " (in " + common::Program().PstFullPath + ")");
        } else {
            fail(failure(QStringLiteral("nothing was converted")));
        }
    }
    outlook::CloseAllStores();
    if (const int signal = common::StopSignalReceived())
        return 128 + signal;
    return failures == 0 ? 0 : 1;
}
