// Conversions of the values item writers assign: recipient lists and dates.
#pragma once

#include "automation/variant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace outlook {

enum class RecipientType : std::int32_t { To = 1, Cc = 2, Bcc = 3 };

struct Recipient {
    std::string displayName;
    std::string address;
    std::string addressType; // "SMTP" for Internet addresses, "NOTES" for Notes names
    RecipientType type = RecipientType::To;
    bool operator==(const Recipient&) const = default;
};

// One entry of a recipient list: "Name <addr@host>", "addr@host", or a Notes name such as
// "John Smith/Sales/Acme", which stays a recipient of that display name. The address type is
// SMTP for an Internet address (automation::IsInternetAddress), else NOTES.
Recipient ParseRecipient(std::string_view entry, RecipientType type);

// The ";"-separated entries of a To, CC or BCC text; empty entries are dropped.
std::vector<Recipient> ParseRecipientList(std::string_view list, RecipientType type);

// The display text Outlook shows for the recipients of one type ("A; B").
std::string DisplayList(const std::vector<Recipient>& recipients, RecipientType type);

// Milliseconds since 1970 (UTC) of a date value: a DateTime, or text in ISO 8601 form or in the
// user's locale form. Civil times without an offset are taken in the local time zone. Empty
// text gives nothing; text that is no date throws AutomationError naming the property.
std::optional<std::int64_t> ToInstant(const automation::Variant& value, std::string_view property);

// Milliseconds since 1970 of 00:00 UTC on the calendar day of a date value: the civil date a
// DateTime was written with (no zone conversion), or text in ISO 8601 form or the user's locale
// form. Empty gives nothing; anything else throws AutomationError naming the property.
std::optional<std::int64_t> ToDay(const automation::Variant& value, std::string_view property);

// The instant of local midnight (in the system's zone) on the civil day whose 00:00 UTC is
// utcMidnightMillis.
std::int64_t LocalMidnight(std::int64_t utcMidnightMillis);

// FILETIME (100 ns ticks since 1601) of an instant, as PT_SYSTIME stores it.
std::int64_t ToFileTime(std::int64_t unixMillis);
std::int64_t FromFileTime(std::int64_t fileTime);

// UTF-8 HTML as Windows-1252 bytes: characters that code page lacks become character
// references (&#1234;), and the charset its <meta> elements declare becomes windows-1252.
std::string HtmlInWindows1252(std::string_view html);

// Local midnight of today, as the instant a writer means by "today's date".
std::int64_t TodayAtMidnight();

} // namespace outlook
