// The help viewer: the help file's topics in a contents pane, the chosen topic beside them.
// The topics are the file's headings; level 2 headings are topics, level 3 their sub-topics.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

namespace common {

class HelpViewer : public QDialog {
    Q_OBJECT
public:
    // Shows the help file on its first topic, in the viewer already open on that file for this
    // owner or in a new one. Returns false, showing nothing, when the file cannot be read.
    static bool Open(QWidget* owner, const QString& helpFile);

    // Deletes itself when closed.
    HelpViewer(const QString& helpFile, QWidget* owner);
    ~HelpViewer() override;

    QString helpFile() const { return helpFile_; }
    QTreeWidget* contents() const { return contents_; }
    QTextBrowser* browser() const { return browser_; }

    // The top of the file, with the first topic chosen in the contents.
    void showFirstTopic();
    // Shows the topic behind the anchor name; false when the file has no such topic.
    bool showTopic(const QString& anchor);

private:
    void fillContents();
    void followSource(const QUrl& source);
    QTreeWidgetItem* itemFor(const QString& anchor) const;

    QString helpFile_;
    QTreeWidget* contents_;
    QTextBrowser* browser_;
    QPushButton* back_;
    QPushButton* forward_;
};

} // namespace common
