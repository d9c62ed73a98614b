// A tree whose nodes are addressed by a unique key and carry text, picture, bold state and a
// tag. Used for the mail folder tree ContactsTreeView.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

class QTreeWidget;
class QTreeWidgetItem;

namespace widgets {

class ImageList;

struct TreeNode {
    QString key;
    QString parentKey; // empty for a root node
    QString text;
    int imageIndex = -1;
    bool bold = false;
    QString tag;
};

class FolderTree : public QWidget {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    void setHeaderCaption(const QString& caption);
    QString headerCaption() const;
    // The pictures that image indices refer to; none until set.
    void setImageList(const ImageList* images);

    // Adds a node under the node parentKey, or as a root when parentKey is empty. Returns false,
    // adding nothing, when key is empty or already used, or when parentKey names no node.
    bool addNode(const QString& parentKey, const QString& key, const QString& text, int imageIndex);
    std::optional<TreeNode> node(const QString& key) const;
    bool contains(const QString& key) const { return items_.contains(key); }
    // Keys of the children of parentKey (of the roots when empty), in the order added.
    QStringList childKeys(const QString& parentKey) const;
    int nodeCount() const { return static_cast<int>(items_.size()); }

    // Each returns false when key names no node.
    bool setBold(const QString& key, bool bold);
    bool setTag(const QString& key, const QString& tag);
    bool setText(const QString& key, const QString& text);
    bool setImage(const QString& key, int imageIndex);

    // The selected node (none after clear()); select() also scrolls it into view.
    bool select(const QString& key);
    std::optional<TreeNode> selectedNode() const;

    void expandAll();
    void clear();

    QTreeWidget* tree() const { return tree_; }

signals:
    // The user clicked a node; it is the selected node by then.
    void nodeClicked();

private:
    TreeNode toNode(const QTreeWidgetItem* item) const;

    QTreeWidget* tree_;
    const ImageList* images_ = nullptr;
    QHash<QString, QTreeWidgetItem*> items_;
};

} // namespace widgets
