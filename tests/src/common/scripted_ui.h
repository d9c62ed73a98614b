// Test double for the dialog seams: records every message box and answers dialogs from a
// script, so GUI code runs offscreen with no user and no real waits.
#pragma once

#include "common/ui_seams.h"

#include <QString>
#include <QStringList>

#include <deque>
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
        long long waited = 0;
        int doEvents = 0;
    };
    std::shared_ptr<State> state_;
    common::ScopedSeams scope_;
    static common::UiSeams makeSeams(const std::shared_ptr<State>& state);
};

} // namespace testing_support
