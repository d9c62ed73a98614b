// Test double for the dialog seams: records every message box and answers dialogs from a
// script, so GUI code runs offscreen with no user and no real waits.
#pragma once

#include "common/ui_seams.h"

#include <QString>
#include <QStringList>

#include <QDateTime>
#include <QPointer>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace testing_support {

struct ShownMessage {
    QString text;
    QString title;
    common::MsgIcon icon;
    common::MsgButtons buttons;
};

class ScriptedUi {
public:
    ScriptedUi();

    // Answers for the next dialogs, in order. Unscripted message boxes answer Ok (or No for
    // Yes/No questions); unscripted file and folder dialogs are cancelled.
    void answerMessage(common::MsgResult result) { state_->messageAnswers.push_back(result); }
    void answerOpenFile(const QString& path) { state_->openFileAnswers.push_back(path); }
    void answerFolder(const QString& folder) { state_->folderAnswers.push_back(folder); }
    void setHelpShown(bool shown) { state_->helpShown = shown; }
    // The clock the program reads (5 March 2009 14:07:09 unless set).
    void setNow(const QDateTime& now) { state_->now = now; }
    // What happens when a window is shown modally (by default it is only counted).
    void onShowModal(std::function<void(QDialog&)> handler) { state_->modal = std::move(handler); }
    // Runs whenever the program lets pending events be processed (where a click can land).
    void onDoEvents(std::function<void()> handler) { state_->onDoEvents = std::move(handler); }
    int modalWindowsShown() const { return state_->modalShown; }
    // Runs what the program asked to run later (common::After), as if its time had passed;
    // returns how many ran. Those whose context is gone do not run.
    int runLater();
    int pendingLater() const { return static_cast<int>(state_->later.size()); }

    const std::vector<ShownMessage>& messages() const { return state_->messages; }
    const std::vector<common::FileDialogRequest>& fileDialogs() const { return state_->fileDialogs; }
    const QStringList& folderDialogTitles() const { return state_->folderTitles; }
    const QStringList& helpCalls() const { return state_->helpCalls; }
    long long waitedMilliseconds() const { return state_->waited; }
    int doEventsCalls() const { return state_->doEvents; }
    void clear();

private:
    struct State {
        std::deque<common::MsgResult> messageAnswers;
        std::deque<QString> openFileAnswers;
        std::deque<QString> folderAnswers;
        bool helpShown = true;
        std::vector<ShownMessage> messages;
        std::vector<common::FileDialogRequest> fileDialogs;
        QStringList folderTitles;
        QStringList helpCalls;
        QDateTime now { QDate(2009, 3, 5), QTime(14, 7, 9) };
        std::function<void(QDialog&)> modal;
        std::function<void()> onDoEvents;
        std::vector<std::pair<QPointer<QObject>, std::function<void()>>> later;
        int modalShown = 0;
        long long waited = 0;
        int doEvents = 0;
    };
    std::shared_ptr<State> state_;
    common::ScopedSeams scope_;
    static common::UiSeams makeSeams(const std::shared_ptr<State>& state);
};

} // namespace testing_support
