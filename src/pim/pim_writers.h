// Calendar, tasks and journal migration: the item writers and what their phases do with each
// document.
#pragma once

#include "automation/variant.h"
#include "export/frm_save.h"

#include <QString>

#include <cstdint>

namespace pim {

struct AppointmentExtras;

// extras: what the entry says beyond these fields (kind, zone, reminder, attendees, recurrence).
void CreateCalendarItem(exporting::frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eSubject,
    const automation::Variant& eStart, const automation::Variant& eEnd, const QString& eLocation,
    const QString& eCategories, const QString& eBody, const QString& eAttachFileName,
    const AppointmentExtras* extras = nullptr);

// What a Notes to-do says beyond subject, due date, categories and body.
struct TaskExtras {
    automation::Variant startDate; // StartDate
    int importance = -1; // Outlook's: 0 low, 1 normal, 2 high; -1 when Notes has none
    automation::Variant completedOn; // CompletedDateTime: the task is complete
    automation::Variant reminderTime; // the alarm's time
};

// Throws AutomationError when a step fails (the task is then not saved). The extras are
// additions: one that Outlook refuses is left out, and the task is still saved.
void CreateToDoItem(exporting::frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eSubject,
    const automation::Variant& eDueDate, const QString& eCategories, const QString& eBody,
    const TaskExtras& extras = {});

void CreateJournalItem(exporting::frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eSubject,
    const QString& eBody, const automation::Variant& eTimeCreated);

// Plugs the calendar, task and journal writers into a progress window.
void InstallPimWriters(exporting::frmSave& w);

} // namespace pim
