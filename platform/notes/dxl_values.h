// Text forms of DXL values: note IDs, numbers and Domino date-times.
#pragma once

#include "automation/variant.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace notes::detail {

// A note ID as DXL writes it: 1 to 8 hexadecimal digits, either case.
std::optional<std::uint32_t> parseNoteId(std::string_view text);

// A <number>: a decimal number as Domino writes it ("3", "-2.5", "1.5E3"), surrounding blanks allowed.
std::optional<double> parseNumber(std::string_view text);

// A <datetime>: ISO 8601 basic form, "20220125", "T202600,00" or "20220125T202600,00+01";
// the offset may be "+HH", "+HHMM", "+HH:MM" or "Z". Without an offset the value is local time.
std::optional<automation::DateTime> parseDateTime(std::string_view text);

} // namespace notes::detail
