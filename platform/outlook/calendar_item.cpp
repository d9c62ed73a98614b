#include "calendar_item.h"

#include "item_values.h"

#include <algorithm>
#include <bit>
#include <string>

namespace outlook {

using automation::AutomationError;
using automation::Variant;

namespace {
    // An occurrence of a series taken out to be changed; its Save keeps the change in the
    // series' state.
    class StandInOccurrence : public automation::RDOMail {
    public:
        StandInOccurrence(std::shared_ptr<RecurrenceState> state, std::int64_t originalDay)
            : s_(std::move(state))
        {
            e_.originalDay = originalDay;
            for (const auto& e : s_->exceptions)
                if (e.originalDay == originalDay)
                    e_ = e;
        }
        void Set(const std::string& property, const Variant& value) override
        {
            if (property == "Start" || property == "End") {
                const auto at = ToInstant(value, property);
                if (!at)
                    throw AutomationError("Occurrence", property, "a date and time is required");
                if (property == "Start") {
                    // As for an appointment: the length stays when only the start moves.
                    if (e_.start && e_.end)
                        e_.end = *e_.end + (ToFileTime(*at) - *e_.start);
                    e_.start = ToFileTime(*at);
                } else
                    e_.end = ToFileTime(*at);
            } else if (property == "Subject")
                e_.subject = value.toText();
            else if (property == "Location")
                e_.location = value.toText();
            else
                throw AutomationError("Occurrence", property, "an occurrence takes Start, End, Subject and Location");
        }
        Variant Get(const std::string& property) const override
        {
            const auto time = [](const std::optional<std::int64_t>& t) {
                return t ? Variant(automation::DateTime::fromUnixMillis(FromFileTime(*t), 0)) : Variant();
            };
            if (property == "Start")
                return time(e_.start);
            if (property == "End")
                return time(e_.end);
            if (property == "Subject" && e_.subject)
                return Variant(*e_.subject);
            if (property == "Location" && e_.location)
                return Variant(*e_.location);
            return Variant();
        }
        std::shared_ptr<automation::RDORecipients> Recipients() override { throw unsupported("Recipients"); }
        std::shared_ptr<automation::RDOAttachments> Attachments() override { throw unsupported("Attachments"); }
        std::shared_ptr<automation::MAPIMessage> MAPIOBJECT() override { throw unsupported("MAPIOBJECT"); }
        void Save() override
        {
            if (e_.start && e_.end && *e_.end < *e_.start)
                throw AutomationError("Occurrence", "Save", "the end comes before the start");
            std::erase_if(s_->exceptions, [&](const auto& e) { return e.originalDay == e_.originalDay; });
            s_->exceptions.push_back(e_);
        }

