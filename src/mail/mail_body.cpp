#include "mail/mail_body.h"

#include "automation/notes.h"
#include "automation/outlook.h"
#include "common/failure_rule.h"
#include "common/global.h"
#include "common/program_state.h"
#include "common/value_text.h"
#include "export/frm_save.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <atomic>
#include <memory>
#include <optional>

namespace mail {

namespace {
    enum class Never { Reached };

    QByteArray md5(const QString& text) { return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5); }

    // The message IDs of a Notes item's text ("<a@b> <c@d>"), in order.
    QStringList messageIds(const QString& text)
    {
        QStringList ids;
        static const QRegularExpression id(QStringLiteral("<[^<>\\s]+>"));
        for (auto it = id.globalMatch(text); it.hasNext();)
            ids << it.next().captured(0);
        return ids;
    }

    QString firstValue(const automation::NotesDocument& doc, const char* item)
    {
        return doc.HasItem(item) ? common::ValueText(doc.GetItemValue(item)).trimmed() : QString();
    }

    // A message ID for a value that may lack its angle brackets.
    QString bracketed(const QString& id)
    {
        if (id.isEmpty() || id.startsWith(QLatin1Char('<')))
            return id;
        return QLatin1Char('<') + id + QLatin1Char('>');
    }

    // Notes mail that never passed through the Internet has no Message-ID: the document's UNID
    // names it, under a domain that can be no real one (RFC 2606).
    QString unidMessageId(const QString& unid)
    {
        return unid.isEmpty() ? QString() : QLatin1Char('<') + unid.toUpper() + QStringLiteral("@notes.invalid>");
    }

    QStringList fromStd(const std::vector<std::string>& ids)
    {
        QStringList out;
        for (const auto& id : ids)
            out << QString::fromStdString(id);
        return out;
    }

    // What a mail says it is and answers: its own Message-ID, the one it answers and the thread
    // down to that one.
    struct Identity {
        QString messageId, inReplyTo;
        QStringList chain;
    };

    // Replies that name their original by UNID are followed up this far; a longer thread keeps
    // the part below (and a $Ref loop ends here).
    constexpr int MaxThreadDepth = 64;

    Identity identityOf(const automation::NotesDocument& doc, const automation::NotesMailIdentity& headers, int depth);

    // The original a reply names by UNID, as it is written itself when it is in the database.
    // Originals already looked up are remembered for the database open (a thread's replies name
    // the same ones again, each reply its whole chain), a bounded number of them.
    std::optional<Identity> parentByUnid(const QString& unid, int depth)
    {
        const auto db = common::Program().NotesDb;
        if (!db || unid.isEmpty() || depth >= MaxThreadDepth)
            return std::nullopt;
        struct Originals {
            std::weak_ptr<automation::NotesDatabase> db;
            QHash<QString, std::optional<Identity>> byUnid;
        };
        thread_local Originals originals;
        if (originals.db.lock() != db) {
            originals.byUnid.clear();
            originals.db = db;
        }
        const QString key = unid.toUpper();
        if (const auto it = originals.byUnid.constFind(key); it != originals.byUnid.constEnd())
            return *it;
        std::optional<Identity> found;
        try {
            if (const auto parent = db->GetDocumentByUNID(unid.toStdString()))
                found = identityOf(*parent, parent->ConvertToMIME("").identity, depth + 1);
        } catch (const automation::AutomationError&) {
            // an unreadable original: the reply still names it by UNID
        }
        if (originals.byUnid.size() >= 20000)
            originals.byUnid.clear();
        originals.byUnid.insert(key, found);
        return found;
    }

    // The headers' Message-ID, else $MessageID, else the UNID form; In-Reply-To, else
    // $InReplyTo, else $Ref. An original named by UNID and found in the database is named by its
    // own Message-ID and lends the reply its thread, so that both index the same conversation.
    Identity identityOf(const automation::NotesDocument& doc, const automation::NotesMailIdentity& headers, int depth)
    {
        Identity id;
        id.messageId = QString::fromStdString(headers.messageId);
        if (id.messageId.isEmpty())
            id.messageId = bracketed(firstValue(doc, "$MessageID"));
        if (id.messageId.isEmpty())
            id.messageId = unidMessageId(QString::fromStdString(doc.UniversalID()));

        QString parentUnid;
        if (!headers.inReplyTo.empty()) {
            id.inReplyTo = QString::fromStdString(headers.inReplyTo.front());
        } else if (const QString value = firstValue(doc, "$InReplyTo"); !value.isEmpty()) {
            // Notes keeps the original's Message-ID here, or (some versions) its UNID.
            static const QRegularExpression unid(QStringLiteral("^[0-9A-Fa-f]{32}$"));
            if (unid.match(value).hasMatch())
                parentUnid = value;
            else
                id.inReplyTo = bracketed(value);
        } else {
            parentUnid = firstValue(doc, "$Ref");
        }
        QStringList parentChain;
        if (!parentUnid.isEmpty()) {
            if (const auto parent = parentByUnid(parentUnid, depth)) {
                id.inReplyTo = parent->messageId;
                parentChain = parent->chain;
                parentChain << parent->messageId;
            } else {
                id.inReplyTo = unidMessageId(parentUnid);
            }
        }

        id.chain = fromStd(headers.references);
        if (id.chain.isEmpty())
            id.chain = messageIds(firstValue(doc, "$References"));
        if (id.chain.isEmpty())
            id.chain = parentChain.isEmpty() ? messageIds(id.inReplyTo) : parentChain;
        else if (const QStringList parent = messageIds(id.inReplyTo);
                 !parent.isEmpty() && id.chain.last() != parent.first())
            id.chain << parent.first();
        return id;
    }

