#include "dxl_database.h"

#include "automation/automation.h"
#include "base64.h"
#include "dxl_values.h"
#include "formula.h"
#include "native_mime.h"
#include "raw_items.h"
#include "rich_text.h"
#include "rich_text_cd.h"
#include "rich_text_dxl.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace notes::detail {

namespace {
    constexpr std::uint32_t NoteIdUpperCase = 1;
    constexpr std::uint32_t NoteIdAsWritten = 2;
    constexpr std::uint32_t NoNoteId = 4;

    // Stands for a selection formula that the file holds only compiled (a view note's $Formula).
    constexpr const char* CompiledFormula = "\x01compiled";

    // Limits that keep memory bounded whatever the file holds.
    constexpr std::size_t MaxIndexedText = std::size_t { 64 } * 1024; // a view name, formula or $FolderRef value
    constexpr std::uint64_t MaxDocumentValues = 64ULL * 1024 * 1024; // item values of one document

    // Notes item type numbers.
    constexpr int TypeRichText = 1;
    constexpr int TypeNoteLinks = 7; // TYPE_NOTELINK_LIST: $Links
    constexpr int TypeNumbers = 768;
    constexpr int TypeDateTimes = 1024;
    constexpr int TypeNames = 1074;
    constexpr int TypeReaders = 1075;
    constexpr int TypeAuthors = 1076;
    constexpr int TypeAttachment = 1084;
    constexpr int TypeText = 1280;
    constexpr int TypeFormula = 1536;

    std::string where(const std::string& path, Position p)
    {
        std::string s = path;
        if (p.line > 0)
            s += ":" + std::to_string(p.line) + ":" + std::to_string(p.column);
        return s;
    }

    [[noreturn]] void fail(
        const char* object, const char* member, const std::string& path, Position p, const std::string& what)
    {
        throw automation::AutomationError(object, member, where(path, p) + ": " + what);
    }

    bool equalsIgnoreCase(std::string_view a, std::string_view b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
            return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
        });
    }

    bool isTrue(const char* v) { return v != nullptr && std::strcmp(v, "true") == 0; }

    std::vector<std::string> splitAliases(std::string_view text)
    {
        std::vector<std::string> out;
        while (!text.empty()) {
            const auto bar = text.find('|');
            std::string_view part = text.substr(0, bar);
            while (!part.empty() && part.front() == ' ')
                part.remove_prefix(1);
            while (!part.empty() && part.back() == ' ')
                part.remove_suffix(1);
            if (!part.empty())
                out.emplace_back(part);
            if (bar == std::string_view::npos)
                break;
            text.remove_prefix(bar + 1);
        }
        return out;
    }

    std::string upper(std::string_view s)
    {
        std::string out(s);
        for (auto& c : out)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        return out;
    }

    int databaseType(std::string_view type)
    {
        if (type == "personaljournal")
            return 11;
        if (type == "mailfile")
            return 2;
        if (type == "addressbook")
            return 10;
        return 13;
    }

    std::string describeElement(const char* name)
    {
        std::string_view n(name);
        const auto bar = n.find('|');
        if (bar == std::string_view::npos)
            return "<" + std::string(n) + ">";
        return "<" + std::string(n.substr(bar + 1)) + "> in namespace " + std::string(n.substr(0, bar));
    }

    std::uint32_t clamp32(std::uint64_t v)
    {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, std::numeric_limits<std::uint32_t>::max()));
    }
} // namespace

// ---------------------------------------------------------------------------------------------
// Indexing

struct FormulaContents {
    // One scan of the documents evaluates the formulas of all views that need one: shared by
    // every view of the index, run when the first of them is walked or counted.
    std::shared_ptr<std::once_flag> scan;
    std::vector<std::uint32_t> documents;
    std::string reason;
    bool evaluated = false; // while the file was indexed: the scan leaves it alone
};

namespace {
    // Evaluates the selection formulas of the views read so far on each document while the file
    // is indexed, so that a database without view entries is read once, not twice: the index
    // hands it the events of each document. Views that come after documents in the file are
    // left to the scan. (Its reader of documents is defined further down.)
    class FormulaTee {
    public:
        virtual ~FormulaTee() = default;
        // A view's selection formula, as the view note at position view of the file gives it,
        // read after documentsBefore documents.
        virtual void addFormula(std::size_t view, const std::string& text, std::size_t documentsBefore) = 0;
        virtual void beginDocument(XmlReader& reader, const char* name, const char** attrs) = 0;
        virtual void startElement(const char* name, const char** attrs) = 0;
        virtual void endElement(const char* name) = 0;
        virtual void characters(const char* text, int length) = 0;
        virtual void endDocument(const char* name) = 0;
        // Whether the formulas read the item of that name (as the file writes it).
        virtual bool reads(std::string_view item) const = 0;
        // What the formula of that view selected, when it was evaluated over every document.
        virtual bool result(std::size_t view, const std::vector<DocumentRecord>& documents, FormulaContents& out) = 0;
    };
    std::unique_ptr<FormulaTee> makeFormulaTee();
} // namespace

class IndexBuilder final : public XmlHandler {
public:
    explicit IndexBuilder(DatabaseIndex& index)
        : index_(index)
    {
    }

    void run()
    {
        XmlReader reader(*this);
        reader.passOverItems(true);
        reader_ = &reader;
        const bool ok = reader.parse(*index_.file_, 0, std::numeric_limits<std::uint64_t>::max(), { 1, 1 });
        reader_ = nullptr;
        if (!ok)
            fail("NotesSession", "GetDatabase", index_.path_, reader.errorPosition(), reader.error());
        if (rootKind_ == Root::None)
            fail("NotesSession", "GetDatabase", index_.path_, {}, "the file holds no XML element");
        // Fragments are parsed as UTF-8 unless the file declares another encoding.
        const std::string& declared = reader.declaredEncoding();
        if (!declared.empty() && !equalsIgnoreCase(declared, "utf-8") && !equalsIgnoreCase(declared, "utf8"))
            index_.encoding_ = declared;
        index_.fragmentPrefix_ = "<w" + reader.rootNamespaces() + ">";
        finish();
    }

    void startElement(const char* name, const char** attrs) override
    {
        startOwn(name, attrs);
        if (teeing_)
            reader_->wantCharacters(teeWants_ || inText_);
    }

    void endElement(const char* name) override
    {
        endOwn(name);
        if (teeing_)
            reader_->wantCharacters(teeWants_ || inText_);
    }

    void startOwn(const char* name, const char** attrs)
    {
        ++depth_;
        if (depth_ == 1) {
            const auto local = dxlName(name);
            if (local == "database") {
                rootKind_ = Root::Database;
                if (const char* t = attribute(attrs, "title"))
                    index_.title_ = t;
                if (const char* t = attribute(attrs, "type"))
                    index_.type_ = databaseType(t);
            } else if (local == "document" || local == "note" || local == "view" || local == "folder") {
                // A single exported note: a database of that one document, view or folder.
                rootKind_ = Root::Note;
                beginNote(local, attrs);
            } else {
                rootKind_ = Root::Other;
                reader_->fail("not a DXL database export: the root element is " + describeElement(name));
            }
            return;
        }
        if (noteDepth_ == 0) {
            if (depth_ == 2)
                beginNote(dxlName(name), attrs);
            if (teeing_)
                tee_->beginDocument(*reader_, name, attrs);
            return;
        }
        if (teeing_)
            forward([&] { tee_->startElement(name, attrs); });
        if (kind_ == Kind::Ignored)
            return;
        const int rel = depth_ - noteDepth_;
        const auto local = dxlName(name);
        if (rel == 1 && local == "noteinfo") {
            if (const char* id = attribute(attrs, "noteid"))
                setNoteId(id);
            if (const char* unid = attribute(attrs, "unid"))
                unid_ = upper(unid);
        } else if (rel == 1 && local == "item") {
            const char* itemName = attribute(attrs, "name");
            capture_ = Capture::None;
            if (itemName != nullptr) {
                if (kind_ == Kind::Document && equalsIgnoreCase(itemName, "$FolderRef"))
                    capture_ = Capture::FolderRef;
                else if (kind_ == Kind::ViewNote && equalsIgnoreCase(itemName, "$TITLE"))
                    capture_ = Capture::Title;
                else if (kind_ == Kind::ViewNote && equalsIgnoreCase(itemName, "$Flags"))
                    capture_ = Capture::Flags;
                else if (kind_ == Kind::ViewNote && equalsIgnoreCase(itemName, "$Formula"))
                    capture_ = Capture::Formula;
            }
        } else if (capture_ == Capture::Formula && local == "formula") {
            // The view note's own $Formula item: its text, unless stored compiled.
            if (isTrue(attribute(attrs, "compiled")))
                compiledFormula_ = true;
            else
                startText();
        } else if (capture_ != Capture::None && capture_ != Capture::Formula && local == "text") {
            startText();
        } else if (kind_ != Kind::Document && local == "code") {
            const char* event = attribute(attrs, "event");
            inSelection_ = event != nullptr && std::strcmp(event, "selection") == 0;
        } else if (kind_ != Kind::Document && inSelection_ && local == "formula") {
            startText();
        } else if (kind_ != Kind::Document && local.empty()) {
            const auto entries = localName(name, EntriesNamespace);
            if (entries == "entries") {
                hasEntries_ = true;
            } else if (entries == "entry" && hasEntries_) {
                const char* id = attribute(attrs, "noteid");
                const auto value = id != nullptr ? parseNoteId(id) : std::nullopt;
                // An entry that names no valid note ID can name no note: it is skipped like an unknown one.
                if (value)
                    entries_.push_back(*value);
            }
        }
    }

