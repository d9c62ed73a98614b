#include "pim/calendar_entry.h"

#include "automation/notes.h"
#include "automation/outlook.h"
#include "common/value_text.h"
#include "export/item_writer.h"
#include "mail/mail_writers.h"
#include "names/name_resolver.h"
#include "pim/pim_writers.h"
#include "pim/time_zones.h"

#include <QStringList>
#include <QTimeZone>

#include <algorithm>

namespace pim {

using automation::DateTime;
using automation::NotesDocument;
using automation::Variant;

namespace {
    DateTime midnight(std::int64_t day)
    {
        DateTime d;
        automation::CivilFromDays(day, d.year, d.month, d.day);
        return d; // 00:00, no offset: local midnight
    }
    std::int64_t dayOf(const DateTime& d) { return automation::DaysFromCivil(d.year, d.month, d.day); }

    // An all-day instance: from the local midnight of its first day to the local midnight after
    // its last (a date alone, or a time after midnight, ends on that day; 00:00 ends before it).
    Instance allDay(const Instance& i)
    {
        const std::int64_t first = dayOf(i.start);
        std::int64_t last = dayOf(i.end);
        const bool endsAtMidnight = i.end.kind == DateTime::Kind::DateAndTime && i.end.hour == 0 && i.end.minute == 0;
        std::int64_t endDay = endsAtMidnight && last > first ? last : last + 1;
        if (endDay <= first)
            endDay = first + 1;
        return { midnight(dayOf(i.original)), midnight(first), midnight(endDay) };
    }

    bool isAllDay(AppointmentKind kind)
    {
        return kind == AppointmentKind::AllDayEvent || kind == AppointmentKind::Anniversary;
    }

