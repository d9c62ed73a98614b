#include "calendar_item.h"

#include "item_values.h"

#include <string>

namespace outlook {

using automation::AutomationError;
using automation::Variant;

namespace {
    class StandInRecurrencePattern : public automation::RDORecurrencePattern {
    public:
        explicit StandInRecurrencePattern(std::shared_ptr<RecurrenceState> state)
            : s_(std::move(state))
        {
        }
        void Set(const std::string& property, const Variant& value) override
        {
            auto day = [&]() -> std::int64_t {
                const auto at = ToDay(value, property);
                if (!at)
                    throw AutomationError("RecurrencePattern", property, "a date is required");
                return *at / 86'400'000;
            };
            auto number = [&](int low, int high) {
                const int v = value.toInt();
                if (v < low || v > high)
                    throw AutomationError("RecurrencePattern", property,
                        std::to_string(v) + " is not within " + std::to_string(low) + ".." + std::to_string(high));
                return v;
            };
            if (property == "RecurrenceType") {
                s_->type = number(0, 6);
                if (s_->type == 4)
                    throw AutomationError("RecurrencePattern", property, "4 is no recurrence type");
            } else if (property == "Interval")
                s_->interval = number(1, 999);
            else if (property == "DayOfWeekMask")
                s_->dayOfWeekMask = number(1, 127);
            else if (property == "DayOfMonth")
                s_->dayOfMonth = number(1, 31);
            else if (property == "Instance")
                s_->instance = number(1, 5);
            else if (property == "MonthOfYear")
                s_->monthOfYear = number(1, 12);
            else if (property == "PatternStartDate")
                s_->startDay = day();
            else if (property == "PatternEndDate")
                s_->endDay = day();
            else if (property == "Occurrences")
                s_->occurrences = number(1, 999'999);
            else if (property == "NoEndDate")
                s_->noEndDate = value.toBool();
            else
                throw AutomationError("RecurrencePattern", property, "no such property");
        }
        void DeleteOccurrence(const automation::DateTime& originalDate) override
        {
            s_->deletedDays.push_back(
                automation::DaysFromCivil(originalDate.year, originalDate.month, originalDate.day));
        }

    private:
        std::shared_ptr<RecurrenceState> s_;
    };

    PropertyKey appointment(std::uint32_t lid, PropType type)
    {
        return PropertyKey::named(PSETID_Appointment, lid, type);
    }
    PropertyKey common(std::uint32_t lid, PropType type) { return PropertyKey::named(PSETID_Common, lid, type); }

    std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
    int weekday(std::int64_t days) { return static_cast<int>(((days % 7) + 7 + 4) % 7); } // 0 Sunday

    // "8:00 AM", as Outlook writes times in the pattern's words.
    std::string clock(std::uint32_t minutes)
    {
        const unsigned hour = (minutes / 60) % 24, minute = minutes % 60;
        return std::to_string(hour % 12 == 0 ? 12 : hour % 12) + ":" + (minute < 10 ? "0" : "") + std::to_string(minute)
            + (hour < 12 ? " AM" : " PM");
    }

