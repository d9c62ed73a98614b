#include "export/unfiled_mail.h"

#include "automation/notes.h"
#include "common/value_text.h"

#include <QStringList>

namespace exporting {

namespace {
    // The forms of the Notes mail template that hold a message.
    const QStringList MailForms { QStringLiteral("Memo"), QStringLiteral("Reply"), QStringLiteral("Reply With History"),
        QStringLiteral("Phone Message"), QStringLiteral("Delivery Report"), QStringLiteral("NonDelivery Report"),
        QStringLiteral("Return Receipt"), QStringLiteral("Trace Report") };

    // Forms whose documents the calendar, to-do, contacts and journal phases write.
    const QStringList CategoryForms { QStringLiteral("Appointment"), QStringLiteral("Notice"), QStringLiteral("Task"),
        QStringLiteral("TaskNotice"), QStringLiteral("Person"), QStringLiteral("Group"), QStringLiteral("JournalEntry"),
        QStringLiteral("JournalProfile") };

    bool hasValue(const automation::NotesDocument& doc, const char* item)
    {
        return doc.HasItem(item) && !common::ValueText(doc.GetItemValue(item)).trimmed().isEmpty();
    }

    // A document is mail by its form, or, without a form, by the fields only a message has.
    bool isMail(const automation::NotesDocument& doc, const QString& form)
    {
        if (!form.isEmpty())
            return MailForms.contains(form, Qt::CaseInsensitive);
        return hasValue(doc, "DeliveredDate") || hasValue(doc, "PostedDate") || hasValue(doc, "SendTo");
    }
} // namespace

UnfiledPlacement PlaceUnfiledDocument(
    const automation::NotesDocument& doc, bool inJunkFolder, const QString& noMembership)
{
    const QString form = common::ValueText(doc.GetItemValue("Form")).trimmed();
    // Profile documents ($Name "$profile_...") hold settings, not content; Notes' own
    // AllDocuments leaves them out too.
    if (common::ValueText(doc.GetItemValue("$Name")).startsWith(QStringLiteral("$profile"), Qt::CaseInsensitive)
        || CategoryForms.contains(form, Qt::CaseInsensitive))
        return {};
    if (!isMail(doc, form))
        return { UnfiledTarget::AllDocuments,
            QStringLiteral("a document of form \"%1\" that no exported folder or view lists, written as a message")
                .arg(form) };
    if (inJunkFolder)
        return { UnfiledTarget::JunkMail, QStringLiteral("in the Notes folder ($JunkMail)") };
    if (noMembership.isEmpty())
        return { UnfiledTarget::AllDocuments, QStringLiteral("in no exported folder or view of the database") };
    const QString because = QStringLiteral(" (%1)").arg(noMembership);
    if (hasValue(doc, "DeliveredDate"))
        return { UnfiledTarget::Inbox, QStringLiteral("received mail, by its DeliveredDate") + because };
    if (hasValue(doc, "PostedDate"))
        return { UnfiledTarget::SentItems, QStringLiteral("sent mail, by its PostedDate") + because };
    return { UnfiledTarget::Drafts, QStringLiteral("unsent mail: no PostedDate, no DeliveredDate") + because };
}

} // namespace exporting
