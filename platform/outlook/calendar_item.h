// What an appointment holds beyond its start and end: all-day state, time zone and recurrence,
// and the MAPI properties Outlook derives from them when the item is saved.
#pragma once

#include "automation/outlook.h"
#include "calendar_blobs.h"
#include "object_model.h"
#include "pst/Message.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace outlook {

struct RecurrenceState {
    int type = 0; // RecurrenceType
    int interval = 1;
    int dayOfWeekMask = 0;
    int dayOfMonth = 0;
    int instance = 0;
    int monthOfYear = 0;
    std::optional<std::int64_t> startDay, endDay; // days since 1970 (civil dates)
    int occurrences = 0;
    bool noEndDate = false;
    std::vector<std::int64_t> deletedDays;
    // Changed occurrences: the day the pattern put them on, their start and end (FILETIME, UTC)
    // and the subject and location when changed (unset: the occurrence's own).
    struct Exception {
        std::int64_t originalDay = 0;
        std::optional<std::int64_t> start, end;
        std::optional<std::string> subject, location;
    };
    std::vector<Exception> exceptions;
};

struct CalendarState {
    std::optional<WindowsZone> zone; // StartTimeZone
    std::shared_ptr<RecurrenceState> recurrence;
    std::optional<std::int32_t> reminderMinutes; // ReminderMinutesBeforeStart, when ReminderSet
};

// The pattern object an item's GetRecurrencePattern hands out; it fills state.
std::shared_ptr<automation::RDORecurrencePattern> MakeRecurrencePattern(std::shared_ptr<RecurrenceState> state);

// The derived properties of an appointment from start to end (FILETIME, UTC): time-zone
// properties, recurrence blob and its companions, reminder times. Throws AutomationError when
// the recurrence is incomplete.
std::vector<std::pair<PropertyKey, pst::PropertyValue>> CalendarProperties(
    const CalendarState& state, std::int64_t startFileTime, std::int64_t endFileTime);

// The exceptions of a recurring series as Outlook keeps them ([MS-OXOCAL] 2.2.10): per changed
// occurrence (in the order of the recurrence blob), the properties of its embedded message
// (class IPM.OLE.CLASS.{00061055-...}) and of its hidden attachment. The subject and location
// are there when the occurrence changed them; the caller adds the series' otherwise, and the
// instance values an exception carries over (busy status, all-day).
struct ExceptionItem {
    std::vector<std::pair<PropertyKey, pst::PropertyValue>> message;
    std::vector<pst::Property> attachment;
};
std::vector<ExceptionItem> CalendarExceptions(
    const CalendarState& state, std::int64_t startFileTime, std::int64_t endFileTime);

} // namespace outlook