    // A document's items other than $FolderRef (and what the tee reads) are passed over unread.
    bool passOverItem(std::string_view name) override
    {
        if (kind_ != Kind::Document || depth_ != noteDepth_)
            return false;
        if (equalsIgnoreCase(name, "$FolderRef") || equalsIgnoreCase(name, "$REF"))
            return false;
        return !(teeing_ && tee_->reads(name));
    }

    void endOwn(const char* name)
    {
        if (teeing_ && depth_ == noteDepth_) {
            forward([&] { tee_->endDocument(name); });
            teeing_ = false;
            reader_->wantCharacters(inText_);
        } else if (teeing_) {
            forward([&] { tee_->endElement(name); });
        }
        if (depth_ == noteDepth_) {
            endNote();
        } else if (inText_) {
            const auto local = dxlName(name);
            if (local == "text" || local == "formula") {
                inText_ = false;
                reader_->wantCharacters(false);
                if (local == "formula" && capture_ == Capture::Formula)
                    itemFormula_ = std::move(text_);
                else if (local == "formula")
                    formula_ = std::move(text_);
                else
                    values_.push_back(std::move(text_));
                text_.clear();
            }
        } else if (depth_ - noteDepth_ == 1 && kind_ != Kind::Ignored && noteDepth_ > 0) {
            if (dxlName(name) == "item")
                endItem();
        } else if (inSelection_ && dxlName(name) == "code") {
            inSelection_ = false;
        }
        --depth_;
    }

    void characters(const char* text, int length) override
    {
        if (teeing_ && teeWants_)
            tee_->characters(text, length);
        if (!inText_)
            return;
        if (text_.size() + static_cast<std::size_t>(length) > MaxIndexedText) {
            reader_->fail("a view name, selection formula or $FolderRef value is longer than "
                + std::to_string(MaxIndexedText) + " bytes");
            return;
        }
        text_.append(text, static_cast<std::size_t>(length));
    }

private:
    enum class Root : std::uint8_t { None, Database, Note, Other };

    // Runs an event of the tee's reader with its own wish for character data, then asks the
    // file's reader for characters when either wants them.
    template <class F> void forward(F&& event)
    {
        reader_->wantCharacters(teeWants_);
        event();
        teeWants_ = reader_->charactersWanted();
        reader_->wantCharacters(teeWants_ || inText_);
    }

    enum class Kind : std::uint8_t { Ignored, Document, View, Folder, ViewNote };
    enum class Capture : std::uint8_t { None, FolderRef, Title, Flags, Formula };

    void beginNote(std::string_view local, const char** attrs)
    {
        noteDepth_ = depth_;
        kind_ = Kind::Ignored;
        if (local == "document") {
            kind_ = Kind::Document;
        } else if (local == "note") {
            const char* cls = attribute(attrs, "class");
            if (cls != nullptr && std::strcmp(cls, "document") == 0)
                kind_ = Kind::Document;
            else if (cls != nullptr && std::strcmp(cls, "view") == 0)
                kind_ = Kind::ViewNote;
        } else if (local == "view" || local == "folder") {
            kind_ = local == "view" ? Kind::View : Kind::Folder;
            view_ = ViewRecord {};
            view_.isFolder = kind_ == Kind::Folder;
            if (const char* n = attribute(attrs, "name")) {
                auto names = splitAliases(n);
                if (!names.empty()) {
                    view_.name = names.front();
                    view_.aliases.assign(names.begin() + 1, names.end());
                }
            }
            if (const char* a = attribute(attrs, "alias"))
                for (auto& alias : splitAliases(a))
                    view_.aliases.push_back(std::move(alias));
        }
        if (kind_ == Kind::ViewNote)
            view_ = ViewRecord {};
        teeing_ = kind_ == Kind::Document && tee_ != nullptr;
        teeWants_ = false;
        record_ = DocumentRecord {};
        record_.offset = reader_->offset();
        const Position p = reader_->position();
        record_.line = clamp32(p.line);
        record_.column = clamp32(p.column);
        record_.flags = NoNoteId;
        startLength_ = static_cast<std::uint64_t>(std::max(reader_->eventLength(), 0));
        unid_.clear();
        formula_.clear();
        itemFormula_.clear();
        compiledFormula_ = false;
        entries_.clear();
        hasEntries_ = false;
        inSelection_ = false;
        folderRefs_.clear();
        title_.clear();
        flags_.clear();
    }

    void setNoteId(const char* text)
    {
        const auto id = parseNoteId(text);
        if (!id) {
            reader_->fail(std::string("note ID \"") + text + "\" is not a hexadecimal number");
            return;
        }
        record_.noteId = *id;
        record_.flags = 0;
        bool hasUpper = false;
        bool hasLower = false;
        for (const char* c = text; *c != 0; ++c) {
            hasUpper |= *c >= 'A' && *c <= 'F';
            hasLower |= *c >= 'a' && *c <= 'f';
        }
        if (hasUpper)
            record_.flags |= NoteIdUpperCase;
        char canonical[16];
        std::snprintf(canonical, sizeof canonical, hasUpper ? "%X" : "%x", *id);
        if ((hasUpper && hasLower) || std::strcmp(canonical, text) != 0) {
            record_.flags |= NoteIdAsWritten;
            pendingNoteIdText_ = text;
        }
    }

    void startText()
    {
        inText_ = true;
        text_.clear();
        reader_->wantCharacters(true);
    }

    void endItem()
    {
        switch (capture_) {
        case Capture::FolderRef:
            for (auto& v : values_)
                folderRefs_.push_back(upper(v));
            break;
        case Capture::Title:
            if (!values_.empty() && title_.empty())
                title_ = values_.front();
            break;
        case Capture::Flags:
            if (!values_.empty())
                flags_ = values_.front();
            break;
        case Capture::Formula:
        case Capture::None:
            break;
        }
        capture_ = Capture::None;
        values_.clear();
    }

