// The program's failure rules. Failures never cross a routine as a thrown error: inside a
// routine one rule is armed at a time, and every statement that touches Notes or Outlook runs
// as a step under it.
//
//   Skip  - a failing step is skipped and the next one runs;
//   GoTo  - a failing step ends the current stretch and the routine goes on at a fixed later
//           point (a label the routine names), where it may report and end.
//
// Usage:
//   Routine r;
//   r.onErrorGoTo(Label::NotesError);
//   const auto landed = r.run([&] {
//       r.step([&] { db = session->GetDatabase("", path); });
//       r.onErrorSkip();
//       r.step([&] { title = db->Title(); });
//   });
//   if (landed == Label::NotesError) report(...);
#pragma once

#include "automation/automation.h"

#include <optional>
#include <string>
#include <utility>

namespace common {

template <class Label> class Routine {
public:
    // Arms the skip rule.
    void onErrorSkip() { goTo_.reset(); }
    // Arms the go-to rule: a failing step lands on label.
    void onErrorGoTo(Label label) { goTo_ = label; }
    bool armedGoTo() const { return goTo_.has_value(); }

    // Runs one statement under the armed rule. Returns true when it succeeded. Under the go-to
    // rule a failure leaves the enclosing run() at the armed label.
    template <class F> bool step(F&& statement)
    {
        try {
            std::forward<F>(statement)();
            return true;
        } catch (const automation::AutomationError& e) {
            lastError_ = e.what();
            if (goTo_)
                throw Jump { *goTo_ };
            return false;
        }
    }

    // Leaves the enclosing run() at label at once, whatever rule is armed (a plain "go to").
    [[noreturn]] void goTo(Label label) { throw Jump { label }; }

    // Runs a stretch of the routine. Returns the label it landed on after a failure under the
    // go-to rule, or nothing when it ran to its end.
    template <class F> std::optional<Label> run(F&& body)
    {
        try {
            std::forward<F>(body)();
            return std::nullopt;
        } catch (const Jump& jump) {
            return jump.label;
        }
    }

    // The description of the last failure seen by a step (the routine's error object).
    const std::string& lastError() const { return lastError_; }

private:
    struct Jump {
        Label label;
    };
    std::optional<Label> goTo_;
    std::string lastError_;
};

} // namespace common
