#include "dxl_values.h"

#include <charconv>
#include <cmath>

namespace notes::detail {

namespace {
    std::string_view trim(std::string_view s)
    {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\n' || s.front() == '\r' || s.front() == '\t'))
            s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r' || s.back() == '\t'))
            s.remove_suffix(1);
        return s;
    }

    // Reads exactly n decimal digits from the front of s.
    std::optional<int> digits(std::string_view& s, std::size_t n)
    {
        if (s.size() < n)
            return std::nullopt;
        int v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const char c = s[i];
            if (c < '0' || c > '9')
                return std::nullopt;
            v = v * 10 + (c - '0');
        }
        s.remove_prefix(n);
        return v;
    }

    bool validDate(int y, int m, int d)
    {
        static constexpr int days[] = { 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
        if (y < 1 || m < 1 || m > 12 || d < 1 || d > days[m - 1])
            return false;
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        return !(m == 2 && d == 29 && !leap);
    }
} // namespace

std::optional<std::uint32_t> parseNoteId(std::string_view text)
{
    text = trim(text);
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return v;
}

std::optional<double> parseNumber(std::string_view text)
{
    text = trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    double v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    // "nan" and "inf" read as numbers too, but no Notes number is either.
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<automation::DateTime> parseDateTime(std::string_view text)
{
    using automation::DateTime;
    std::string_view s = trim(text);
    DateTime dt;
    bool hasDate = false;
    bool hasTime = false;
    if (!s.empty() && s.front() != 'T') {
        auto y = digits(s, 4);
        auto m = digits(s, 2);
        auto d = digits(s, 2);
        if (!y || !m || !d || !validDate(*y, *m, *d))
            return std::nullopt;
        dt.year = *y;
        dt.month = *m;
        dt.day = *d;
        hasDate = true;
    }
    if (!s.empty() && s.front() == 'T') {
        s.remove_prefix(1);
        auto h = digits(s, 2);
        auto mi = digits(s, 2);
        auto se = digits(s, 2);
        if (!h || !mi || !se || *h > 23 || *mi > 59 || *se > 59)
            return std::nullopt;
        dt.hour = *h;
        dt.minute = *mi;
        dt.second = *se;
        if (!s.empty() && (s.front() == ',' || s.front() == '.')) {
            s.remove_prefix(1);
            auto hundredths = digits(s, 2);
            if (!hundredths)
                return std::nullopt;
            dt.millisecond = *hundredths * 10;
        }
        hasTime = true;
        if (!s.empty() && s.front() == 'Z') {
            s.remove_prefix(1);
            dt.offsetMinutes = 0;
        } else if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
            const int sign = s.front() == '-' ? -1 : 1;
            s.remove_prefix(1);
            auto oh = digits(s, 2);
            if (!oh || *oh > 14)
                return std::nullopt;
            int om = 0;
            if (!s.empty() && s.front() == ':')
                s.remove_prefix(1);
            if (!s.empty()) {
                auto m = digits(s, 2);
                if (!m || *m > 59)
                    return std::nullopt;
                om = *m;
            }
            dt.offsetMinutes = sign * (*oh * 60 + om);
        }
    }
    if (!s.empty() || (!hasDate && !hasTime))
        return std::nullopt;
    dt.kind = !hasTime ? DateTime::Kind::DateOnly : !hasDate ? DateTime::Kind::TimeOnly : DateTime::Kind::DateAndTime;
    if (!hasDate) {
        // A time-only value keeps the automation null date.
        dt.year = 1899;
        dt.month = 12;
        dt.day = 30;
    }
    return dt;
}

} // namespace notes::detail
