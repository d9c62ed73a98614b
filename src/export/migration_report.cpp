#include "export/migration_report.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace exporting {

const char* OutcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Written:
        return "written";
    case Outcome::Incomplete:
        return "incomplete";
    case Outcome::Skipped:
        return "skipped";
    case Outcome::Failed:
        return "failed";
    }
    return "";
}

void MigrationReport::beginDocument(const QString& noteId, const QString& phase, const QString& view)
{
    if (open_)
        finishDocument(QString());
    ReportRow row;
    row.noteId = noteId;
    row.phase = phase;
    row.view = view;
    rows_.push_back(std::move(row));
    lookedIds_.insert(noteId);
    open_ = true;
    savedCurrent_ = false;
}

void MigrationReport::itemSaved(const QString& folder)
{
    ++savedByFolder_[folder];
    if (!open_)
        return;
    savedCurrent_ = true;
    rows_.back().folder = folder;
}

void MigrationReport::problem(const QString& what)
{
    if (!open_) {
        runProblems_.push_back(what);
        return;
    }
    QString& reason = rows_.back().reason;
    if (!reason.isEmpty())
        reason += QStringLiteral("; ");
    reason += what;
}

void MigrationReport::ignoredContent(const QString& construct, std::uint32_t count)
{
    if (!open_)
        return;
    QString& ignored = rows_.back().ignored;
    if (!ignored.isEmpty())
        ignored += QStringLiteral("; ");
    ignored += QStringLiteral("%1 %2 ignored").arg(count).arg(construct);
    auto& [total, documents] = ignoredTotals_[construct];
    total += count;
    ++documents;
}

void MigrationReport::finishDocument(const QString& skipReason)
{
    if (!open_)
        return;
    ReportRow& row = rows_.back();
    const bool lost = !row.reason.isEmpty();
    if (savedCurrent_)
        row.outcome = lost ? Outcome::Incomplete : Outcome::Written;
    else if (lost)
        row.outcome = Outcome::Failed;
    else {
        row.outcome = Outcome::Skipped;
        row.reason = skipReason;
    }
    open_ = false;
}

void MigrationReport::add(ReportRow row)
{
    if (open_)
        finishDocument(QString());
    if (!row.phase.isEmpty())
        lookedIds_.insert(row.noteId);
    rows_.push_back(std::move(row));
}

std::int32_t MigrationReport::markLost(const QString& folder, std::int32_t count, const QString& reason)
{
    std::int32_t changed = 0;
    for (auto it = rows_.rbegin(); it != rows_.rend() && changed < count; ++it) {
        if (it->folder != folder || (it->outcome != Outcome::Written && it->outcome != Outcome::Incomplete))
            continue;
        it->outcome = Outcome::Failed;
        it->reason = it->reason.isEmpty() ? reason : reason + QStringLiteral("; ") + it->reason;
        ++changed;
    }
    return changed;
}

bool MigrationReport::looked(const QString& noteId) const { return lookedIds_.count(noteId) != 0; }

std::int32_t MigrationReport::count(Outcome outcome) const
{
    std::int32_t n = 0;
    for (const auto& row : rows_)
        n += row.outcome == outcome ? 1 : 0;
    return n;
}

QString MigrationReport::summaryLine() const
{
    const auto incomplete = count(Outcome::Incomplete);
    QString line = QStringLiteral("written %1, skipped %2, failed %3")
                       .arg(count(Outcome::Written) + incomplete)
                       .arg(count(Outcome::Skipped))
                       .arg(count(Outcome::Failed));
    if (incomplete != 0)
        line += QStringLiteral(" (%1 written incomplete)").arg(incomplete);
    return line;
}

namespace {
    QString withoutPst(const QString& pstPath)
    {
        return pstPath.endsWith(QStringLiteral(".pst"), Qt::CaseInsensitive) ? pstPath.chopped(4) : pstPath;
    }

