#include "variant.h"

#include "automation.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace automation {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * static_cast<unsigned>(m > 2 ? m - 3 : m + 9) + 2) / 5 + static_cast<unsigned>(d) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
}

namespace {
    constexpr std::int64_t MillisPerDay = 86'400'000;

    const char* typeName(Variant::Type t)
    {
        switch (t) {
        case Variant::Type::Empty:
            return "empty";
        case Variant::Type::Bool:
            return "boolean";
        case Variant::Type::Int16:
        case Variant::Type::Int32:
            return "integer";
        case Variant::Type::Double:
            return "double";
        case Variant::Type::Text:
            return "text";
        case Variant::Type::Date:
            return "date";
        case Variant::Type::Array:
            return "array";
        }
        return "unknown";
    }

    [[noreturn]] void cannotConvert(Variant::Type from, const char* to)
    {
        throw AutomationError("Variant", "convert", std::string("cannot convert ") + typeName(from) + " to " + to);
    }

    std::optional<double> parseNumber(const std::string& text)
    {
        double value = 0;
        const char* begin = text.data();
        const char* end = text.data() + text.size();
        while (begin != end && *begin == ' ')
            ++begin;
        auto [ptr, ec] = std::from_chars(begin, end, value);
        if (ec != std::errc() || ptr != end || begin == end)
            return std::nullopt;
        return value;
    }
} // namespace

std::int64_t DateTime::toUnixMillis() const
{
    const std::int64_t days = kind == Kind::TimeOnly ? 0 : DaysFromCivil(year, month, day);
    const std::int64_t ms = ((static_cast<std::int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
    return days * MillisPerDay + ms - static_cast<std::int64_t>(offsetMinutes.value_or(0)) * 60'000;
}

DateTime DateTime::fromUnixMillis(std::int64_t millis, int offset)
{
    DateTime dt;
    const std::int64_t local = millis + static_cast<std::int64_t>(offset) * 60'000;
    std::int64_t days = local / MillisPerDay;
    std::int64_t rest = local % MillisPerDay;
    if (rest < 0) {
        rest += MillisPerDay;
        --days;
    }
    CivilFromDays(days, dt.year, dt.month, dt.day);
    dt.millisecond = static_cast<int>(rest % 1000);
    rest /= 1000;
    dt.second = static_cast<int>(rest % 60);
    rest /= 60;
    dt.minute = static_cast<int>(rest % 60);
    dt.hour = static_cast<int>(rest / 60);
    dt.offsetMinutes = offset;
    return dt;
}

std::string DateTime::toIso() const
{
    char buf[64];
    std::string out;
    if (kind != Kind::TimeOnly) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
        out += buf;
    }
    if (kind != Kind::DateOnly) {
        if (!out.empty())
            out += 'T';
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
        out += buf;
        if (millisecond != 0) {
            std::snprintf(buf, sizeof buf, ".%03d", millisecond);
            out += buf;
        }
        if (offsetMinutes) {
            const int off = *offsetMinutes;
            const int a = off < 0 ? -off : off;
            std::snprintf(buf, sizeof buf, "%c%02d:%02d", off < 0 ? '-' : '+', a / 60, a % 60);
            out += buf;
        }
    }
    return out;
}

bool Variant::toBool() const
{
    switch (type()) {
    case Type::Empty:
        return false;
    case Type::Bool:
        return std::get<bool>(value_);
    case Type::Array:
        return first().toBool();
    default:
        return toDouble() != 0.0;
    }
}

std::int32_t Variant::toInt() const
{
    const double d = toDouble();
    const double r = std::nearbyint(d); // automation rounds halves to even
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        throw AutomationError("Variant", "convert", "value out of range for a 32-bit integer: " + toText());
    return static_cast<std::int32_t>(r);
}

double Variant::toDouble() const
{
    switch (type()) {
    case Type::Empty:
        return 0.0;
    case Type::Bool:
        return std::get<bool>(value_) ? -1.0 : 0.0;
    case Type::Int16:
        return std::get<std::int16_t>(value_);
    case Type::Int32:
        return std::get<std::int32_t>(value_);
    case Type::Double:
        return std::get<double>(value_);
    case Type::Text: {
        if (auto n = parseNumber(std::get<std::string>(value_)))
            return *n;
        throw AutomationError("Variant", "convert", "text is not a number: \"" + std::get<std::string>(value_) + "\"");
    }
    case Type::Date:
        cannotConvert(type(), "number");
    case Type::Array:
        return first().toDouble();
    }
    cannotConvert(type(), "number");
}

std::string Variant::toText() const
{
    switch (type()) {
    case Type::Empty:
        return {};
    case Type::Bool:
        return std::get<bool>(value_) ? "True" : "False";
    case Type::Int16:
        return std::to_string(std::get<std::int16_t>(value_));
    case Type::Int32:
        return std::to_string(std::get<std::int32_t>(value_));
    case Type::Double: {
        char buf[32];
        auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, std::get<double>(value_));
        return ec == std::errc() ? std::string(buf, ptr) : std::string();
    }
    case Type::Text:
        return std::get<std::string>(value_);
    case Type::Date:
        return std::get<DateTime>(value_).toIso();
    case Type::Array:
        return first().toText();
    }
    return {};
}

DateTime Variant::toDate() const
{
    switch (type()) {
    case Type::Date:
        return std::get<DateTime>(value_);
    case Type::Array:
        return first().toDate();
    default:
        cannotConvert(type(), "date");
    }
}

const VariantArray& Variant::array() const
{
    if (type() != Type::Array)
        cannotConvert(type(), "array");
    return std::get<VariantArray>(value_);
}

Variant Variant::first() const
{
    if (type() != Type::Array)
        return *this;
    const auto& a = std::get<VariantArray>(value_);
    return a.empty() ? Variant(std::string()) : a.front();
}

} // namespace automation