    private:
        static AutomationError unsupported(const char* what)
        {
            return AutomationError("Occurrence", what, "an occurrence of the stand-in has none");
        }
        std::shared_ptr<RecurrenceState> s_;
        RecurrenceState::Exception e_;
    };

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
        std::shared_ptr<automation::RDOMail> GetOccurrence(const automation::DateTime& originalDate) override
        {
            return std::make_shared<StandInOccurrence>(
                s_, automation::DaysFromCivil(originalDate.year, originalDate.month, originalDate.day));
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

    int daysInMonth(int y, int m)
    {
        return static_cast<int>(automation::DaysFromCivil(m == 12 ? y + 1 : y, m == 12 ? 1 : m + 1, 1)
            - automation::DaysFromCivil(y, m, 1));
    }

    // Whether the pattern puts an occurrence on that day (days since 1970). A day of the month
    // past the month's end stands for its last day, as in Outlook.
    bool isOccurrence(const RecurrenceState& r, std::int64_t day)
    {
        if (day < *r.startDay || (!r.noEndDate && day > *r.endDay))
            return false;
        int y, m, d, y0, m0, d0;
        automation::CivilFromDays(day, y, m, d);
        automation::CivilFromDays(*r.startDay, y0, m0, d0);
        const int wd = weekday(day), length = daysInMonth(y, m);
        const bool onDayOfMonth = d == std::min(r.dayOfMonth, length);
        // The n-th weekday (5: the last); a mask of several days (Outlook's "weekday") is taken as
        // any of them.
        const bool onNth = (r.dayOfWeekMask & (1 << wd))
            && (std::popcount(static_cast<unsigned>(r.dayOfWeekMask)) > 1
                || (r.instance == 5 ? d + 7 > length : (d - 1) / 7 + 1 == r.instance));
        const std::int64_t months = (y - y0) * 12 + (m - m0);
        switch (r.type) {
        case 0:
            return (day - *r.startDay) % r.interval == 0;
        case 1:
            return (r.dayOfWeekMask & (1 << wd))
                && ((day - wd) - (*r.startDay - weekday(*r.startDay))) / 7 % r.interval == 0;
        case 2:
            return months % r.interval == 0 && onDayOfMonth;
        case 3:
            return months % r.interval == 0 && onNth;
        case 5:
            return m == r.monthOfYear && (y - y0) % r.interval == 0 && onDayOfMonth;
        case 6:
            return m == r.monthOfYear && (y - y0) % r.interval == 0 && onNth;
        }
        return false;
    }

    // A changed occurrence with its times worked out, in minutes since 1970 (UTC and local).
    struct ResolvedException {
        std::int64_t originalUtc, originalLocal, startUtc, endUtc, startLocal, endLocal;
        const RecurrenceState::Exception* source;
    };

    // The series' exceptions by start; the occurrence's own times stand where it set none.
    // Throws AutomationError for an exception on a day without an occurrence, or on a deleted
    // one.
    std::vector<ResolvedException> resolveExceptions(
        const RecurrenceState& r, const ZoneRule& zone, std::int64_t startFileTime, std::int64_t endFileTime)
    {
        const std::int64_t utcStart = FromFileTime(startFileTime) / 60'000;
        const std::int64_t localStart = utcStart + UtcOffsetAt(zone, utcStart);
        const std::int64_t timeOfDay = localStart - floorDiv(localStart, 1440) * 1440;
        const std::int64_t duration = (endFileTime - startFileTime) / 600'000'000;
        std::vector<ResolvedException> out;
        for (const auto& e : r.exceptions) {
            int y, m, d;
            automation::CivilFromDays(e.originalDay, y, m, d);
            const std::string day = std::to_string(y) + "-" + (m < 10 ? "0" : "") + std::to_string(m) + "-"
                + (d < 10 ? "0" : "") + std::to_string(d);
            if (!isOccurrence(r, e.originalDay))
                throw AutomationError("RecurrencePattern", "Save",
                    "the occurrence of " + day + " is changed, but the pattern has none then");
            if (std::find(r.deletedDays.begin(), r.deletedDays.end(), e.originalDay) != r.deletedDays.end())
                throw AutomationError(
                    "RecurrencePattern", "Save", "the occurrence of " + day + " is both deleted and changed");
            ResolvedException x {};
            x.source = &e;
            x.originalLocal = e.originalDay * 1440 + timeOfDay;
            x.originalUtc = LocalToUtc(zone, x.originalLocal);
            x.startUtc = e.start ? FromFileTime(*e.start) / 60'000 : x.originalUtc;
            x.endUtc = e.end ? FromFileTime(*e.end) / 60'000 : x.startUtc + duration;
            if (x.endUtc < x.startUtc)
                throw AutomationError(
                    "RecurrencePattern", "Save", "the occurrence of " + day + " ends before it starts");
            x.startLocal = x.startUtc + UtcOffsetAt(zone, x.startUtc);
            x.endLocal = x.endUtc + UtcOffsetAt(zone, x.endUtc);
            out.push_back(x);
        }
        std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.startLocal < b.startLocal; });
        return out;
    }

