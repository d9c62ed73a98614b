#include "automation/automation.h"
#include "automation/variant.h"

#include <gtest/gtest.h>

using namespace automation;

namespace {
struct Probe : Object {
    int id = 0;
};
struct Other : Object { };
} // namespace

TEST(CreateObject, UsesTheRegisteredProviderAndFailsWithoutOne)
{
    ClearProviders();
    try {
        CreateObject("Notes.NotesSession");
        FAIL() << "no provider registered";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.object(), "Notes.NotesSession");
        EXPECT_EQ(e.member(), "CreateObject");
    }

    int made = 0;
    RegisterProvider("Test.Probe", [&] {
        auto p = std::make_shared<Probe>();
        p->id = ++made;
        return p;
    });
    EXPECT_EQ(CreateObjectAs<Probe>("Test.Probe")->id, 1);
    EXPECT_EQ(CreateObjectAs<Probe>("Test.Probe")->id, 2); // a new object each time
    EXPECT_THROW(CreateObjectAs<Other>("Test.Probe"), AutomationError);

    RegisterProvider(
        "Test.Failing", []() -> ObjectPtr { throw AutomationError("Test.Failing", "CreateObject", "broken"); });
    EXPECT_THROW(CreateObject("Test.Failing"), AutomationError);
    RegisterProvider("Test.Null", [] { return ObjectPtr(); });
    EXPECT_THROW(CreateObject("Test.Null"), AutomationError);

    UnregisterProvider("Test.Probe");
    EXPECT_THROW(CreateObject("Test.Probe"), AutomationError);
    ClearProviders();
}

TEST(Variant, CoercesLikeAutomation)
{
    EXPECT_EQ(Variant("42").toInt(), 42);
    EXPECT_EQ(Variant(2.5).toInt(), 2); // halves round to even
    EXPECT_EQ(Variant(3.5).toInt(), 4);
    EXPECT_EQ(Variant(std::int16_t(7)).toText(), "7");
    EXPECT_EQ(Variant(true).toDouble(), -1.0);
    EXPECT_EQ(Variant().toText(), "");
    EXPECT_THROW(Variant("abc").toInt(), AutomationError);
    EXPECT_THROW(Variant(1e12).toInt(), AutomationError);
    EXPECT_THROW(Variant("x").toDate(), AutomationError);

    const Variant list(VariantArray { Variant("first"), Variant("second") });
    EXPECT_EQ(list.first().toText(), "first");
    EXPECT_EQ(list.toText(), "first");
    EXPECT_EQ(Variant(VariantArray {}).first().toText(), "");
    EXPECT_THROW(Variant("x").array(), AutomationError);
}

TEST(DateTime, ConvertsBetweenCivilFieldsAndInstants)
{
    DateTime dt;
    dt.year = 2010;
    dt.month = 3;
    dt.day = 1;
    dt.hour = 9;
    dt.minute = 30;
    dt.offsetMinutes = 60;
    // 2010-03-01T08:30:00Z = 1267432200 s
    EXPECT_EQ(dt.toUnixMillis(), 1267432200000LL);
    EXPECT_EQ(dt.toIso(), "2010-03-01T09:30:00+01:00");

    const DateTime back = DateTime::fromUnixMillis(dt.toUnixMillis(), 60);
    EXPECT_EQ(back, dt);
    // Leap day and a date before 1970 survive the round trip.
    const DateTime leap = DateTime::fromUnixMillis(
        DateTime { DateTime::Kind::DateAndTime, 1960, 2, 29, 23, 59, 59, 999, -300 }.toUnixMillis(), -300);
    EXPECT_EQ(leap.year, 1960);
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);
    EXPECT_EQ(leap.millisecond, 999);
    EXPECT_EQ(leap.toIso(), "1960-02-29T23:59:59.999-05:00");

    DateTime dateOnly { DateTime::Kind::DateOnly, 2011, 12, 31 };
    EXPECT_EQ(dateOnly.toIso(), "2011-12-31");
    DateTime timeOnly { DateTime::Kind::TimeOnly, 0, 0, 0, 14, 5, 0 };
    EXPECT_EQ(timeOnly.toIso(), "14:05:00");
}
