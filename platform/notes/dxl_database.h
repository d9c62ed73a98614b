// The index of one DXL database file and the on-demand reading of its documents.
//
// Opening a database reads the file once with expat and keeps only what finding things needs:
// for each document its note ID and byte range in the file, for each view and folder its names
// and the documents it lists. A document is read when asked for, by parsing just its byte
// range; attachment data stays in the file until it is extracted.
#pragma once

#include "automation/notes.h"
#include "automation/variant.h"
#include "xml_reader.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace notes::detail {

struct DocumentRecord {
    std::uint64_t offset = 0; // of the note's start tag
    std::uint64_t length = 0; // up to the end of its end tag
    std::uint32_t noteId = 0;
    std::uint32_t line = 0; // of the start tag
    std::uint32_t column = 0;
    std::uint32_t flags = 0; // NoteIdUpperCase, NoteIdAsWritten
    std::string unid; // upper case, as <noteinfo unid> gives it; empty when missing
};

struct FormulaContents; // a view's documents as its selection formula gives them, made on first use

struct ViewRecord {
    std::string name;
    std::vector<std::string> aliases;
    bool isFolder = false;
    bool allDocuments = false; // SELECT @All: every document in file order
    bool membershipUnknown = false; // a folder with neither entries nor folder references
    std::vector<std::uint32_t> documents; // indices into DatabaseIndex::documents, in view order
    // The selection formula when it decides the view's documents (no entries, no folder, not
    // SELECT @All): evaluated over all documents in file order, in one scan for all such views
    // of the index, when the first of them is walked or counted.
    std::string formula;
    std::shared_ptr<FormulaContents> selected;
};

class DatabaseIndex {
public:
    // Reads and indexes the DXL file at path. Throws AutomationError naming the file (and line
    // and column where known) when it cannot be read or is no DXL database.
    static std::shared_ptr<const DatabaseIndex> open(const std::string& path);

    const std::string& path() const { return path_; }
    const std::string& title() const { return title_; }
    int type() const { return type_; }
    const std::vector<ViewRecord>& views() const { return views_; }
    const std::vector<DocumentRecord>& documents() const { return documents_; }
    std::size_t viewSize(const ViewRecord& view) const;
    std::uint32_t viewDocument(const ViewRecord& view, std::size_t position) const;
    // Why the view lists no documents although it may select some: its selection formula does
    // not parse, uses an unsupported @function (named), or is missing. Empty otherwise.
    std::string unevaluatedReason(const ViewRecord& view) const;

    // Index of the document with that note ID (hex text, any case), if any.
    std::optional<std::uint32_t> find(const std::string& noteId) const;
    std::optional<std::uint32_t> find(std::uint32_t noteId) const;
    // Index of the document with that universal ID (any case), if any.
    std::optional<std::uint32_t> findUnid(std::string_view unid) const;
    // The note ID of a document as the file writes it.
    std::string noteIdText(std::uint32_t document) const;

    // What a person should know about the file as a whole (a note ID written twice), one line each.
    const std::vector<std::string>& findings() const { return findings_; }

    // Bytes of memory the index holds (for the benchmark).
    std::size_t memoryUsed() const;

    // Reading documents and attachments later.
    const InputFile& file() const { return *file_; }
    const std::string& encoding() const { return encoding_; } // for fragments; empty for UTF-8
    const std::string& fragmentPrefix() const { return fragmentPrefix_; }

private:
    friend class IndexBuilder;
    std::string path_;
    std::string title_;
    int type_ = 13;
    std::unique_ptr<InputFile> file_;
    std::string encoding_;
    std::string fragmentPrefix_;
    std::vector<DocumentRecord> documents_;
    std::vector<std::uint64_t> lookup_; // (noteId << 32 | index), sorted
    std::vector<std::uint32_t> unidLookup_; // indices of documents with a UNID, sorted by it
    std::unordered_map<std::uint32_t, std::string> unusualNoteIds_; // as written, when not plain hex
    std::vector<ViewRecord> views_;
    std::vector<std::string> findings_;
};

struct Attachment {
    std::string fileName;
    std::uint64_t size = 0; // decoded bytes
    bool hasData = false;
    std::string compression; // "none" unless the exporter kept it compressed
    std::uint64_t dataBegin = 0; // file offsets of the base64 text
    std::uint64_t dataEnd = 0;
    Position dataPosition;
    std::shared_ptr<const std::string> data; // the bytes, for an attachment of a MIME body
};

struct RichText;

struct Item {
    std::string name;
    int type = 1280;
    automation::VariantArray values; // a rich text item's: its plain text
    std::uint64_t size = 0; // bytes of its values
    int attachment = -1; // index into ParsedDocument::attachments for a $FILE item
    std::shared_ptr<const RichText> richText; // of a rich text item, from <richtext> or CD records
    std::shared_ptr<const automation::NotesMimeBody> mime; // of a native MIME body with an HTML part
};

// What the reader met in a document and could not take in. Constructs it does not understand
// are counted by name ("<objectref>", "raw item type 0x2C2"); content it could not read (a
// truncated raw item, a MIME part that does not parse) is described one line each. Neither
// stops the document: it arrives with what could be read.
struct ReaderFindings {
    std::map<std::string, std::uint32_t> ignored;
    std::vector<std::string> damaged;

    void ignore(const std::string& construct) { ++ignored[construct]; }
    void damage(std::string what)
    {
        if (damaged.size() < 20)
            damaged.push_back(std::move(what));
    }
};

struct ParsedDocument {
    std::vector<Item> items;
    std::vector<Attachment> attachments;
    std::optional<automation::DateTime> created; // from <noteinfo>, when it holds a valid time
    std::optional<automation::DateTime> modified;
    bool response = false; // <document response='true'>, a parent or a $REF item
    std::string parentUnid; // upper case, from the parent attribute or $REF; empty when unknown
    std::string form; // the document's form attribute (the Form item stands for it when present)
    std::string internetHeaders; // of native MIME mail: its RFC822 text items as header lines, in order
    ReaderFindings findings;
};

// Reads one document of the index. Throws AutomationError, as object.member, on bad content.
// With onlyItems (upper-case names), the other items are skipped unread.
ParsedDocument readDocument(const DatabaseIndex& index, std::uint32_t document, const char* object, const char* member,
    const std::vector<std::string>* onlyItems = nullptr);

// Decodes an attachment of a document read from index and writes it to target, streaming.
// Throws AutomationError; a partly written target is removed.
void extractAttachment(const DatabaseIndex& index, const Attachment& attachment, const std::string& target);

} // namespace notes::detail
