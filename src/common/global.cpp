#include "global.h"

#include "ui_seams.h"

#include "automation/notes.h"
#include "automation/private_folder.h"

#include <QDir>
#include <QFile>

#include <iostream>
#include <memory>
#include <optional>
#include <utility>

#include <sys/stat.h>

namespace common {

QString GetTempFolder()
{
    QString folder = QDir::tempPath();
    if (folder.isEmpty() || !QDir(folder).exists())
        return {};
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

namespace {
    std::unique_ptr<automation::PrivateFolder>& runFolder()
    {
        static std::unique_ptr<automation::PrivateFolder> folder;
        return folder;
    }
    std::string baseFolder()
    {
        QString base = GetTempFolder();
        base.chop(1);
        return QFile::encodeName(base).toStdString();
    }
} // namespace

QString RunTempFolder(QString* problem)
{
    auto& folder = runFolder();
    if (!folder || !folder->intact()) {
        folder.reset();
        if (GetTempFolder().isEmpty()) {
            if (problem)
                *problem = QStringLiteral("there is no temporary folder (TMPDIR, else /tmp)");
            return {};
        }
        try {
            folder = std::make_unique<automation::PrivateFolder>(baseFolder(), "");
        } catch (const automation::AutomationError& e) {
            if (problem)
                *problem = QString::fromStdString(e.detail());
            return {};
        }
    }
    return QFile::decodeName(folder->path().c_str()) + QLatin1Char('/');
}

void RemoveRunTempFolder() { runFolder().reset(); }

void RemoveLeftoverTempFolders()
{
    if (GetTempFolder().isEmpty())
        return;
    for (const auto& problem : automation::RemoveLeftoverFolders(baseFolder()).problems)
        std::cerr << problem << '\n';
}

QString BrowseForFolder(QWidget* owner, const QString& title)
{
    QString folder = seams().chooseFolder(owner, title);
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

namespace {
    // Quotient of sum / 2 rounded to the nearest whole number, halves to the even one.
    int halfRoundedToEven(int sum)
    {
        const int q = sum >= 0 ? sum / 2 : -((-sum) / 2);
        if (sum % 2 == 0)
            return q;
        // exactly half-way between q and q + sign: take the even one
        const int other = sum > 0 ? q + 1 : q - 1;
        return (q % 2 == 0) ? q : other;
    }

    void quickSort(std::vector<QString>& list, int first, int last)
    {
        // The position sum is taken as a 32-bit value: a 16-bit sum would overflow on lists
        // longer than 16,384 names, and is identical for every shorter one.
        const QString pivot = list[static_cast<std::size_t>(halfRoundedToEven(first + last))];
        int i = first;
        int j = last;
        for (;;) {
            while (QString::compare(list[static_cast<std::size_t>(i)], pivot, Qt::CaseSensitive) < 0 && i < last)
                ++i;
            while (QString::compare(pivot, list[static_cast<std::size_t>(j)], Qt::CaseSensitive) < 0 && j > first)
                --j;
            if (i > j)
                break;
            std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]);
            ++i;
            --j;
            if (i > j)
                break;
        }
        if (first < j)
            quickSort(list, first, j);
        if (i < last)
            quickSort(list, i, last);
    }
} // namespace

void QuickSortStrings(std::vector<QString>& list, std::int16_t first, std::int16_t last)
{
    if (first < 0 || last < first || static_cast<std::size_t>(last) >= list.size())
        return;
    quickSort(list, first, last);
}

void RemoveDuplicateStrings(std::vector<QString>& list)
{
    const auto n = static_cast<std::ptrdiff_t>(list.size()) - 1;
    std::ptrdiff_t k = 1;
    std::ptrdiff_t i = 0;
    while (i <= n && i + k <= n) {
        auto& current = list[static_cast<std::size_t>(i)];
        if (!current.isEmpty()) {
            auto& candidate = list[static_cast<std::size_t>(i + k)];
            if (candidate == current) {
                candidate.clear();
                ++k;
            } else {
                k = 1;
                ++i;
            }
        } else {
            ++i;
        }
    }
    std::erase_if(list, [](const QString& s) { return s.isEmpty(); });
}

QString FileNameFromPath(const QString& path)
{
    const auto cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return cut < 0 ? path : path.mid(cut + 1);
}

void CreateNotesSession(std::shared_ptr<automation::NotesSession>& session)
{
    try {
        session = automation::CreateObjectAs<automation::NotesSession>("Notes.NotesSession");
    } catch (const automation::AutomationError&) {
        session.reset();
        MsgBox(QStringLiteral("Lotus Notes not INSTALLED or Configured"), MsgButtons::Ok, MsgIcon::Information,
            QStringLiteral("Lotus Notes Error"));
    }
}

std::optional<FileStamp> StampOf(const QString& path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::int64_t>(st.st_size);
    stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    return stamp;
}

QString HowChanged(const QString& path, const FileStamp& before)
{
    const auto now = StampOf(path);
    if (!now)
        return QStringLiteral("the file is gone");
    if (now->device != before.device || now->inode != before.inode)
        return QStringLiteral("another file has taken its place");
    if (now->size != before.size)
        return QStringLiteral("its size changed from %1 to %2 bytes").arg(before.size).arg(now->size);
    if (now->modifiedNs != before.modifiedNs)
        return QStringLiteral("it was written to");
    return QString();
}

} // namespace common
