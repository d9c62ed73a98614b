// The formatted body and the Internet identity of the item being written: what Notes gives for
// the open document's Body as Internet mail (HTML, its inline pictures, the headers it came
// with), and the Message-ID, In-Reply-To, References and conversation that Outlook threads by.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace exporting {
class frmSave;
}

namespace mail {

// Gives CurrentItem the HTML body of the open document (Program().NotesDoc) with its inline
// pictures as hidden attachments; for mail also its Internet headers, identity and conversation,
// subject being the item's subject. Every step that fails is skipped; an inline picture that
// cannot be attached is counted as not written. Does nothing without a document or an item.
void SetRichBody(exporting::frmSave& w, const QString& subject, bool mail);

// The conversation of a message ([MS-OXOMSG] 2.2.1.3): the header block (reserved byte, five
// bytes of time, a GUID) made from the thread's first message, then one five-byte child block
// per message after it down to this one (references, then the message's own ID); both derived
// from the message IDs, so a reply's index begins with its original's whole index.
QByteArray ConversationIndex(const QStringList& references, const QString& messageId);

// The subject without its reply and forward prefixes ("Re: ", "FW: ", "AW: ", ...).
QString ConversationTopic(const QString& subject);

} // namespace mail