    void setIdentity(exporting::frmSave& w, common::Routine<Never>& r, const automation::NotesDocument& doc,
        const automation::NotesMimeBody& body, const QString& subject)
    {
        automation::RDOMail& item = *w.CurrentItem;
        Identity id;
        r.step([&] { id = identityOf(doc, body.identity, 0); });
        if (!body.headers.empty())
            r.step([&] { item.Set("TransportMessageHeaders", automation::Variant(body.headers)); });
        if (!id.messageId.isEmpty())
            r.step([&] { item.Set("InternetMessageId", automation::Variant(id.messageId.toStdString())); });
        if (!id.inReplyTo.isEmpty())
            r.step([&] { item.Set("InReplyToId", automation::Variant(id.inReplyTo.toStdString())); });
        if (!id.chain.isEmpty())
            r.step([&] {
                item.Set("InternetReferences", automation::Variant(id.chain.join(QLatin1Char(' ')).toStdString()));
            });
        r.step([&] { item.Set("ConversationTopic", automation::Variant(ConversationTopic(subject).toStdString())); });
        if (!id.messageId.isEmpty())
            r.step([&] {
                item.Set("ConversationIndex",
                    automation::Variant(ConversationIndex(id.chain, id.messageId).toHex().toUpper().toStdString()));
            });
    }

    // Writes an inline part into a new file of the run's temporary folder and attaches it.
    void attachInline(exporting::frmSave& w, const automation::NotesMimePart& part)
    {
        static std::atomic<unsigned> counter { 0 };
        QString problem;
        const QString folder = common::RunTempFolder(&problem);
        if (folder.isEmpty())
            throw automation::AutomationError(
                "frmSave", "GetTempFolder", "no temporary folder: " + problem.toStdString());
        const QString path = folder + QStringLiteral("inline-%1").arg(counter++);
        QFile file(path);
        const bool written = file.open(QIODevice::NewOnly | QIODevice::WriteOnly)
            && file.write(part.bytes->data(), static_cast<qint64>(part.bytes->size()))
                == static_cast<qint64>(part.bytes->size())
            && file.flush();
        file.close();
        try {
            if (!written)
                throw automation::AutomationError(
                    "frmSave", "AddInline", path.toStdString() + ": " + file.errorString().toStdString());
            w.CurrentItem->Attachments()->AddInline(
                path.toStdString(), part.fileName, part.contentType, part.contentId);
        } catch (...) {
            QFile::remove(path);
            throw;
        }
        QFile::remove(path);
    }
} // namespace

void SetRichBody(exporting::frmSave& w, const QString& subject, bool mail)
{
    const auto doc = common::Program().NotesDoc;
    if (!doc || !w.CurrentItem)
        return;
    common::Routine<Never> r;
    r.onErrorSkip();
    automation::NotesMimeBody body;
    r.step([&] { body = doc->ConvertToMIME("Body"); });
    if (!body.html.empty()) {
        r.step([&] { w.CurrentItem->Set("HTMLBody", automation::Variant(std::move(body.html))); });
        // The HTML made from a plain text body is no native one.
        r.step([&] { w.CurrentItem->Set("BodyFormat", automation::Variant(std::int32_t(body.htmlNative ? 2 : 1))); });
        for (const auto& part : body.inlineParts) {
            if (!part.bytes)
                continue;
            if (!r.step([&] { attachInline(w, part); }))
                w.NoteNotWritten(
                    QStringLiteral("picture \"%1\" of the body could not be attached: %2")
                        .arg(QString::fromStdString(part.fileName), QString::fromStdString(r.lastError())));
        }
    }
    if (mail)
        setIdentity(w, r, *doc, body, subject);
}

QByteArray ConversationIndex(const QStringList& references, const QString& messageId)
{
    const QStringList chain = references.isEmpty() ? QStringList { messageId } : references + QStringList { messageId };
    // Header block: reserved 0x01, five bytes standing for the thread's start time, then its GUID.
    const QByteArray root = md5(chain.first());
    QByteArray index;
    index += char(0x01);
    index += md5(QStringLiteral("time:") + chain.first()).left(5);
    index += root;
    // A child block per later message: a time difference with its high bit (the difference's
    // unit) clear, a random nibble and a sequence nibble, here all from the message's ID.
    for (qsizetype i = 1; i < chain.size(); ++i) {
        QByteArray block = md5(chain[i]).left(5);
        block[0] = static_cast<char>(block[0] & 0x7F);
        index += block;
    }
    return index;
}

QString ConversationTopic(const QString& subject)
{
    static const QRegularExpression prefix(
        QStringLiteral("^\\s*(?:re|fw|fwd|aw|wg|sv|vs|antw|tr)(?:\\[\\d+\\])?\\s*:\\s*"),
        QRegularExpression::CaseInsensitiveOption);
    QString topic = subject;
    for (auto m = prefix.match(topic); m.hasMatch(); m = prefix.match(topic))
        topic.remove(0, m.capturedLength());
    return topic.trimmed();
}

} // namespace mail
