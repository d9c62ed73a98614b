#include "pim/calendar_entry.h"

#include "automation/notes.h"
#include "common/value_text.h"
#include "names/name_resolver.h"

#include <QStringList>

#include <algorithm>
#include <limits>

namespace pim {

using automation::DateTime;
using automation::NotesDocument;
using automation::Variant;

namespace {
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

} // namespace

CalendarEntry ReadCalendarEntry(const NotesDocument& doc, names::NameResolver* resolver)
{
    CalendarEntry e;
    bool ok = false;
    const int kind = common::ItemText(doc, "AppointmentType").toInt(&ok);
    if (ok && kind >= 0 && kind <= 4)
        e.extras.kind = static_cast<AppointmentKind>(kind);
    // An invitation (a Notice of type I) is a meeting whatever its type says.
    const bool invitation = common::ItemText(doc, "Form") == QLatin1String("Notice")
        && common::ItemText(doc, "NoticeType") == QLatin1String("I");
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

    e.repeats = common::ItemText(doc, "Repeats") == QLatin1String("1");
    e.rule.unit = common::ItemText(doc, "RepeatUnit");
    const QString interval = common::ItemText(doc, "RepeatInterval");
    e.rule.interval = interval.isEmpty() ? 1 : interval.toInt();
    e.rule.adjust = texts(doc, "RepeatAdjust");
    e.rule.how = common::ItemText(doc, "RepeatHow");
    const auto until = dates(doc, "RepeatUntil");
    if (!until.empty()) {
        e.rule.until = until.front();
        e.rule.hasUntil = true;
    }
    e.zoneText = common::ItemText(doc, "StartTimeZone");

    if (e.extras.kind == AppointmentKind::Meeting) {
        const QString chair = common::ItemText(doc, "Chair");
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
        const QString owner = common::ItemText(doc, "$BusyName");
        using Standing = AppointmentExtras::Standing;
        e.extras.standing = invitation                                      ? Standing::Invited
            : (owner.isEmpty() || abbreviated(owner) == abbreviated(chair)) ? Standing::Organized
                                                                            : Standing::Accepted;
    }
    const QString alarm = common::ItemText(doc, "$Alarm");
    if (alarm == QLatin1String("1") || e.extras.kind == AppointmentKind::Reminder) {
        // $AlarmOffset: minutes from the start, negative before it.
        // Beyond the largest reminder Outlook takes it is that one (-INT_MIN overflows).
        const int offset = std::max(common::ItemText(doc, "$AlarmOffset").toInt(), -std::numeric_limits<int>::max());
        e.extras.reminderMinutes = offset < 0 ? -offset : 0;
    }
    return e;
}

} // namespace pim
