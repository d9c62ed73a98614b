// The tab strip NotesTab: tabs of fixed width and height, numbered from 1, each with its own
// enabled state. Enabling or disabling a tab never moves the selection, so a disabled tab
// may stay selected.
#pragma once

#include <QTabWidget>

#include <cstdint>

namespace widgets {

class TabStrip : public QTabWidget {
    Q_OBJECT
public:
    static constexpr int TabHeight = 22;

    explicit TabStrip(QWidget* parent = nullptr);

    // Appends a page with its tab text and tab width in pixels; returns the tab's number.
    std::int16_t addPage(QWidget* page, const QString& text, int width);

    // Tab numbers outside 1..count() are ignored (isTabOn gives false).
    void enableTab(std::int16_t number, bool enabled);
    bool isTabOn(std::int16_t number) const;
    // Selects a tab, enabled or not; tabSelected follows when the selection changes.
    void selectTab(std::int16_t number);
    // 1-based; 0 when there are no tabs.
    std::int16_t selectedTab() const;
    int tabWidth(std::int16_t number) const;

signals:
    // The selected tab changed, by the user or by selectTab.
    void tabSelected(std::int16_t number);

private:
    class Bar;
    Bar* bar_;
};

} // namespace widgets
