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
    QString text(const NotesDocument& doc, const char* item)
    {
        return common::TrimBlanks(common::ValueText(doc.GetItemValue(item)));
    }

    // Every value of an item as text (numbers as Notes shows them).
    QStringList texts(const NotesDocument& doc, const char* item)
    {
        const Variant v = doc.GetItemValue(item);
        QStringList out;
        const auto add = [&](const Variant& one) {
            const QString t = common::TrimBlanks(common::ValueText(one));
            if (!t.isEmpty())
                out << t;
        };
        if (v.isArray())
            for (const auto& one : v.array())
                add(one);
        else
            add(v);
        return out;
    }

    // The date-time values of an item, in order; anything else ends the list.
    std::vector<DateTime> dates(const NotesDocument& doc, const char* item)
    {
        const Variant v = doc.GetItemValue(item);
        std::vector<DateTime> out;
        const auto add = [&](const Variant& one) {
            if (one.type() != Variant::Type::Date)
                return false;
            out.push_back(one.toDate());
            return true;
        };
        if (v.isArray()) {
            for (const auto& one : v.array())
                if (!add(one))
                    break;
        } else {
            add(v);
        }
        return out;
    }

    // "CN=Ann Lee/OU=Sales/O=Acme" as Notes shows it: "Ann Lee/Sales/Acme".
    QString abbreviated(const QString& name)
    {
        QStringList parts = name.split(QLatin1Char('/'));
        for (QString& p : parts) {
            const qsizetype eq = p.indexOf(QLatin1Char('='));
            if (eq > 0 && eq <= 2)
                p = p.mid(eq + 1);
        }
        return parts.join(QLatin1Char('/'));
    }
    // The people of a list as the Outlook item takes them: resolved ("Name <address>") where a
    // resolver is given, else their abbreviated Notes names.
    QString nameList(const QStringList& people, names::NameResolver* resolver)
    {
        QStringList out;
        for (const QString& n : people) {
            const QString entry = resolver ? names::AddresseeEntry(resolver->Resolve(n.trimmed())) : abbreviated(n);
            if (!entry.isEmpty())
                out << entry;
        }
        return out.join(QStringLiteral("; "));
    }

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

CalendarEntry ReadCalendarEntry(const NotesDocument& doc, names::NameResolver* resolver)
{
    CalendarEntry e;
    bool ok = false;
    const int kind = text(doc, "AppointmentType").toInt(&ok);
    if (ok && kind >= 0 && kind <= 4)
        e.extras.kind = static_cast<AppointmentKind>(kind);
    // An invitation (a Notice of type I) is a meeting whatever its type says.
    const bool invitation
        = text(doc, "Form") == QLatin1String("Notice") && text(doc, "NoticeType") == QLatin1String("I");
    if (invitation)
        e.extras.kind = AppointmentKind::Meeting;

    const std::vector<DateTime> starts = dates(doc, "StartDateTime");
    const std::vector<DateTime> ends = dates(doc, "EndDateTime");
    std::vector<DateTime> originals = dates(doc, "RepeatInstanceDates");
    if (originals.size() != starts.size())
        originals = starts;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        // Without an end, the length Outlook gives a new appointment: 30 minutes.
        DateTime end = starts[i];
        if (i < ends.size()) {
            end = ends[i];
        } else if (starts[i].kind == DateTime::Kind::DateAndTime) {
            end = DateTime::fromUnixMillis(starts[i].toUnixMillis() + 30 * 60'000, starts[i].offsetMinutes.value_or(0));
            end.offsetMinutes = starts[i].offsetMinutes;
        }
        e.instances.push_back({ originals[i], starts[i], end });
    }

    e.repeats = text(doc, "Repeats") == QLatin1String("1");
    e.rule.unit = text(doc, "RepeatUnit");
    const QString interval = text(doc, "RepeatInterval");
    e.rule.interval = interval.isEmpty() ? 1 : interval.toInt();
    e.rule.adjust = texts(doc, "RepeatAdjust");
    e.rule.how = text(doc, "RepeatHow");
    const auto until = dates(doc, "RepeatUntil");
    if (!until.empty()) {
        e.rule.until = until.front();
        e.rule.hasUntil = true;
    }
    e.zoneText = text(doc, "StartTimeZone");

    if (e.extras.kind == AppointmentKind::Meeting) {
        const QString chair = text(doc, "Chair");
        QStringList required = texts(doc, "RequiredAttendees");
        QStringList optional = texts(doc, "OptionalAttendees");
        if (required.isEmpty())
            required = texts(doc, "SendTo");
        if (optional.isEmpty())
            optional = texts(doc, "CopyTo");
        e.extras.organizer = nameList({ chair }, resolver);
        e.extras.requiredAttendees = nameList(required, resolver);
        e.extras.optionalAttendees = nameList(optional, resolver);
        // An entry in another calendar than the chair's was accepted there; the chair's own
        // entry is organized here.
        const QString owner = text(doc, "$BusyName");
        using Standing = AppointmentExtras::Standing;
        e.extras.standing = invitation                                      ? Standing::Invited
            : (owner.isEmpty() || abbreviated(owner) == abbreviated(chair)) ? Standing::Organized
                                                                            : Standing::Accepted;
    }
    const QString alarm = text(doc, "$Alarm");
    if (alarm == QLatin1String("1") || e.extras.kind == AppointmentKind::Reminder) {
        // $AlarmOffset: minutes from the start, negative before it.
        const int offset = text(doc, "$AlarmOffset").toInt();
        e.extras.reminderMinutes = offset < 0 ? -offset : 0;
    }
    return e;
}

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
    const QString subject = text(doc, "Subject"), location = text(doc, "Location"),
                  categories = text(doc, "Categories"), body = text(doc, "Body");
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
