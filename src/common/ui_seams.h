// Every dialog, message box, help call and wait of the program goes through these seams, so
// that tests can script the answers and nothing waits for real time.
#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class QDialog;
class QObject;
class QWidget;

namespace common {

enum class MsgIcon { None, Information, Question, Warning, Critical };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgResult { Ok, Cancel, Yes, No };

// The title of every message box that is given none.
inline const QString ApplicationTitle = QStringLiteral("Ferrymark");

struct MessageRequest {
    QWidget* owner = nullptr;
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
};

struct FileDialogRequest {
    QWidget* owner = nullptr;
    QString title;
    QString startFolder;
    QString fileName;
    QString filter; // Qt filter text, e.g. "Notes Database (*.nsf);;Notes DXL Export (*.dxl)"
};

struct UiSeams {
    std::function<MsgResult(const MessageRequest&)> messageBox;
    std::function<QString(const FileDialogRequest&)> openFile; // empty when cancelled
    std::function<QString(QWidget* owner, const QString& title)> chooseFolder; // empty when cancelled
    std::function<bool(QWidget* owner, const QString& helpFile)> showHelp; // false when nothing was shown
    std::function<void(int milliseconds)> wait; // blocks the user-interface thread
    // Runs then once, when the time has passed, from the event loop; the thread goes on at once.
    // Never runs once context is gone.
    std::function<void(int milliseconds, QObject* context, std::function<void()> then)> after;
    std::function<void()> doEvents; // lets the window system handle pending events
    std::function<QDateTime()> now; // the local date and time
    std::function<void(QDialog&)> showModal; // shows a window modally; returns when it closes
};

// The seams in force. They start with the real dialogs.
UiSeams& seams();
// The real dialogs, for restoring after a test.
UiSeams realSeams();

// Replaces seams for the lifetime of the object and restores the previous ones after.
class ScopedSeams {
public:
    explicit ScopedSeams(UiSeams replacement);
    ~ScopedSeams();
    ScopedSeams(const ScopedSeams&) = delete;
    ScopedSeams& operator=(const ScopedSeams&) = delete;

private:
    UiSeams saved_;
};

// A message followed by the reason behind it (what failed, where, with which values), after an
// empty line, on a line of its own that starts with ReasonPrefix.
inline const QString ReasonPrefix = QStringLiteral("Reason: ");
QString WithReason(const QString& message, const QString& reason);
// The reason line's text of such a message without its prefix; empty when it has none.
QString ReasonOf(const QString& message);

// Shows a modal message box through the seam.
MsgResult MsgBox(const QString& text, MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None,
    const QString& title = ApplicationTitle, QWidget* owner = nullptr);
void DoEvents();
void Wait(int milliseconds);
void After(int milliseconds, QObject* context, std::function<void()> then);
QDateTime Now();
void ShowModal(QDialog& window);

} // namespace common
