#include "widgets/preview_list.h"

#include "widgets/image_list.h"

#include <QHeaderView>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

namespace widgets {

namespace {
    constexpr int ImageRole = Qt::UserRole + 1;

    Qt::Alignment toQt(int alignment)
    {
        switch (alignment) {
        case 1:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case 2:
            return Qt::AlignRight | Qt::AlignVCenter;
        default:
            return Qt::AlignLeft | Qt::AlignVCenter;
        }
    }
} // namespace

PreviewList::PreviewList(QWidget* parent)
    : QWidget(parent)
    , table_(new QTableWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_);
    table_->setObjectName(QStringLiteral("Table"));
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setHighlightSections(false);
    table_->horizontalHeader()->setStretchLastSection(false);
}

bool PreviewList::setColumnHeaders(const QString& format)
{
    std::vector<PreviewColumn> parsed;
    for (const QString& entry : format.split(QLatin1Char('|'))) {
        const QStringList fields = entry.split(QLatin1Char(';'));
        if (fields.size() < 3)
            return false;
        bool widthOk = false;
        bool alignmentOk = false;
        PreviewColumn column;
        column.caption = fields[0];
        column.width = fields[1].trimmed().toInt(&widthOk);
        column.alignment = fields[2].trimmed().toInt(&alignmentOk);
        if (!widthOk || !alignmentOk || column.width < 0)
            return false;
        parsed.push_back(column);
    }

    columns_ = std::move(parsed);
    clear();
    table_->setColumnCount(static_cast<int>(columns_.size()));
    for (int c = 0; c < static_cast<int>(columns_.size()); ++c) {
        const PreviewColumn& column = columns_[static_cast<std::size_t>(c)];
        auto* header = new QTableWidgetItem(column.caption);
        header->setTextAlignment(toQt(column.alignment));
        table_->setHorizontalHeaderItem(c, header);
        table_->setColumnWidth(c, column.width);
    }
    return true;
}

void PreviewList::setImageList(const ImageList* images)
{
    images_ = images;
    for (int row = 0; row < rowCount(); ++row)
        setRowImage(row, rowImage(row));
}

int PreviewList::addRow(const QString& tabJoined, int imageIndex)
{
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QStringList values = tabJoined.split(QLatin1Char('\t'));
    for (int c = 0; c < table_->columnCount(); ++c) {
        auto* item = new QTableWidgetItem(c < values.size() ? values[c] : QString());
        item->setTextAlignment(toQt(columns_[static_cast<std::size_t>(c)].alignment));
        table_->setItem(row, c, item);
    }
    setRowImage(row, imageIndex);
    return row;
}

bool PreviewList::setRowImage(int row, int imageIndex)
{
    if (row < 0 || row >= rowCount() || table_->columnCount() == 0)
        return false;
    QTableWidgetItem* first = table_->item(row, 0);
    first->setData(ImageRole, imageIndex);
    first->setIcon(images_ ? images_->icon(imageIndex) : QIcon());
    return true;
}

void PreviewList::clear() { table_->setRowCount(0); }

int PreviewList::rowCount() const { return table_->rowCount(); }

QString PreviewList::rowText(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    QStringList values;
    for (int c = 0; c < table_->columnCount(); ++c)
        values << cellText(row, c);
    return values.join(QLatin1Char('\t'));
}

QString PreviewList::cellText(int row, int column) const
{
    const QTableWidgetItem* item = table_->item(row, column);
    return item ? item->text() : QString();
}

int PreviewList::rowImage(int row) const
{
    const QTableWidgetItem* item = table_->item(row, 0);
    if (!item)
        return -1;
    const QVariant image = item->data(ImageRole);
    return image.isValid() ? image.toInt() : -1;
}

} // namespace widgets
