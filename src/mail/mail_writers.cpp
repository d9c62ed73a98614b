#include "mail/mail_writers.h"

#include "mail/mail_body.h"

#include "automation/notes.h"
#include "automation/outlook.h"
#include "common/failure_rule.h"
#include "common/global.h"
#include "common/program_state.h"
#include "common/ui_seams.h"
#include "common/value_text.h"
#include "export/item_writer.h"
#include "names/name_resolver.h"

#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <unistd.h>

namespace mail {

using automation::AutomationError;
using automation::NotesDocument;
using automation::Variant;
using exporting::frmSave;
using exporting::Phase;

namespace {
    enum class Never { Reached };

    // The sender properties, set on the message in this order: the four of the sender's address
    // and name, then the two address types. Outlook replies to an SMTP address, and shows a
    // Notes name as it is.
    struct SenderTag {
        std::uint32_t tag;
        QString names::Addressee::*value;
    };
    constexpr SenderTag SenderTags[]
        = { { 0x0C1F001E, &names::Addressee::address }, { 0x0C1A001E, &names::Addressee::displayName },
              { 0x0065001E, &names::Addressee::address }, { 0x0042001E, &names::Addressee::displayName },
              { 0x0C1E001E, &names::Addressee::addressType }, { 0x0064001E, &names::Addressee::addressType } };

    // Steps 2 to 9 of both writers, once the item exists.
    // sent: false for a draft, which Outlook then keeps unsent and editable (a mend: drafts
    // were stored as sent, read-only messages).
    void fillAndSave(frmSave& w, exporting::ItemWriter& x, const names::Addressee& eFrom, const QString& eSubject,
        const QString& eTo, const QString& eCC, const QString& eBCC, const Variant& eDate, const QString& eBody,
        const QString& eAttachFileName, bool sent = true)
    {
        x.set("Sent", Variant(sent));
        x.set("Subject", eSubject);
        x.set("Body", eBody);
        SetRichBody(w, eSubject, true); // HTML, inline pictures, Internet identity
        x.set("CC", eCC);
        x.set("BCC", eBCC);
        std::shared_ptr<automation::RDORecipient> recipient;
        x.step([&] { recipient = x.item().Recipients()->Add(eTo.toStdString()); });
        x.step([&] {
            if (recipient)
                recipient->Resolve();
        });
        x.set("To", eTo);

        // An empty date means today's date, with no time of day.
        Variant date = eDate;
        if (common::IsEmptyValue(date)) {
            const QDate today = common::Now().date();
            date = Variant(automation::DateTime {
                automation::DateTime::Kind::DateOnly, today.year(), today.month(), today.day() });
        }
        x.set("SentOn", date);
        x.set("ReceivedTime", date);
        if (w.CurrentExtras.importance != 1)
            x.set("Importance", Variant(w.CurrentExtras.importance));
        if (w.CurrentExtras.followUp) {
            x.set("FlagStatus", Variant(std::int32_t(2))); // followupFlagged
            x.set("FlagIcon", Variant(std::int32_t(6))); // red
            x.set("FlagRequest", QStringLiteral("Follow up"));
        }

        AddAttachments(w, eAttachFileName);

        std::shared_ptr<automation::MAPIUtils> utils;
        x.step([&] { utils = automation::CreateObjectAs<automation::MAPIUtils>("Redemption.MAPIUtils"); });
        // A sender without a name is shown by its address; no address, no sender.
        names::Addressee sender;
        if (!eFrom.address.isEmpty())
            sender = { eFrom.displayName.isEmpty() ? eFrom.address : eFrom.displayName, eFrom.address,
                eFrom.addressType, eFrom.resolved };
        for (const SenderTag& t : SenderTags)
            x.step([&] {
                if (!utils)
                    throw AutomationError("MAPIUtils", "HrSetOneProp", "no MAPI utility object");
                utils->HrSetOneProp(*x.item().MAPIOBJECT(), t.tag, Variant((sender.*t.value).toStdString()), true);
            });
        x.save(QStringLiteral("a message \"%1\"").arg(eSubject));
    }

