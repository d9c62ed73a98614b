#include "notes_session.h"

#include "automation/notes_item_values.h"
#include "dxl_database.h"
#include "mime_body.h"
#include "read_ahead.h"
#include "rich_text_html.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <system_error>

namespace notes {

namespace {
    using automation::AutomationError;
    using automation::Variant;
    using automation::VariantArray;
    using detail::DatabaseIndex;
    using IndexPtr = std::shared_ptr<const DatabaseIndex>;

    bool equalsIgnoreCase(std::string_view a, std::string_view b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
            return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
        });
    }

    // Parsed databases by path, kept for the life of the process and read again when the
    // file's identity, size or modification time changes.
    class DatabaseCache {
    public:
        IndexPtr open(const std::string& path)
        {
            struct stat st { };
            if (::stat(path.c_str(), &st) != 0)
                throw AutomationError("NotesSession", "GetDatabase", path + ": " + std::strerror(errno));
            // Keyed by the path as given: the program opens the same text for every document.
            const std::string& key = path;
            {
                std::lock_guard lock(mutex_);
                auto it = entries_.find(key);
                if (it != entries_.end() && it->second.matches(st))
                    return it->second.index;
            }
            // Index outside the lock; two threads opening the same new file both parse it.
            IndexPtr index = DatabaseIndex::open(path);
            std::lock_guard lock(mutex_);
            entries_[key] = Entry { st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, index };
            return index;
        }

        void clear()
        {
            std::lock_guard lock(mutex_);
            entries_.clear();
        }

    private:
        struct Entry {
            dev_t device;
            ino_t inode;
            off_t size;
            time_t seconds;
            long nanoseconds;
            IndexPtr index;

            bool matches(const struct stat& st) const
            {
                return device == st.st_dev && inode == st.st_ino && size == st.st_size && seconds == st.st_mtim.tv_sec
                    && nanoseconds == st.st_mtim.tv_nsec;
            }
        };
        std::mutex mutex_;
        std::map<std::string, Entry> entries_;
    };

    DatabaseCache& cache()
    {
        static DatabaseCache instance;
        return instance;
    }

    // The one list of documents read ahead (a conversion reads one database at a time), for the
    // database whose index it reads.
    class ReadAheads {
    public:
        // Replaces the read-ahead there was (it stops); none for an empty list. Without a thread
        // to read on, documents are read when fetched, as always.
        void start(const IndexPtr& index, std::vector<std::uint32_t> documents)
        {
            std::shared_ptr<detail::ReadAhead> fresh;
            if (!documents.empty()) {
                try {
                    fresh = std::make_shared<detail::ReadAhead>(index, std::move(documents));
                } catch (const std::system_error&) {
                }
            }
            std::shared_ptr<detail::ReadAhead> old;
            {
                std::lock_guard lock(mutex_);
                old = std::exchange(current_, std::move(fresh));
                index_ = current_ ? index.get() : nullptr;
            }
            old.reset(); // waits for its thread outside the lock
        }

        std::optional<detail::ParsedDocument> take(const DatabaseIndex& index, std::uint32_t document)
        {
            std::shared_ptr<detail::ReadAhead> current;
            {
                std::lock_guard lock(mutex_);
                if (index_ != &index)
                    return std::nullopt;
                current = current_;
            }
            return current->take(document);
        }

    private:
        std::mutex mutex_;
        std::shared_ptr<detail::ReadAhead> current_;
        const DatabaseIndex* index_ = nullptr; // current_'s, which holds it
    };

    ReadAheads& readAheads()
    {
        static ReadAheads instance;
        return instance;
    }

    class DxlAttachment final : public automation::NotesEmbeddedObject {
    public:
        DxlAttachment(IndexPtr index, detail::Attachment attachment)
            : index_(std::move(index))
            , attachment_(std::move(attachment))
        {
        }
        std::string Name() const override { return attachment_.fileName; }
        std::int64_t FileSize() const override
        {
            return static_cast<std::int64_t>(std::min<std::uint64_t>(attachment_.size, INT64_MAX));
        }
        void ExtractFile(const std::string& path) override { detail::extractAttachment(*index_, attachment_, path); }

    private:
        IndexPtr index_;
        detail::Attachment attachment_;
    };

    class DxlItem final : public automation::NotesItem {
    public:
        DxlItem(std::string name, int type, VariantArray values,
            std::shared_ptr<automation::NotesEmbeddedObject> attachment = nullptr)
            : name_(std::move(name))
            , type_(type)
            , values_(std::move(values))
            , attachment_(std::move(attachment))
        {
        }
        std::string Name() const override { return name_; }
        int Type() const override { return type_; }
        Variant Values() const override { return values_.empty() ? Variant(VariantArray { Variant("") }) : values_; }
        std::shared_ptr<automation::NotesEmbeddedObject> Attachment() const override { return attachment_; }

    private:
        std::string name_;
        int type_;
        VariantArray values_;
        std::shared_ptr<automation::NotesEmbeddedObject> attachment_;
    };

    class DxlView;

    class DxlDocument final : public automation::NotesDocument {
    public:
        // A document fetched by note ID is read at once (unless it was read ahead), so that bad
        // content fails that call; one reached by walking a view is read when first asked for
        // more than its note ID, since walks often want only the IDs.
        DxlDocument(IndexPtr index, std::uint32_t document, const DxlView* view, std::size_t position,
            std::optional<detail::ParsedDocument> readAhead = std::nullopt)
            : index_(std::move(index))
            , document_(document)
            , content_(std::move(readAhead))
            , view_(view)
            , position_(position)
        {
            if (view_ == nullptr && !content_)
                content_ = detail::readDocument(*index_, document_, "NotesDatabase", "GetDocumentByID");
        }

        std::string NoteID() const override { return index_->noteIdText(document_); }
        std::string UniversalID() const override { return index_->documents()[document_].unid; }

        std::int32_t Size() const override
        {
            std::uint64_t total = 0;
            for (const auto& item : content().items)
                total += item.size;
            return static_cast<std::int32_t>(std::min<std::uint64_t>(total, INT32_MAX));
        }

        Variant GetItemValue(const std::string& itemName) const override
        {
            if (const auto* item = find(itemName); item != nullptr && !item->values.empty())
                return item->values;
            return VariantArray { Variant("") };
        }

        bool HasItem(const std::string& itemName) const override { return find(itemName) != nullptr; }

        bool HasEmbedded() const override { return !content().attachments.empty(); }

        std::vector<std::shared_ptr<automation::NotesItem>> Items() const override
        {
            std::vector<std::shared_ptr<automation::NotesItem>> items;
            items.reserve(content().items.size());
            const auto& attachments = content().attachments;
            for (const auto& item : content().items) {
                std::shared_ptr<automation::NotesEmbeddedObject> file;
                if (item.attachment >= 0 && static_cast<std::size_t>(item.attachment) < attachments.size())
                    file = std::make_shared<DxlAttachment>(
                        index_, attachments[static_cast<std::size_t>(item.attachment)]);
                items.push_back(std::make_shared<DxlItem>(item.name, item.type, item.values, std::move(file)));
            }
            return items;
        }

        std::shared_ptr<automation::NotesEmbeddedObject> GetAttachment(const std::string& fileName) const override
        {
            const auto& all = content().attachments;
            auto it = std::find_if(all.begin(), all.end(), [&](const auto& a) { return a.fileName == fileName; });
            if (it == all.end())
                it = std::find_if(
                    all.begin(), all.end(), [&](const auto& a) { return equalsIgnoreCase(a.fileName, fileName); });
            if (it == all.end())
                return nullptr;
            return std::make_shared<DxlAttachment>(index_, *it);
        }

        std::vector<std::pair<std::string, std::uint32_t>> IgnoredContent() const override
        {
            const auto& ignored = content().findings.ignored;
            return { ignored.begin(), ignored.end() };
        }
        std::vector<std::string> DamagedContent() const override { return content().findings.damaged; }

        automation::NotesMimeBody ConvertToMIME(const std::string& itemName) const override
        {
            automation::NotesMimeBody body;
            if (const auto* item = find(itemName)) {
                if (item->mime)
                    body = *item->mime;
                else if (item->richText)
                    body = detail::richTextToHtml(item->richText, contentIdDomain());
                else if (!item->values.empty() && item->values.front().type() == Variant::Type::Text
                    && !item->values.front().toText().empty())
                    body = detail::plainTextToHtml(item->values.front().toText());
            }
            body.headers = content().internetHeaders;
            body.identity = detail::parseMailIdentity(body.headers);
            return body;
        }

        std::uint32_t document() const { return document_; }
        const DxlView* view() const { return view_; }
        std::size_t position() const { return position_; }

    private:
        const detail::ParsedDocument& content() const
        {
            if (!content_)
                content_ = detail::readDocument(*index_, document_, "NotesDocument", "read");
            return *content_;
        }

        // The right side of the Content-IDs of the document's pictures: its UNID, else its note ID.
        std::string contentIdDomain() const
        {
            const std::string& unid = index_->documents()[document_].unid;
            return (unid.empty() ? "note-" + NoteID() : unid) + ".notes";
        }

        const detail::Item* find(const std::string& name) const
        {
            for (const auto& item : content().items)
                if (equalsIgnoreCase(item.name, name))
                    return &item;
            return nullptr;
        }

        IndexPtr index_;
        std::uint32_t document_;
        mutable std::optional<detail::ParsedDocument> content_;
        const DxlView* view_;
        std::size_t position_;
    };

    class DxlEntries final : public automation::NotesViewEntryCollection {
    public:
        explicit DxlEntries(std::size_t count)
            : count_(count)
        {
        }
        std::int32_t Count() const override
        {
            return static_cast<std::int32_t>(std::min<std::size_t>(count_, INT32_MAX));
        }

    private:
        std::size_t count_;
    };

    class DxlView final : public automation::NotesView {
    public:
        DxlView(IndexPtr index, std::size_t view)
            : index_(std::move(index))
            , view_(index_->views()[view])
        {
        }
        std::string Name() const override { return view_.name; }
        std::vector<std::string> Aliases() const override { return view_.aliases; }
        bool IsFolder() const override { return view_.isFolder; }
        std::shared_ptr<automation::NotesViewEntryCollection> AllEntries() const override
        {
            return std::make_shared<DxlEntries>(index_->viewSize(view_));
        }
        std::shared_ptr<automation::NotesDocument> GetFirstDocument() const override { return at(0); }
        std::string unevaluatedReason() const { return index_->unevaluatedReason(view_); }
        std::string MembershipUnknown() const override
        {
            if (view_.membershipUnknown)
                return "the export holds no membership of folder " + view_.name
                    + " (no view entries, no folder references)";
            if (const std::string reason = unevaluatedReason(); !reason.empty())
                return "the selection formula of view " + view_.name + " was not evaluated: " + reason;
            return {};
        }

        std::shared_ptr<automation::NotesDocument> GetNextDocument(
            const automation::NotesDocument& current) const override
        {
            const auto* doc = dynamic_cast<const DxlDocument*>(&current);
            if (doc != nullptr && doc->view() == this)
                return at(doc->position() + 1);
            // A document not reached through this view: continue after its first entry here.
            const std::size_t size = index_->viewSize(view_);
            const std::string id = current.NoteID();
            const auto wanted = index_->find(id);
            if (!wanted)
                throw AutomationError("NotesView", "GetNextDocument", "note " + id + " is not in this database");
            for (std::size_t i = 0; i < size; ++i)
                if (index_->viewDocument(view_, i) == *wanted)
                    return at(i + 1);
            throw AutomationError("NotesView", "GetNextDocument", "note " + id + " is not in view " + view_.name);
        }

    private:
        std::shared_ptr<automation::NotesDocument> at(std::size_t position) const
        {
            if (position >= index_->viewSize(view_))
                return nullptr;
            return std::make_shared<DxlDocument>(index_, index_->viewDocument(view_, position), this, position);
        }

        IndexPtr index_;
        const detail::ViewRecord& view_;
    };

    class DxlDatabase final : public automation::NotesDatabase, public automation::NotesItemValues {
    public:
        explicit DxlDatabase(IndexPtr index)
            : index_(std::move(index))
        {
        }
        std::string Title() const override { return index_->title(); }
        int Type() const override { return index_->type(); }

        std::vector<std::shared_ptr<automation::NotesView>> Views() const override
        {
            std::vector<std::shared_ptr<automation::NotesView>> views;
            for (std::size_t i = 0; i < index_->views().size(); ++i)
                views.push_back(std::make_shared<DxlView>(index_, i));
            return views;
        }

        std::shared_ptr<automation::NotesView> GetView(const std::string& name) const override
        {
            const auto& views = index_->views();
            auto matches = [&](bool exact) {
                for (std::size_t i = 0; i < views.size(); ++i) {
                    auto same = [&](const std::string& n) { return exact ? n == name : equalsIgnoreCase(n, name); };
                    if (same(views[i].name) || std::any_of(views[i].aliases.begin(), views[i].aliases.end(), same))
                        return static_cast<std::ptrdiff_t>(i);
                }
                return std::ptrdiff_t { -1 };
            };
            std::ptrdiff_t found = matches(true);
            if (found < 0)
                found = matches(false);
            if (found < 0)
                return nullptr;
            return std::make_shared<DxlView>(index_, static_cast<std::size_t>(found));
        }

        std::shared_ptr<automation::NotesDocument> GetDocumentByID(const std::string& noteId) const override
        {
            const auto document = index_->find(noteId);
            if (!document)
                throw AutomationError("NotesDatabase", "GetDocumentByID",
                    index_->path() + ": no document has the note ID \"" + noteId + "\"");
            return std::make_shared<DxlDocument>(index_, *document, nullptr, 0, readAheads().take(*index_, *document));
        }

        void ReadAhead(const std::vector<std::string>& noteIds) const override
        {
            std::vector<std::uint32_t> documents;
            documents.reserve(noteIds.size());
            for (const auto& id : noteIds)
                if (const auto document = index_->find(id))
                    documents.push_back(*document);
            readAheads().start(index_, std::move(documents));
        }

        std::shared_ptr<automation::NotesDocument> GetDocumentByUNID(const std::string& unid) const override
        {
            const auto document = index_->findUnid(unid);
            if (!document)
                return nullptr;
            return std::make_shared<DxlDocument>(index_, *document, nullptr, 0);
        }

        std::vector<std::string> ReaderFindings() const override { return index_->findings(); }

        std::vector<std::string> AllDocumentIDs() const override
        {
            std::vector<std::string> ids;
            ids.reserve(index_->documents().size());
            for (std::size_t i = 0; i < index_->documents().size(); ++i)
                ids.push_back(index_->noteIdText(static_cast<std::uint32_t>(i)));
            return ids;
        }

        void EachItemValues(const std::vector<std::string>& itemNames,
            const std::function<void(const std::vector<Variant>&)>& handOver) const override
        {
            std::vector<std::string> only;
            for (const auto& name : itemNames) {
                std::string key = name;
                std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::toupper(c); });
                only.push_back(std::move(key));
            }
            std::vector<Variant> row;
            for (std::size_t i = 0; i < index_->documents().size(); ++i) {
                detail::ParsedDocument doc;
                try {
                    doc = detail::readDocument(
                        *index_, static_cast<std::uint32_t>(i), "NotesDatabase", "EachItemValues", &only);
                } catch (const AutomationError&) {
                    continue;
                }
                row.clear();
                for (const auto& name : itemNames) {
                    const auto it = std::find_if(doc.items.begin(), doc.items.end(),
                        [&](const detail::Item& item) { return equalsIgnoreCase(item.name, name); });
                    if (it != doc.items.end())
                        row.emplace_back(it->values);
                    else if (equalsIgnoreCase(name, "Form") && !doc.form.empty())
                        row.emplace_back(VariantArray { Variant(doc.form) });
                    else
                        row.emplace_back(VariantArray {});
                }
                handOver(row);
            }
        }

    private:
        IndexPtr index_;
    };

    class DxlSession final : public automation::NotesSession {
    public:
        std::shared_ptr<automation::NotesDatabase> GetDatabase(
            const std::string& server, const std::string& path) override
        {
            if (!server.empty())
                throw AutomationError("NotesSession", "GetDatabase",
                    "server \"" + server + "\" cannot be reached; only local databases (server \"\") can be opened");
            if (path.empty())
                throw AutomationError("NotesSession", "GetDatabase", "no database path given");
            return std::make_shared<DxlDatabase>(cache().open(path));
        }
    };
} // namespace

std::shared_ptr<automation::NotesSession> CreateNotesSession() { return std::make_shared<DxlSession>(); }

void RegisterNotesSession()
{
    automation::RegisterProvider("Notes.NotesSession", [] { return CreateNotesSession(); });
}

std::string UnevaluatedReason(const automation::NotesView& view)
{
    const auto* dxl = dynamic_cast<const DxlView*>(&view);
    return dxl != nullptr ? dxl->unevaluatedReason() : std::string();
}

void ClearDatabaseCache()
{
    readAheads().start(nullptr, {});
    cache().clear();
}

} // namespace notes