    void endNote()
    {
        const std::uint64_t end = reader_->offset() + static_cast<std::uint64_t>(std::max(reader_->eventLength(), 0));
        record_.length = std::max(end, record_.offset + startLength_) - record_.offset;
        if (kind_ == Kind::Document) {
            const auto index = static_cast<std::uint32_t>(index_.documents_.size());
            if (index == std::numeric_limits<std::uint32_t>::max()) {
                reader_->fail("too many documents");
                return;
            }
            if (record_.flags & NoteIdAsWritten)
                index_.unusualNoteIds_[index] = pendingNoteIdText_;
            record_.unid = unid_;
            index_.documents_.push_back(record_);
            for (const auto& unid : folderRefs_)
                folderRefs_All_.emplace_back(intern(unid), index);
        } else if (kind_ != Kind::Ignored) {
            if (kind_ == Kind::ViewNote) {
                auto names = splitAliases(title_);
                if (!names.empty()) {
                    view_.name = names.front();
                    view_.aliases.assign(names.begin() + 1, names.end());
                }
                view_.isFolder = flags_.find('F') != std::string::npos;
                if (formula_.empty() && !itemFormula_.empty())
                    formula_ = std::move(itemFormula_);
                else if (formula_.empty() && compiledFormula_)
                    formula_ = CompiledFormula;
            }
            pendingViews_.push_back(PendingView {
                std::move(view_), std::move(unid_), std::move(formula_), hasEntries_, std::move(entries_) });
            view_ = ViewRecord {};
            const PendingView& added = pendingViews_.back();
            if (!added.hasEntries && !added.view.isFolder && !selectsAll(added.formula)) {
                if (!tee_)
                    tee_ = makeFormulaTee();
                tee_->addFormula(pendingViews_.size() - 1, added.formula, index_.documents_.size());
            }
        }
        noteDepth_ = 0;
        kind_ = Kind::Ignored;
    }

    std::uint32_t intern(const std::string& unid)
    {
        auto [it, added] = unids_.try_emplace(unid, static_cast<std::uint32_t>(unids_.size()));
        return it->second;
    }

    static bool selectsAll(const std::string& formula)
    {
        std::string compact;
        for (char c : formula)
            if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
                compact += c;
        compact = upper(compact);
        return compact == "SELECT@ALL" || compact == "@ALL";
    }

