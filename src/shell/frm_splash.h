// The start-up window: shows the product picture, then the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>

class QTimer;

namespace shell {

class frmMain;

class frmSplash : public QWidget {
    Q_OBJECT
public:
    static constexpr int PictureWidth = 341;
    static constexpr int PictureHeight = 209;
    static constexpr int Timer1Interval = 10; // ms
    static constexpr int DisplayTime = 4000; // ms, waited after Timer1_Timer

    // The splash deletes itself when it is unloaded; create it with new.
    explicit frmSplash(QWidget* parent = nullptr);
    ~frmSplash() override;

    QTimer* Timer1() const { return timer1_; }
    // The main window this splash showed; nullptr before.
    frmMain* mainWindow() const;

    // Shows the main window and unloads the splash when DisplayTime has passed. The wait does
    // not hold up the event loop, so a key press during it still skips it. Runs once.
    void Timer1_Timer();
    // Any key: shows the main window and unloads the splash at once.
    void Form_KeyPress(std::int16_t KeyAscii);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showMainAndUnload();

    QTimer* timer1_;
    QPointer<frmMain> main_;
    bool unloaded_ = false;
    bool waiting_ = false;
};

} // namespace shell
