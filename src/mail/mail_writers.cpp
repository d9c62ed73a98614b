#include "mail/mail_writers.h"

#include "automation/notes.h"
#include "automation/outlook.h"
#include "common/failure_rule.h"
#include "common/global.h"
#include "common/program_state.h"
#include "common/ui_seams.h"
#include "common/value_text.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

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

    // The four sender properties, set on the message in this order, each to the sender text.
    constexpr std::uint32_t SenderTags[] = { 0x0C1F001E, 0x0C1A001E, 0x0065001E, 0x0042001E };

    // Steps 2 to 9 of both writers, once the item exists.
    void fillAndSave(frmSave& w, common::Routine<Never>& r, const QString& eFrom, const QString& eSubject,
        const QString& eTo, const QString& eCC, const QString& eBCC, const Variant& eDate, const QString& eBody,
        const QString& eAttachFileName)
    {
        auto item = [&]() -> automation::RDOMail& {
            if (!w.CurrentItem)
                throw AutomationError("frmSave", "CurrentItem", "no item was created");
            return *w.CurrentItem;
        };
        r.step([&] { item().Set("Sent", Variant(true)); });
        r.step([&] { item().Set("Subject", Variant(eSubject.toStdString())); });
        r.step([&] { item().Set("Body", Variant(eBody.toStdString())); });
        r.step([&] { item().Set("CC", Variant(eCC.toStdString())); });
        r.step([&] { item().Set("BCC", Variant(eBCC.toStdString())); });
        std::shared_ptr<automation::RDORecipient> recipient;
        r.step([&] { recipient = item().Recipients()->Add(eTo.toStdString()); });
        r.step([&] {
            if (recipient)
                recipient->Resolve();
        });
        r.step([&] { item().Set("To", Variant(eTo.toStdString())); });

        // An empty date means today's date, with no time of day.
        Variant date = eDate;
        if (date.isEmpty() || (date.type() == Variant::Type::Text && date.toText().empty())) {
            const QDate today = common::Now().date();
            date = Variant(automation::DateTime {
                automation::DateTime::Kind::DateOnly, today.year(), today.month(), today.day() });
        }
        r.step([&] { item().Set("SentOn", date); });
        r.step([&] { item().Set("ReceivedTime", date); });

        if (!eAttachFileName.isEmpty()) {
            const QStringList paths = eAttachFileName.mid(1).split(QLatin1Char('|'));
            common::DoEvents();
            for (const QString& path : paths) {
                r.step([&] { item().Attachments()->Add(path.toStdString()); });
                if (QFileInfo(path).isFile())
                    QFile::remove(path);
                // Each attachment was extracted into a folder of its own; remove it once empty.
                QDir().rmdir(QFileInfo(path).absolutePath());
            }
        }

        std::shared_ptr<automation::MAPIUtils> utils;
        r.step([&] { utils = automation::CreateObjectAs<automation::MAPIUtils>("Redemption.MAPIUtils"); });
        for (std::uint32_t tag : SenderTags)
            r.step([&] {
                if (!utils)
                    throw AutomationError("MAPIUtils", "HrSetOneProp", "no MAPI utility object");
                utils->HrSetOneProp(*item().MAPIOBJECT(), tag, Variant(eFrom.toStdString()), true);
            });
        r.step([&] { item().Save(); });
        w.CurrentItem.reset();
    }

    // A folder of its own below the temporary folder for each extracted attachment, so that two
    // attachments of the same name in one document both arrive under their own name.
    QString attachmentPath(const QString& fileName)
    {
        static std::atomic<unsigned> counter { 0 };
        const QString folder
            = common::GetTempFolder() + QStringLiteral("ferrymark-%1/%2/").arg(::getpid()).arg(counter++);
        QDir().mkpath(folder);
        // Only the name part: a file name holding separators must not leave the folder.
        return folder + common::FileNameFromPath(fileName);
    }

    bool isPlaceholder(const QString& value, bool emptyIsPlaceholder)
    {
        return value == QLatin1String(".") || (emptyIsPlaceholder && value.isEmpty());
    }

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

    // CC and BCC: the Internet addresses, with the Notes name where an entry has none.
    QString listRule(
        const NotesDocument& doc, const char* internetItem, const char* notesItem, bool custom, bool emptyIsPlaceholder)
    {
        if (!doc.HasItem(internetItem))
            return {};
        const QStringList x = allValues(doc, internetItem);
        const bool hasY = doc.HasItem(notesItem);
        const QStringList y = hasY ? allValues(doc, notesItem) : QStringList();
        if (x.size() == 1) {
            if (!isPlaceholder(x[0], emptyIsPlaceholder))
                return x[0];
            return hasY && !y.isEmpty() ? y[0] : QString();
        }
        // With several values, a custom folder's lists take only "." as a placeholder.
        const bool emptyCounts = custom ? false : emptyIsPlaceholder;
        QStringList entries;
        for (int j = 0; j < x.size(); ++j)
            entries << (isPlaceholder(x[j], emptyCounts) ? (hasY && j < y.size() ? y[j] : QString()) : x[j]);
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
        // Placeholder values: Deleted Items takes only "." (its empty entries are kept).
        const bool emptyIsPlaceholder = phase != Phase::DeletedItems;
        auto first = [&](const char* item) {
            return doc.HasItem(item) ? common::ValueText(doc.GetItemValue(item)) : QString();
        };

        common::Routine<Never> r;
        r.onErrorSkip();
        QString subject, cc, bcc, sender, to, body;
        Variant date;
        r.step([&] { subject = first("Subject"); });
        w.ShowProgress(subject, i);
        r.step([&] { cc = listRule(doc, "InetCopyTo", "CopyTo", custom, emptyIsPlaceholder); });
        r.step([&] { bcc = listRule(doc, "InetBlindCopyTo", "BlindCopyTo", custom, emptyIsPlaceholder); });
        r.step([&] { sender = first("From"); });
        r.step([&] { to = doc.HasItem("SendTo") ? allValues(doc, "SendTo").join(QLatin1Char(';')) : QString(); });
        r.step([&] {
            if (doc.HasItem("PostedDate"))
                date = doc.GetItemValue("PostedDate").first();
        });
        r.step([&] { body = first("Body"); });
        r.step([&] {
            if (doc.HasItem("INetFrom") && !isPlaceholder(first("INetFrom"), true))
                sender = first("INetFrom");
        });
        r.step([&] {
            if (doc.HasItem("InetSendTo") && !isPlaceholder(first("InetSendTo"), true))
                to = allValues(doc, "InetSendTo").join(QLatin1Char(';'));
        });

        QString attachments;
        bool embedded = false;
        r.step([&] { embedded = doc.HasEmbedded(); });
        if (embedded) {
            std::vector<std::shared_ptr<automation::NotesItem>> items;
            r.step([&] { items = doc.Items(); });
            for (auto it = items.rbegin(); it != items.rend(); ++it) {
                if (!*it || (*it)->Type() != automation::NotesItemAttachment)
                    continue;
                r.step([&] {
                    const QString name = common::ValueText((*it)->Values());
                    const QString path = attachmentPath(name);
                    auto object = doc.GetAttachment(name.toStdString());
                    if (!object)
                        throw AutomationError("NotesDocument", "GetAttachment", "no attachment " + name.toStdString());
                    object->ExtractFile(path.toStdString());
                    attachments += QLatin1Char('|') + path;
                });
            }
        }
        if (custom)
            CreateEmailItem(w, g.ViewName, common::TrimBlanks(sender), common::TrimBlanks(subject),
                common::TrimBlanks(to), cc, bcc, date, common::TrimBlanks(body), attachments);
        else
            CreateDefaultEmailItem(w, w.PstStoreId.trimmed(), defaultFolderOf(phase), common::TrimBlanks(sender),
                common::TrimBlanks(subject), common::TrimBlanks(to), cc, bcc, date, common::TrimBlanks(body),
                attachments);
    }

    // The custom-folder phase makes each folder before its messages: parents come first, as
    // the names are sorted.
    void makeFolder(frmSave& w, const QString& name)
    {
        auto& g = common::Program();
        const QStringList levels = name.split(QLatin1Char('\\'));
        if (levels.size() > 1) {
            const QString parentPath = name.left(name.lastIndexOf(QLatin1Char('\\')));
            auto parent = OpenMAPIFolder(QStringLiteral("\\") + g.MailboxName + QStringLiteral("\\") + parentPath);
            if (!parent)
                throw AutomationError("Outlook", "Folders", "no folder " + parentPath.toStdString());
            parent->Folders()->Add(levels.last().toStdString(), 6);
            common::DoEvents();
            return;
        }
        if (!w.RdoSession)
            throw AutomationError("RDOSession", "Stores", "no session");
        auto store = w.RdoSession->Stores()->GetStoreFromID(w.PstStoreId.toStdString());
        auto top = store->IPMRootFolder();
        auto folders = top->Folders();
        bool exists = false;
        for (std::int32_t k = 1; k <= folders->Count() && !exists; ++k)
            exists = folders->Item(k)->Name() == name.toStdString();
        if (!exists)
            folders->Add(name.toStdString(), 6);
        common::DoEvents();
    }
} // namespace

