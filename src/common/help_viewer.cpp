#include "common/help_viewer.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <QVBoxLayout>

namespace common {

namespace {
    constexpr int AnchorRole = Qt::UserRole;

    // The first anchor name inside a block, or empty text.
    QString anchorOf(const QTextBlock& block)
    {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QStringList names = it.fragment().charFormat().anchorNames();
            if (!names.isEmpty())
                return names.first();
        }
        return {};
    }
} // namespace

bool HelpViewer::Open(QWidget* owner, const QString& helpFile)
{
    const QFileInfo info(helpFile);
    if (!info.isFile() || !info.isReadable())
        return false;
    const QString path = info.absoluteFilePath();
    const auto viewers
        = owner ? owner->findChildren<HelpViewer*>(QString(), Qt::FindDirectChildrenOnly) : QList<HelpViewer*>();
    HelpViewer* viewer = nullptr;
    for (HelpViewer* v : viewers)
        if (v->helpFile() == path)
            viewer = v;
    if (!viewer)
        viewer = new HelpViewer(path, owner);
    else
        viewer->showFirstTopic();
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return true;
}

HelpViewer::HelpViewer(const QString& helpFile, QWidget* owner)
    : QDialog(owner, Qt::Window)
    , helpFile_(helpFile)
    , contents_(new QTreeWidget(this))
    , browser_(new QTextBrowser(this))
    , back_(new QPushButton(QStringLiteral("&Back"), this))
    , forward_(new QPushButton(QStringLiteral("&Forward"), this))
{
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Ferrymark Help"));

    contents_->setObjectName(QStringLiteral("HelpContents"));
    contents_->setHeaderHidden(true);
    contents_->setRootIsDecorated(true);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(true);
    back_->setObjectName(QStringLiteral("HelpBack"));
    forward_->setObjectName(QStringLiteral("HelpForward"));
    back_->setEnabled(false);
    forward_->setEnabled(false);

    auto* splitter = new QSplitter(this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(contents_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({ 290, 570 });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(back_, QDialogButtonBox::ActionRole);
    buttons->addButton(forward_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(buttons);
    resize(860, 600);

    browser_->setSource(QUrl::fromLocalFile(helpFile_));
    fillContents();
    connect(contents_, &QTreeWidget::itemClicked, this,
        [this](QTreeWidgetItem* item) { showTopic(item->data(0, AnchorRole).toString()); });
    connect(browser_, &QTextBrowser::sourceChanged, this, &HelpViewer::followSource);
    showFirstTopic();
}

HelpViewer::~HelpViewer() = default;

void HelpViewer::fillContents()
{
    contents_->clear();
    QTreeWidgetItem* topic = nullptr;
    for (QTextBlock block = browser_->document()->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level != 2 && level != 3)
            continue;
        const QString anchor = anchorOf(block);
        if (anchor.isEmpty())
            continue;
        QTreeWidgetItem* item = (level == 3 && topic) ? new QTreeWidgetItem(topic) : new QTreeWidgetItem(contents_);
        if (level == 2)
            topic = item;
        item->setText(0, block.text().simplified());
        item->setData(0, AnchorRole, anchor);
    }
}

void HelpViewer::showFirstTopic()
{
    const QUrl file = QUrl::fromLocalFile(helpFile_);
    if (browser_->source() != file)
        browser_->setSource(file);
    browser_->moveCursor(QTextCursor::Start);
    browser_->ensureCursorVisible();
    contents_->setCurrentItem(contents_->topLevelItem(0));
}

bool HelpViewer::showTopic(const QString& anchor)
{
    if (anchor.isEmpty() || !itemFor(anchor))
        return false;
    QUrl url = QUrl::fromLocalFile(helpFile_);
    url.setFragment(anchor);
    browser_->setSource(url);
    return true;
}

void HelpViewer::followSource(const QUrl& source)
{
    // Links and Back and Forward move the contents' choice along; the top of the file is the
    // first topic.
    const QString anchor = source.fragment();
    QTreeWidgetItem* item = anchor.isEmpty() ? contents_->topLevelItem(0) : itemFor(anchor);
    if (item)
        contents_->setCurrentItem(item);
}

QTreeWidgetItem* HelpViewer::itemFor(const QString& anchor) const
{
    if (anchor.isEmpty())
        return nullptr;
    for (QTreeWidgetItemIterator it(contents_); *it; ++it)
        if ((*it)->data(0, AnchorRole).toString() == anchor)
            return *it;
    return nullptr;
}

} // namespace common