    void finish()
    {
        auto& docs = index_.documents_;
        // Documents exported without a note ID get fresh ones above the highest in the file.
        std::uint32_t next = 0;
        for (const auto& d : docs)
            if (!(d.flags & NoNoteId))
                next = std::max(next, d.noteId);
        for (auto& d : docs) {
            if (d.flags & NoNoteId) {
                next = (next | 3U) + 1;
                d.noteId = next;
                d.flags = NoteIdUpperCase;
            }
        }
        auto& byUnid = index_.unidLookup_;
        for (std::uint32_t i = 0; i < docs.size(); ++i)
            if (!docs[i].unid.empty())
                byUnid.push_back(i);
        // The first of a UNID written twice is the one found, as for note IDs.
        std::stable_sort(byUnid.begin(), byUnid.end(),
            [&](std::uint32_t a, std::uint32_t b) { return docs[a].unid < docs[b].unid; });
        auto& lookup = index_.lookup_;
        lookup.reserve(docs.size());
        for (std::uint32_t i = 0; i < docs.size(); ++i)
            lookup.push_back((static_cast<std::uint64_t>(docs[i].noteId) << 32) | i);
        std::sort(lookup.begin(), lookup.end());
        // A note ID written twice (files joined from two exports, or edited by hand): the first
        // document keeps it, views and folders that name it reach that one, and each later one
        // gets a fresh ID above the highest, so that it is still exported and can be found.
        bool renumbered = false;
        std::size_t firstOfId = 0;
        for (std::size_t i = 1; i < lookup.size(); ++i) {
            if ((lookup[i] >> 32) != (lookup[firstOfId] >> 32)) {
                firstOfId = i;
                continue;
            }
            const auto firstIndex = static_cast<std::uint32_t>(lookup[firstOfId] & 0xFFFFFFFFU);
            auto& second = docs[lookup[i] & 0xFFFFFFFFU];
            const std::string written = index_.noteIdText(static_cast<std::uint32_t>(lookup[i] & 0xFFFFFFFFU));
            next = (next | 3U) + 1;
            second.noteId = next;
            second.flags = NoteIdUpperCase;
            index_.unusualNoteIds_.erase(static_cast<std::uint32_t>(lookup[i] & 0xFFFFFFFFU));
            index_.findings_.push_back("note ID " + written + " is written twice (lines "
                + std::to_string(docs[firstIndex].line) + " and " + std::to_string(second.line)
                + "): the second document is read as note ID "
                + index_.noteIdText(static_cast<std::uint32_t>(lookup[i] & 0xFFFFFFFFU)));
            lookup[i] = (static_cast<std::uint64_t>(next) << 32) | (lookup[i] & 0xFFFFFFFFU);
            renumbered = true;
        }
        if (renumbered)
            std::sort(lookup.begin(), lookup.end());
        std::stable_sort(folderRefs_All_.begin(), folderRefs_All_.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
        std::shared_ptr<std::once_flag> formulaScan;
        for (auto& pending : pendingViews_) {
            ViewRecord view = std::move(pending.view);
            if (pending.hasEntries) {
                for (auto id : pending.entries)
                    if (auto found = index_.find(id))
                        view.documents.push_back(*found);
            } else if (view.isFolder) {
                if (auto it = unids_.find(pending.unid); it != unids_.end() && !pending.unid.empty()) {
                    auto range = std::equal_range(folderRefs_All_.begin(), folderRefs_All_.end(),
                        std::pair<std::uint32_t, std::uint32_t>(it->second, 0),
                        [](const auto& a, const auto& b) { return a.first < b.first; });
                    for (auto r = range.first; r != range.second; ++r)
                        if (view.documents.empty() || view.documents.back() != r->second)
                            view.documents.push_back(r->second);
                }
                view.membershipUnknown = view.documents.empty();
            } else {
                view.allDocuments = selectsAll(pending.formula);
                if (!view.allDocuments) {
                    if (!formulaScan)
                        formulaScan = std::make_shared<std::once_flag>();
                    view.formula = std::move(pending.formula);
                    view.selected = std::make_shared<FormulaContents>();
                    view.selected->scan = formulaScan;
                    const auto position = static_cast<std::size_t>(&pending - pendingViews_.data());
                    view.selected->evaluated = tee_ && tee_->result(position, docs, *view.selected);
                }
            }
            view.documents.shrink_to_fit();
            index_.views_.push_back(std::move(view));
        }
        docs.shrink_to_fit();
    }

    struct PendingView {
        ViewRecord view;
        std::string unid;
        std::string formula;
        bool hasEntries = false;
        std::vector<std::uint32_t> entries;
    };

    DatabaseIndex& index_;
    XmlReader* reader_ = nullptr;
    Root rootKind_ = Root::None;
    int depth_ = 0;
    int noteDepth_ = 0;
    Kind kind_ = Kind::Ignored;
    Capture capture_ = Capture::None;
    DocumentRecord record_;
    std::uint64_t startLength_ = 0;
    std::string pendingNoteIdText_;
    ViewRecord view_;
    std::string unid_;
    std::string formula_;
    std::string itemFormula_;
    bool compiledFormula_ = false;
    std::string title_;
    std::string flags_;
    bool inSelection_ = false;
    bool hasEntries_ = false;
    std::vector<std::uint32_t> entries_;
    bool inText_ = false;
    std::string text_;
    std::vector<std::string> values_;
    std::vector<std::string> folderRefs_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> folderRefs_All_; // (folder UNID, document)
    std::unordered_map<std::string, std::uint32_t> unids_;
    std::vector<PendingView> pendingViews_;
    std::unique_ptr<FormulaTee> tee_; // once a view with a selection formula was read
    bool teeing_ = false; // the current note is a document the tee reads
    bool teeWants_ = false; // the tee's reader wants character data
};

std::shared_ptr<const DatabaseIndex> DatabaseIndex::open(const std::string& path)
{
    const char* object = "NotesSession";
    const char* member = "GetDatabase";
    auto index = std::make_shared<DatabaseIndex>();
    index->path_ = path;
    int error = 0;
    index->file_ = std::make_unique<InputFile>(path, error);
    if (!index->file_->valid())
        fail(object, member, path, {}, std::string("cannot open the file: ") + std::strerror(error));
    struct stat st { };
    if (::fstat(index->file_->fd(), &st) != 0)
        fail(object, member, path, {}, std::string("cannot read the file: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        fail(object, member, path, {}, "not a regular file");
    if (st.st_size == 0)
        fail(object, member, path, {}, "the file is empty");
    unsigned char head[4] = {};
    const long n = index->file_->readAt(reinterpret_cast<char*>(head), sizeof head, 0);
    if (n < 0)
        fail(object, member, path, {}, std::string("cannot read the file: ") + std::strerror(errno));
    if (n >= 2 && head[0] == 0x1A && head[1] == 0x00)
        fail(object, member, path, {},
            "this is a native Notes database (NSF); open its DXL export instead (export the database as DXL)");
    if (n >= 2
        && ((head[0] == 0xFE && head[1] == 0xFF) || (head[0] == 0xFF && head[1] == 0xFE)
            || (head[0] == 0 && head[1] == '<') || (head[0] == '<' && head[1] == 0)))
        fail(object, member, path, {}, "UTF-16 DXL is not supported; export the database as UTF-8");
    IndexBuilder builder(*index);
    builder.run();
    return index;
}

std::optional<std::uint32_t> DatabaseIndex::find(const std::string& noteId) const
{
    const auto id = parseNoteId(noteId);
    if (!id)
        return std::nullopt;
    return find(*id);
}

std::optional<std::uint32_t> DatabaseIndex::find(std::uint32_t id) const
{
    const std::uint64_t key = static_cast<std::uint64_t>(id) << 32;
    auto it = std::lower_bound(lookup_.begin(), lookup_.end(), key);
    if (it == lookup_.end() || (*it >> 32) != id)
        return std::nullopt;
    return static_cast<std::uint32_t>(*it & 0xFFFFFFFFU);
}

std::optional<std::uint32_t> DatabaseIndex::findUnid(std::string_view unid) const
{
    const std::string key = upper(unid);
    if (key.empty())
        return std::nullopt;
    auto it = std::lower_bound(unidLookup_.begin(), unidLookup_.end(), key,
        [&](std::uint32_t d, const std::string& k) { return documents_[d].unid < k; });
    if (it == unidLookup_.end() || documents_[*it].unid != key)
        return std::nullopt;
    return *it;
}

std::string DatabaseIndex::noteIdText(std::uint32_t document) const
{
    const auto& d = documents_[document];
    if (d.flags & NoteIdAsWritten) {
        if (auto it = unusualNoteIds_.find(document); it != unusualNoteIds_.end())
            return it->second;
    }
    char text[16];
    std::snprintf(text, sizeof text, (d.flags & NoteIdUpperCase) ? "%X" : "%x", d.noteId);
    return text;
}

std::size_t DatabaseIndex::memoryUsed() const
{
    std::size_t bytes = sizeof(*this) + documents_.capacity() * sizeof(DocumentRecord)
        + lookup_.capacity() * sizeof(std::uint64_t) + unidLookup_.capacity() * sizeof(std::uint32_t)
        + fragmentPrefix_.capacity() + title_.capacity();
    for (const auto& d : documents_)
        bytes += d.unid.capacity() > 15 ? d.unid.capacity() + 1 : 0;
    for (const auto& [k, v] : unusualNoteIds_)
        bytes += sizeof(k) + sizeof(v) + v.capacity() + 16;
    for (const auto& v : views_) {
        bytes += sizeof(v) + v.name.capacity() + v.documents.capacity() * sizeof(std::uint32_t) + v.formula.capacity();
        for (const auto& a : v.aliases)
            bytes += sizeof(a) + a.capacity();
    }
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// Reading one document

namespace {
    class DocumentReader final : public XmlHandler {
    public:
        DocumentReader(ParsedDocument& out, const std::vector<std::string>* onlyItems)
            : out_(out)
            , onlyItems_(onlyItems)
        {
        }
        XmlReader* reader = nullptr;
        // Reading alongside the index (see FormulaTee): a bad value ends this document's reading,
        // not the parse of the file; the document is then read, and reported, when it is opened.
        bool softFailure = false;
        bool failed = false;

        void startElement(const char* name, const char** attrs) override
        {
            ++depth_;
            // Depth 1 is the wrapper, 2 the note, 3 its items (and a <mime> element).
            if (depth_ == 2) {
                if (const char* form = attribute(attrs, "form"))
                    out_.form = form;
                if (const char* parent = attribute(attrs, "parent"); parent != nullptr && *parent != 0) {
                    out_.parentUnid = upper(parent);
                    out_.response = true;
                }
                if (isTrue(attribute(attrs, "response")))
                    out_.response = true;
                return;
            }
            if (depth_ < 2)
                return;
            if (depth_ > 3 && !inItem_) {
                if (inNoteInfo_)
                    noteInfoElement(dxlName(name));
                return;
            }
            const auto local = dxlName(name);
            if (depth_ == 3) {
                if (local == "item") {
                    beginItem(attrs);
                } else if (local == "mime") {
                    inMime_ = true;
                    text_.clear();
                    reader->wantCharacters(true);
                } else if (local == "noteinfo") {
                    inNoteInfo_ = true;
                } else if (local == "revisions") {
                    beginRevisions();
                }
                return;
            }
            if (skipDepth_ != 0)
                return;
            if (inRichText_) {
                richText_->startElement(local, name, attrs);
                checkRichTextSize();
                return;
            }
            if (local == "text" || local == "number" || local == "datetime" || local == "formula") {
                if (local == "text" && inText_)
                    return;
                if (depth_ == 4)
                    setType(local == "text"       ? item_.type
                            : local == "number"   ? TypeNumbers
                            : local == "datetime" ? TypeDateTimes
                                                  : TypeFormula);
                startText(local == "text"     ? Value::Text
                        : local == "number"   ? Value::Number
                        : local == "datetime" ? Value::DateTime
                                              : Value::Formula);
            } else if (local == "break" && inText_) {
                append("\n", 1);
            } else if (local == "numberlist") {
                setType(TypeNumbers);
            } else if (local == "datetimelist") {
                setType(TypeDateTimes);
            } else if (local == "richtext") {
                setType(TypeRichText);
                inRichText_ = true;
                richTextDepth_ = depth_;
                richText_ = std::make_unique<RichTextDxlReader>(out_.findings, item_.name);
                reader->wantCharacters(true);
            } else if (local == "file") {
                beginFile(attrs);
            } else if (local == "filedata" && inFile_) {
                auto& a = out_.attachments.back();
                a.hasData = true;
                const auto tagLength = static_cast<std::uint64_t>(std::max(reader->eventLength(), 0));
                a.dataBegin = reader->offset() + tagLength;
                const Position p = reader->position();
                a.dataPosition = { p.line, p.column + tagLength };
                if (!sizeKnown_) {
                    counting_ = true;
                    symbols_ = 0;
                    padding_ = 0;
                    reader->wantCharacters(true);
                }
            } else if (local == "rawitemdata" || local == "itemdata") {
                if (const char* t = attribute(attrs, "type"))
                    setType(static_cast<int>(std::strtol(t, nullptr, 16)));
                if (local == "rawitemdata"
                    && (item_.type == TypeRfc822Text || item_.type == TypeMimePart || item_.type == TypeRichText
                        || (item_.type == TypeNoteLinks && equalsIgnoreCase(item_.name, "$Links"))))
                    startText(Value::Raw);
                else if (isRef_ && depth_ == 4 && local == "rawitemdata")
                    startText(Value::Reference); // a note reference list: the parent's UNID
                else {
                    if (local == "rawitemdata")
                        out_.findings.ignore(rawTypeName(item_.type));
                    skipDepth_ = depth_;
                }
            }
        }

        void endElement(const char* name) override
        {
            if (depth_ == skipDepth_) {
                skipDepth_ = 0;
            } else if (inNoteInfo_ && !inItem_) {
                if (depth_ == 3) {
                    inNoteInfo_ = false;
                } else if (depth_ == 4) {
                    noteTime_ = nullptr;
                } else if (inText_ && depth_ == textDepth_) {
                    inText_ = false;
                    reader->wantCharacters(false);
                    if (noteTime_ != nullptr)
                        *noteTime_ = parseDateTime(text_);
                    text_.clear();
                }
            } else if (depth_ == 3 && inItem_) {
                endItem();
            } else if (depth_ == 3 && inMime_) {
                inMime_ = false;
                reader->wantCharacters(false);
                mimeText = std::move(text_);
                text_.clear();
            } else if (inItem_ && skipDepth_ == 0 && inRichText_) {
                if (depth_ == richTextDepth_)
                    endRichText();
                else
                    richText_->endElement();
            } else if (inItem_ && skipDepth_ == 0) {
                const auto local = dxlName(name);
                if (inText_ && depth_ == textDepth_) {
                    endText();
                } else if (local == "filedata" && counting_) {
                    counting_ = false;
                    reader->wantCharacters(false);
                    auto& a = out_.attachments.back();
                    a.dataEnd = std::max(reader->offset(), a.dataBegin); // <filedata/> has no end tag
                    a.size = symbols_ / 4 * 3 + (symbols_ % 4 == 0 ? 0 : symbols_ % 4 - 1);
                } else if (local == "filedata" && inFile_) {
                    auto& a = out_.attachments.back();
                    a.dataEnd = std::max(reader->offset(), a.dataBegin);
                } else if (local == "file") {
                    inFile_ = false;
                }
            }
            --depth_;
        }

        void characters(const char* text, int length) override
        {
            if (counting_) {
                for (int i = 0; i < length; ++i) {
                    const char c = text[i];
                    if (c != ' ' && c != '\n' && c != '\r' && c != '\t' && c != '=')
                        ++symbols_;
                }
                return;
            }
            if (inRichText_) {
                if (skipDepth_ == 0) {
                    richText_->characters(text, static_cast<std::size_t>(length));
                    checkRichTextSize();
                }
                return;
            }
            append(text, static_cast<std::size_t>(length));
        }

        // Reading only some items: the others, and $REF, need not be parsed at all.
        bool passOverItem(std::string_view name) override
        {
            if (onlyItems_ == nullptr || depth_ != 2 || equalsIgnoreCase(name, "$REF"))
                return false;
            return std::none_of(onlyItems_->begin(), onlyItems_->end(),
                [&](const std::string& item) { return equalsIgnoreCase(item, name); });
        }

    private:
        enum class Value : std::uint8_t { Text, Number, DateTime, Formula, Raw, Reference };

        void fail(std::string what)
        {
            if (softFailure)
                failed = true;
            else
                reader->fail(std::move(what));
        }

        static std::string rawTypeName(int type)
        {
            char text[48];
            std::snprintf(text, sizeof text, "raw item of type 0x%X", static_cast<unsigned>(type));
            return text;
        }

        void noteInfoElement(std::string_view local)
        {
            if (depth_ == 4 && (local == "created" || local == "modified")) {
                noteTime_ = local == "created" ? &out_.created : &out_.modified;
            } else if (depth_ == 5 && noteTime_ != nullptr && local == "datetime") {
                inText_ = true;
                textDepth_ = depth_;
                text_.clear();
                reader->wantCharacters(true);
            }
        }

        // $REF as raw item data: a note reference list (a count, then 16-byte UNIDs, each two
        // little-endian TIMEDATEs, per the Notes C API), written as the UNID text Notes shows.
        void referenceData()
        {
            std::string bytes;
            Base64Decoder decoder;
            if (decoder.decode(text_.data(), text_.size(), bytes) || bytes.size() < 18)
                return;
            auto word = [&](std::size_t at) {
                std::uint32_t v = 0;
                for (int i = 3; i >= 0; --i)
                    v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
                return v;
            };
            char unid[33];
            std::snprintf(unid, sizeof unid, "%08X%08X%08X%08X", word(6), word(2), word(14), word(10));
            out_.parentUnid = unid;
        }

        void beginItem(const char** attrs)
        {
            const char* n = attribute(attrs, "name");
            isRef_ = n != nullptr && equalsIgnoreCase(n, "$REF");
            if (isRef_)
                out_.response = true;
            if (onlyItems_ != nullptr && !isRef_) {
                const std::string key = upper(n != nullptr ? n : "");
                if (std::find(onlyItems_->begin(), onlyItems_->end(), key) == onlyItems_->end()) {
                    skipDepth_ = depth_;
                    return;
                }
            }
            inItem_ = true;
            item_ = Item {};
            item_.name = n != nullptr ? n : "";
            item_.type = TypeText;
            if (isTrue(attribute(attrs, "names")))
                item_.type = TypeNames;
            if (isTrue(attribute(attrs, "readers")))
                item_.type = TypeReaders;
            if (isTrue(attribute(attrs, "authors")))
                item_.type = TypeAuthors;
        }

        void setType(int type)
        {
            // Names, readers and authors stay what the item's flags say.
            if (item_.type == TypeNames || item_.type == TypeReaders || item_.type == TypeAuthors)
                return;
            item_.type = type;
        }

        void beginRevisions()
        {
            // <revisions>: the times the document was saved, which Notes keeps as $Revisions.
            if (onlyItems_ != nullptr
                && std::find(onlyItems_->begin(), onlyItems_->end(), "$REVISIONS") == onlyItems_->end()) {
                skipDepth_ = depth_;
                return;
            }
            inItem_ = true;
            isRef_ = false;
            item_ = Item {};
            item_.name = "$Revisions";
            item_.type = TypeDateTimes;
        }

        void checkRichTextSize()
        {
            if (total_ + richText_->bytes() > MaxDocumentValues)
                fail("the document's item values exceed " + std::to_string(MaxDocumentValues) + " bytes");
        }

        void endRichText()
        {
            inRichText_ = false;
            reader->wantCharacters(false);
            total_ += richText_->bytes();
            auto text = richText_->finish();
            richText_.reset();
            std::string plain = plainText(*text);
            const std::size_t size = plain.size();
            addValue(std::move(plain), size);
            item_.richText = std::move(text);
        }

        // A rich text item stored as CD records is read once the whole document is (its font
        // table may come later). False when it continues a body begun by an earlier item of
        // the same name, which it is then read with.
        bool addComposite()
        {
            total_ += raw_.size();
            for (auto& c : composites_) {
                if (c.item < out_.items.size() && equalsIgnoreCase(out_.items[c.item].name, item_.name)) {
                    c.raw.push_back(std::move(raw_));
                    return false;
                }
            }
            composites_.push_back(Composite { out_.items.size(), { std::move(raw_) } });
            return true;
        }

        void beginFile(const char** attrs)
        {
            // Internal storage objects (byte arrays Notes keeps for itself, named STG... or
            // EXT...) are no files of the document: their item is left out.
            if (const char* host = attribute(attrs, "hosttype"); host != nullptr
                && (std::strcmp(host, "bytearraypage") == 0 || std::strcmp(host, "bytearrayext") == 0)) {
                out_.findings.ignore("storage object");
                dropItem_ = true;
                skipDepth_ = depth_;
                return;
            }
            inFile_ = true;
            Attachment a;
            if (const char* n = attribute(attrs, "name"))
                a.fileName = n;
            const char* c = attribute(attrs, "compression");
            a.compression = c != nullptr ? c : "none";
            sizeKnown_ = false;
            if (const char* sz = attribute(attrs, "size")) {
                char* end = nullptr;
                errno = 0;
                const unsigned long long v = std::strtoull(sz, &end, 10);
                if (errno == 0 && end != sz && *end == 0 && sz[0] != '-') {
                    a.size = v;
                    sizeKnown_ = true;
                }
            }
            item_.type = TypeAttachment;
            item_.attachment = static_cast<int>(out_.attachments.size());
            out_.attachments.push_back(std::move(a));
        }

        void startText(Value kind)
        {
            inText_ = true;
            textDepth_ = depth_;
            textKind_ = kind;
            text_.clear();
            reader->wantCharacters(true);
        }

        void endText()
        {
            inText_ = false;
            reader->wantCharacters(false);
            switch (textKind_) {
            case Value::Text:
            case Value::Formula: {
                const std::size_t size = text_.size();
                addValue(std::move(text_), size);
                break;
            }
            case Value::Number:
                if (auto v = parseNumber(text_))
                    addValue(*v, 8);
                else
                    fail("item \"" + item_.name + "\": \"" + text_ + "\" is not a number");
                break;
            case Value::Raw: {
                // What does not decode is left out: the item keeps no values.
                Base64Decoder decoder;
                raw_.clear();
                if (decoder.decode(text_.data(), text_.size(), raw_) || !decoder.complete()) {
                    raw_.clear();
                    out_.findings.damage("item " + item_.name + ": its raw data is not base64");
                }
                break;
            }
            case Value::DateTime:
                // <datetime/> is an empty value, as Domino writes an item that holds none.
                if (text_.find_first_not_of(" \t\r\n") == std::string::npos)
                    break;
                if (auto v = parseDateTime(text_))
                    addValue(*v, 8);
                else
                    fail("item \"" + item_.name + "\": \"" + text_ + "\" is not a Domino date-time");
                break;
            case Value::Reference:
                referenceData();
                break;
            }
            text_.clear();
        }

        void append(const char* text, std::size_t length)
        {
            total_ += length;
            if (total_ > MaxDocumentValues) {
                fail("the document's item values exceed " + std::to_string(MaxDocumentValues) + " bytes");
                return;
            }
            text_.append(text, length);
        }

        template <class T> void addValue(T&& v, std::size_t size)
        {
            item_.values.emplace_back(std::forward<T>(v));
            item_.size += size;
        }

        void endItem()
        {
            if (item_.type == TypeRichText && !raw_.empty() && !addComposite()) {
                raw_.clear();
                inItem_ = false;
                return; // a further item of a body already begun: read as part of it
            }
            if (item_.type == TypeNoteLinks && !raw_.empty()) {
                total_ += raw_.size();
                links_ = std::move(raw_); // the doclinks that CDLINK2 records point into
            } else if (item_.type == TypeRfc822Text) {
                setRfc822Values(item_, raw_, out_.findings, out_.internetHeaders);
            } else if (item_.type == TypeMimePart && !raw_.empty()) {
                total_ += raw_.size();
                mimeParts.push_back(MimePartBytes { out_.items.size(), std::move(raw_) });
            }
            raw_.clear();
            inItem_ = false;
            inRichText_ = false;
            richText_.reset();
            inText_ = false;
            if (dropItem_) {
                dropItem_ = false;
                return;
            }
            if (isRef_ && out_.parentUnid.empty() && !item_.values.empty()
                && item_.values.front().type() == automation::Variant::Type::Text)
                out_.parentUnid = upper(item_.values.front().toText()); // $REF written as text
            if (item_.attachment >= 0) {
                const auto& a = out_.attachments[static_cast<std::size_t>(item_.attachment)];
                item_.values = { automation::Variant(a.fileName) };
                item_.size = a.size;
            }
            total_ += sizeof(Item) + item_.name.size() + item_.values.size() * sizeof(automation::Variant);
            if (total_ > MaxDocumentValues) {
                fail("the document's item values exceed " + std::to_string(MaxDocumentValues) + " bytes");
                return;
            }
            out_.items.push_back(std::move(item_));
        }

    public:
        // Reads the bodies stored as CD records, now that the document's font table is known.
        void readComposites()
        {
            FontTable fonts;
            for (const auto& c : composites_)
                if (c.item < out_.items.size() && equalsIgnoreCase(out_.items[c.item].name, "$Fonts") && !c.raw.empty())
                    fonts = readFontTable(c.raw.front());
            for (auto& c : composites_) {
                if (c.item >= out_.items.size())
                    continue;
                auto& item = out_.items[c.item];
                const std::vector<std::string_view> parts(c.raw.begin(), c.raw.end());
                std::uint64_t budget = MaxDocumentValues - std::min(total_, MaxDocumentValues);
                auto text = readComposite(parts, fonts, out_.findings, item.name, links_, &budget);
                total_ = MaxDocumentValues - budget;
                std::string plain = plainText(*text);
                item.size = plain.size();
                item.values = { automation::Variant(std::move(plain)) };
                item.richText = std::move(text);
                c.raw.clear();
            }
        }

        std::vector<MimePartBytes> mimeParts; // of TYPE_MIME_PART items, in order
        std::string mimeText; // of a <mime> element

    private:
        ParsedDocument& out_;
        const std::vector<std::string>* onlyItems_;
        int depth_ = 0;
        bool inItem_ = false;
        bool inMime_ = false;
        std::string raw_; // decoded bytes of the item's raw data
        bool isRef_ = false;
        bool inNoteInfo_ = false;
        std::optional<automation::DateTime>* noteTime_ = nullptr;
        Item item_;
        int skipDepth_ = 0;
        bool inText_ = false;
        int textDepth_ = 0;
        Value textKind_ = Value::Text;
        std::string text_;
        bool inRichText_ = false;
        int richTextDepth_ = 0;
        std::unique_ptr<RichTextDxlReader> richText_;
        bool dropItem_ = false; // a storage object's item, left out
        struct Composite {
            std::size_t item; // index into out_.items
            std::vector<std::string> raw; // the bytes of each of its items, in order
        };
        std::vector<Composite> composites_;
        std::string links_; // the $Links item's NOTELINK list
        bool inFile_ = false;
        bool sizeKnown_ = false;
        bool counting_ = false;
        std::uint64_t symbols_ = 0;
        std::uint64_t padding_ = 0;
        std::uint64_t total_ = 0;
    };

    class AttachmentWriter final : public XmlHandler {
    public:
        AttachmentWriter(int fd, std::uint64_t limit)
            : fd_(fd)
            , limit_(limit)
        {
        }
        XmlReader* reader = nullptr;
        std::string ioError;
        Base64Decoder decoder;

        void startElement(const char*, const char**) override
        {
            if (++depth_ > 1)
                reader->fail("unexpected element inside attachment data");
        }
        void endElement(const char*) override { --depth_; }

        void characters(const char* text, int length) override
        {
            const auto bad = decoder.decode(text, static_cast<std::size_t>(length), buffer_);
            if (bad) {
                // Point at the offending character: the event starts at the reader's position.
                reader->fail(badCharacter(text, *bad));
                return;
            }
            if (decoder.decodedSize() > limit_) {
                reader->fail("the attachment data holds more bytes than its file entry declares ("
                    + std::to_string(limit_) + ")");
                return;
            }
            if (buffer_.size() >= std::size_t { 256 } * 1024 && !flush())
                reader->fail(ioError);
        }

        // Base64 text read straight from the file, without expat. False at anything the XML
        // path would treat differently or report (a character that does not decode here, more
        // bytes than declared, a failed write): the caller then starts over on that path.
        bool takePlain(const char* text, std::size_t size)
        {
            if (decoder.decode(text, size, buffer_))
                return false;
            if (decoder.decodedSize() > limit_)
                return false;
            return buffer_.size() < std::size_t { 256 } * 1024 || flush();
        }
        void restart()
        {
            decoder = Base64Decoder {};
            buffer_.clear();
            ioError.clear();
            depth_ = 0;
        }

        bool flush()
        {
            std::size_t done = 0;
            while (done < buffer_.size()) {
                const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    ioError = std::string("cannot write the file: ") + std::strerror(errno);
                    return false;
                }
                done += static_cast<std::size_t>(n);
            }
            buffer_.clear();
            return true;
        }

        // Line and column of text[at], for an error message.
        Position locate(const char* text, std::size_t at) const
        {
            Position p = reader->position();
            for (std::size_t i = 0; i < at; ++i) {
                if (text[i] == '\n') {
                    ++p.line;
                    p.column = 1;
                } else {
                    ++p.column;
                }
            }
            return p;
        }
        Position badPosition;

    private:
        std::string badCharacter(const char* text, std::size_t at)
        {
            badPosition = locate(text, at);
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(text[at]));
            return std::string("the attachment data is not base64 (character ") + code + ")";
        }

        int fd_;
        std::uint64_t limit_;
        int depth_ = 0;
        std::string buffer_;
    };

    // Attachment data as exporters write it: lines of base64 and nothing else. Such text reads
    // the same straight from the file as through expat, at a fraction of the cost. True when
    // all of it was plain and decoded into writer; false for anything else (other characters,
    // a document encoding other than UTF-8, a short read), which the XML path then handles and
    // reports.
    bool decodePlainText(const DatabaseIndex& index, const Attachment& attachment, AttachmentWriter& writer)
    {
        static constexpr auto plain = [] {
            std::array<bool, 256> t {};
            for (unsigned char c :
                std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= \t\r\n"))
                t[c] = true;
            return t;
        }();
        if (!index.encoding().empty())
            return false;
        std::vector<char> buffer(std::size_t { 256 } * 1024);
        for (std::uint64_t at = attachment.dataBegin; at < attachment.dataEnd;) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), attachment.dataEnd - at));
            const long got = index.file().readAt(buffer.data(), want, at);
            if (got <= 0)
                return false;
            const auto n = static_cast<std::size_t>(got);
            for (std::size_t i = 0; i < n; ++i)
                if (!plain[static_cast<unsigned char>(buffer[i])])
                    return false;
            if (!writer.takePlain(buffer.data(), n))
                return false;
            at += n;
        }
        return true;
    }
} // namespace