void CreateEmailItem(frmSave& w, const QString& FolderName, const QString& eFrom, const QString& eSubject,
    const QString& eTo, const QString& eCC, const QString& eBCC, const Variant& eDate, const QString& eBody,
    const QString& eAttachFileName)
{
    common::Routine<Never> r;
    r.onErrorSkip();
    r.step([&] {
        if (!w.RdoSession)
            throw AutomationError("frmSave", "RdoSession", "no session");
        auto folder = w.RdoSession->GetFolderFromPath(
            ("\\\\" + common::Program().MailboxName + QStringLiteral("\\") + FolderName).toStdString());
        w.CurrentItem = folder->Items()->Add(automation::OlItemType::Mail);
    });
    fillAndSave(w, r, eFrom, eSubject, eTo, eCC, eBCC, eDate, eBody, eAttachFileName);
}

void CreateDefaultEmailItem(frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& eFrom,
    const QString& eSubject, const QString& eTo, const QString& eCC, const QString& eBCC, const Variant& eDate,
    const QString& eBody, const QString& eAttachFileName)
{
    common::Routine<Never> r;
    r.onErrorSkip();
    r.step([&] {
        if (!w.RdoSession)
            throw AutomationError("frmSave", "RdoSession", "no session");
        w.CurrentItem = w.RdoSession->GetStoreFromID(storeID.toStdString())
                            ->GetDefaultFolder(FolderName)
                            ->Items()
                            ->Add(automation::OlItemType::Mail);
    });
    fillAndSave(w, r, eFrom, eSubject, eTo, eCC, eBCC, eDate, eBody, eAttachFileName);
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