    // Where an attachment is extracted: a new numbered file in the run's temporary folder. The
    // attachment's own name is never the file's name: it may be no valid file name here (92
    // Japanese characters are 268 bytes, too long for one), and two may share a name.
    QString attachmentPath()
    {
        static std::atomic<unsigned> counter { 0 };
        QString problem;
        const QString run = common::RunTempFolder(&problem);
        if (run.isEmpty())
            throw AutomationError(
                "frmSave", "GetTempFolder", "no temporary folder for the attachments: " + problem.toStdString());
        return run + QStringLiteral("attachment-%1").arg(counter++);
    }

    // The name an attachment keeps in the item: only the name part of its file name (one
    // holding separators must not read as a path), "attachment" for none, "." or "..".
    QString attachmentName(const QString& fileName)
    {
        const QString name = common::FileNameFromPath(fileName);
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            return QStringLiteral("attachment");
        return name;
    }

    // The names of the files extracted and not yet attached, by path.
    QHash<QString, QString>& extractedNames()
    {
        static QHash<QString, QString> names;
        return names;
    }

    // "." and empty text in an Internet address item: no Internet address at this position,
    // the Notes name at the same position stands for it.
    bool isPlaceholder(const QString& value) { return value == QLatin1String(".") || value.isEmpty(); }

    QStringList allValues(const NotesDocument& doc, const char* item)
    {
        QStringList out;
        const Variant v = doc.GetItemValue(item);
        if (v.isArray()) {
            for (const auto& e : v.array())
                out << common::ValueText(e);
        } else {
            out << common::ValueText(v);
        }
        return out;
    }

    // A recipient list from the Notes name item and the Internet address item beside it, each
    // position resolved from both: the Internet address where the position has one (a
    // placeholder stands for none), else the Notes name as the run's names know it.
    QString recipientList(
        names::NameResolver& names, const NotesDocument& doc, const char* internetItem, const char* notesItem)
    {
        const QStringList y = doc.HasItem(notesItem) ? allValues(doc, notesItem) : QStringList();
        const QStringList x = doc.HasItem(internetItem) ? allValues(doc, internetItem) : QStringList();
        QStringList entries;
        for (qsizetype j = 0; j < std::max(x.size(), y.size()); ++j) {
            const QString entry = names::AddresseeEntry(names.Resolve(j < y.size() ? y[j].trimmed() : QString(),
                j < x.size() && !isPlaceholder(x[j]) ? x[j].trimmed() : QString()));
            if (!entry.isEmpty())
                entries << entry;
        }
        return entries.join(QLatin1Char(';'));
    }

    std::int16_t defaultFolderOf(Phase phase)
    {
        switch (phase) {
        case Phase::Inbox:
            return 6;
        case Phase::SentItems:
            return 5;
        case Phase::Drafts:
            return 16;
        case Phase::DeletedItems:
            return 3;
        default:
            return 0;
        }
    }

    // The per-document steps of a mail phase, for the open document Program().NotesDoc.
    void writeMailDocument(frmSave& w, Phase phase, std::int32_t i)
    {
        auto& g = common::Program();
        const NotesDocument& doc = *g.NotesDoc;
        const bool custom = phase == Phase::CustomFolders;
        auto first = [&](const char* item) {
            return doc.HasItem(item) ? common::ValueText(doc.GetItemValue(item)) : QString();
        };

        common::Routine<Never> r;
        r.onErrorSkip();
        QString subject, cc, bcc, to, body;
        names::Addressee sender;
        Variant date;
        r.step([&] { subject = first("Subject"); });
        w.ShowProgress(subject, i);
        names::NameResolver& names = *w.Names;
        r.step([&] { cc = recipientList(names, doc, "InetCopyTo", "CopyTo"); });
        r.step([&] { bcc = recipientList(names, doc, "InetBlindCopyTo", "BlindCopyTo"); });
        r.step([&] {
            const QString internet = first("INetFrom").trimmed();
            sender = names.Resolve(first("From"), isPlaceholder(internet) ? QString() : internet);
        });
        r.step([&] { to = recipientList(names, doc, "InetSendTo", "SendTo"); });
        r.step([&] {
            if (doc.HasItem("PostedDate"))
                date = doc.GetItemValue("PostedDate").first();
        });
        r.step([&] { body = first("Body"); });
        // Notes' Importance: "1" high, "2" normal, "3" low.
        r.step([&] {
            const QString importance = first("Importance").trimmed();
            w.CurrentExtras.importance = importance == QLatin1String("1") ? 2
                : importance == QLatin1String("3")                        ? 0
                                                                          : 1;
        });

        const QString attachments = ExtractAttachments(w, doc);
        if (custom)
            CreateEmailItem(w, g.ViewName, sender, common::TrimBlanks(subject), common::TrimBlanks(to), cc, bcc, date,
                common::TrimBlanks(body), attachments);
        else
            CreateDefaultEmailItem(w, w.PstStoreId.trimmed(), defaultFolderOf(phase), sender,
                common::TrimBlanks(subject), common::TrimBlanks(to), cc, bcc, date, common::TrimBlanks(body),
                attachments);
    }

