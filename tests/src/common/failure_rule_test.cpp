#include "common/failure_rule.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using automation::AutomationError;

namespace {
enum class Label { ReportNotesError, NextPhase };
void fail() { throw AutomationError("NotesDatabase", "GETVIEW", "no such view"); }
} // namespace

TEST(FailureRule, SkipRunsTheNextStepAndGoToLandsOnItsLabel)
{
    common::Routine<Label> r;
    std::vector<int> ran;
    r.onErrorGoTo(Label::ReportNotesError);
    const auto landed = r.run([&] {
        r.step([&] { ran.push_back(1); });
        r.onErrorSkip();
        EXPECT_FALSE(r.step([&] { fail(); }));
        r.step([&] { ran.push_back(2); });
        r.onErrorGoTo(Label::NextPhase);
        r.step([&] { fail(); });
        ran.push_back(99); // never reached
    });
    ASSERT_TRUE(landed.has_value());
    EXPECT_EQ(*landed, Label::NextPhase);
    EXPECT_EQ(ran, (std::vector<int> { 1, 2 }));
    EXPECT_NE(r.lastError().find("GETVIEW"), std::string::npos);

    // A stretch without failures lands nowhere.
    EXPECT_FALSE(r.run([&] { r.step([] {}); }).has_value());
}

TEST(FailureRule, OnlyAutomationErrorsAreRuledOthersStillPropagate)
{
    common::Routine<Label> r;
    r.onErrorSkip();
    EXPECT_THROW(r.run([&] { r.step([] { throw std::logic_error("bug"); }); }), std::logic_error);
}