ParsedDocument readDocument(const DatabaseIndex& index, std::uint32_t document, const char* object, const char* member,
    const std::vector<std::string>* onlyItems)
{
    const auto& record = index.documents()[document];
    ParsedDocument out;
    DocumentReader handler(out, onlyItems);
    XmlReader reader(handler, index.encoding().empty() ? nullptr : index.encoding().c_str());
    reader.passOverItems(onlyItems != nullptr);
    handler.reader = &reader;
    if (!reader.parse(index.file(), record.offset, record.offset + record.length, { record.line, record.column },
            index.fragmentPrefix(), "</w>")) {
        fail(object, member, index.path(), reader.errorPosition(),
            "note " + index.noteIdText(document) + ": " + reader.error());
    }
    handler.readComposites();
    if (!handler.mimeParts.empty() || !handler.mimeText.empty())
        applyNativeMime(out, handler.mimeParts, handler.mimeText);
    return out;
}

void extractAttachment(const DatabaseIndex& index, const Attachment& attachment, const std::string& target)
{
    const char* object = "NotesEmbeddedObject";
    const char* member = "ExtractFile";
    const std::string what = "attachment \"" + attachment.fileName + "\"";
    if (attachment.data) {
        writeAttachmentBytes(*attachment.data, target);
        return;
    }
    if (!attachment.hasData)
        fail(object, member, index.path(), attachment.dataPosition, what + " holds no file data");
    if (attachment.compression != "none")
        fail(object, member, index.path(), attachment.dataPosition,
            what + " is stored compressed (" + attachment.compression
                + "), which cannot be decoded; export the database with attachments uncompressed");
    if (target.empty())
        throw automation::AutomationError(object, member, "no target path given");
    // The file is written under a new name of its own in the target's folder, made relative to
    // the folder's descriptor (never an existing name, never through a link, readable by this
    // user only), and renamed onto the target once complete: a link at the target is replaced,
    // not followed, and a failed extraction leaves no partial file.
    const auto slash = target.rfind('/');
    const std::string folder
        = slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : target.substr(0, slash));
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty())
        throw automation::AutomationError(object, member, target + ": the target path names no file");
    struct Folder {
        int fd;
        ~Folder()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } dir { ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) };
    if (dir.fd < 0)
        throw automation::AutomationError(
            object, member, target + ": cannot open the folder " + folder + ": " + std::strerror(errno));
    static std::atomic<unsigned> counter { 0 };
    std::string part; // empty when the target is written into as it is
    int fd = -1;
    struct stat existing { };
    if (::fstatat(dir.fd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(existing.st_mode)
        && !S_ISLNK(existing.st_mode)) {
        // A device or a pipe (/dev/null, say) cannot be replaced: it is written into (a pipe
        // no one reads is refused, not waited for).
        fd = ::openat(dir.fd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw automation::AutomationError(
                object, member, target + ": cannot write into it: " + std::strerror(errno));
    }
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        part = ".extract-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::openat(dir.fd, part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw automation::AutomationError(object, member, target + ": cannot create the file: " + std::strerror(errno));
    AttachmentWriter writer(fd, attachment.size);
    XmlReader reader(writer, index.encoding().empty() ? nullptr : index.encoding().c_str());
    writer.reader = &reader;
    bool ok = decodePlainText(index, attachment, writer);
    if (!ok) {
        writer.restart();
        if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
            const std::string error = std::strerror(errno);
            ::close(fd);
            if (!part.empty())
                ::unlinkat(dir.fd, part.c_str(), 0);
            throw automation::AutomationError(object, member, target + ": cannot write the file: " + error);
        }
        reader.wantCharacters(true);
        ok = reader.parse(
            index.file(), attachment.dataBegin, attachment.dataEnd, attachment.dataPosition, "<d>", "</d>");
    }
    std::string problem;
    Position at = writer.badPosition.line > 0 ? writer.badPosition : reader.errorPosition();
    if (!ok) {
        problem = writer.ioError.empty() ? reader.error() : writer.ioError;
    } else if (!writer.decoder.complete()) {
        problem = "the attachment data ends in the middle of a base64 group";
        at = attachment.dataPosition;
    } else if (writer.decoder.decodedSize() != attachment.size) {
        problem = "the attachment data decodes to " + std::to_string(writer.decoder.decodedSize())
            + " bytes, its file entry declares " + std::to_string(attachment.size);
        at = attachment.dataPosition;
    } else if (!writer.flush()) {
        problem = writer.ioError;
        at = {};
    }
    if (::close(fd) != 0 && problem.empty()) {
        problem = std::string("cannot write the file: ") + std::strerror(errno);
        at = {};
    }
    if (!problem.empty()) {
        if (!part.empty())
            ::unlinkat(dir.fd, part.c_str(), 0);
        if (!writer.ioError.empty() && problem == writer.ioError)
            throw automation::AutomationError(object, member, target + ": " + problem);
        fail(object, member, index.path(), at, what + ": " + problem);
    }
    if (!part.empty() && ::renameat(dir.fd, part.c_str(), dir.fd, name.c_str()) != 0) {
        const std::string error = std::strerror(errno);
        ::unlinkat(dir.fd, part.c_str(), 0);
        throw automation::AutomationError(object, member, target + ": cannot put the file in place: " + error);
    }
}

