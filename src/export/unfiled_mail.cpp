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

    bool hasValue(const automation::NotesDocument& doc, const char* item)
    {
        return doc.HasItem(item) && !common::ValueText(doc.GetItemValue(item)).trimmed().isEmpty();
    }

    // A document is mail by its form, or, without a form, by the fields only a message has.
    bool isMail(const automation::NotesDocument& doc)
    {
        const QString form = common::ValueText(doc.GetItemValue("Form")).trimmed();
        if (!form.isEmpty())
            return MailForms.contains(form, Qt::CaseInsensitive);
        return hasValue(doc, "DeliveredDate") || hasValue(doc, "PostedDate") || hasValue(doc, "SendTo");
    }
} // namespace

UnfiledPlacement PlaceUnfiledDocument(
    const automation::NotesDocument& doc, bool inJunkFolder, const QString& noMembership)
{
    if (!isMail(doc))
        return {};
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
