// The image list SmallIcons of the main window: 72 pictures addressed by 0-based index, some
// of them also by key.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <array>

namespace widgets {

// The indices the program uses.
namespace SmallIcon {
    enum : int {
        Notesico = 0,
        Export = 37,
        Help = 47,
        Contact = 53,
        Journal = 54,
        ToDo = 55,
        Mail = 56,
        Calendar = 57,
        Open = 61,
        Scan = 63,
        Drafts = 65,
        Trash = 66,
        Inbox = 67,
        Junk = 68,
        Outbox = 69,
        Email = 70,
        FollowUp = 71,
    };
}

class ImageList : public QObject {
    Q_OBJECT
public:
    static constexpr int Count = 72;

    explicit ImageList(QObject* parent = nullptr);

    int count() const { return Count; }
    // The picture at index; a null icon outside 0..Count-1.
    QIcon icon(int index) const;
    // The key of the picture at index ("inbox", "Notesico", ...); empty when it has none.
    QString key(int index) const;
    // The index of the picture with this key (case-sensitive); -1 when there is none.
    int indexOf(const QString& key) const;

private:
    std::array<QIcon, Count> icons_;
};

// The one arrow picture of the scan steps.
QIcon arrowIcon();

} // namespace widgets