    // The pattern in words, as Outlook shows it in PidLidRecurrencePattern.
    std::string describe(const RecurrenceState& r, std::uint32_t startMinute, std::uint32_t endMinute)
    {
        static const char* const days[]
            = { "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday" };
        static const char* const nth[] = { "", "first", "second", "third", "fourth", "last" };
        static const char* const months[] = { "", "January", "February", "March", "April", "May", "June", "July",
            "August", "September", "October", "November", "December" };
        // "Monday", "Monday and Wednesday", "Monday, Wednesday and Friday".
        std::vector<std::string> names;
        for (int d = 0; d < 7; ++d)
            if (r.dayOfWeekMask & (1 << d))
                names.emplace_back(days[d]);
        std::string dayList;
        for (std::size_t i = 0; i < names.size(); ++i)
            dayList += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
        const std::string every = r.interval > 1 ? "every " + std::to_string(r.interval) + " " : "every ";
        std::string out;
        switch (r.type) {
        case 0:
            out = r.interval > 1 ? every + "days" : "every day";
            break;
        case 1:
            out = (r.interval > 1 ? every + "weeks on " : "every ") + dayList;
            break;
        case 2:
            out = "day " + std::to_string(r.dayOfMonth) + " of " + (r.interval > 1 ? every + "months" : "every month");
            break;
        case 3:
            out = "the " + std::string(nth[r.instance]) + " " + dayList + " of "
                + (r.interval > 1 ? every + "months" : "every month");
            break;
        case 5:
            out = "every " + std::string(months[r.monthOfYear]) + " " + std::to_string(r.dayOfMonth);
            break;
        case 6:
            out = "the " + std::string(nth[r.instance]) + " " + dayList + " of " + months[r.monthOfYear];
            break;
        }
        return out + " from " + clock(startMinute) + " to " + clock(endMinute);
    }
} // namespace

std::shared_ptr<automation::RDORecurrencePattern> MakeRecurrencePattern(std::shared_ptr<RecurrenceState> state)
{
    return std::make_shared<StandInRecurrencePattern>(std::move(state));
}

std::vector<std::pair<PropertyKey, pst::PropertyValue>> CalendarProperties(
    const CalendarState& state, std::int64_t startFileTime, std::int64_t endFileTime)
{
    std::vector<std::pair<PropertyKey, pst::PropertyValue>> out;
    const ZoneRule zone = state.zone ? state.zone->rule : ZoneRule {};
    if (state.zone) {
        out.emplace_back(appointment(0x8233, PropType::Binary), pst::Bytes(TimeZoneStruct(zone)));
        out.emplace_back(appointment(0x8234, PropType::Unicode), state.zone->display);
        out.emplace_back(
            appointment(0x825E, PropType::Binary), pst::Bytes(TimeZoneDefinition(state.zone->key, zone, false)));
        out.emplace_back(
            appointment(0x825F, PropType::Binary), pst::Bytes(TimeZoneDefinition(state.zone->key, zone, false)));
    }
    if (state.reminderMinutes) {
        out.emplace_back(common(0x8503, PropType::Boolean), true); // PidLidReminderSet
        out.emplace_back(common(0x8501, PropType::Integer32), *state.reminderMinutes); // PidLidReminderDelta
        out.emplace_back(common(0x8502, PropType::Time), pst::FileTime { startFileTime }); // PidLidReminderTime
        out.emplace_back(common(0x8560, PropType::Time),
            pst::FileTime { startFileTime - std::int64_t(*state.reminderMinutes) * 600'000'000 });
    }
    if (!state.recurrence)
        return out;

    const RecurrenceState& r = *state.recurrence;
    if (!r.startDay || (!r.noEndDate && (!r.endDay || r.occurrences < 1)))
        throw AutomationError("RecurrencePattern", "Save", "the pattern needs its start, end and occurrences");
    if (((r.type == 1 || r.type == 3 || r.type == 6) && r.dayOfWeekMask == 0)
        || ((r.type == 2 || r.type == 5) && r.dayOfMonth == 0) || ((r.type == 3 || r.type == 6) && r.instance == 0)
        || ((r.type == 5 || r.type == 6) && r.monthOfYear == 0))
        throw AutomationError(
            "RecurrencePattern", "Save", "the pattern of type " + std::to_string(r.type) + " is incomplete");
    const std::int64_t utcStart = FromFileTime(startFileTime) / 60'000;
    const std::int64_t localStart = utcStart + UtcOffsetAt(zone, utcStart);
    const auto duration = static_cast<std::uint32_t>((endFileTime - startFileTime) / 600'000'000);

    RecurrenceFields f;
    f.startTimeOffset = static_cast<std::uint32_t>(localStart - floorDiv(localStart, 1440) * 1440);
    f.endTimeOffset = f.startTimeOffset + duration;
    f.startDate = MinutesSince1601(*r.startDay);
    f.endDate = r.noEndDate ? 0x5AE980DFu : MinutesSince1601(*r.endDay);
    f.endType = r.noEndDate ? 0x2023u : 0x2022u;
    f.occurrenceCount = r.noEndDate ? 10u : static_cast<std::uint32_t>(r.occurrences);
    for (auto d : r.deletedDays)
        f.deletedDates.push_back(MinutesSince1601(d));
    // The first of the month that many months after 1601-01 (the month count modulo the period).
    auto monthStart = [&](std::uint32_t period) {
        int y, m, d;
        automation::CivilFromDays(*r.startDay, y, m, d);
        const std::uint32_t months = static_cast<std::uint32_t>((y - 1601) * 12 + (m - 1)) % period;
        return MinutesSince1601(
            automation::DaysFromCivil(1601 + static_cast<int>(months / 12), static_cast<int>(months % 12) + 1, 1));
    };
    int recurrenceType = 1;
    switch (r.type) {
    case 0:
        f.frequency = 0x200A;
        f.patternType = 0;
        f.period = static_cast<std::uint32_t>(r.interval) * 1440;
        f.firstDateTime = f.startDate % f.period;
        recurrenceType = 1;
        break;
    case 1:
        f.frequency = 0x200B;
        f.patternType = 1;
        f.period = static_cast<std::uint32_t>(r.interval);
        f.dayMask = static_cast<std::uint32_t>(r.dayOfWeekMask);
        f.firstDateTime = MinutesSince1601(*r.startDay - weekday(*r.startDay)) % (f.period * 10080);
        recurrenceType = 2;
        break;
    case 2:
    case 3:
        f.frequency = 0x200C;
        f.patternType = r.type == 2 ? 2 : 3;
        f.period = static_cast<std::uint32_t>(r.interval);
        recurrenceType = 3;
        break;
    default:
        f.frequency = 0x200D;
        f.patternType = r.type == 5 ? 2 : 3;
        f.period = 12 * static_cast<std::uint32_t>(r.interval);
        recurrenceType = 4;
        break;
    }
    if (f.patternType == 2) {
        f.dayOrNth = static_cast<std::uint32_t>(r.dayOfMonth);
        f.firstDateTime = monthStart(f.period);
    } else if (f.patternType == 3) {
        f.dayMask = static_cast<std::uint32_t>(r.dayOfWeekMask);
        f.dayOrNth = static_cast<std::uint32_t>(r.instance);
        f.firstDateTime = monthStart(f.period);
    }

    out.emplace_back(appointment(0x8216, PropType::Binary), pst::Bytes(AppointmentRecurrencePattern(f)));
    out.emplace_back(appointment(0x8223, PropType::Boolean), true); // PidLidRecurring
    out.emplace_back(appointment(0x8231, PropType::Integer32), std::int32_t(recurrenceType));
    out.emplace_back(appointment(0x8232, PropType::Unicode), describe(r, f.startTimeOffset, f.endTimeOffset));
    out.emplace_back(PropertyKey::named(PSETID_Meeting, 0x0005, PropType::Boolean), true); // PidLidIsRecurring
    // PidLidClipStart and PidLidClipEnd: the local midnights of the first and last day, in UTC.
    const std::int64_t clipStart = LocalToUtc(zone, *r.startDay * 1440);
    out.emplace_back(appointment(0x8235, PropType::Time), pst::FileTime { ToFileTime(clipStart * 60'000) });
    const std::int64_t clipEnd = r.noEndDate
        ? LocalToUtc(zone, automation::DaysFromCivil(4500, 8, 31) * 1440 + 23 * 60 + 59)
        : LocalToUtc(zone, *r.endDay * 1440);
    out.emplace_back(appointment(0x8236, PropType::Time), pst::FileTime { ToFileTime(clipEnd * 60'000) });
    if (state.zone)
        out.emplace_back(
            appointment(0x8260, PropType::Binary), pst::Bytes(TimeZoneDefinition(state.zone->key, zone, true)));
    return out;
}

} // namespace outlook
