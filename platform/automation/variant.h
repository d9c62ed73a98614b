// Values that travel between the program and the automation objects it drives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace automation {

// A point in time as a Notes or Outlook item holds it: the civil date and time as written,
// and the UTC offset it was written in when known. A date-only value has no time of day and a
// time-only value no date; both are kept so that readers can show exactly what was stored.
// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

struct DateTime {
    enum class Kind : std::uint8_t { DateAndTime, DateOnly, TimeOnly };

    Kind kind = Kind::DateAndTime;
    int year = 1899, month = 12, day = 30; // civil date (meaningless for TimeOnly)
    int hour = 0, minute = 0, second = 0, millisecond = 0; // civil time (zero for DateOnly)
    std::optional<int> offsetMinutes; // UTC offset of the civil fields; none means local time

    // Milliseconds since 1970-01-01T00:00:00Z. Civil fields without an offset count as UTC.
    std::int64_t toUnixMillis() const;
    static DateTime fromUnixMillis(std::int64_t millis, int offsetMinutes);
    // ISO 8601 text, e.g. "2010-01-05T11:30:00+01:00", "2010-01-05", "11:30:00".
    std::string toIso() const;

    bool operator==(const DateTime&) const = default;
};

class Variant;
using VariantArray = std::vector<Variant>;

// An automation value: empty, boolean, 16/32-bit integer, double, UTF-8 text, date-time,
// or an array of these.
class Variant {
public:
    enum class Type : std::uint8_t { Empty, Bool, Int16, Int32, Double, Text, Date, Array };

    Variant() = default;
    Variant(bool v)
        : value_(v)
    {
    }
    Variant(std::int16_t v)
        : value_(v)
    {
    }
    Variant(std::int32_t v)
        : value_(v)
    {
    }
    Variant(double v)
        : value_(v)
    {
    }
    Variant(std::string v)
        : value_(std::move(v))
    {
    }
    Variant(const char* v)
        : value_(std::string(v))
    {
    }
    Variant(DateTime v)
        : value_(v)
    {
    }
    Variant(VariantArray v)
        : value_(std::move(v))
    {
    }

    Type type() const { return static_cast<Type>(value_.index()); }
    bool isEmpty() const { return type() == Type::Empty; }
    bool isArray() const { return type() == Type::Array; }

    // Conversions follow automation's coercion rules loosely: numbers to text in C locale,
    // text to numbers when it reads as one; they throw AutomationError when impossible.
    bool toBool() const;
    std::int32_t toInt() const;
    double toDouble() const;
    std::string toText() const;
    DateTime toDate() const;
    const VariantArray& array() const;

    // Element 0 of an array, or the value itself when it is no array (empty text for an empty array).
    Variant first() const;

    bool operator==(const Variant&) const = default;

private:
    std::variant<std::monostate, bool, std::int16_t, std::int32_t, double, std::string, DateTime, VariantArray> value_;
};

} // namespace automation