    // RFC 4180: fields with a separator, quote or line break are quoted, quotes doubled.
    QString csvField(const QString& value)
    {
        if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char('\n'))
            && !value.contains(QLatin1Char('\r')))
            return value;
        QString quoted = value;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    }

    QString writeFile(const QString& path, const QByteArray& bytes)
    {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            return path + QStringLiteral(": ") + file.errorString();
        return QString();
    }
} // namespace

QString MigrationReport::csvPath(const QString& pstPath) { return withoutPst(pstPath) + QStringLiteral(".report.csv"); }

QString MigrationReport::textPath(const QString& pstPath)
{
    return withoutPst(pstPath) + QStringLiteral(".report.txt");
}

QString MigrationReport::write(const QString& pstPath, const QString& databasePath, const QString& storeName) const
{
    // A byte order mark, so that spreadsheet programs read the UTF-8 as UTF-8.
    QString csv = QStringLiteral(
        "\uFEFFnote_id,unid,form,subject,phase,view,outlook_folder,outcome,reason,placement,ignored_content\r\n");
    for (const auto& row : rows_) {
        const QStringList fields { row.noteId, row.unid, row.form, row.subject, row.phase, row.view, row.folder,
            QLatin1String(OutcomeName(row.outcome)), row.reason, row.placement, row.ignored };
        QStringList quoted;
        for (const auto& f : fields)
            quoted << csvField(f);
        csv += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }

    QString text;
    text += QStringLiteral("Migration report\n\n");
    text += QStringLiteral("Notes database: %1\n").arg(databasePath);
    text += QStringLiteral("PST file: %1\n").arg(pstPath);
    text += QStringLiteral("Outlook mailbox name: %1\n").arg(storeName);
    text += QStringLiteral("Run: %1\n").arg(ending_.isEmpty() ? QStringLiteral("did not end") : ending_);
    text += QStringLiteral("Documents: %1\n").arg(summaryLine());
    if (!readBack_.isEmpty())
        text += QStringLiteral("PST read back: %1\n").arg(readBack_);
    if (!savedByFolder_.empty()) {
        text += QStringLiteral("\nItems written, by Outlook folder:\n");
        for (const auto& [folder, n] : savedByFolder_)
            text += QStringLiteral("  %1  %2\n").arg(folder).arg(n);
    }
    if (!runProblems_.empty()) {
        text += QStringLiteral("\nProblems of the run:\n");
        for (const auto& p : runProblems_)
            text += QStringLiteral("  %1\n").arg(p);
    }
    if (!databaseNotes_.empty()) {
        text += QStringLiteral("\nAbout the Notes database:\n");
        for (const auto& note : databaseNotes_)
            text += QStringLiteral("  %1\n").arg(note);
    }
    if (!unresolvedNames_.empty()) {
        text += QStringLiteral("\nNames with no Internet address (kept as Notes names; add them to the names file "
                               "and run again):\n");
        for (const auto& [name, n] : unresolvedNames_)
            text += QStringLiteral("  %1  %2\n").arg(name).arg(n);
    }
    if (!ignoredTotals_.empty()) {
        text += QStringLiteral("\nContent of the database that the reader does not understand and left out:\n");
        for (const auto& [construct, n] : ignoredTotals_)
            text += QStringLiteral("  %1 %2 ignored, in %3 document(s)\n").arg(n.first).arg(construct).arg(n.second);
    }
    const auto failed = count(Outcome::Failed) + count(Outcome::Incomplete);
    if (failed != 0) {
        text += QStringLiteral("\nDocuments not written whole:\n");
        for (const auto& row : rows_)
            if (row.outcome == Outcome::Failed || row.outcome == Outcome::Incomplete)
                text += QStringLiteral("  %1 %2 \"%3\": %4\n")
                            .arg(row.noteId, QLatin1String(OutcomeName(row.outcome)), row.subject, row.reason);
    }
    text += QStringLiteral("\nEvery document, one row each: %1\n").arg(QFileInfo(csvPath(pstPath)).fileName());

    QString problem = writeFile(csvPath(pstPath), csv.toUtf8());
    const QString second = writeFile(textPath(pstPath), text.toUtf8());
    if (problem.isEmpty())
        problem = second;
    return problem;
}

} // namespace exporting