    // The subfolder of that name, or none.
    std::shared_ptr<automation::RDOFolder> subfolder(automation::RDOFolder& parent, const QString& name)
    {
        auto folders = parent.Folders();
        for (std::int32_t k = 1; k <= folders->Count(); ++k)
            if (auto f = folders->Item(k); f && f->Name() == name.toStdString())
                return f;
        return nullptr;
    }

    // The folder at a "\"-separated path below the top of the run's own store ("Projects\2009").
    // The store is found by its entry ID, never by its display name, which another store
    // opened in the same second may share. Missing levels are made when make is set; otherwise
    // a missing level fails.
    std::shared_ptr<automation::RDOFolder> storeFolder(frmSave& w, const QString& path, bool make)
    {
        if (!w.RdoSession)
            throw AutomationError("frmSave", "RdoSession", "no session");
        auto folder = w.RdoSession->GetStoreFromID(w.PstStoreId.toStdString())->IPMRootFolder();
        for (const QString& level : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
            auto next = subfolder(*folder, level);
            if (!next && !make)
                throw AutomationError("RDOFolder", "Folders", "no folder \"" + path.toStdString() + "\" in the PST");
            folder = next ? next : folder->Folders()->Add(level.toStdString(), 6);
        }
        return folder;
    }

    // The custom-folder phase makes each folder before its messages: parents come first, as
    // the names are sorted. A parent level that is no folder of the database ("Archive" of
    // "Archive\Old" when only Archive\Old is a folder) is made too, so that the messages
    // below it have a place.
    void makeFolder(frmSave& w, const QString& name)
    {
        storeFolder(w, name, true);
        common::DoEvents();
    }
} // namespace

void CreateEmailItem(frmSave& w, const QString& FolderName, const names::Addressee& eFrom, const QString& eSubject,
    const QString& eTo, const QString& eCC, const QString& eBCC, const Variant& eDate, const QString& eBody,
    const QString& eAttachFileName)
{
    exporting::ItemWriter x(w);
    x.madeIn(QLatin1Char('\\') + FolderName);
    x.step([&] { w.CurrentItem = storeFolder(w, FolderName, false)->Items()->Add(automation::OlItemType::Mail); });
    fillAndSave(w, x, eFrom, eSubject, eTo, eCC, eBCC, eDate, eBody, eAttachFileName);
}

void CreateDefaultEmailItem(frmSave& w, const QString& storeID, std::int16_t FolderName, const names::Addressee& eFrom,
    const QString& eSubject, const QString& eTo, const QString& eCC, const QString& eBCC, const Variant& eDate,
    const QString& eBody, const QString& eAttachFileName)
{
    exporting::ItemWriter x(w);
    x.create(storeID, FolderName, automation::OlItemType::Mail);
    const bool draft = FolderName == static_cast<std::int16_t>(automation::OlDefaultFolder::Drafts);
    fillAndSave(w, x, eFrom, eSubject, eTo, eCC, eBCC, eDate, eBody, eAttachFileName, !draft);
}

QString ExtractAttachments(frmSave& w, const NotesDocument& doc)
{
    common::Routine<Never> r;
    r.onErrorSkip();
    QString list;
    bool embedded = false;
    r.step([&] { embedded = doc.HasEmbedded(); });
    if (!embedded)
        return list;
    std::vector<std::shared_ptr<automation::NotesItem>> items;
    r.step([&] { items = doc.Items(); });
    // From the last item down, so the attachments reach the item in reverse order.
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (!*it || (*it)->Type() != automation::NotesItemAttachment)
            continue;
        QString name;
        const bool extracted = r.step([&] {
            name = common::ValueText((*it)->Values());
            const QString path = attachmentPath();
            // The item's own file when the client offers it: two attachments may share a name.
            auto object = (*it)->Attachment();
            if (!object)
                object = doc.GetAttachment(name.toStdString());
            if (!object)
                throw AutomationError("NotesDocument", "GetAttachment", "no attachment " + name.toStdString());
            object->ExtractFile(path.toStdString());
            extractedNames().insert(path, attachmentName(name));
            list += QLatin1Char('|') + path;
        });
        if (!extracted)
            w.NoteNotWritten(
                QStringLiteral("attachment \"%1\" of document %2 could not be extracted: %3")
                    .arg(name, QString::fromStdString(doc.NoteID()), QString::fromStdString(r.lastError())));
    }
    return list;
}