// ---------------------------------------------------------------------------------------------
// Views listed by their selection formula

namespace {
    class FormulaDocument final : public formula::Document {
    public:
        explicit FormulaDocument(const ParsedDocument& document)
            : document_(document)
        {
        }
        const automation::VariantArray* item(std::string_view name) override
        {
            for (const auto& item : document_.items)
                if (equalsIgnoreCase(item.name, name))
                    return &item.values;
            // A document exported with its form as an attribute only still has that Form.
            if (!document_.form.empty() && equalsIgnoreCase(name, "Form")) {
                form_ = { automation::Variant(document_.form) };
                return &form_;
            }
            return nullptr;
        }
        std::optional<automation::DateTime> created() override { return document_.created; }
        std::optional<automation::DateTime> modified() override { return document_.modified; }
        bool isResponse() override { return document_.response; }

    private:
        const ParsedDocument& document_;
        automation::VariantArray form_;
    };

    // The local civil time now, in milliseconds since 1970 counted as UTC.
    std::int64_t localNow()
    {
        const std::time_t now = std::time(nullptr);
        std::tm local {};
        ::localtime_r(&now, &local);
        automation::DateTime t;
        t.year = local.tm_year + 1900;
        t.month = local.tm_mon + 1;
        t.day = local.tm_mday;
        t.hour = local.tm_hour;
        t.minute = local.tm_min;
        t.second = std::min(local.tm_sec, 59);
        return t.toUnixMillis();
    }

