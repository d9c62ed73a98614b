#include "fake_outlook.h"

namespace fake_outlook {

using automation::AutomationError;
using automation::Variant;

namespace {
    void check(const Outlook& o, const std::string& member)
    {
        if (o.failing.count(member))
            throw AutomationError("FakeOutlook", member, "scripted failure");
    }

    class FakeMail : public automation::RDOMail {
    public:
        explicit FakeMail(std::shared_ptr<Item> item)
            : item_(std::move(item))
        {
        }
        void Set(const std::string& p, const Variant& v) override { item_->properties[p] = v; }
        Variant Get(const std::string& p) const override
        {
            auto it = item_->properties.find(p);
            return it == item_->properties.end() ? Variant() : it->second;
        }
        std::shared_ptr<automation::RDORecipients> Recipients() override { return nullptr; }
        std::shared_ptr<automation::RDOAttachments> Attachments() override { return nullptr; }
        std::shared_ptr<automation::MAPIMessage> MAPIOBJECT() override { return nullptr; }
        void Save() override { item_->saved = true; }

    private:
        std::shared_ptr<Item> item_;
    };

    class FakeItems : public automation::RDOItems {
    public:
        explicit FakeItems(std::shared_ptr<Folder> f)
            : f_(std::move(f))
        {
        }
        std::int32_t Count() const override { return static_cast<std::int32_t>(f_->items.size()); }
        std::shared_ptr<automation::RDOMail> Add(automation::OlItemType kind) override
        {
            auto item = std::make_shared<Item>();
            item->kind = static_cast<std::int16_t>(kind);
            f_->items.push_back(item);
            return std::make_shared<FakeMail>(item);
        }

    private:
        std::shared_ptr<Folder> f_;
    };

    class FakeFolder;
    class FakeFolders : public automation::RDOFolders {
    public:
        FakeFolders(std::shared_ptr<Outlook> o, std::shared_ptr<Folder> f)
            : o_(std::move(o))
            , f_(std::move(f))
        {
        }
        std::int32_t Count() const override { return static_cast<std::int32_t>(f_->folders.size()); }
        std::shared_ptr<automation::RDOFolder> Item(std::int32_t index) const override;
        std::shared_ptr<automation::RDOFolder> Item(const std::string& name) const override;
        std::shared_ptr<automation::RDOFolder> Add(const std::string& name, std::int16_t) override;

    private:
        std::shared_ptr<Outlook> o_;
        std::shared_ptr<Folder> f_;
    };

    class FakeFolder : public automation::RDOFolder {
    public:
        FakeFolder(std::shared_ptr<Outlook> o, std::shared_ptr<Folder> f)
            : o_(std::move(o))
            , f_(std::move(f))
        {
        }
        std::string Name() const override { return f_->name; }
        std::string EntryID() const override { return f_->name; }
        std::shared_ptr<automation::RDOFolders> Folders() override { return std::make_shared<FakeFolders>(o_, f_); }
        std::shared_ptr<automation::RDOItems> Items() override { return std::make_shared<FakeItems>(f_); }

    private:
        std::shared_ptr<Outlook> o_;
        std::shared_ptr<Folder> f_;
    };

    std::shared_ptr<automation::RDOFolder> FakeFolders::Item(std::int32_t index) const
    {
        if (index < 1 || index > Count())
            throw AutomationError("FakeOutlook", "Folders.Item", "index out of range");
        return std::make_shared<FakeFolder>(o_, f_->folders[static_cast<std::size_t>(index - 1)]);
    }

    std::shared_ptr<automation::RDOFolder> FakeFolders::Item(const std::string& name) const
    {
        for (const auto& f : f_->folders)
            if (f->name == name)
                return std::make_shared<FakeFolder>(o_, f);
        return nullptr;
    }

    std::shared_ptr<automation::RDOFolder> FakeFolders::Add(const std::string& name, std::int16_t)
    {
        check(*o_, "Folders.Add");
        if (Item(name))
            throw AutomationError("FakeOutlook", "Folders.Add", "exists: " + name);
        auto f = std::make_shared<Folder>();
        f->name = name;
        f_->folders.push_back(f);
        return std::make_shared<FakeFolder>(o_, f);
    }

    class FakeStore : public automation::RDOStore {
    public:
        FakeStore(std::shared_ptr<Outlook> o, std::shared_ptr<Store> s)
            : o_(std::move(o))
            , s_(std::move(s))
        {
        }
        std::string EntryID() const override { return s_->entryId; }
        std::string Name() const override { return s_->displayName; }
        std::shared_ptr<automation::RDOFolder> IPMRootFolder() override
        {
            return std::make_shared<FakeFolder>(o_, s_->top);
        }
        std::shared_ptr<automation::RDOFolder> GetDefaultFolder(std::int16_t n) override
        {
            auto& f = s_->defaults[n];
            if (!f) {
                f = std::make_shared<Folder>();
                f->name = "default " + std::to_string(n);
            }
            return std::make_shared<FakeFolder>(o_, f);
        }

    private:
        std::shared_ptr<Outlook> o_;
        std::shared_ptr<Store> s_;
    };

    class FakeStores : public automation::RDOStores {
    public:
        explicit FakeStores(std::shared_ptr<Outlook> o)
            : o_(std::move(o))
        {
        }
        std::shared_ptr<automation::RDOStore> AddPSTStore(
            const std::string& path, std::int16_t format, const std::string& displayName) override
        {
            check(*o_, "AddPSTStore");
            auto s = std::make_shared<Store>();
            s->path = path;
            s->format = format;
            s->displayName = displayName;
            s->entryId = "ENTRY" + std::to_string(o_->stores.size() + 1);
            o_->stores.push_back(s);
            return std::make_shared<FakeStore>(o_, s);
        }
        std::shared_ptr<automation::RDOStore> GetStoreFromID(const std::string& id) override
        {
            check(*o_, "GetStoreFromID");
            for (const auto& s : o_->stores)
                if (s->entryId == id)
                    return std::make_shared<FakeStore>(o_, s);
            throw AutomationError("FakeOutlook", "GetStoreFromID", "no store " + id);
        }

    private:
        std::shared_ptr<Outlook> o_;
    };

    class FakeSession : public automation::RDOSession {
    public:
        explicit FakeSession(std::shared_ptr<Outlook> o)
            : o_(std::move(o))
        {
        }
        void Logon() override
        {
            check(*o_, "Logon");
            ++o_->logons;
        }
        void Logoff() override
        {
            check(*o_, "Logoff");
            ++o_->logoffs;
        }
        std::string OutlookVersion() const override
        {
            check(*o_, "OutlookVersion");
            return o_->version;
        }
        std::shared_ptr<automation::RDOStores> Stores() override { return std::make_shared<FakeStores>(o_); }
        std::shared_ptr<automation::RDOStore> GetStoreFromID(const std::string& id) override
        {
            return FakeStores(o_).GetStoreFromID(id);
        }
        std::shared_ptr<automation::RDOFolder> GetFolderFromPath(const std::string& path) override
        {
            throw AutomationError("FakeOutlook", "GetFolderFromPath", "not scripted: " + path);
        }

    private:
        std::shared_ptr<Outlook> o_;
    };
} // namespace

void Register(std::shared_ptr<Outlook> outlook)
{
    automation::RegisterProvider("Redemption.RDOSession", [outlook]() -> automation::ObjectPtr {
        check(*outlook, "Create");
        return std::make_shared<FakeSession>(outlook);
    });
}

} // namespace fake_outlook
