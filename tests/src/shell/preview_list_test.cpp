#include "widgets/image_list.h"
#include "widgets/preview_list.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTableWidget>

using widgets::PreviewList;

namespace {
const QString MailColumns = QStringLiteral("From/To;150;0;0;;-1|Subject;240;0;0;;-1|Size;52;2;0;;-1|Date;150;0;0;;-1");

Qt::Alignment horizontal(const QTableWidgetItem* item)
{
    return Qt::Alignment(item->textAlignment()) & Qt::AlignHorizontal_Mask;
}

class PreviewListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(list.setColumnHeaders(MailColumns)); }
    widgets::ImageList images;
    PreviewList list;
};
} // namespace

TEST_F(PreviewListTest, ColumnsComeFromTheFormatString)
{
    const QTableWidget* table = list.table();
    ASSERT_EQ(table->columnCount(), 4);
    const char* captions[] = { "From/To", "Subject", "Size", "Date" };
    const int widths[] = { 150, 240, 52, 150 };
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(table->horizontalHeaderItem(c)->text(), QLatin1String(captions[c]));
        EXPECT_EQ(table->columnWidth(c), widths[c]);
        EXPECT_EQ(list.columns()[static_cast<std::size_t>(c)].width, widths[c]);
        EXPECT_EQ(horizontal(table->horizontalHeaderItem(c)), c == 2 ? Qt::AlignRight : Qt::AlignLeft) << c;
    }
    EXPECT_TRUE(table->showGrid());
    EXPECT_TRUE(table->horizontalHeader()->isVisible() || !table->isVisible());
    EXPECT_EQ(list.rowCount(), 0);
}

TEST_F(PreviewListTest, RowsAreSplitAtTabsIntoTheColumnsWithTheirImages)
{
    EXPECT_EQ(list.addRow(QStringLiteral("Ann Lee\tLunch\t2 KB\t06/12/2026 10:00:00"), 57), 0);
    EXPECT_TRUE(list.table()->item(0, 0)->icon().isNull()) << "no image list yet";
    list.setImageList(&images);
    EXPECT_FALSE(list.table()->item(0, 0)->icon().isNull()) << "rows already there take their image";
    EXPECT_TRUE(list.setRowImage(0, 56));
    EXPECT_FALSE(list.setRowImage(4, 55));
    EXPECT_FALSE(list.setRowImage(-1, 55));
    EXPECT_EQ(list.addRow(QStringLiteral("Bob\tNo date"), 56), 1) << "missing values stay empty";
    EXPECT_EQ(list.addRow(QStringLiteral("a\tb\tc\td\textra"), 56), 2) << "extra values are dropped";
    EXPECT_EQ(list.addRow(QString()), 3);

    ASSERT_EQ(list.rowCount(), 4);
    EXPECT_EQ(list.cellText(0, 1), QStringLiteral("Lunch"));
    EXPECT_EQ(list.cellText(0, 2), QStringLiteral("2 KB"));
    EXPECT_EQ(horizontal(list.table()->item(0, 2)), Qt::AlignRight);
    EXPECT_EQ(horizontal(list.table()->item(0, 3)), Qt::AlignLeft);
    EXPECT_EQ(list.rowText(0), QStringLiteral("Ann Lee\tLunch\t2 KB\t06/12/2026 10:00:00"));
    EXPECT_EQ(list.rowText(1), QStringLiteral("Bob\tNo date\t\t"));
    EXPECT_EQ(list.rowText(2), QStringLiteral("a\tb\tc\td"));
    EXPECT_EQ(list.rowText(3), QStringLiteral("\t\t\t"));
    EXPECT_EQ(list.rowText(4), QString());

    EXPECT_EQ(list.rowImage(0), 56);
    EXPECT_FALSE(list.table()->item(0, 0)->icon().isNull());
    EXPECT_TRUE(list.table()->item(0, 1)->icon().isNull()) << "the picture is in the first column only";
    EXPECT_EQ(list.rowImage(3), -1);
    EXPECT_TRUE(list.table()->item(3, 0)->icon().isNull());
}

TEST_F(PreviewListTest, ClearKeepsTheColumnsNewColumnsReplaceBothAndMalformedFormatsChangeNothing)
{
    list.addRow(QStringLiteral("a\tb\tc\td"), 56);
    list.clear();
    EXPECT_EQ(list.rowCount(), 0);
    ASSERT_EQ(list.table()->columnCount(), 4);
    EXPECT_EQ(list.table()->horizontalHeaderItem(3)->text(), QStringLiteral("Date"));
    EXPECT_EQ(list.addRow(QStringLiteral("e\tf")), 0);

    for (const char* bad : { "", "Subject", "Subject;wide;0;0;;-1", "Subject;100;left;0;;-1",
             "Subject;100;0;0;;-1|Due Date", "Subject;-5;0;0;;-1" })
        EXPECT_FALSE(list.setColumnHeaders(QLatin1String(bad))) << bad;
    EXPECT_EQ(list.table()->columnCount(), 4);
    EXPECT_EQ(list.columns().size(), 4u);
    EXPECT_EQ(list.rowCount(), 1);

    ASSERT_TRUE(list.setColumnHeaders(QStringLiteral("Subject;500;0;0;;-1|Start Time;163;0;0;;-1")));
    EXPECT_EQ(list.rowCount(), 0);
    ASSERT_EQ(list.table()->columnCount(), 2);
    EXPECT_EQ(list.table()->horizontalHeaderItem(1)->text(), QStringLiteral("Start Time"));
    EXPECT_EQ(list.table()->columnWidth(0), 500);
}
