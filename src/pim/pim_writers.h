// Calendar, tasks and journal migration: the item writers and what their phases do with each
// document.
#pragma once

#include "automation/variant.h"
#include "export/frm_save.h"

#include <QString>

#include <cstdint>

namespace pim {

void CreateCalendarItem(exporting::frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eSubject,
    const automation::Variant& eStart, const automation::Variant& eEnd, const QString& eLocation,
    const QString& eCategories, const QString& eBody, const QString& eAttachFileName);

// Throws AutomationError when a step fails (the task is then not saved).
void CreateToDoItem(exporting::frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eSubject,
    const automation::Variant& eDueDate, const QString& eCategories, const QString& eBody);

void CreateJournalItem(exporting::frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eSubject,
    const QString& eBody, const automation::Variant& eTimeCreated);

// Plugs the calendar, task and journal writers into a progress window.
void InstallPimWriters(exporting::frmSave& w);

} // namespace pim
