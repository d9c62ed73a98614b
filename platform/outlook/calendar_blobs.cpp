#include "calendar_blobs.h"

#include "automation/variant.h"

#include <QString>

#include <array>
#include <iconv.h>

namespace outlook {

namespace {
    class Writer {
    public:
        void u8(std::uint8_t v) { out.push_back(v); }
        void u16(std::uint16_t v)
        {
            for (int i = 0; i < 2; ++i)
                out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
        void u32(std::uint32_t v)
        {
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
        void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
        // SYSTEMTIME of a transition (year 0: every year).
        void systemTime(const Transition& t)
        {
            u16(0);
            u16(t.month);
            u16(t.dayOfWeek);
            u16(t.week);
            u16(t.hour);
            u16(t.minute);
            u16(0);
            u16(0);
        }
        std::vector<std::uint8_t> out;
    };

    std::u16string Utf16(const std::string& utf8) { return QString::fromUtf8(utf8).toStdU16String(); }

    // The 8-bit strings of ExceptionInfo, in Windows-1252 as Outlook's Western code page; what
    // it cannot hold becomes "?".
    std::string Windows1252(const std::string& utf8)
    {
        std::string out;
        const iconv_t cd = ::iconv_open("WINDOWS-1252", "UTF-32LE");
        for (char32_t c : QString::fromUtf8(utf8).toStdU32String()) {
            char in[4], narrow[4];
            for (int i = 0; i < 4; ++i)
                in[i] = static_cast<char>(c >> (8 * i));
            char *ip = in, *op = narrow;
            std::size_t inLeft = 4, outLeft = 4;
            if (cd != reinterpret_cast<iconv_t>(-1)
                && ::iconv(cd, &ip, &inLeft, &op, &outLeft) != static_cast<std::size_t>(-1))
                out.append(narrow, 4 - outLeft);
            else
                out += c < 0x80 ? static_cast<char>(c) : '?';
        }
        if (cd != reinterpret_cast<iconv_t>(-1))
            ::iconv_close(cd);
        return out;
    }

    constexpr Transition usStandard { 11, 0, 1, 2, 0 }; // first Sunday of November, 02:00
    constexpr Transition usDaylight { 3, 0, 2, 2, 0 }; // second Sunday of March, 02:00
    constexpr Transition euStandard { 10, 0, 5, 3, 0 }; // last Sunday of October, 03:00
    constexpr Transition euDaylight { 3, 0, 5, 2, 0 }; // last Sunday of March, 02:00

    struct KnownZone {
        const char* key;
        const char* display;
        std::int32_t bias;
        Transition standard, daylight;
    };
    // Windows zones as the registry gives them (their current rule).
    constexpr KnownZone zones[] = {
        { "Hawaiian Standard Time", "(UTC-10:00) Hawaii", 600, {}, {} },
        { "Alaskan Standard Time", "(UTC-09:00) Alaska", 540, usStandard, usDaylight },
        { "Pacific Standard Time", "(UTC-08:00) Pacific Time (US & Canada)", 480, usStandard, usDaylight },
        { "Mountain Standard Time", "(UTC-07:00) Mountain Time (US & Canada)", 420, usStandard, usDaylight },
        { "Central Standard Time", "(UTC-06:00) Central Time (US & Canada)", 360, usStandard, usDaylight },
        { "Eastern Standard Time", "(UTC-05:00) Eastern Time (US & Canada)", 300, usStandard, usDaylight },
        { "Atlantic Standard Time", "(UTC-04:00) Atlantic Time (Canada)", 240, usStandard, usDaylight },
        { "UTC", "(UTC) Coordinated Universal Time", 0, {}, {} },
        { "GMT Standard Time", "(UTC+00:00) Dublin, Edinburgh, Lisbon, London", 0, { 10, 0, 5, 2, 0 },
            { 3, 0, 5, 1, 0 } },
        { "Greenwich Standard Time", "(UTC+00:00) Monrovia, Reykjavik", 0, {}, {} },
        { "W. Europe Standard Time", "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna", -60, euStandard,
            euDaylight },
        { "Romance Standard Time", "(UTC+01:00) Brussels, Copenhagen, Madrid, Paris", -60, euStandard, euDaylight },
        { "Central Europe Standard Time", "(UTC+01:00) Belgrade, Bratislava, Budapest, Ljubljana, Prague", -60,
            euStandard, euDaylight },
        { "Central European Standard Time", "(UTC+01:00) Sarajevo, Skopje, Warsaw, Zagreb", -60, euStandard,
            euDaylight },
        { "GTB Standard Time", "(UTC+02:00) Athens, Bucharest", -120, { 10, 0, 5, 4, 0 }, { 3, 0, 5, 3, 0 } },
        { "FLE Standard Time", "(UTC+02:00) Helsinki, Kyiv, Riga, Sofia, Tallinn, Vilnius", -120, { 10, 0, 5, 4, 0 },
            { 3, 0, 5, 3, 0 } },
        { "South Africa Standard Time", "(UTC+02:00) Harare, Pretoria", -120, {}, {} },
        { "Arabian Standard Time", "(UTC+04:00) Abu Dhabi, Muscat", -240, {}, {} },
        { "India Standard Time", "(UTC+05:30) Chennai, Kolkata, Mumbai, New Delhi", -330, {}, {} },
        { "China Standard Time", "(UTC+08:00) Beijing, Chongqing, Hong Kong, Urumqi", -480, {}, {} },
        { "Singapore Standard Time", "(UTC+08:00) Kuala Lumpur, Singapore", -480, {}, {} },
        { "Tokyo Standard Time", "(UTC+09:00) Osaka, Sapporo, Tokyo", -540, {}, {} },
        { "Korea Standard Time", "(UTC+09:00) Seoul", -540, {}, {} },
        { "AUS Eastern Standard Time", "(UTC+10:00) Canberra, Melbourne, Sydney", -600, { 4, 0, 1, 3, 0 },
            { 10, 0, 1, 2, 0 } },
        { "New Zealand Standard Time", "(UTC+12:00) Auckland, Wellington", -720, { 4, 0, 1, 3, 0 }, { 9, 0, 5, 2, 0 } },
    };

    // Days since 1970 of the transition's day in that year.
    std::int64_t transitionDay(int year, const Transition& t)
    {
        const std::int64_t first = automation::DaysFromCivil(year, t.month, 1);
        const int firstDow = static_cast<int>(((first % 7) + 7 + 4) % 7); // 1970-01-01 was a Thursday
        std::int64_t day = first + (t.dayOfWeek - firstDow + 7) % 7 + 7LL * (t.week - 1);
        const int nextMonth = t.month == 12 ? 1 : t.month + 1;
        const std::int64_t end = automation::DaysFromCivil(t.month == 12 ? year + 1 : year, nextMonth, 1);
        while (day >= end)
            day -= 7;
        return day;
    }

    std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
} // namespace

std::optional<WindowsZone> FindWindowsZone(std::string_view key)
{
    for (const auto& z : zones)
        if (key == z.key)
            return WindowsZone { z.key, z.display, { z.bias, 0, z.standard.month ? -60 : 0, z.standard, z.daylight } };
    // "UTC+hh:mm", "UTC-hh:mm": a zone of a fixed offset.
    if (key.size() == 9 && key.substr(0, 3) == "UTC" && (key[3] == '+' || key[3] == '-') && key[6] == ':') {
        auto digit = [&](std::size_t i) { return key[i] >= '0' && key[i] <= '9' ? key[i] - '0' : -100; };
        const int hours = digit(4) * 10 + digit(5), minutes = digit(7) * 10 + digit(8);
        if (hours < 0 || minutes < 0 || hours > 14 || minutes > 59)
            return std::nullopt;
        const int offset = (hours * 60 + minutes) * (key[3] == '-' ? -1 : 1);
        return WindowsZone { std::string(key), "(" + std::string(key) + ")", { -offset, 0, 0, {}, {} } };
    }
    return std::nullopt;
}

std::int32_t UtcOffsetAt(const ZoneRule& zone, std::int64_t utcMinutes)
{
    const std::int32_t standard = -(zone.bias + zone.standardBias);
    if (zone.standardDate.month == 0 || zone.daylightDate.month == 0)
        return standard;
    const std::int32_t daylight = -(zone.bias + zone.daylightBias);
    int year, month, day;
    automation::CivilFromDays(floorDiv(utcMinutes + standard, 1440), year, month, day);
    const std::int64_t start = transitionDay(year, zone.daylightDate) * 1440 + zone.daylightDate.hour * 60
        + zone.daylightDate.minute - standard;
    const std::int64_t end = transitionDay(year, zone.standardDate) * 1440 + zone.standardDate.hour * 60
        + zone.standardDate.minute - daylight;
    const bool inDaylight
        = start < end ? (utcMinutes >= start && utcMinutes < end) : (utcMinutes >= start || utcMinutes < end);
    return inDaylight ? daylight : standard;
}

std::int64_t LocalToUtc(const ZoneRule& zone, std::int64_t localMinutes)
{
    const std::int64_t asStandard = localMinutes + zone.bias + zone.standardBias;
    if (UtcOffsetAt(zone, asStandard) == -(zone.bias + zone.standardBias))
        return asStandard;
    return localMinutes + zone.bias + zone.daylightBias;
}

std::vector<std::uint8_t> TimeZoneStruct(const ZoneRule& zone)
{
    Writer w;
    w.i32(zone.bias);
    w.i32(zone.standardBias);
    w.i32(zone.daylightBias);
    w.u16(0); // wStandardYear
    w.systemTime(zone.standardDate);
    w.u16(0); // wDaylightYear
    w.systemTime(zone.daylightDate);
    return w.out;
}

std::vector<std::uint8_t> TimeZoneDefinition(std::string_view keyName, const ZoneRule& zone, bool recur)
{
    std::u16string key;
    for (char c : keyName)
        key.push_back(static_cast<unsigned char>(c)); // Windows zone keys are ASCII
    Writer w;
    w.u8(0x02); // bMajorVersion
    w.u8(0x01); // bMinorVersion
    w.u16(static_cast<std::uint16_t>(6 + 2 * key.size())); // cbHeader
    w.u16(0x0002); // TZDEFINITION_FLAG_VALID_KEYNAME
    w.u16(static_cast<std::uint16_t>(key.size()));
    for (char16_t c : key)
        w.u16(c);
    w.u16(1); // cRules
    w.u8(0x02);
    w.u8(0x01);
    w.u16(0x003E); // wReserved
    w.u16(recur ? 0x0003 : 0x0002); // TZRULE_FLAG_EFFECTIVE_TZREG, with RECUR_CURRENT_TZREG
    w.u16(1601); // wYear: in force from the start
    // X: Outlook writes January 1 here (as the first fields of a SYSTEMTIME); nothing reads it.
    w.u16(1);
    w.u16(0);
    w.u16(1);
    for (int i = 0; i < 8; ++i)
        w.u8(0);
    w.i32(zone.bias);
    w.i32(zone.standardBias);
    w.i32(zone.daylightBias);
    w.systemTime(zone.standardDate);
    w.systemTime(zone.daylightDate);
    return w.out;
}

std::vector<std::uint8_t> AppointmentRecurrencePattern(const RecurrenceFields& f)
{
    Writer w;
    w.u16(0x3004); // ReaderVersion
    w.u16(0x3004); // WriterVersion
    w.u16(f.frequency);
    w.u16(f.patternType);
    w.u16(0); // CalendarType: Gregorian
    w.u32(f.firstDateTime);
    w.u32(f.period);
    w.u32(0); // SlidingFlag
    if (f.patternType == 1) {
        w.u32(f.dayMask);
    } else if (f.patternType == 2 || f.patternType == 4) {
        w.u32(f.dayOrNth);
    } else if (f.patternType == 3) {
        w.u32(f.dayMask);
        w.u32(f.dayOrNth);
    }
    w.u32(f.endType);
    w.u32(f.occurrenceCount);
    w.u32(f.firstDayOfWeek);
    w.u32(static_cast<std::uint32_t>(f.deletedDates.size()));
    for (auto d : f.deletedDates)
        w.u32(d);
    w.u32(static_cast<std::uint32_t>(f.exceptions.size())); // ModifiedInstanceCount
    for (const auto& e : f.exceptions)
        w.u32(e.startDateTime - e.startDateTime % 1440); // ModifiedInstanceDates
    w.u32(f.startDate);
    w.u32(f.endDate);
    w.u32(0x3006); // ReaderVersion2
    w.u32(0x3009); // WriterVersion2
    w.u32(f.startTimeOffset);
    w.u32(f.endTimeOffset);
    w.u16(static_cast<std::uint16_t>(f.exceptions.size())); // ExceptionCount
    // ExceptionInfo ([MS-OXOCAL] 2.2.1.44.2): the times, then the overridden values the flags
    // name, strings with their length plus one and their length, in the 8-bit code page.
    constexpr std::uint16_t aroSubject = 0x0001, aroLocation = 0x0010;
    auto flagsOf = [&](const ExceptionFields& e) {
        return static_cast<std::uint16_t>((e.subject ? aroSubject : 0) | (e.location ? aroLocation : 0));
    };
    for (const auto& e : f.exceptions) {
        w.u32(e.startDateTime);
        w.u32(e.endDateTime);
        w.u32(e.originalStartDate);
        w.u16(flagsOf(e)); // OverrideFlags
        for (const auto* s : { &e.subject, &e.location }) {
            if (!*s)
                continue;
            const std::string narrow = Windows1252(**s);
            w.u16(static_cast<std::uint16_t>(narrow.size() + 1));
            w.u16(static_cast<std::uint16_t>(narrow.size()));
            for (char c : narrow)
                w.u8(static_cast<std::uint8_t>(c));
        }
    }
    w.u32(0); // ReservedBlock1Size
    // ExtendedException ([MS-OXOCAL] 2.2.1.44.3), as WriterVersion2 0x3009 has it: the change
    // highlight (4 bytes, nothing highlighted, as Outlook writes it), then with a subject or
    // location override the times again and the strings in UTF-16LE.
    for (const auto& e : f.exceptions) {
        w.u32(4); // ChangeHighlightSize
        w.u32(0); // ChangeHighlightValue
        w.u32(0); // ReservedBlockEE1Size
        if (!flagsOf(e))
            continue;
        w.u32(e.startDateTime);
        w.u32(e.endDateTime);
        w.u32(e.originalStartDate);
        for (const auto* s : { &e.subject, &e.location }) {
            if (!*s)
                continue;
            const std::u16string wide = Utf16(**s);
            w.u16(static_cast<std::uint16_t>(wide.size()));
            for (char16_t c : wide)
                w.u16(static_cast<std::uint16_t>(c));
        }
        w.u32(0); // ReservedBlockEE2Size
    }
    w.u32(0); // ReservedBlock2Size
    return w.out;
}

std::uint32_t MinutesSince1601(std::int64_t daysSince1970)
{
    constexpr std::int64_t daysFrom1601 = 134'774; // 1601-01-01 to 1970-01-01
    return static_cast<std::uint32_t>((daysSince1970 + daysFrom1601) * 1440);
}

} // namespace outlook
