#include "widgets/image_list.h"

#include "widgets/resources.h"

#include <QHash>

namespace widgets {

namespace {
    struct Slot {
        int index;
        const char* key; // empty: addressed by index only
        const char* picture; // file name under :/icons/<size>/ without ".svg"
    };

    // Slots not listed show the neutral picture.
    constexpr Slot pictures[] = {
        { SmallIcon::Notesico, "Notesico", "server-database" },
        { SmallIcon::Export, "", "document-export" },
        { SmallIcon::Help, "", "help-contents" },
        { SmallIcon::Contact, "", "view-pim-contacts" },
        { SmallIcon::Journal, "", "view-pim-journal" },
        { SmallIcon::ToDo, "", "view-pim-tasks" },
        { SmallIcon::Mail, "", "mail-message" },
        { SmallIcon::Calendar, "", "view-calendar" },
        { SmallIcon::Open, "", "document-open" },
        { SmallIcon::Scan, "", "edit-find" },
        { SmallIcon::Drafts, "drafts", "document-edit" },
        { SmallIcon::Trash, "trash", "user-trash" },
        { SmallIcon::Inbox, "inbox", "mail-folder-inbox" },
        { SmallIcon::Junk, "junk", "mail-mark-junk" },
        { SmallIcon::Outbox, "outbox", "mail-folder-outbox" },
        { SmallIcon::Email, "email", "folder-mail" },
        { SmallIcon::FollowUp, "follow-up", "flag" },
    };
    constexpr const char* neutralPicture = "text-x-generic";

    QIcon loadPicture(const char* name)
    {
        initResources();
        QIcon icon;
        for (int size : { 16, 22 })
            icon.addFile(QStringLiteral(":/icons/%1/%2.svg").arg(size).arg(QLatin1String(name)), QSize(size, size));
        return icon;
    }
} // namespace

ImageList::ImageList(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("SmallIcons"));
    const QIcon neutral = loadPicture(neutralPicture);
    icons_.fill(neutral);
    for (const Slot& s : pictures)
        icons_[static_cast<std::size_t>(s.index)] = loadPicture(s.picture);
}

QIcon ImageList::icon(int index) const
{
    if (index < 0 || index >= Count)
        return {};
    return icons_[static_cast<std::size_t>(index)];
}

QString ImageList::key(int index) const
{
    for (const Slot& s : pictures)
        if (s.index == index)
            return QString::fromLatin1(s.key);
    return {};
}

int ImageList::indexOf(const QString& key) const
{
    if (key.isEmpty())
        return -1;
    for (const Slot& s : pictures)
        if (key == QLatin1String(s.key))
            return s.index;
    return -1;
}

QIcon arrowIcon() { return loadPicture("go-next"); }

} // namespace widgets
