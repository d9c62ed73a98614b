#include "widgets/folder_tree.h"

#include "widgets/image_list.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace widgets {

namespace {
    enum Role { KeyRole = Qt::UserRole + 1, ParentKeyRole, ImageRole, TagRole };
}

FolderTree::FolderTree(QWidget* parent)
    : QWidget(parent)
    , tree_(new QTreeWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tree_);
    tree_->setObjectName(QStringLiteral("Tree"));
    tree_->setColumnCount(1);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->header()->setSectionsClickable(false);
    connect(tree_, &QTreeWidget::itemClicked, this, [this] { emit nodeClicked(); });
}

void FolderTree::setHeaderCaption(const QString& caption) { tree_->setHeaderLabel(caption); }

QString FolderTree::headerCaption() const { return tree_->headerItem()->text(0); }

void FolderTree::setImageList(const ImageList* images)
{
    images_ = images;
    for (QTreeWidgetItem* item : std::as_const(items_))
        item->setIcon(0, images_ ? images_->icon(item->data(0, ImageRole).toInt()) : QIcon());
}

bool FolderTree::addNode(const QString& parentKey, const QString& key, const QString& text, int imageIndex)
{
    if (key.isEmpty() || items_.contains(key))
        return false;
    QTreeWidgetItem* parent = nullptr;
    if (!parentKey.isEmpty()) {
        parent = items_.value(parentKey);
        if (!parent)
            return false;
    }
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, text);
    item->setData(0, KeyRole, key);
    item->setData(0, ParentKeyRole, parentKey);
    item->setData(0, TagRole, QString());
    items_.insert(key, item);
    setImage(key, imageIndex);
    return true;
}

TreeNode FolderTree::toNode(const QTreeWidgetItem* item) const
{
    TreeNode n;
    n.key = item->data(0, KeyRole).toString();
    n.parentKey = item->data(0, ParentKeyRole).toString();
    n.text = item->text(0);
    n.imageIndex = item->data(0, ImageRole).toInt();
    n.bold = item->font(0).bold();
    n.tag = item->data(0, TagRole).toString();
    return n;
}

std::optional<TreeNode> FolderTree::node(const QString& key) const
{
    const QTreeWidgetItem* item = items_.value(key);
    if (!item)
        return std::nullopt;
    return toNode(item);
}

QStringList FolderTree::childKeys(const QString& parentKey) const
{
    QStringList keys;
    if (parentKey.isEmpty()) {
        for (int i = 0; i < tree_->topLevelItemCount(); ++i)
            keys << tree_->topLevelItem(i)->data(0, KeyRole).toString();
        return keys;
    }
    if (const QTreeWidgetItem* parent = items_.value(parentKey))
        for (int i = 0; i < parent->childCount(); ++i)
            keys << parent->child(i)->data(0, KeyRole).toString();
    return keys;
}

bool FolderTree::setBold(const QString& key, bool bold)
{
    QTreeWidgetItem* item = items_.value(key);
    if (!item)
        return false;
    QFont font = item->font(0);
    font.setBold(bold);
    item->setFont(0, font);
    return true;
}

bool FolderTree::setTag(const QString& key, const QString& tag)
{
    QTreeWidgetItem* item = items_.value(key);
    if (!item)
        return false;
    item->setData(0, TagRole, tag);
    return true;
}

bool FolderTree::setText(const QString& key, const QString& text)
{
    QTreeWidgetItem* item = items_.value(key);
    if (!item)
        return false;
    item->setText(0, text);
    return true;
}

bool FolderTree::setImage(const QString& key, int imageIndex)
{
    QTreeWidgetItem* item = items_.value(key);
    if (!item)
        return false;
    item->setData(0, ImageRole, imageIndex);
    item->setIcon(0, images_ ? images_->icon(imageIndex) : QIcon());
    return true;
}

bool FolderTree::select(const QString& key)
{
    QTreeWidgetItem* item = items_.value(key);
    if (!item)
        return false;
    tree_->setCurrentItem(item);
    tree_->scrollToItem(item);
    return true;
}

std::optional<TreeNode> FolderTree::selectedNode() const
{
    const QTreeWidgetItem* item = tree_->currentItem();
    if (!item)
        return std::nullopt;
    return toNode(item);
}

void FolderTree::expandAll() { tree_->expandAll(); }

void FolderTree::clear()
{
    items_.clear();
    tree_->clear();
}

} // namespace widgets