    // Why a view's formula cannot be evaluated, or nothing when it can (then parsed is set).
    std::string checkFormula(const std::string& text, std::optional<formula::Formula>& parsed)
    {
        if (text.find_first_not_of(" \t\r\n") == std::string::npos)
            return "it has no selection formula";
        if (text == CompiledFormula)
            return "its selection formula is stored compiled ($Formula), which cannot be read";
        auto result = formula::Formula::parse(text);
        if (const auto* error = std::get_if<formula::ParseError>(&result))
            return "its selection formula cannot be read (" + error->describe() + ")";
        auto& f = std::get<formula::Formula>(result);
        if (!f.unsupported().empty())
            return "its selection formula uses " + f.unsupported() + ", which is not supported";
        parsed = std::move(f);
        return {};
    }

    // Adds the responses of selected documents: direct ones for @AllChildren, all levels for
    // @AllDescendants, found by walking down from each document the formula selected.
    void addResponses(
        const std::vector<std::vector<std::uint32_t>>& children, bool allLevels, std::vector<char>& selected)
    {
        std::vector<std::pair<std::uint32_t, bool>> pending; // (document, below a selected one)
        for (std::uint32_t i = 0; i < selected.size(); ++i)
            if (selected[i])
                pending.emplace_back(i, false);
        while (!pending.empty()) {
            const auto [document, below] = pending.back();
            pending.pop_back();
            if (below && !allLevels)
                continue;
            for (const std::uint32_t child : children[document]) {
                if (selected[child])
                    continue;
                selected[child] = 1;
                pending.emplace_back(child, true);
            }
        }
    }

