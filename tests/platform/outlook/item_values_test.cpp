#include "outlook/item_values.h"
#include "outlook/object_model.h"

#include "automation/automation.h"

#include <gtest/gtest.h>

using namespace outlook;
using automation::DateTime;
using automation::Variant;

TEST(Recipients, InternetNotesAndNamedAddresses)
{
    const auto list = ParseRecipientList(
        " Ann Lee <ann@example.com>; bob@example.com ;; John Smith/Sales/Acme; \"Doe, Jane\" <jane@x.org>;.",
        RecipientType::Cc);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0], (Recipient { "Ann Lee", "ann@example.com", "SMTP", RecipientType::Cc }));
    EXPECT_EQ(list[1], (Recipient { "bob@example.com", "bob@example.com", "SMTP", RecipientType::Cc }));
    EXPECT_EQ(list[2], (Recipient { "John Smith/Sales/Acme", "John Smith/Sales/Acme", "NOTES", RecipientType::Cc }));
    EXPECT_EQ(list[3].displayName, "Doe, Jane");
    EXPECT_EQ(list[3].address, "jane@x.org");
    EXPECT_EQ(list[4].displayName, "."); // a placeholder that reached the writer is kept, not lost

    // The one rule for Internet addresses: a dot in the domain, no blanks (Unicode ones too),
    // no "/", "=", "<" or ">"; the last "@" counts.
    std::vector<std::string> types;
    for (const auto& r : ParseRecipientList("dray@acme; Dan Ray@Acme; \"Dan\" <dray@acme>; d ray@acme.example; "
                                            "d\xC2\xA0ray@acme.example; dray@.example; "
                                            "j\xC3\xB6rg@m\xC3\xBCller.example; "
                                            "\"J\xC3\xB6rg\" <jorg@x.example>",
             RecipientType::To))
        types.push_back(r.addressType);
    EXPECT_EQ(
        types, (std::vector<std::string> { "NOTES", "NOTES", "NOTES", "NOTES", "NOTES", "NOTES", "SMTP", "SMTP" }));

    EXPECT_TRUE(ParseRecipientList("", RecipientType::To).empty());
    EXPECT_TRUE(ParseRecipientList(" ; ;", RecipientType::To).empty());
    EXPECT_EQ(DisplayList(list, RecipientType::Cc), "Ann Lee; bob@example.com; John Smith/Sales/Acme; Doe, Jane; .");
    EXPECT_EQ(DisplayList(list, RecipientType::To), "");
}

TEST(Dates, ValuesTextAndFileTimes)
{
    // 2009-03-05 14:07:09 in Berlin (UTC+1) is 13:07:09Z.
    const std::int64_t expected = 1236258429000LL;
    DateTime local { DateTime::Kind::DateAndTime, 2009, 3, 5, 14, 7, 9, 0, std::nullopt };
    EXPECT_EQ(ToInstant(Variant(local), "SentOn"), expected);
    DateTime withOffset = local;
    withOffset.hour = 15;
    withOffset.offsetMinutes = 120;
    EXPECT_EQ(ToInstant(Variant(withOffset), "SentOn"), expected);
    EXPECT_EQ(ToInstant(Variant("2009-03-05T14:07:09"), "SentOn"), expected);
    EXPECT_EQ(ToInstant(Variant("2009-03-05T13:07:09Z"), "SentOn"), expected);
    EXPECT_EQ(ToInstant(Variant("2009-03-05"), "DueDate"), expected - (14 * 3600 + 7 * 60 + 9) * 1000LL);

    EXPECT_EQ(ToInstant(Variant(""), "DueDate"), std::nullopt);
    EXPECT_EQ(ToInstant(Variant("  "), "DueDate"), std::nullopt);
    EXPECT_THROW(ToInstant(Variant("next tuesday"), "Birthday"), automation::AutomationError);
    EXPECT_THROW(ToInstant(Variant(3.5), "Birthday"), automation::AutomationError);

    // 1601-01-01 is FILETIME 0; 1970-01-01 is 116444736000000000.
    EXPECT_EQ(ToFileTime(0), 116444736000000000LL);
    EXPECT_EQ(FromFileTime(ToFileTime(expected)), expected);
}

TEST(ObjectModel, PropertiesAreFoundByNameForTheirItemKindsOnly)
{
    ASSERT_NE(FindProperty("subject", KindMail), nullptr);
    EXPECT_EQ(FindProperty("Location", KindAppointment)->targets.size(), 1u);
    EXPECT_EQ(FindProperty("Location", KindMail), nullptr);
    EXPECT_EQ(FindProperty("DueDate", KindTask)->targets[0].lid, lids::TaskDueDate);
    // A post keeps its start as the creation time; an appointment stores it in three properties.
    EXPECT_EQ(FindProperty("Start", KindPost)->targets[0].tagId, tags::CreationTime);
    EXPECT_EQ(FindProperty("Start", KindAppointment)->targets.size(), 3u);
}
