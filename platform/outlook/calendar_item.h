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

} // namespace outlook
