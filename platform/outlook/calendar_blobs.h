// The binary calendar properties Outlook keeps on appointments, written field by field:
// the recurrence blob PidLidAppointmentRecur ([MS-OXOCAL] 2.2.1.44), the time-zone rule
// PidLidTimeZoneStruct ([MS-OXOCAL] 2.2.1.39) and the time-zone definitions
// PidLidAppointmentTimeZoneDefinition* ([MS-OXOCAL] 2.2.1.41). Also the Windows time zones the
// stand-in knows, as the registry of a Windows installation would give them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace outlook {

// SYSTEMTIME as a time-zone transition uses it: month, day of week (0 Sunday), week of the
// month (1..4, 5 the last) and the local time of day.
struct Transition {
    std::uint16_t month = 0, dayOfWeek = 0, week = 0, hour = 0, minute = 0;
};

// TZREG: bias in minutes west of UTC, and the daylight rule (no rule when month is 0).
struct ZoneRule {
    std::int32_t bias = 0;
    std::int32_t standardBias = 0;
    std::int32_t daylightBias = 0;
    Transition standardDate; // back to standard time
    Transition daylightDate; // into daylight time
};

struct WindowsZone {
    std::string key; // "Eastern Standard Time"
    std::string display; // "(UTC-05:00) Eastern Time (US & Canada)"
    ZoneRule rule;
};

// The zone of that Windows key, or a fixed zone for "UTC+hh:mm" / "UTC-hh:mm"; nothing otherwise.
std::optional<WindowsZone> FindWindowsZone(std::string_view key);

// Minutes to add to UTC to get local time at that UTC instant (minutes since 1970) in the zone.
std::int32_t UtcOffsetAt(const ZoneRule& zone, std::int64_t utcMinutes);
// The UTC minute of a local civil minute (since 1970, local) in the zone.
std::int64_t LocalToUtc(const ZoneRule& zone, std::int64_t localMinutes);

// PidLidTimeZoneStruct: 48 bytes.
std::vector<std::uint8_t> TimeZoneStruct(const ZoneRule& zone);
// A TZDEFINITION with the zone's one rule; recur marks it as the rule of a recurring series.
std::vector<std::uint8_t> TimeZoneDefinition(std::string_view keyName, const ZoneRule& zone, bool recur);

// A changed occurrence ([MS-OXOCAL] 2.2.1.44.2 ExceptionInfo, 2.2.1.44.3 ExtendedException):
// local times in minutes since 1601-01-01, and the subject and location when they differ from
// the series' (UTF-8).
struct ExceptionFields {
    std::uint32_t startDateTime = 0, endDateTime = 0, originalStartDate = 0;
    std::optional<std::string> subject, location;
};

// The fields of an AppointmentRecurrencePattern. Dates are minutes since 1601-01-01 of local
// midnights; times of day are minutes after local midnight. deletedDates holds the original
// dates of the changed occurrences too, as Outlook keeps them; the modified-instance dates are
// the local midnights of the exceptions' starts.
struct RecurrenceFields {
    std::uint16_t frequency = 0; // 0x200A daily, 0x200B weekly, 0x200C monthly, 0x200D yearly
    std::uint16_t patternType = 0; // 0 day, 1 week, 2 month, 3 month n-th weekday
    std::uint32_t firstDateTime = 0;
    std::uint32_t period = 0;
    std::uint32_t dayMask = 0; // week and month n-th: days of the week, bit 0 Sunday
    std::uint32_t dayOrNth = 0; // month: day of the month; month n-th: 1..4, 5 the last
    std::uint32_t endType = 0x2022; // 0x2021 by date, 0x2022 after count, 0x2023 never
    std::uint32_t occurrenceCount = 0;
    std::uint32_t firstDayOfWeek = 0;
    std::vector<std::uint32_t> deletedDates;
    std::uint32_t startDate = 0;
    std::uint32_t endDate = 0;
    std::uint32_t startTimeOffset = 0;
    std::uint32_t endTimeOffset = 0;
    std::vector<ExceptionFields> exceptions; // by start
};
std::vector<std::uint8_t> AppointmentRecurrencePattern(const RecurrenceFields& fields);

// Minutes since 1601-01-01 of a civil date's midnight (days since 1970).
std::uint32_t MinutesSince1601(std::int64_t daysSince1970);

} // namespace outlook
