#include "stand_in.h"

#include "item.h"
#include "profile.h"

#include "automation/outlook.h"
#include "pst/Store.h"
#include "pst/Verify.h"

#include <chrono>
#include <map>
#include <mutex>

namespace outlook {

using automation::AutomationError;

namespace {
    std::string hex(const pst::Bytes& bytes)
    {
        static const char* digits = "0123456789ABCDEF";
        std::string out;
        for (auto b : bytes) {
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        return out;
    }

    // The stores open in this process, by entry ID.
    struct OpenStores {
        std::map<std::string, std::shared_ptr<OpenStore>> byId;
    };
    OpenStores& openStores()
    {
        static OpenStores stores;
        return stores;
    }

    std::filesystem::path& profileOverride()
    {
        static std::filesystem::path file;
        return file;
    }

    [[noreturn]] void rethrow(const char* object, const char* member, const pst::Error& e)
    {
        throw AutomationError(object, member, e.what());
    }

    pst::DefaultFolder defaultFolder(std::int16_t n)
    {
        switch (static_cast<automation::OlDefaultFolder>(n)) {
        case automation::OlDefaultFolder::DeletedItems:
            return pst::DefaultFolder::DeletedItems;
        case automation::OlDefaultFolder::SentMail:
            return pst::DefaultFolder::SentItems;
        case automation::OlDefaultFolder::Inbox:
            return pst::DefaultFolder::Inbox;
        case automation::OlDefaultFolder::Calendar:
            return pst::DefaultFolder::Calendar;
        case automation::OlDefaultFolder::Contacts:
            return pst::DefaultFolder::Contacts;
        case automation::OlDefaultFolder::Notes:
            return pst::DefaultFolder::Notes;
        case automation::OlDefaultFolder::Tasks:
            return pst::DefaultFolder::Tasks;
        case automation::OlDefaultFolder::Drafts:
            return pst::DefaultFolder::Drafts;
        }
        throw AutomationError("RDOStore", "GetDefaultFolder", "no default folder number " + std::to_string(n));
    }

    std::string containerClass(std::int16_t kind)
    {
        switch (kind) {
        case 9:
            return "IPF.Appointment";
        case 10:
            return "IPF.Contact";
        case 11:
            return "IPF.Journal";
        case 12:
            return "IPF.StickyNote";
        case 13:
            return "IPF.Task";
        default:
            return "IPF.Note";
        }
    }

    class StandInFolder;

    class StandInFolders : public automation::RDOFolders {
    public:
        StandInFolders(std::shared_ptr<OpenStore> store, pst::Folder folder)
            : store_(std::move(store))
            , folder_(folder)
        {
        }
        std::int32_t Count() const override;
        std::shared_ptr<automation::RDOFolder> Item(std::int32_t index) const override;
        std::shared_ptr<automation::RDOFolder> Item(const std::string& name) const override;
        std::shared_ptr<automation::RDOFolder> Add(const std::string& name, std::int16_t kind) override;

    private:
        std::shared_ptr<OpenStore> store_;
        pst::Folder folder_;
    };

    class StandInItems : public automation::RDOItems {
    public:
        StandInItems(std::shared_ptr<OpenStore> store, pst::Folder folder)
            : store_(std::move(store))
            , folder_(folder)
        {
        }
        std::int32_t Count() const override { return static_cast<std::int32_t>(folder_.contentCount()); }
        std::shared_ptr<automation::RDOMail> Add(automation::OlItemType kind) override
        {
            return NewItem(store_, folder_, kind);
        }

    private:
        std::shared_ptr<OpenStore> store_;
        pst::Folder folder_;
    };

    class StandInFolder : public automation::RDOFolder {
    public:
        StandInFolder(std::shared_ptr<OpenStore> store, pst::Folder folder)
            : store_(std::move(store))
            , folder_(folder)
        {
        }
        std::string Name() const override { return folder_.name(); }
        std::string EntryID() const override { return hex(folder_.entryId()); }
        std::shared_ptr<automation::RDOFolders> Folders() override
        {
            return std::make_shared<StandInFolders>(store_, folder_);
        }
        std::shared_ptr<automation::RDOItems> Items() override
        {
            return std::make_shared<StandInItems>(store_, folder_);
        }

    private:
        std::shared_ptr<OpenStore> store_;
        pst::Folder folder_;
    };

    std::int32_t StandInFolders::Count() const { return static_cast<std::int32_t>(folder_.subfolders().size()); }

    std::shared_ptr<automation::RDOFolder> StandInFolders::Item(std::int32_t index) const
    {
        const auto all = folder_.subfolders();
        if (index < 1 || index > static_cast<std::int32_t>(all.size()))
            throw AutomationError(
                "RDOFolders", "Item", "index " + std::to_string(index) + " outside 1.." + std::to_string(all.size()));
        return std::make_shared<StandInFolder>(store_, all[static_cast<std::size_t>(index - 1)]);
    }

    std::shared_ptr<automation::RDOFolder> StandInFolders::Item(const std::string& name) const
    {
        auto found = folder_.findSubfolder(name);
        return found ? std::make_shared<StandInFolder>(store_, *found) : nullptr;
    }

    std::shared_ptr<automation::RDOFolder> StandInFolders::Add(const std::string& name, std::int16_t kind)
    {
        try {
            auto created = folder_.createSubfolder(name, containerClass(kind));
            store_->dirty = true;
            return std::make_shared<StandInFolder>(store_, created);
        } catch (const pst::Error& e) {
            rethrow("RDOFolders", "Add", e);
        }
    }

    class StandInStore : public automation::RDOStore {
    public:
        explicit StandInStore(std::shared_ptr<OpenStore> store)
            : store_(std::move(store))
        {
        }
        std::string EntryID() const override { return store_->entryId; }
        std::string Name() const override { return store_->displayName; }
        std::shared_ptr<automation::RDOFolder> IPMRootFolder() override
        {
            return std::make_shared<StandInFolder>(store_, store_->store.ipmSubtree());
        }
        std::shared_ptr<automation::RDOFolder> GetDefaultFolder(std::int16_t n) override
        {
            return std::make_shared<StandInFolder>(store_, store_->store.defaultFolder(defaultFolder(n)));
        }

    private:
        std::shared_ptr<OpenStore> store_;
    };

    std::shared_ptr<OpenStore> storeById(const std::string& entryId)
    {
        auto& open = openStores().byId;
        auto it = open.find(entryId);
        if (it == open.end() || !it->second->store.isOpen())
            throw AutomationError("RDOSession", "GetStoreFromID", "no open store has the entry ID " + entryId);
        return it->second;
    }

    class StandInSession;

    class StandInStores : public automation::RDOStores {
    public:
        explicit StandInStores(StandInSession& session)
            : session_(session)
        {
        }
        std::shared_ptr<automation::RDOStore> AddPSTStore(
            const std::string& path, std::int16_t format, const std::string& displayName) override;
        std::shared_ptr<automation::RDOStore> GetStoreFromID(const std::string& entryId) override;

    private:
        StandInSession& session_;
    };

    class StandInSession : public automation::RDOSession, public std::enable_shared_from_this<StandInSession> {
    public:
        void Logon() override
        {
            const auto file = profileOverride().empty() ? Profile::defaultLocation() : profileOverride();
            profile_ = std::make_unique<Profile>(Profile::open(file));
        }

        void Logoff() override
        {
            requireLogon("Logoff");
            // Every store this process wrote is flushed: after a log-off the files are complete.
            for (auto& [id, store] : openStores().byId) {
                if (!store->dirty || !store->store.isOpen())
                    continue;
                try {
                    store->store.flush();
                    store->dirty = false;
                } catch (const pst::Error& e) {
                    rethrow("RDOSession", "Logoff", e);
                }
            }
            profile_.reset();
        }

        std::string OutlookVersion() const override { return "16.0.0.0"; }

        std::shared_ptr<automation::RDOStores> Stores() override
        {
            requireLogon("Stores");
            return std::shared_ptr<automation::RDOStores>(shared_from_this(), &stores_);
        }

        std::shared_ptr<automation::RDOStore> GetStoreFromID(const std::string& entryId) override
        {
            requireLogon("GetStoreFromID");
            return std::make_shared<StandInStore>(storeById(entryId));
        }

        std::shared_ptr<automation::RDOFolder> GetFolderFromPath(const std::string& path) override
        {
            requireLogon("GetFolderFromPath");
            return FolderFromPath(path);
        }

        Profile& profile() { return *profile_; }
        void requireLogon(const char* member) const
        {
            if (!profile_)
                throw AutomationError("RDOSession", member, "the session is not logged on");
        }

    private:
        std::unique_ptr<Profile> profile_;
        StandInStores stores_ { *this };
    };

    std::shared_ptr<automation::RDOStore> StandInStores::AddPSTStore(
        const std::string& path, std::int16_t format, const std::string& displayName)
    {
        session_.requireLogon("Stores.AddPSTStore");
        if (format != 2 && format != 3)
            throw AutomationError(
                "RDOStores", "AddPSTStore", "format " + std::to_string(format) + " is neither 2 nor 3");
        try {
            auto open = std::make_shared<OpenStore>(OpenStore {
                pst::Store::create(path, format == 2 ? pst::Format::Unicode : pst::Format::Ansi, displayName), {},
                displayName, false });
            open->entryId = hex(open->store.entryId());
            openStores().byId[open->entryId] = open;
            session_.profile().add({ open->entryId, path, format, displayName });
            return std::make_shared<StandInStore>(open);
        } catch (const pst::Error& e) {
            rethrow("RDOStores", "AddPSTStore", e);
        }
    }

    std::shared_ptr<automation::RDOStore> StandInStores::GetStoreFromID(const std::string& entryId)
    {
        return std::make_shared<StandInStore>(storeById(entryId));
    }

    class StandInUtils : public automation::MAPIUtils {
    public:
        void HrSetOneProp(
            automation::MAPIMessage& message, std::uint32_t tag, const automation::Variant& value, bool save) override
        {
            SetPropertyByTag(message, tag, value, save);
        }
    };

    class StandInNamespace : public automation::OutlookNamespace {
    public:
        std::shared_ptr<automation::RDOFolder> Folders(const std::string& name) override
        {
            for (auto& [id, store] : openStores().byId)
                if (store->displayName == name && store->store.isOpen())
                    return std::make_shared<StandInFolder>(store, store->store.ipmSubtree());
            throw AutomationError("Namespace", "Folders", "no store named \"" + name + "\" is open");
        }
    };

    // Reads a PST file back with the verifier, after writing what an open store of that file
    // still holds. Folder paths drop the top of the store (the IPM subtree), so "\Inbox";
    // folders outside it (search folders) are left out.
    class StandInFileCheck : public automation::PstFileCheck {
    public:
        automation::PstReadBack ReadBack(const std::string& path) override
        {
            std::error_code ec;
            automation::PstReadBack result;
            for (auto& [id, store] : openStores().byId) {
                if (!store->dirty || !store->store.isOpen()
                    || !std::filesystem::equivalent(store->store.path(), path, ec))
                    continue;
                try {
                    store->store.flush();
                    store->dirty = false;
                } catch (const pst::Error& e) {
                    // The file keeps its last flushed state: that is what is read back.
                    result.writeProblem = e.what();
                }
            }
            pst::VerifyReport report;
            try {
                pst::VerifyOptions options;
                options.strictMessageSize = true; // a file this writer wrote
                report = pst::verify(path, options);
            } catch (const pst::Error& e) {
                rethrow("PstFileCheck", "ReadBack", e);
            }
            result.findingCount = report.findingCount;
            if (!report.format && report.findingCount == 0)
                ++result.findingCount; // nothing readable, though nothing named
            for (const auto& f : report.findings)
                result.findings.push_back(pst::describe(f));
            const std::string top = "\\Top of Personal Folders";
            for (const auto& folder : report.folders)
                if (folder.path.size() > top.size() && folder.path.compare(0, top.size(), top) == 0
                    && folder.path[top.size()] == '\\')
                    result.messagesByFolder.emplace_back(
                        folder.path.substr(top.size()), static_cast<std::int32_t>(folder.messages));
            return result;
        }
    };

    class StandInApplication : public automation::OutlookApplication {
    public:
        std::shared_ptr<automation::OutlookNamespace> GetNamespace(const std::string& type) override
        {
            if (type != "MAPI")
                throw AutomationError("Application", "GetNamespace", "only the MAPI namespace exists, not " + type);
            return std::make_shared<StandInNamespace>();
        }
    };
} // namespace

void SavePoint(OpenStore& store)
{
    const auto now
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
              .count();
    if (store.lastFlushMs == 0)
        store.lastFlushMs = now;
    if (++store.savesSinceFlush < SavePointItems && now - store.lastFlushMs < SavePointMs)
        return;
    try {
        store.store.flush();
    } catch (const pst::Error& e) {
        throw AutomationError(
            "Item", "Save", std::string("the PST file could not be written at a save point: ") + e.what());
    }
    store.dirty = false;
    store.savesSinceFlush = 0;
    store.lastFlushMs = now;
}

std::shared_ptr<automation::RDOFolder> FolderFromPath(const std::string& path)
{
    // "\\Store display name\Folder\Subfolder". A display name may itself hold "\": the store is
    // the open one whose whole name the path continues with, the longest when several do.
    std::string rest = path;
    while (!rest.empty() && rest.front() == '\\')
        rest.erase(0, 1);
    std::shared_ptr<OpenStore> best;
    for (auto& [id, store] : openStores().byId) {
        const auto& name = store->displayName;
        if (!store->store.isOpen() || rest.compare(0, name.size(), name) != 0)
            continue;
        if (rest.size() != name.size() && rest[name.size()] != '\\')
            continue;
        if (!best || name.size() > best->displayName.size())
            best = store;
    }
    if (!best)
        throw AutomationError("RDOSession", "GetFolderFromPath", "no open store for the path " + path);
    pst::Folder folder = best->store.ipmSubtree();
    std::string folders = rest.substr(best->displayName.size());
    std::size_t start = 0;
    while (start < folders.size()) {
        if (folders[start] == '\\') {
            ++start;
            continue;
        }
        auto end = folders.find('\\', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string level = folders.substr(start, end - start);
        auto next = folder.findSubfolder(level);
        if (!next)
            throw AutomationError("RDOSession", "GetFolderFromPath", "no folder \"" + level + "\" in the path " + path);
        folder = *next;
        start = end;
    }
    return std::make_shared<StandInFolder>(best, folder);
}

void RegisterOutlookStandIn(const std::filesystem::path& profileFile)
{
    profileOverride() = profileFile;
    automation::RegisterProvider("Redemption.RDOSession", [] { return std::make_shared<StandInSession>(); });
    automation::RegisterProvider("Redemption.MAPIUtils", [] { return std::make_shared<StandInUtils>(); });
    automation::RegisterProvider("Outlook.Application", [] { return std::make_shared<StandInApplication>(); });
    automation::RegisterProvider("Ferrymark.PstReadBack", [] { return std::make_shared<StandInFileCheck>(); });
}

void CloseAllStores()
{
    auto& open = openStores().byId;
    for (auto& [id, store] : open) {
        try {
            if (store->store.isOpen())
                store->store.close();
        } catch (const pst::Error&) {
            // The file keeps its last flushed state; nothing more can be done at the end.
        }
    }
    open.clear();
}

} // namespace outlook