    // The zone this machine is in at a local midnight, as a fixed offset (all-day series).
    QString localFixedZone(std::int64_t day)
    {
        const DateTime d = midnight(day);
        const QDateTime at(QDate(d.year, d.month, d.day), QTime(0, 0), QTimeZone::systemTimeZone());
        return FixedZoneKey(at.offsetFromUtc() / 60);
    }
} // namespace

void ApplyAppointmentExtras(const AppointmentExtras& extras, exporting::ItemWriter& x)
{
    if (isAllDay(extras.kind)) {
        x.set("AllDayEvent", Variant(true));
        x.set("BusyStatus", Variant(std::int32_t(0)));
    } else if (extras.kind == AppointmentKind::Reminder) {
        x.set("BusyStatus", Variant(std::int32_t(0)));
    }
    if (!extras.timeZone.isEmpty())
        x.set("StartTimeZone", extras.timeZone);
    if (extras.reminderMinutes) {
        x.set("ReminderMinutesBeforeStart", Variant(std::int32_t(*extras.reminderMinutes)));
        x.set("ReminderSet", Variant(true));
    }
    if (extras.kind == AppointmentKind::Meeting) {
        x.set("Organizer", extras.organizer);
        x.set("RequiredAttendees", extras.requiredAttendees);
        x.set("OptionalAttendees", extras.optionalAttendees);
        // PidLidAppointmentStateFlags: a meeting (1), received (2); PidLidResponseStatus:
        // organized (1), accepted (3) or not answered (5); an unanswered invitation is tentative.
        using Standing = AppointmentExtras::Standing;
        const bool organized = extras.standing == Standing::Organized;
        x.set("MeetingStatus", Variant(std::int32_t(organized ? 1 : 3)));
        x.set("ResponseStatus", Variant(std::int32_t(organized ? 1 : extras.standing == Standing::Accepted ? 3 : 5)));
        if (extras.standing == Standing::Invited)
            x.set("BusyStatus", Variant(std::int32_t(1)));
    }
    if (const SeriesPlan* s = extras.series) {
        x.step([&] {
            const auto pattern = x.item().GetRecurrencePattern();
            pattern->Set("RecurrenceType", Variant(std::int32_t(s->type)));
            pattern->Set("Interval", Variant(std::int32_t(s->interval)));
            if (s->dayOfWeekMask)
                pattern->Set("DayOfWeekMask", Variant(std::int32_t(s->dayOfWeekMask)));
            if (s->dayOfMonth)
                pattern->Set("DayOfMonth", Variant(std::int32_t(s->dayOfMonth)));
            if (s->instance)
                pattern->Set("Instance", Variant(std::int32_t(s->instance)));
            if (s->type >= 5)
                pattern->Set("MonthOfYear", Variant(std::int32_t(s->monthOfYear)));
            DateTime first = midnight(s->firstDay), last = midnight(s->lastDay);
            first.kind = last.kind = DateTime::Kind::DateOnly;
            pattern->Set("PatternStartDate", Variant(first));
            pattern->Set("PatternEndDate", Variant(last));
            pattern->Set("Occurrences", Variant(std::int32_t(s->occurrences)));
            for (std::int64_t day : s->deletedDays)
                pattern->DeleteOccurrence(midnight(day));
            for (const Instance& i : s->moved) {
                const auto occurrence = pattern->GetOccurrence(midnight(dayOf(i.original)));
                occurrence->Set("Start", Variant(i.start));
                occurrence->Set("End", Variant(i.end));
                occurrence->Save();
            }
        });
    }
}

void WriteCalendarDocument(exporting::frmSave& w, const NotesDocument& doc)
{
    // The chair and the attendees are resolved as the mail's people are.
    CalendarEntry e = ReadCalendarEntry(doc, w.Names.get());
    const QString subject = common::ItemText(doc, "Subject"), location = common::ItemText(doc, "Location"),
                  categories = common::ItemText(doc, "Categories"), body = common::ItemText(doc, "Body");
    auto write = [&](const Variant& start, const Variant& end, const AppointmentExtras& extras) {
        const QString attachments = mail::ExtractAttachments(w, doc).trimmed();
        CreateCalendarItem(w, w.PstStoreId, 9, subject, start, end, location, categories, body, attachments, &extras);
    };
    // No date-time start: the first values as they are, as every appointment is written.
    if (e.instances.empty()) {
        const auto first = [&](const char* item) {
            const Variant v = doc.GetItemValue(item).first();
            return v.type() == Variant::Type::Text
                ? Variant(common::TrimBlanks(QString::fromStdString(v.toText())).toStdString())
                : v;
        };
        write(first("StartDateTime"), first("EndDateTime"), e.extras);
        return;
    }

    const bool whole = isAllDay(e.extras.kind);
    for (auto& i : e.instances) {
        if (whole)
            i = allDay(i);
        else if (e.extras.kind == AppointmentKind::Reminder)
            i.end = i.start;
    }
    // The zone the entry was planned in; an unknown one leaves the times in the offset they
    // carry, which the report says.
    if (!whole && !e.zoneText.isEmpty()) {
        e.extras.timeZone = WindowsZoneKey(e.zoneText);
        if (e.extras.timeZone.isEmpty()) {
            const auto& first = e.instances.front().start;
            if (first.offsetMinutes)
                e.extras.timeZone = FixedZoneKey(*first.offsetMinutes);
            w.NoteConversion(
                QStringLiteral("time zone \"%1\" is unknown; the times keep the offset they carry%2")
                    .arg(e.zoneText,
                        e.extras.timeZone.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(e.extras.timeZone)));
        }
    }

    SeriesPlan plan;
    if (e.repeats || e.instances.size() > 1) {
        plan = PlanSeries(e.instances, e.rule);
    } else {
        plan.singles = e.instances;
    }
    if (!plan.problem.isEmpty())
        w.NoteConversion(plan.problem);
    if (plan.recurring) {
        AppointmentExtras series = e.extras;
        series.series = &plan;
        if (series.timeZone.isEmpty()) {
            series.timeZone = whole || !plan.start.offsetMinutes ? localFixedZone(plan.firstDay)
                                                                 : FixedZoneKey(*plan.start.offsetMinutes);
            // Without the entry's zone the series keeps one offset; instances Notes kept in
            // another (across a change to daylight saving time) would show shifted.
            const bool shifts = !whole && std::any_of(e.instances.begin(), e.instances.end(), [&](const Instance& i) {
                return i.original.offsetMinutes != plan.start.offsetMinutes;
            });
            if (shifts)
                w.NoteConversion(QStringLiteral("no time zone on the entry; the series keeps the offset of its first "
                                                "instance (%1), instances in another offset show shifted")
                                     .arg(series.timeZone));
        }
        write(Variant(plan.start), Variant(plan.end), series);
    }
    for (const auto& i : plan.singles)
        write(Variant(i.start), Variant(i.end), e.extras);
}

} // namespace pim
