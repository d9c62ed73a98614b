#include "widgets/image_list.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

using widgets::ImageList;
namespace SmallIcon = widgets::SmallIcon;

namespace {
QImage pictureOf(const ImageList& list, int index) { return list.icon(index).pixmap(16, 16).toImage(); }
}

TEST(SmallIcons, EverySlotShowsABundledPicture)
{
    const ImageList list;
    for (int i = 0; i < ImageList::Count; ++i)
        EXPECT_FALSE(pictureOf(list, i).isNull())
            << "slot " << i << " has no picture (resource or SVG support missing?)";
    EXPECT_TRUE(list.icon(-1).isNull());
    EXPECT_TRUE(list.icon(ImageList::Count).isNull());
    EXPECT_FALSE(widgets::arrowIcon().pixmap(16, 16).isNull());
}

TEST(SmallIcons, UsedSlotsHaveTheirOwnPictures)
{
    const ImageList list;
    const QImage neutral = pictureOf(list, 1);
    const int used[] = { SmallIcon::Notesico, SmallIcon::Export, SmallIcon::Help, SmallIcon::Contact,
        SmallIcon::Journal, SmallIcon::ToDo, SmallIcon::Mail, SmallIcon::Calendar, SmallIcon::Open, SmallIcon::Scan,
        SmallIcon::Drafts, SmallIcon::Trash, SmallIcon::Inbox, SmallIcon::Junk, SmallIcon::Outbox, SmallIcon::Email,
        SmallIcon::FollowUp };
    for (int a : used) {
        EXPECT_NE(pictureOf(list, a), neutral) << "slot " << a;
        for (int b : used) {
            if (a < b) {
                EXPECT_NE(pictureOf(list, a), pictureOf(list, b)) << "slots " << a << " and " << b;
            }
        }
    }
}