void AddAttachments(frmSave& w, const QString& eAttachFileName)
{
    if (eAttachFileName.isEmpty())
        return;
    common::Routine<Never> r;
    r.onErrorSkip();
    const QStringList paths = eAttachFileName.mid(1).split(QLatin1Char('|'));
    common::DoEvents();
    for (const QString& path : paths) {
        // A file this run extracted goes by its attachment's name, any other by its own.
        const QString name = extractedNames().take(path);
        // Without an item the whole message is counted as not written.
        if (w.CurrentItem
            && !r.step([&] { w.CurrentItem->Attachments()->Add(path.toStdString(), name.toStdString()); }))
            w.NoteNotWritten(QStringLiteral("attachment \"%1\" could not be attached: %2")
                                 .arg(name.isEmpty() ? common::FileNameFromPath(path) : name,
                                     QString::fromStdString(r.lastError())));
        if (QFileInfo(path).isFile())
            QFile::remove(path);
    }
}

std::shared_ptr<automation::RDOFolder> OpenMAPIFolder(QString szPath)
{
    std::shared_ptr<automation::RDOFolder> result;
    auto application = automation::CreateObjectAs<automation::OutlookApplication>("Outlook.Application");
    if (szPath.startsWith(QLatin1Char('\\')))
        szPath.remove(0, 1);
    // The store's display name may itself hold "\": the first level is the longest prefix that
    // names an open store.
    bool first = true;
    while (!szPath.isEmpty()) {
        QString level;
        if (first) {
            auto ns = application->GetNamespace("MAPI");
            for (qsizetype cut = szPath.size(); cut > 0 && !result;
                 cut = szPath.lastIndexOf(QLatin1Char('\\'), cut - 1)) {
                try {
                    result = ns->Folders(szPath.left(cut).toStdString());
                    szPath = szPath.mid(cut + 1);
                } catch (const AutomationError&) {
                    if (cut <= 0)
                        throw;
                }
                if (cut <= 0)
                    break;
            }
            if (!result)
                throw AutomationError("Outlook", "Folders", "no store for " + szPath.toStdString());
            first = false;
            continue;
        }
        const auto cut = szPath.indexOf(QLatin1Char('\\'));
        level = cut < 0 ? szPath : szPath.left(cut);
        szPath = cut < 0 ? QString() : szPath.mid(cut + 1);
        result = result->Folders()->Item(level.toStdString());
        if (!result)
            throw AutomationError("Outlook", "Folders", "no folder " + level.toStdString());
    }
    return result;
}

void InstallMailWriters(frmSave& w)
{
    for (Phase p : { Phase::CustomFolders, Phase::Inbox, Phase::SentItems, Phase::Drafts, Phase::DeletedItems })
        w.setDocumentWriter(p, writeMailDocument);
    w.setFolderMaker(makeFolder);
}

} // namespace mail