    std::uint32_t minutes1601(std::int64_t localMinutes)
    {
        return static_cast<std::uint32_t>(MinutesSince1601(0) + localMinutes);
    }
    pst::FileTime fileTimeOfMinutes(std::int64_t minutes) { return pst::FileTime { ToFileTime(minutes * 60'000) }; }
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
    // Changed occurrences: their original days among the deleted ones, as Outlook keeps them.
    for (const auto& x : resolveExceptions(r, zone, startFileTime, endFileTime)) {
        f.deletedDates.push_back(MinutesSince1601(x.source->originalDay));
        f.exceptions.push_back({ minutes1601(x.startLocal), minutes1601(x.endLocal), minutes1601(x.originalLocal),
            x.source->subject, x.source->location });
    }
    std::sort(f.deletedDates.begin(), f.deletedDates.end());
    f.deletedDates.erase(std::unique(f.deletedDates.begin(), f.deletedDates.end()), f.deletedDates.end());
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

std::vector<ExceptionItem> CalendarExceptions(
    const CalendarState& state, std::int64_t startFileTime, std::int64_t endFileTime)
{
    std::vector<ExceptionItem> out;
    if (!state.recurrence)
        return out;
    const ZoneRule zone = state.zone ? state.zone->rule : ZoneRule {};
    for (const auto& x : resolveExceptions(*state.recurrence, zone, startFileTime, endFileTime)) {
        ExceptionItem item;
        auto& m = item.message;
        const pst::FileTime start = fileTimeOfMinutes(x.startUtc), end = fileTimeOfMinutes(x.endUtc);
        m.emplace_back(appointment(lids::AppointmentStartWhole, PropType::Time), start);
        m.emplace_back(appointment(lids::AppointmentEndWhole, PropType::Time), end);
        m.emplace_back(PropertyKey::tag(0x0060, PropType::Time), start); // PidTagStartDate
        m.emplace_back(PropertyKey::tag(0x0061, PropType::Time), end); // PidTagEndDate
        m.emplace_back(common(lids::CommonStart, PropType::Time), start);
        m.emplace_back(common(0x8517, PropType::Time), end); // PidLidCommonEnd
        m.emplace_back(appointment(0x8235, PropType::Time), start); // PidLidClipStart
        m.emplace_back(appointment(0x8236, PropType::Time), end); // PidLidClipEnd
        m.emplace_back(appointment(lids::AppointmentDuration, PropType::Integer32),
            static_cast<std::int32_t>(x.endUtc - x.startUtc));
        // PidLidExceptionReplaceTime: where the occurrence was, in UTC; the body is the series'.
        m.emplace_back(appointment(0x8228, PropType::Time), fileTimeOfMinutes(x.originalUtc));
        m.emplace_back(appointment(0x8206, PropType::Boolean), false); // PidLidFExceptionalBody
        if (x.source->subject)
            m.emplace_back(PropertyKey::tag(0x0037, PropType::Unicode), *x.source->subject);
        if (x.source->location)
            m.emplace_back(appointment(0x8208, PropType::Unicode), *x.source->location); // PidLidLocation
        if (state.zone) {
            const auto definition = pst::Bytes(TimeZoneDefinition(state.zone->key, zone, false));
            m.emplace_back(appointment(0x825E, PropType::Binary), definition);
            m.emplace_back(appointment(0x825F, PropType::Binary), definition);
        }
        if (state.reminderMinutes) {
            m.emplace_back(common(0x8503, PropType::Boolean), true); // PidLidReminderSet
            m.emplace_back(common(0x8501, PropType::Integer32), *state.reminderMinutes); // PidLidReminderDelta
            m.emplace_back(common(0x8502, PropType::Time), start); // PidLidReminderTime
            m.emplace_back(common(0x8560, PropType::Time),
                pst::FileTime { start.ticks - std::int64_t(*state.reminderMinutes) * 600'000'000 });
        }
        // The attachment: hidden, an exception (afException), with the original and new times
        // in local time, as Outlook's own files have them.
        auto tagged = [](std::uint16_t id, std::uint16_t type, pst::PropertyValue v) {
            return pst::Property { id, std::nullopt, type, std::move(v) };
        };
        item.attachment = { tagged(0x7FFE, 0x000B, true), // PidTagAttachmentHidden
            tagged(0x7FFD, 0x0003, std::int32_t(2)), // PidTagAttachmentFlags: afException
            tagged(0x7FF9, 0x0040, fileTimeOfMinutes(x.originalLocal)), // PidTagExceptionReplaceTime
            tagged(0x7FFB, 0x0040, fileTimeOfMinutes(x.startLocal)), // PidTagExceptionStartTime
            tagged(0x7FFC, 0x0040, fileTimeOfMinutes(x.endLocal)) }; // PidTagExceptionEndTime
        out.push_back(std::move(item));
    }
    return out;
}

} // namespace outlook
