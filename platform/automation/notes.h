// The automation interface of a Notes client: session, database, view, document, item and
// embedded object, with the members the program calls. A failing member throws
// AutomationError; "none" is an empty pointer.
#pragma once

#include "automation.h"
#include "variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace automation {

class NotesDocument;
class NotesView;

// Item type number of a file attachment ($FILE).
inline constexpr int NotesItemAttachment = 1084;

class NotesEmbeddedObject;

class NotesItem {
public:
    virtual ~NotesItem() = default;
    virtual std::string Name() const = 0;
    virtual int Type() const = 0;
    // The item's values as an array; for an attachment, element 0 is the file name.
    virtual Variant Values() const = 0;
    // For an attachment item, its own file; none when the client cannot tell (callers then
    // look the file up by name, which is ambiguous when two attachments share one name).
    virtual std::shared_ptr<NotesEmbeddedObject> Attachment() const { return nullptr; }
};

class NotesEmbeddedObject {
public:
    virtual ~NotesEmbeddedObject() = default;
    virtual std::string Name() const = 0;
    virtual std::int64_t FileSize() const = 0;
    // Writes the decoded file to path.
    virtual void ExtractFile(const std::string& path) = 0;
};

// A body as Internet mail carries it (what Notes gives through ConvertToMIME and NotesMIMEEntity).
struct NotesMimePart {
    std::string contentId; // without angle brackets
    std::string contentType; // "image/jpeg"
    std::string fileName;
    std::shared_ptr<const std::string> bytes;
};
// What the Internet headers of a mail say it is and answers, message IDs each as "<id>";
// empty where the headers say nothing (or there are none).
struct NotesMailIdentity {
    std::string messageId;
    std::vector<std::string> inReplyTo;
    std::vector<std::string> references; // the thread from its first message down to the parent
};
struct NotesMimeBody {
    std::string html; // a whole HTML document in UTF-8 (its charset meta says so); empty for none
    std::string plain; // the text/plain part of a MIME body, UTF-8; empty when there is none
    std::vector<NotesMimePart> inlineParts; // referenced by "cid:" from the HTML
    std::string headers; // the Internet headers the mail arrived with, one per line; empty for none
    bool htmlNative = true; // false when the HTML was made from a plain text body
    NotesMailIdentity identity; // read from the headers
};

class NotesDocument {
public:
    virtual ~NotesDocument() = default;
    virtual std::string NoteID() const = 0;
    // The document's universal ID (32 hex digits), empty where the client does not know it.
    virtual std::string UniversalID() const { return {}; }
    virtual std::int32_t Size() const = 0;
    // Always an array; a missing item gives one empty text.
    virtual Variant GetItemValue(const std::string& itemName) const = 0;
    virtual bool HasItem(const std::string& itemName) const = 0;
    virtual bool HasEmbedded() const = 0;
    virtual std::vector<std::shared_ptr<NotesItem>> Items() const = 0;
    // The attachment of that file name, or none.
    virtual std::shared_ptr<NotesEmbeddedObject> GetAttachment(const std::string& fileName) const = 0;
    // What the client met in the document and could not take in: constructs it does not
    // understand and left out, with how often ("<objectref>", 3), and content it could not read,
    // one line each ("item Body: ..."). Empty where the client reads everything or cannot tell.
    virtual std::vector<std::pair<std::string, std::uint32_t>> IgnoredContent() const { return {}; }
    virtual std::vector<std::string> DamagedContent() const { return {}; }
    // The item as Internet mail: rich text rendered as HTML with its pictures as inline parts,
    // a native MIME body as it came; with the document's Internet headers and the identity they
    // give. An empty body where the item holds neither (or the client cannot tell): an item name
    // the document does not have ("") gives the headers and identity alone.
    virtual NotesMimeBody ConvertToMIME(const std::string& itemName) const
    {
        (void)itemName;
        return {};
    }
};

class NotesViewEntryCollection {
public:
    virtual ~NotesViewEntryCollection() = default;
    virtual std::int32_t Count() const = 0;
};

class NotesView {
public:
    virtual ~NotesView() = default;
    virtual std::string Name() const = 0;
    virtual std::vector<std::string> Aliases() const = 0;
    virtual bool IsFolder() const = 0;
    virtual std::shared_ptr<NotesViewEntryCollection> AllEntries() const = 0;
    // Why the client cannot tell which documents the view or folder holds (a folder the export
    // kept no membership of, a selection formula it cannot evaluate); empty when it can.
    virtual std::string MembershipUnknown() const { return {}; }
    virtual std::shared_ptr<NotesDocument> GetFirstDocument() const = 0;
    virtual std::shared_ptr<NotesDocument> GetNextDocument(const NotesDocument& current) const = 0;
};

class NotesDatabase {
public:
    virtual ~NotesDatabase() = default;
    virtual std::string Title() const = 0;
    // NotesDatabase type number: 11 personal journal, 2 mail file, 10 address book, 13 standard.
    virtual int Type() const = 0;
    // Every view and folder; an empty list means the database holds no views.
    virtual std::vector<std::shared_ptr<NotesView>> Views() const = 0;
    // The view or folder of that name or alias, or none.
    virtual std::shared_ptr<NotesView> GetView(const std::string& name) const = 0;
    // Throws AutomationError for an unknown note ID.
    virtual std::shared_ptr<NotesDocument> GetDocumentByID(const std::string& noteId) const = 0;
    // The document of that universal ID (32 hex digits, any case), or none: unlike Notes, which
    // raises an error, since a reply's original is often not in the same database.
    virtual std::shared_ptr<NotesDocument> GetDocumentByUNID(const std::string& unid) const
    {
        (void)unid;
        return nullptr;
    }
    // The note IDs of every document (design notes excluded), in the database's order; what
    // AllDocuments walks in Notes. Empty where the client cannot list them.
    virtual std::vector<std::string> AllDocumentIDs() const { return {}; }
    // Says that the documents of these note IDs will be fetched with GetDocumentByID next, in
    // this order: a client may read them ahead. Fetching others, or in another order, stays
    // correct; an empty list takes the notice back.
    virtual void ReadAhead(const std::vector<std::string>& noteIds) const { (void)noteIds; }
    // What the client noticed about the database as a whole that a person should know (a note
    // ID written twice, and the ID the second document is known by), one line each.
    virtual std::vector<std::string> ReaderFindings() const { return {}; }
};

// Registered as "Notes.NotesSession".
class NotesSession : public Object {
public:
    // Opens the database at path on the given server ("" is the local machine).
    virtual std::shared_ptr<NotesDatabase> GetDatabase(const std::string& server, const std::string& path) = 0;
};

} // namespace automation
