#include "fake_notes.h"

#include <algorithm>

namespace fake_notes {

using automation::AutomationError;
using automation::Variant;

namespace {
    void check(const Database& db, const std::string& member)
    {
        if (db.failing.count(member))
            throw AutomationError("FakeNotes", member, "scripted failure");
    }

    class FakeDocument : public automation::NotesDocument {
    public:
        FakeDocument(std::shared_ptr<Database> db, const Document* doc)
            : db_(std::move(db))
            , doc_(doc)
        {
        }
        std::string NoteID() const override { return doc_->noteId; }
        std::int32_t Size() const override { return doc_->size; }
        Variant GetItemValue(const std::string& name) const override
        {
            check(*db_, "GetItemValue:" + name);
            auto it = doc_->items.find(name);
            if (it == doc_->items.end())
                return Variant(automation::VariantArray { Variant(std::string()) });
            return it->second.isArray() ? it->second : Variant(automation::VariantArray { it->second });
        }
        bool HasItem(const std::string& name) const override { return doc_->items.count(name) != 0; }
        bool HasEmbedded() const override { return false; }
        std::vector<std::shared_ptr<automation::NotesItem>> Items() const override { return {}; }
        std::shared_ptr<automation::NotesEmbeddedObject> GetAttachment(const std::string&) const override
        {
            return nullptr;
        }

    private:
        std::shared_ptr<Database> db_;
        const Document* doc_;
    };

    class FakeEntries : public automation::NotesViewEntryCollection {
    public:
        FakeEntries(std::shared_ptr<Database> db, const View* view)
            : db_(std::move(db))
            , view_(view)
        {
        }
        std::int32_t Count() const override
        {
            check(*db_, "Count:" + view_->name);
            return static_cast<std::int32_t>(view_->noteIds.size());
        }

    private:
        std::shared_ptr<Database> db_;
        const View* view_;
    };

    class FakeView : public automation::NotesView {
    public:
        FakeView(std::shared_ptr<Database> db, const View* view)
            : db_(std::move(db))
            , view_(view)
        {
        }
        std::string Name() const override
        {
            check(*db_, "Name:" + view_->name);
            return view_->name;
        }
        std::vector<std::string> Aliases() const override { return {}; }
        bool IsFolder() const override { return view_->folder; }
        std::shared_ptr<automation::NotesViewEntryCollection> AllEntries() const override
        {
            return std::make_shared<FakeEntries>(db_, view_);
        }
        std::shared_ptr<automation::NotesDocument> GetFirstDocument() const override { return at(0); }
        std::shared_ptr<automation::NotesDocument> GetNextDocument(
            const automation::NotesDocument& current) const override
        {
            const auto& ids = view_->noteIds;
            auto it = std::find(ids.begin(), ids.end(), current.NoteID());
            return it == ids.end() ? nullptr : at(static_cast<std::size_t>(it - ids.begin()) + 1);
        }

    private:
        std::shared_ptr<automation::NotesDocument> at(std::size_t index) const
        {
            if (index >= view_->noteIds.size())
                return nullptr;
            for (const auto& d : db_->documents)
                if (d.noteId == view_->noteIds[index])
                    return std::make_shared<FakeDocument>(db_, &d);
            return nullptr;
        }
        std::shared_ptr<Database> db_;
        const View* view_;
    };

    class FakeDatabase : public automation::NotesDatabase {
    public:
        explicit FakeDatabase(std::shared_ptr<Database> db)
            : db_(std::move(db))
        {
        }
        std::string Title() const override
        {
            check(*db_, "Title");
            return db_->title;
        }
        int Type() const override
        {
            check(*db_, "Type");
            return db_->type;
        }
        std::vector<std::shared_ptr<automation::NotesView>> Views() const override
        {
            check(*db_, "Views");
            std::vector<std::shared_ptr<automation::NotesView>> out;
            for (const auto& v : db_->views)
                out.push_back(std::make_shared<FakeView>(db_, &v));
            return out;
        }
        std::shared_ptr<automation::NotesView> GetView(const std::string& name) const override
        {
            check(*db_, "GetView:" + name);
            for (const auto& v : db_->views)
                if (v.name == name)
                    return std::make_shared<FakeView>(db_, &v);
            return nullptr;
        }
        std::shared_ptr<automation::NotesDocument> GetDocumentByID(const std::string& id) const override
        {
            check(*db_, "GetDocumentByID:" + id);
            for (const auto& d : db_->documents)
                if (d.noteId == id)
                    return std::make_shared<FakeDocument>(db_, &d);
            throw AutomationError("FakeNotes", "GetDocumentByID", "no document " + id);
        }

    private:
        std::shared_ptr<Database> db_;
    };

    class FakeSession : public automation::NotesSession {
    public:
        explicit FakeSession(std::shared_ptr<Database> db)
            : db_(std::move(db))
        {
        }
        std::shared_ptr<automation::NotesDatabase> GetDatabase(const std::string&, const std::string&) override
        {
            check(*db_, "GetDatabase");
            return std::make_shared<FakeDatabase>(db_);
        }

    private:
        std::shared_ptr<Database> db_;
    };
} // namespace

void Register(std::shared_ptr<Database> db)
{
    automation::RegisterProvider("Notes.NotesSession", [db] { return std::make_shared<FakeSession>(db); });
}

} // namespace fake_notes
