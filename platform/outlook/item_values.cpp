#include "item_values.h"

#include "automation/automation.h"
#include "automation/internet_address.h"

#include <iconv.h>

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

namespace outlook {

namespace {
    std::string_view trim(std::string_view s)
    {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
            s.remove_suffix(1);
        return s;
    }

    std::int64_t localCivilToInstant(const automation::DateTime& dt)
    {
        const QDate date
            = dt.kind == automation::DateTime::Kind::TimeOnly ? QDate(1899, 12, 30) : QDate(dt.year, dt.month, dt.day);
        const QTime time(dt.hour, dt.minute, dt.second, dt.millisecond);
        if (dt.offsetMinutes)
            return dt.toUnixMillis();
        return QDateTime(date, time, QTimeZone::systemTimeZone()).toMSecsSinceEpoch();
    }
} // namespace

Recipient ParseRecipient(std::string_view entry, RecipientType type)
{
    Recipient r;
    r.type = type;
    entry = trim(entry);
    const auto open = entry.rfind('<');
    const auto close = entry.rfind('>');
    if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
        const auto address = trim(entry.substr(open + 1, close - open - 1));
        auto name = trim(entry.substr(0, open));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        r.address = std::string(address);
        r.displayName = std::string(name.empty() ? address : name);
        r.addressType = automation::IsInternetAddress(address) ? "SMTP" : "NOTES";
        return r;
    }
    r.displayName = std::string(entry);
    r.address = std::string(entry);
    r.addressType = automation::IsInternetAddress(entry) ? "SMTP" : "NOTES";
    return r;
}

std::vector<Recipient> ParseRecipientList(std::string_view list, RecipientType type)
{
    std::vector<Recipient> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        auto end = list.find(';', start);
        if (end == std::string_view::npos)
            end = list.size();
        const auto entry = trim(list.substr(start, end - start));
        if (!entry.empty())
            out.push_back(ParseRecipient(entry, type));
        start = end + 1;
    }
    return out;
}

std::string DisplayList(const std::vector<Recipient>& recipients, RecipientType type)
{
    std::string out;
    for (const auto& r : recipients) {
        if (r.type != type)
            continue;
        if (!out.empty())
            out += "; ";
        out += r.displayName;
    }
    return out;
}

std::optional<std::int64_t> ToInstant(const automation::Variant& value, std::string_view property)
{
    using automation::Variant;
    if (value.type() == Variant::Type::Date)
        return localCivilToInstant(value.toDate());
    if (value.type() == Variant::Type::Array)
        return ToInstant(value.first(), property);
    if (value.isEmpty())
        return std::nullopt;
    if (value.type() != Variant::Type::Text)
        throw automation::AutomationError("Item", std::string(property), "a date is required, not " + value.toText());

    const QString text = QString::fromStdString(value.toText()).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (d.isValid())
            dt = d.startOfDay();
    }
    const QLocale locale = QLocale::system();
    for (auto format : { QLocale::ShortFormat, QLocale::LongFormat }) {
        if (dt.isValid())
            break;
        dt = locale.toDateTime(text, format);
        if (!dt.isValid()) {
            const QDate d = locale.toDate(text, format);
            if (d.isValid())
                dt = d.startOfDay();
        }
    }
    if (!dt.isValid())
        throw automation::AutomationError("Item", std::string(property), "not a date: \"" + value.toText() + "\"");
    return dt.toMSecsSinceEpoch();
}

std::optional<std::int64_t> ToDay(const automation::Variant& value, std::string_view property)
{
    using automation::Variant;
    constexpr std::int64_t msPerDay = 86'400'000;
    if (value.type() == Variant::Type::Array)
        return ToDay(value.first(), property);
    if (value.type() == Variant::Type::Date) {
        const automation::DateTime d = value.toDate();
        if (d.kind == automation::DateTime::Kind::TimeOnly)
            throw automation::AutomationError("Item", std::string(property), "a time of day is no date");
        return automation::DaysFromCivil(d.year, d.month, d.day) * msPerDay;
    }
    // Text: the date it reads as, in whatever zone it reads in.
    const auto at = ToInstant(value, property);
    if (!at)
        return std::nullopt;
    const QDate d = QDateTime::fromMSecsSinceEpoch(*at).date();
    return automation::DaysFromCivil(d.year(), d.month(), d.day()) * msPerDay;
}

std::int64_t LocalMidnight(std::int64_t utcMidnightMillis)
{
    const QDate d = QDateTime::fromMSecsSinceEpoch(utcMidnightMillis, Qt::UTC).date();
    return d.startOfDay(QTimeZone::systemTimeZone()).toMSecsSinceEpoch();
}

std::int64_t ToFileTime(std::int64_t unixMillis)
{
    constexpr std::int64_t epochDifference = 11'644'473'600'000LL; // ms from 1601-01-01 to 1970-01-01
    return (unixMillis + epochDifference) * 10'000;
}

std::int64_t FromFileTime(std::int64_t fileTime)
{
    constexpr std::int64_t epochDifference = 11'644'473'600'000LL;
    return fileTime / 10'000 - epochDifference;
}

std::int64_t TodayAtMidnight() { return QDate::currentDate().startOfDay().toMSecsSinceEpoch(); }

namespace {
    bool sameLetters(std::string_view text, std::size_t at, std::string_view lower)
    {
        if (at + lower.size() > text.size())
            return false;
        for (std::size_t i = 0; i < lower.size(); ++i) {
            char c = text[at + i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
            if (c != lower[i])
                return false;
        }
        return true;
    }
} // namespace

std::string HtmlInWindows1252(std::string_view html)
{
    // The declared character set: every "charset=utf-8" before the body starts.
    std::string text(html);
    for (std::size_t at = 0; at < text.size() && !sameLetters(text, at, "<body"); ++at) {
        if (!sameLetters(text, at, "charset="))
            continue;
        std::size_t value = at + 8;
        if (value < text.size() && (text[value] == '"' || text[value] == '\''))
            ++value;
        if (sameLetters(text, value, "utf-8"))
            text.replace(value, 5, "windows-1252");
    }
    iconv_t cd = ::iconv_open("WINDOWS-1252", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw automation::AutomationError("Item", "HTMLBody", "iconv offers no Windows-1252");
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        std::string one = text.substr(i, length);
        i += length;
        char converted[8];
        char* in = one.data();
        std::size_t inLeft = one.size();
        char* to = converted;
        std::size_t toLeft = sizeof converted;
        if (::iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<std::size_t>(-1) && inLeft == 0) {
            out.append(converted, static_cast<std::size_t>(to - converted));
            continue;
        }
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        // A character reference of its code point; a byte that starts none becomes U+FFFD.
        std::uint32_t cp = length == 1 ? 0xFFFD : c & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length && length > 1; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(one[k]) & 0x3F);
        out += "&#" + std::to_string(cp) + ";";
    }
    ::iconv_close(cd);
    return out;
}

} // namespace outlook