    // The direct responses of each document, by the parent UNID each document names (empty for
    // none, or for a document that could not be read).
    std::vector<std::vector<std::uint32_t>> childrenByParent(
        const std::vector<DocumentRecord>& documents, const std::vector<std::string>& parents)
    {
        std::unordered_map<std::string, std::uint32_t> byUnid;
        for (std::uint32_t i = 0; i < documents.size(); ++i)
            if (!documents[i].unid.empty())
                byUnid.emplace(documents[i].unid, i);
        std::vector<std::vector<std::uint32_t>> children(parents.size());
        for (std::uint32_t i = 0; i < parents.size(); ++i)
            if (auto parent = byUnid.find(parents[i]); !parents[i].empty() && parent != byUnid.end())
                children[parent->second].push_back(i);
        return children;
    }

    // A view's documents from what its formula selected, with the responses it asks for.
    void collectSelected(const formula::Formula& formula, const std::vector<std::vector<std::uint32_t>>& children,
        std::vector<char>& selected, FormulaContents& out)
    {
        if (formula.usesAllDescendants() || formula.usesAllChildren())
            addResponses(children, formula.usesAllDescendants(), selected);
        for (std::uint32_t i = 0; i < selected.size(); ++i)
            if (selected[i])
                out.documents.push_back(i);
        out.documents.shrink_to_fit();
    }

    // Evaluates the selection formulas of all views that need one over every document, in file
    // order, reading each document once with the items any of them names. A document that
    // cannot be read, or for which a formula fails, is not selected (as Notes leaves it out).
    void selectByFormulas(const DatabaseIndex& index)
    {
        struct Pending {
            FormulaContents* out;
            formula::Formula formula;
            std::vector<char> selected;
        };
        std::vector<Pending> pending;
        std::vector<std::string> items;
        bool responses = false;
        const auto& documents = index.documents();
        for (const auto& view : index.views()) {
            if (!view.selected || view.selected->evaluated)
                continue;
            std::optional<formula::Formula> parsed;
            view.selected->reason = checkFormula(view.formula, parsed);
            if (!parsed)
                continue;
            for (const auto& name : parsed->itemNames())
                if (std::find(items.begin(), items.end(), name) == items.end())
                    items.push_back(name);
            responses = responses || parsed->usesAllDescendants() || parsed->usesAllChildren();
            pending.push_back(Pending { view.selected.get(), std::move(*parsed), std::vector<char>(documents.size()) });
        }
        if (pending.empty())
            return;
        const std::int64_t now = localNow();
        std::vector<std::string> parents(responses ? documents.size() : 0);
        for (std::uint32_t i = 0; i < documents.size(); ++i) {
            try {
                const ParsedDocument document = readDocument(index, i, "NotesView", "evaluate", &items);
                FormulaDocument access(document);
                for (auto& p : pending)
                    p.selected[i] = p.formula.evaluate(access, now).selected ? 1 : 0;
                if (responses)
                    parents[i] = document.parentUnid;
            } catch (const automation::AutomationError&) {
                // An unreadable document is reported where it is opened; it selects nothing here.
            }
        }
        const auto children = childrenByParent(documents, parents);
        for (auto& p : pending)
            collectSelected(p.formula, children, p.selected, *p.out);
    }

    class IndexingFormulaTee final : public FormulaTee {
    public:
        void addFormula(std::size_t view, const std::string& text, std::size_t documentsBefore) override
        {
            Entry entry;
            entry.view = view;
            entry.firstDocument = documentsBefore;
            std::optional<formula::Formula> parsed;
            entry.reason = checkFormula(text, parsed);
            if (parsed) {
                for (const auto& name : parsed->itemNames())
                    if (std::find(items_.begin(), items_.end(), name) == items_.end())
                        items_.push_back(name);
                responses_ = responses_ || parsed->usesAllDescendants() || parsed->usesAllChildren();
                entry.formula = std::move(parsed);
            }
            entries_.push_back(std::move(entry));
        }

        void beginDocument(XmlReader& reader, const char* name, const char** attrs) override
        {
            document_ = ParsedDocument {};
            reader_.emplace(document_, &items_);
            reader_->reader = &reader;
            reader_->softFailure = true;
            static const char* none[] = { nullptr };
            reader_->startElement("w", none); // the wrapper a document read on its own has
            reader_->startElement(name, attrs);
        }
        void startElement(const char* name, const char** attrs) override { reader_->startElement(name, attrs); }
        void endElement(const char* name) override { reader_->endElement(name); }
        void characters(const char* text, int length) override { reader_->characters(text, length); }
        bool reads(std::string_view item) const override
        {
            return std::any_of(
                items_.begin(), items_.end(), [&](const std::string& name) { return equalsIgnoreCase(name, item); });
        }

        void endDocument(const char* name) override
        {
            reader_->endElement(name);
            const bool read = !reader_->failed;
            if (read && (!reader_->mimeParts.empty() || !reader_->mimeText.empty()))
                applyNativeMime(document_, reader_->mimeParts, reader_->mimeText);
            FormulaDocument access(document_);
            for (auto& entry : entries_) {
                if (!entry.formula)
                    continue;
                bool selected = false;
                if (read) {
                    try {
                        selected = entry.formula->evaluate(access, now_).selected;
                    } catch (const automation::AutomationError&) {
                        // As in the scan: a formula that fails on a document does not select it.
                    }
                }
                entry.selected.push_back(selected ? 1 : 0);
            }
            if (responses_)
                parents_.push_back(read ? document_.parentUnid : std::string());
            reader_.reset();
            document_ = ParsedDocument {};
        }

        bool result(std::size_t view, const std::vector<DocumentRecord>& documents, FormulaContents& out) override
        {
            auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.view == view; });
            if (it == entries_.end() || it->firstDocument != 0)
                return false; // documents came before the view: the scan reads them all
            out.reason = it->reason;
            if (!it->formula)
                return true;
            if (!children_)
                children_ = childrenByParent(documents, parents_);
            collectSelected(*it->formula, *children_, it->selected, out);
            it->selected = {};
            return true;
        }

    private:
        struct Entry {
            std::size_t view = 0;
            std::size_t firstDocument = 0; // documents of the file before the view
            std::optional<formula::Formula> formula;
            std::string reason;
            std::vector<char> selected; // by document, from firstDocument on
        };

        std::vector<std::string> items_;
        std::vector<Entry> entries_;
        std::optional<DocumentReader> reader_;
        ParsedDocument document_;
        bool responses_ = false;
        std::vector<std::string> parents_;
        std::optional<std::vector<std::vector<std::uint32_t>>> children_; // once a view asks
        const std::int64_t now_ = localNow();
    };

    std::unique_ptr<FormulaTee> makeFormulaTee() { return std::make_unique<IndexingFormulaTee>(); }

    const FormulaContents* formulaContents(const DatabaseIndex& index, const ViewRecord& view)
    {
        if (!view.selected)
            return nullptr;
        std::call_once(*view.selected->scan, [&] { selectByFormulas(index); });
        return view.selected.get();
    }
} // namespace

std::size_t DatabaseIndex::viewSize(const ViewRecord& view) const
{
    if (view.allDocuments)
        return documents_.size();
    if (const auto* contents = formulaContents(*this, view))
        return contents->documents.size();
    return view.documents.size();
}

std::uint32_t DatabaseIndex::viewDocument(const ViewRecord& view, std::size_t position) const
{
    if (view.allDocuments)
        return static_cast<std::uint32_t>(position);
    if (const auto* contents = formulaContents(*this, view))
        return contents->documents[position];
    return view.documents[position];
}

std::string DatabaseIndex::unevaluatedReason(const ViewRecord& view) const
{
    if (const auto* contents = formulaContents(*this, view))
        return contents->reason;
    return {};
}

} // namespace notes::detail
