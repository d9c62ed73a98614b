#include "conversion_fixture.h"

#include "outlook/stand_in.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonDocument>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>
#include <map>

namespace {
QString topPath(const QString& folder)
{
    return folder.isEmpty() ? QStringLiteral("Top of Personal Folders")
                            : QStringLiteral("Top of Personal Folders/") + folder;
}

// Runs a program to its end; the exit code, standard output and standard error.
struct Ran {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
Ran runProgram(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    Ran r;
    if (!p.waitForFinished(240'000)) {
        p.kill();
        r.err = "did not finish";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
} // namespace

QStringList PstView::folders(const char* reader) const
{
    QStringList out;
    for (const auto& f : json.value(QLatin1String(reader)).toObject().value(QLatin1String("folders")).toArray())
        out << f.toObject().value(QLatin1String("path")).toString();
    return out;
}

QJsonArray PstView::items(const char* reader, const QString& folder) const
{
    for (const auto& f : json.value(QLatin1String(reader)).toObject().value(QLatin1String("folders")).toArray())
        if (f.toObject().value(QLatin1String("path")).toString() == topPath(folder))
            return f.toObject().value(QLatin1String("items")).toArray();
    return {};
}

QJsonObject PstView::item(const char* reader, const QString& folder, const QString& subject) const
{
    for (const auto& i : items(reader, folder))
        if (i.toObject().value(QLatin1String("subject")).toString() == subject)
            return i.toObject();
    return {};
}

QStringList PstView::subjects(const char* reader, const QString& folder) const
{
    QStringList out;
    for (const auto& i : items(reader, folder))
        out << i.toObject().value(QLatin1String("subject")).toString();
    out.sort();
    return out;
}

QStringList Names(const QJsonValue& list)
{
    QStringList out;
    for (const auto& r : list.toArray())
        out << r.toObject().value(QLatin1String("name")).toString();
    return out;
}

QStringList Addresses(const QJsonValue& list)
{
    QStringList out;
    for (const auto& r : list.toArray())
        out << r.toObject().value(QLatin1String("name")).toString() + QStringLiteral(" <")
                + r.toObject().value(QLatin1String("email")).toString() + QLatin1Char('>');
    return out;
}

QStringList Shown(const char* reader, const QJsonObject& item, const char* field)
{
    const QJsonValue list = item.value(QLatin1String(field));
    return qstrcmp(reader, "pffexport") == 0 ? Addresses(list) : Names(list);
}

QString AttachmentLine(const QString& name, const QByteArray& bytes)
{
    return name + QLatin1Char(' ') + QString::number(bytes.size()) + QLatin1Char(' ') + Sha256(bytes);
}

QJsonValue Prop(const QJsonObject& item, const char* key)
{
    const QString k = QString::fromLatin1(key);
    return item.value(QLatin1String(k.startsWith(QStringLiteral("0x")) ? "props" : "named")).toObject().value(k);
}

QString ReportOf(const QString& pst, const char* kind)
{
    QFile file(pst.chopped(4) + QStringLiteral(".report.") + QLatin1String(kind));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString ReportLine(const QString& pst, const QString& subject)
{
    for (const QString& line : ReportOf(pst, "csv").split(QStringLiteral("\r\n")))
        if (line.contains(QLatin1Char(',') + subject + QLatin1Char(',')))
            return line;
    return {};
}

QJsonObject ReadersJson(const QString& pst)
{
    const Ran readers = runProgram(QStringLiteral(FERRYMARK_SYSTEM_PYTHON),
        { QStringLiteral(FERRYMARK_SOURCE_DIR "/tests/support/pst_readers.py"), pst });
    EXPECT_EQ(readers.exitCode, 0) << readers.err.toStdString();
    return QJsonDocument::fromJson(readers.out).object();
}

QStringList AttachmentsOf(const QJsonObject& item)
{
    QStringList out;
    for (const auto& a : item.value(QLatin1String("attachments")).toArray()) {
        const QJsonObject o = a.toObject();
        out << o.value(QLatin1String("name")).toString() + QLatin1Char(' ')
                + QString::number(o.value(QLatin1String("size")).toInteger()) + QLatin1Char(' ')
                + o.value(QLatin1String("sha256")).toString();
    }
    return out;
}

QStringList Summaries(const QJsonArray& items)
{
    QStringList out;
    for (const auto& value : items) {
        const QJsonObject item = value.toObject();
        QStringList fields;
        for (const char* key : { "subject", "message_class", "sender_name", "sender_email", "sent" })
            fields << item.value(QLatin1String(key)).toString();
        for (const char* key : { "to", "cc", "bcc" })
            fields << Names(item.value(QLatin1String(key))).join(QLatin1String("; "));
        fields << AttachmentsOf(item).join(QLatin1String(", "));
        out << fields.join(QLatin1String(" | "));
    }
    out.sort();
    return out;
}

QString Sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

void ConversionFixture::SetUp()
{
    // Attachments are extracted below the temporary folder: a fresh one per test, so that
    // what a run leaves behind can be seen.
    hadTmp_ = qEnvironmentVariableIsSet("TMPDIR");
    oldTmp_ = qgetenv("TMPDIR");
    QDir(temp.path()).mkdir(QStringLiteral("tmp"));
    qputenv("TMPDIR", tempFolder().toLocal8Bit());
    ScanFixture::SetUp();
    outlook::RegisterOutlookStandIn((dir.path() + QStringLiteral("/profile")).toStdString());
    ui.onShowModal([this](QDialog& dialog) {
        progress = dynamic_cast<exporting::frmSave*>(&dialog);
        if (progress)
            progress->CmdConversion_Click();
    });
    ui.onDoEvents([this] {
        if (progress && (headers.isEmpty() || headers.back() != progress->LblSaveHeader->text())
            && !progress->LblSaveHeader->text().startsWith(QStringLiteral("Creating List")))
            headers << progress->LblSaveHeader->text();
        if (onEvents)
            onEvents();
    });
}

void ConversionFixture::TearDown()
{
    outlook::CloseAllStores();
    ScanFixture::TearDown();
    if (hadTmp_)
        qputenv("TMPDIR", oldTmp_);
    else
        qunsetenv("TMPDIR");
}

QString ConversionFixture::convert(const dxl::DatabaseBuilder& db, bool unicode, std::initializer_list<QCheckBox*> only)
{
    return convertFile(write(db), unicode, only);
}

QString ConversionFixture::convertFile(const std::string& path, bool unicode, std::initializer_list<QCheckBox*> only)
{
    scan(path);
    if (ui.messages().empty() || ui.messages().back().title != QStringLiteral("Scan Completed..."))
        return {};
    if (afterScan)
        afterScan();
    c().NotesTab->selectTab(7);
    if (only.size() != 0) {
        for (QCheckBox* box : { c().SaveOptionEmails, c().SaveOptionCalendars, c().SaveOptionContacts,
                 c().SaveOptionToDo, c().SaveOptionJournals })
            box->setChecked(std::find(only.begin(), only.end(), box) != only.end());
    }
    (unicode ? c().OptOutlookFormat2K3 : c().OptOutlookFormat2K)->setChecked(true);
    ui.answerFolder(out.path());
    const std::size_t shown = ui.messages().size();
    window->CmdStartConversion_Click();
    progress = nullptr; // the progress window is gone
    if (ui.messages().size() == shown
        || (ui.messages().back().title != QStringLiteral("Export Complete")
            && ui.messages().back().title != QStringLiteral("Export Incomplete")))
        return {};
    return common::Program().PstFullPath;
}

PstView ConversionFixture::read(const QString& pst)
{
    const QString python = QStringLiteral(FERRYMARK_SYSTEM_PYTHON);
    const Ran check = runProgram(QStringLiteral(FERRYMARK_VERIFY_TOOL), { pst, QStringLiteral("--strict") });
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();
    const Ran readers
        = runProgram(python, { QStringLiteral(FERRYMARK_SOURCE_DIR "/tests/support/pst_readers.py"), pst });
    EXPECT_EQ(readers.exitCode, 0) << readers.err.toStdString();
    QJsonParseError error;
    PstView view { QJsonDocument::fromJson(readers.out, &error).object() };
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    // A Unicode file is read by pst-extractor too: in every folder its items agree with pypff's.
    QFile file(pst);
    const bool unicode = file.open(QIODevice::ReadOnly) && file.read(12).mid(10, 2) >= QByteArray("\x17\x00", 2);
    if (unicode) {
        EXPECT_TRUE(view.json.contains(QLatin1String("pst_extractor")))
            << "pst-extractor is missing: scripts/test.sh installs it into tests/support/node_modules";
        auto byPath = [&](const char* reader) {
            std::map<QString, QStringList> out;
            for (const auto& f :
                view.json.value(QLatin1String(reader)).toObject().value(QLatin1String("folders")).toArray())
                out[f.toObject().value(QLatin1String("path")).toString()]
                    = Summaries(f.toObject().value(QLatin1String("items")).toArray());
            return out;
        };
        EXPECT_EQ(byPath("pst_extractor"), byPath("pypff"));
    }
    // Every HTML body written is well formed: libxml2's HTML parser (xmllint) reports no error.
    QTemporaryDir htmlDir;
    QStringList htmlFiles;
    for (const auto& f : view.json.value(QLatin1String("pypff")).toObject().value(QLatin1String("folders")).toArray())
        for (const auto& i : f.toObject().value(QLatin1String("items")).toArray())
            if (const QString html = i.toObject().value(QLatin1String("html")).toString(); !html.isEmpty()) {
                QFile out(htmlDir.filePath(QStringLiteral("%1.html").arg(htmlFiles.size())));
                EXPECT_TRUE(out.open(QIODevice::WriteOnly));
                out.write(html.toUtf8());
                htmlFiles << out.fileName();
            }
    if (!htmlFiles.isEmpty()) {
        const Ran lint = runProgram(QStringLiteral("xmllint"),
            QStringList { QStringLiteral("--html"), QStringLiteral("--noout"), QStringLiteral("--nonet") } + htmlFiles);
        EXPECT_EQ(lint.exitCode, 0);
        EXPECT_EQ(lint.err.toStdString(), "") << "HTML bodies that do not parse";
    }
    return view;
}

QString ConversionFixture::endTitle() const { return ui.messages().empty() ? QString() : ui.messages().back().title; }

QStringList ConversionFixture::tempLeftovers() const
{
    QStringList out;
    QDirIterator it(temp.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path != tempFolder())
            out << path;
    }
    return out;
}
