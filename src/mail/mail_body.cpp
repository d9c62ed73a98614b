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

namespace mail {

namespace {
    enum class Never { Reached };

    QByteArray md5(const QString& text) { return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5); }

    // The body of a header field of an RFC 5322 header block, unfolded; empty when it has none.
    QString headerField(const QString& headers, const QString& name)
    {
        if (headers.isEmpty())
            return {};
        // Compiled once per field name: compiling a pattern costs more than matching it, and a
        // run asks for the same few fields of every message.
        thread_local QHash<QString, QRegularExpression> fields;
        auto it = fields.constFind(name);
        if (it == fields.constEnd())
            it = fields.insert(name,
                QRegularExpression(
                    QStringLiteral("^%1[ \\t]*:[ \\t]*(.*(?:\\r?\\n[ \\t].*)*)").arg(QRegularExpression::escape(name)),
                    QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption));
        const auto m = it->match(headers);
        if (!m.hasMatch())
            return {};
        static const QRegularExpression fold(QStringLiteral("\\r?\\n[ \\t]+"));
        QString value = m.captured(1);
        value.replace(fold, QStringLiteral(" "));
        return value.trimmed();
    }

    // The message IDs of a header body ("<a@b> <c@d>"), in order.
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

    void setIdentity(exporting::frmSave& w, common::Routine<Never>& r, const automation::NotesDocument& doc,
        const QString& headers, const QString& subject)
    {
        automation::RDOMail& item = *w.CurrentItem;
        QString messageId, inReplyTo, references;
        r.step([&] {
            messageId = headerField(headers, QStringLiteral("Message-ID"));
            if (messageId.isEmpty())
                messageId = bracketed(firstValue(doc, "$MessageID"));
            if (messageId.isEmpty())
                messageId = unidMessageId(QString::fromStdString(doc.UniversalID()));
        });
        r.step([&] {
            inReplyTo = headerField(headers, QStringLiteral("In-Reply-To"));
            if (inReplyTo.isEmpty()) {
                // Notes keeps the original's Message-ID here, or (some versions) its UNID.
                const QString value = firstValue(doc, "$InReplyTo");
                static const QRegularExpression unid(QStringLiteral("^[0-9A-Fa-f]{32}$"));
                inReplyTo = unid.match(value).hasMatch() ? unidMessageId(value) : bracketed(value);
            }
            if (inReplyTo.isEmpty())
                inReplyTo = unidMessageId(firstValue(doc, "$Ref"));
        });
        r.step([&] {
            references = headerField(headers, QStringLiteral("References"));
            if (references.isEmpty())
                references = firstValue(doc, "$References");
        });
        if (!headers.isEmpty())
            r.step([&] { item.Set("TransportMessageHeaders", automation::Variant(headers.toStdString())); });
        if (!messageId.isEmpty())
            r.step([&] { item.Set("InternetMessageId", automation::Variant(messageId.toStdString())); });
        if (!inReplyTo.isEmpty())
            r.step([&] { item.Set("InReplyToId", automation::Variant(inReplyTo.toStdString())); });
        QStringList chain = messageIds(references);
        if (chain.isEmpty())
            chain = messageIds(inReplyTo);
        else if (const QStringList parent = messageIds(inReplyTo); !parent.isEmpty() && chain.last() != parent.first())
            chain << parent.first();
        if (!chain.isEmpty())
            r.step([&] {
                item.Set("InternetReferences", automation::Variant(chain.join(QLatin1Char(' ')).toStdString()));
            });
        r.step([&] { item.Set("ConversationTopic", automation::Variant(ConversationTopic(subject).toStdString())); });
        if (!messageId.isEmpty())
            r.step([&] {
                item.Set("ConversationIndex",
                    automation::Variant(ConversationIndex(chain, messageId).toHex().toUpper().toStdString()));
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
        r.step([&] { w.CurrentItem->Set("HTMLBody", automation::Variant(body.html)); });
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
        setIdentity(w, r, *doc, QString::fromStdString(body.headers), subject);
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
