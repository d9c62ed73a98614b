// A multi-column list with a header row and grid lines whose columns are declared by a header
// format string and whose rows are added as tab-joined text with a row picture. Used for
// MailList, CalendarList, ContactList, ToDoList and JournalList.
#pragma once

#include <QString>
#include <QWidget>

#include <vector>

class QTableWidget;

namespace widgets {

class ImageList;

struct PreviewColumn {
    QString caption;
    int width = 0;
    int alignment = 0; // 0 left, 1 centre, 2 right (numbers such as a size)
};

class PreviewList : public QWidget {
    Q_OBJECT
public:
    explicit PreviewList(QWidget* parent = nullptr);

    // Parses "caption;width;alignment;0;;-1" entries joined by "|" and replaces the columns
    // and rows. Returns false, changing nothing, when an entry has fewer than three fields or
    // a width or alignment that is not a number.
    bool setColumnHeaders(const QString& format);
    const std::vector<PreviewColumn>& columns() const { return columns_; }

    // The pictures that addRow's image index refers to; none until set.
    void setImageList(const ImageList* images);

    // Adds a row from the column values joined by a tab character and returns its 0-based
    // index. Values beyond the last column are dropped; missing ones stay empty. An image
    // index of -1 (or one the image list does not hold) shows no picture.
    int addRow(const QString& tabJoined, int imageIndex = -1);
    // Shows picture imageIndex in the first column of row; false when there is no such row.
    bool setRowImage(int row, int imageIndex);

    // Removes every row; the columns stay.
    void clear();
    int rowCount() const;
    // The values of row joined by tabs, one per column; empty for a row that does not exist.
    QString rowText(int row) const;
    QString cellText(int row, int column) const;
    // The image index of row; -1 when it has none.
    int rowImage(int row) const;

    QTableWidget* table() const { return table_; }

private:
    QTableWidget* table_;
    const ImageList* images_ = nullptr;
    std::vector<PreviewColumn> columns_;
};

} // namespace widgets
