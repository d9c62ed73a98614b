#include "pim/pim_writers.h"

#include "automation/notes.h"
#include "automation/outlook.h"
#include "common/program_state.h"
#include "common/ui_seams.h"
#include "common/value_text.h"
#include "export/item_writer.h"
#include "mail/mail_body.h"
#include "mail/mail_writers.h"
#include "pim/calendar_entry.h"

namespace pim {

using automation::NotesDocument;
using automation::Variant;
using exporting::frmSave;
using exporting::Phase;

namespace {
    // Writers try every step even when an earlier one failed; the journal writer lets the user
    // interface process pending events once the item exists.
    struct Writer : exporting::ItemWriter {
        using ItemWriter::ItemWriter;
        void create(const QString& storeID, std::int16_t folder, automation::OlItemType kind)
        {
            ItemWriter::create(storeID, folder, kind);
            common::DoEvents();
        }
    };

    // A date value of the document; text that is empty stays empty text.
    Variant dateValue(const NotesDocument& doc, const char* item)
    {
        const Variant v = doc.GetItemValue(item).first();
        if (v.type() == Variant::Type::Text)
            return Variant(common::TrimBlanks(QString::fromStdString(v.toText())).toStdString());
        return v;
    }
    QString text(const NotesDocument& doc, const char* item) { return common::ItemText(doc, item); }

    void writeCalendarDocument(frmSave& w, Phase, std::int32_t i)
    {
        const NotesDocument& doc = *common::Program().NotesDoc;
        w.ShowProgress(common::ValueText(doc.GetItemValue("Subject")), i);
        WriteCalendarDocument(w, doc);
    }

    void writeTaskDocument(frmSave& w, Phase, std::int32_t i)
    {
        const NotesDocument& doc = *common::Program().NotesDoc;
        w.ShowProgress(common::ValueText(doc.GetItemValue("Subject")), i);
        TaskExtras extras;
        extras.startDate = dateValue(doc, "StartDate");
        const QString importance = text(doc, "Importance");
        if (importance == QLatin1String("1") || importance == QLatin1String("2") || importance == QLatin1String("3"))
            extras.importance = 3 - importance.toInt(); // Notes 1 high .. 3 low
        extras.completedOn = dateValue(doc, "CompletedDateTime");
        if (text(doc, "$Alarm") == QLatin1String("1"))
            extras.reminderTime = dateValue(doc, "$AlarmTime");
        CreateToDoItem(w, w.PstStoreId, 13, text(doc, "Subject"), dateValue(doc, "DueDate"), text(doc, "Categories"),
            text(doc, "Body"), extras);
    }

    void writeJournalDocument(frmSave& w, Phase, std::int32_t)
    {
        const NotesDocument& doc = *common::Program().NotesDoc;
        CreateJournalItem(w, w.PstStoreId, 12, text(doc, "Subject"), text(doc, "Body"), dateValue(doc, "TimeCreated"));
    }
} // namespace

void CreateCalendarItem(frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eSubject,
    const Variant& eStart, const Variant& eEnd, const QString& eLocation, const QString& eCategories,
    const QString& eBody, const QString& eAttachFileName, const AppointmentExtras* extras)
{
    Writer x(w);
    x.create(storeID, FolderName, automation::OlItemType::Appointment);
    x.set("Subject", eSubject);
    x.set("Start", eStart);
    if (!common::IsEmptyValue(eEnd))
        x.set("End", eEnd);
    else
        x.step([&] { x.item().Set("End", x.item().Get("End")); });
    if (extras)
        ApplyAppointmentExtras(*extras, x);
    x.set("Location", eLocation);
    x.set("Categories", eCategories);
    x.set("Body", eBody);
    mail::SetRichBody(w, eSubject, false);
    mail::AddAttachments(w, eAttachFileName);
    x.save();
}

void CreateToDoItem(frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eSubject,
    const Variant& eDueDate, const QString& eCategories, const QString& eBody, const TaskExtras& extras)
{
    // Unlike the other writers this one lets a failure through: the step that fails ends the
    // writer, the task is not saved, and the tasks phase's rule decides what follows. An empty
    // due date is no failure; the task then has no due date.
    struct ClearItem {
        frmSave& w;
        ~ClearItem() { w.CurrentItem.reset(); }
    } clear { w };
    w.CurrentItem = exporting::NewItem(w, storeID, FolderName, automation::OlItemType::Task);
    common::DoEvents();
    automation::RDOMail& item = *w.CurrentItem;
    item.Set("Subject", Variant(eSubject.toStdString()));
    item.Set("DueDate", eDueDate);
    item.Set("Categories", Variant(eCategories.toStdString()));
    item.Set("Body", Variant(eBody.toStdString()));
    mail::SetRichBody(w, eSubject, false);
    const auto optional = [&](const char* property, const Variant& value) {
        try {
            item.Set(property, value);
        } catch (const automation::AutomationError&) {
            // Left out; the task keeps the rest.
        }
    };
    if (!common::IsEmptyValue(extras.startDate))
        optional("StartDate", extras.startDate);
    if (extras.importance >= 0)
        optional("Importance", Variant(std::int32_t(extras.importance)));
    if (!common::IsEmptyValue(extras.completedOn)) {
        // Outlook's completed task: complete, status 2 (olTaskComplete), 100 percent.
        optional("Complete", Variant(true));
        optional("Status", Variant(std::int32_t(2)));
        optional("PercentComplete", Variant(std::int32_t(100)));
        optional("DateCompleted", extras.completedOn);
    }
    if (!common::IsEmptyValue(extras.reminderTime)) {
        optional("ReminderTime", extras.reminderTime);
        optional("ReminderSet", Variant(true));
    }
    item.Save();
    w.NoteItemSaved(frmSave::DefaultFolderPath(FolderName));
}

void CreateJournalItem(frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eSubject,
    const QString& eBody, const Variant& eTimeCreated)
{
    Writer x(w);
    x.create(storeID, FolderName, automation::OlItemType::Post);
    x.set("Subject", eSubject);
    x.set("Body", eBody);
    mail::SetRichBody(w, eSubject, false);
    x.set("Start", eTimeCreated);
    x.set("Color", Variant(std::int16_t(1)));
    x.set("Left", Variant(std::int16_t(300)));
    x.set("Top", Variant(std::int16_t(400)));
    x.set("MessageClass", Variant("IPM.StickyNote"));
    x.save();
}

void InstallPimWriters(frmSave& w)
{
    w.setDocumentWriter(Phase::Calendar, writeCalendarDocument);
    w.setDocumentWriter(Phase::Tasks, writeTaskDocument);
    w.setDocumentWriter(Phase::Journal, writeJournalDocument);
}

} // namespace pim
