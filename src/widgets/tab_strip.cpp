#include "widgets/tab_strip.h"

#include <QProxyStyle>
#include <QSignalBlocker>
#include <QTabBar>

#include <vector>

namespace widgets {

class TabStrip::Bar : public QTabBar {
public:
    using QTabBar::QTabBar;
    std::vector<int> widths;

protected:
    QSize tabSizeHint(int index) const override
    {
        if (index < 0 || index >= static_cast<int>(widths.size()))
            return QTabBar::tabSizeHint(index);
        return { widths[static_cast<std::size_t>(index)], TabHeight };
    }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
};

namespace {
    // The widths are those of the tab texts in a small font: keep the style's padding out of them.
    class NarrowTabStyle : public QProxyStyle {
    public:
        int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
        {
            if (metric == PM_TabBarTabHSpace)
                return 2;
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    };
} // namespace

TabStrip::TabStrip(QWidget* parent)
    : QTabWidget(parent)
    , bar_(new Bar(this))
{
    bar_->setObjectName(QStringLiteral("NotesTabBar"));
    bar_->setElideMode(Qt::ElideNone);
    bar_->setUsesScrollButtons(false);
    bar_->setExpanding(false);
    bar_->setDrawBase(true);
    auto* style = new NarrowTabStyle;
    style->setParent(bar_);
    bar_->setStyle(style);
    QFont font = bar_->font();
    font.setPixelSize(11);
    bar_->setFont(font);
    setTabBar(bar_);
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0)
            emit tabSelected(static_cast<std::int16_t>(index + 1));
    });
}

std::int16_t TabStrip::addPage(QWidget* page, const QString& text, int width)
{
    bar_->widths.push_back(width);
    return static_cast<std::int16_t>(addTab(page, text) + 1);
}

void TabStrip::enableTab(std::int16_t number, bool enabled)
{
    if (number < 1 || number > count())
        return;
    // The tab bar moves the selection off a tab that becomes disabled; keep it where it is
    // and report nothing.
    const int selected = bar_->currentIndex();
    const QSignalBlocker block(bar_);
    bar_->setTabEnabled(number - 1, enabled);
    bar_->setCurrentIndex(selected);
}

bool TabStrip::isTabOn(std::int16_t number) const
{
    return number >= 1 && number <= count() && bar_->isTabEnabled(number - 1);
}

void TabStrip::selectTab(std::int16_t number)
{
    if (number >= 1 && number <= count())
        setCurrentIndex(number - 1);
}

std::int16_t TabStrip::selectedTab() const { return static_cast<std::int16_t>(currentIndex() + 1); }

int TabStrip::tabWidth(std::int16_t number) const
{
    if (number < 1 || number > count())
        return 0;
    return bar_->tabRect(number - 1).width();
}

} // namespace widgets
