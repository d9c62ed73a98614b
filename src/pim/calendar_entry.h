// What a Notes calendar entry says beyond the fields every appointment takes: its kind
// (AppointmentType), repeat rule and instances, time zone, chair and attendees, and alarm.
#pragma once

#include "automation/variant.h"
#include "pim/recurrence.h"

#include <QString>

#include <optional>

namespace automation {
class NotesDocument;
}
namespace names {
class NameResolver;
}
namespace exporting {
class frmSave;
class ItemWriter;
}

namespace pim {

enum class AppointmentKind { Appointment = 0, Anniversary = 1, AllDayEvent = 2, Meeting = 3, Reminder = 4 };

// What the calendar writer sets on an appointment after its start and end.
struct AppointmentExtras {
    AppointmentKind kind = AppointmentKind::Appointment;
    QString timeZone; // Windows zone key, or "UTC+hh:mm"; empty for none
    std::optional<int> reminderMinutes; // minutes before the start
    QString organizer, requiredAttendees, optionalAttendees; // ";"-separated names
    // A meeting as it stands in this calendar: the chair's own, accepted, or an invitation not
    // yet answered.
    enum class Standing { Organized, Accepted, Invited } standing = Standing::Organized;
    const SeriesPlan* series = nullptr; // the recurrence, for the series' own item
};

struct CalendarEntry {
    AppointmentExtras extras;
    std::vector<Instance> instances;
    RepeatRule rule;
    bool repeats = false;
    QString zoneText; // StartTimeZone as Notes wrote it
};

// resolver, where given, turns the chair and attendees into "Name <address>" entries.
CalendarEntry ReadCalendarEntry(const automation::NotesDocument& doc, names::NameResolver* resolver = nullptr);

// The calendar phase's work for one document: one appointment, or a series with the instances
// that left it, or one appointment per instance; the report row says what was changed and why.
void WriteCalendarDocument(exporting::frmSave& w, const automation::NotesDocument& doc);

// Sets what the extras say on the appointment being written (its start and end already set),
// each assignment a step of the writer.
void ApplyAppointmentExtras(const AppointmentExtras& extras, exporting::ItemWriter& x);

} // namespace pim
