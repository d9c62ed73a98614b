#include "scripted_ui.h"

namespace testing_support {

ScriptedUi::ScriptedUi()
    : state_(std::make_shared<State>())
    , scope_(makeSeams(state_))
{
}

void ScriptedUi::clear()
{
    state_->messages.clear();
    state_->fileDialogs.clear();
    state_->folderTitles.clear();
    state_->helpCalls.clear();
    state_->waited = 0;
    state_->doEvents = 0;
}

int ScriptedUi::runLater()
{
    auto due = std::move(state_->later);
    state_->later.clear();
    int ran = 0;
    for (auto& [context, then] : due) {
        if (!context)
            continue;
        then();
        ++ran;
    }
    return ran;
}

common::UiSeams ScriptedUi::makeSeams(const std::shared_ptr<State>& state)
{
    common::UiSeams s;
    s.messageBox = [state](const common::MessageRequest& r) {
        state->messages.push_back({ r.text, r.title, r.icon, r.buttons });
        if (!state->messageAnswers.empty()) {
            const auto answer = state->messageAnswers.front();
            state->messageAnswers.pop_front();
            return answer;
        }
        return r.buttons == common::MsgButtons::YesNo ? common::MsgResult::No : common::MsgResult::Ok;
    };
    s.openFile = [state](const common::FileDialogRequest& r) {
        state->fileDialogs.push_back(r);
        if (state->openFileAnswers.empty())
            return QString();
        QString answer = state->openFileAnswers.front();
        state->openFileAnswers.pop_front();
        return answer;
    };
    s.chooseFolder = [state](QWidget*, const QString& title) {
        state->folderTitles.push_back(title);
        if (state->folderAnswers.empty())
            return QString();
        QString answer = state->folderAnswers.front();
        state->folderAnswers.pop_front();
        return answer;
    };
    s.showHelp = [state](QWidget*, const QString& file) {
        state->helpCalls.push_back(file);
        return state->helpShown;
    };
    s.wait = [state](int ms) { state->waited += ms; };
    s.after = [state](int ms, QObject* context, std::function<void()> then) {
        state->waited += ms;
        state->later.emplace_back(context, std::move(then));
    };
    s.doEvents = [state] {
        ++state->doEvents;
        if (state->onDoEvents)
            state->onDoEvents();
    };
    s.now = [state] { return state->now; };
    s.showModal = [state](QDialog& window) {
        ++state->modalShown;
        if (state->modal)
            state->modal(window);
    };
    return s;
}

} // namespace testing_support
