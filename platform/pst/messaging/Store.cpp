#include "messaging/Schema.h"
#include "messaging/StoreImpl.h"
#include "messaging/Text.h"
#include "ndb/PosixFile.h"
#include "pst/FileSink.h"

#include <algorithm>
#include <random>
#include <unistd.h>

namespace pst {

namespace detail {

    using ltp::PropValue;

    using messaging::foldCase;

    StoreImpl::StoreImpl(std::unique_ptr<FileSink> sink, std::filesystem::path path, Format format,
        std::string displayName, const CreateOptions& options)
        : format_(format)
        , path_(std::move(path))
        , displayName_(std::move(displayName))
        , recordKey_(options.recordKey)
    {
        if (recordKey_.empty()) {
            std::random_device rd;
            for (int i = 0; i < 16; ++i)
                recordKey_.push_back(static_cast<std::uint8_t>(rd()));
        }
        if (recordKey_.size() != 16)
            throw Error(ErrorKind::InvalidArgument, "create store", "record key", "16 bytes",
                std::to_string(recordKey_.size()) + " bytes");
        ndb_ = std::make_unique<ndb::NodeDatabase>(std::move(sink), format, options.maxFileSize, options.initialSize);
    }

    void StoreImpl::checkUsable() const
    {
        if (!ndb_)
            throw Error(ErrorKind::InvalidState, "use store", path_.string(), "an open store", "closed");
        if (broken_)
            throw Error(
                ErrorKind::InvalidState, "use store", path_.string(), "a working store", "an earlier write failed");
    }

    Bytes StoreImpl::entryIdFor(std::uint32_t nid) const
    {
        // EntryID of a PST object: rgbFlags (4 zero bytes), uid (the store's record key), nid.
        Bytes id(24, 0);
        std::copy_n(recordKey_.data(), 16, id.data() + 4);
        ndb::storeLe(id.data() + 20, nid, 4);
        return id;
    }

    PropValue StoreImpl::text(std::string_view s) const { return messaging::stringValue(format_, s); }

    const FolderNode& StoreImpl::folder(std::uint32_t nid) const
    {
        auto it = folders_.find(nid);
        if (it == folders_.end())
            throw Error(ErrorKind::InvalidArgument, "find folder", "NID " + std::to_string(nid),
                "a folder of this store", "none");
        return it->second;
    }

    std::uint32_t StoreImpl::defaultFolderNid(DefaultFolder which) const { return defaults_.at(which); }

    void StoreImpl::touch(std::uint32_t nid)
    {
        dirtyPc_.insert(nid);
        const FolderNode& f = folders_.at(nid);
        if (f.parent != nid)
            dirtyHierarchy_.insert(f.parent);
    }

    std::uint32_t StoreImpl::addFolder(
        std::uint32_t nid, std::uint32_t parent, std::string_view name, std::string_view containerClass, bool search)
    {
        FolderNode f;
        f.nid = nid;
        f.parent = parent;
        f.search = search;
        f.name = messaging::storedText(format_, name);
        f.containerClass = std::string(containerClass);
        folders_[nid] = std::move(f);
        if (parent != nid) {
            FolderNode& p = folders_.at(parent);
            const bool first = p.children.empty();
            p.children.push_back(nid);
            p.childByName[foldCase(folders_.at(nid).name)] = nid;
            if (first)
                touch(parent); // PidTagSubfolders turns true, in its PC and its parent's row
            dirtyHierarchy_.insert(parent);
        }
        dirtyHierarchy_.insert(nid);
        touch(nid);
        return nid;
    }

    std::optional<std::uint32_t> StoreImpl::findChild(std::uint32_t parent, std::string_view name) const
    {
        const auto& byName = folder(parent).childByName;
        auto it = byName.find(foldCase(messaging::storedText(format_, name)));
        return it == byName.end() ? std::nullopt : std::optional<std::uint32_t>(it->second);
    }

    std::uint32_t StoreImpl::createFolder(std::uint32_t parent, std::string_view name, std::string_view containerClass)
    {
        checkUsable();
        const FolderNode& p = folder(parent);
        if (name.empty() || !messaging::isValidUtf8(name))
            throw Error(ErrorKind::InvalidArgument, "create folder", "under \"" + p.name + "\"",
                "a non-empty UTF-8 name", name.empty() ? "empty" : "invalid UTF-8");
        if (!messaging::isValidUtf8(containerClass))
            throw Error(ErrorKind::InvalidArgument, "create folder", "container class", "UTF-8", "invalid UTF-8");
        if (p.search)
            throw Error(ErrorKind::InvalidArgument, "create folder", "under \"" + p.name + "\"", "a normal folder",
                "a search folder");
        if (findChild(parent, name))
            throw Error(ErrorKind::AlreadyExists, "create folder", "under \"" + p.name + "\"", "a new name",
                "\"" + std::string(name) + "\" exists");
        if (p.children.size() + 1 > ndb_->layout().maxTableRows)
            throw Error(ErrorKind::LimitExceeded, "create folder", "hierarchy table of \"" + p.name + "\"",
                "at most " + std::to_string(ndb_->layout().maxTableRows) + " subfolders (ANSI)",
                std::to_string(p.children.size() + 1));
        return addFolder(ndb_->newNid(ndb::kNidTypeNormalFolder), parent, name, containerClass);
    }

    void StoreImpl::writeProperties(std::uint32_t nid, const ltp::PropertyMap& props, std::uint32_t parent)
    {
        auto d = ltp::writePropertyContext(*ndb_, props);
        ndb_->putNode(nid, d.bidData, d.bidSub, parent);
    }

    void StoreImpl::writeTable(
        std::uint32_t nid, const std::vector<std::uint32_t>& columns, const std::vector<ltp::TableRow>& rows)
    {
        auto d = ltp::writeTableContext(*ndb_, columns, rows);
        ndb_->putNode(nid, d.bidData, d.bidSub, 0);
    }

    void StoreImpl::writeFolder(FolderNode& f)
    {
        // Folder object PC, [MS-PST] 2.4.4.1.
        ltp::PropertyMap props = f.extra;
        props[messaging::kPidDisplayName] = text(f.name);
        props[messaging::kPidContentCount] = PropValue::int32(f.contentCount);
        props[messaging::kPidContentUnreadCount] = PropValue::int32(f.unreadCount);
        props[messaging::kPidSubfolders] = PropValue::boolean(!f.children.empty());
        if (!f.containerClass.empty())
            props[messaging::kPidContainerClass] = text(f.containerClass);
        writeProperties(f.nid, props, f.parent);
        if (!f.tablesWritten) {
            const std::uint32_t index = ndb::nidIndex(f.nid);
            if (f.search) {
                writeTable(ndb::makeNid(ndb::kNidTypeSearchContentsTable, index),
                    messaging::searchContentsTableColumns(format_), {});
                ndb_->putNode(ndb::makeNid(ndb::kNidTypeSearchUpdateQueue, index), 0, 0, 0);
                // Search criteria object ([MS-PST] 2.4.8.6.4): its properties are Outlook's own;
                // Outlook's files hold 0x660B = 0 in it for "SPAM Search Folder 2".
                writeProperties(
                    ndb::makeNid(ndb::kNidTypeSearchCriteriaObject, index), { { 0x660B, PropValue::int32(0) } }, 0);
            } else {
                if (f.contents.empty())
                    writeTable(
                        ndb::makeNid(ndb::kNidTypeContentsTable, index), messaging::contentsTableColumns(format_), {});
                writeTable(ndb::makeNid(ndb::kNidTypeAssocContentsTable, index),
                    messaging::assocContentsTableColumns(format_), {});
            }
            f.tablesWritten = true;
        }
    }

    void StoreImpl::writeHierarchy(const FolderNode& f)
    {
        if (f.search)
            return;
        // Hierarchy TC: one row per child, with the columns copied from the child's PC.
        std::vector<ltp::TableRow> rows;
        rows.reserve(f.children.size());
        const std::uint16_t st = messaging::stringType(format_);
        for (auto c : f.children) {
            const FolderNode& child = folders_.at(c);
            ltp::TableRow row;
            row.rowId = c;
            row.cells[ltp::makeTag(messaging::kPidDisplayName, st)] = text(child.name);
            row.cells[ltp::makeTag(messaging::kPidContentCount, ltp::kPtInt32)] = PropValue::int32(child.contentCount);
            row.cells[ltp::makeTag(messaging::kPidContentUnreadCount, ltp::kPtInt32)]
                = PropValue::int32(child.unreadCount);
            row.cells[ltp::makeTag(messaging::kPidSubfolders, ltp::kPtBoolean)]
                = PropValue::boolean(!child.children.empty());
            if (!child.containerClass.empty())
                row.cells[ltp::makeTag(messaging::kPidContainerClass, st)] = text(child.containerClass);
            rows.push_back(std::move(row));
        }
        writeTable(ndb::makeNid(ndb::kNidTypeHierarchyTable, ndb::nidIndex(f.nid)),
            messaging::hierarchyTableColumns(format_), rows);
    }

    void StoreImpl::buildNewStore()
    {
        using namespace messaging;
        using messaging::Guid;
        // Folders first, so their entry IDs are known to the store and root properties.
        addFolder(kNidRootFolder, kNidRootFolder, "", "");
        ipmSubtree_ = addFolder(ndb_->newNid(ndb::kNidTypeNormalFolder), kNidRootFolder, "Top of Personal Folders", "");
        searchRoot_ = addFolder(ndb_->newNid(ndb::kNidTypeNormalFolder), kNidRootFolder, "Search Root", "");
        addFolder(kNidSpamSearchFolder, kNidRootFolder, "SPAM Search Folder 2", "", true);
        for (const auto& d : defaultFolders())
            defaults_[d.which]
                = addFolder(ndb_->newNid(ndb::kNidTypeNormalFolder), ipmSubtree_, d.name, d.containerClass);

        // The root folder and the Inbox carry the entry IDs of the special folders.
        ltp::PropertyMap special {
            { kPidIpmAppointmentEntryId, entryIdValue(defaults_.at(DefaultFolder::Calendar)) },
            { kPidIpmContactEntryId, entryIdValue(defaults_.at(DefaultFolder::Contacts)) },
            { kPidIpmJournalEntryId, entryIdValue(defaults_.at(DefaultFolder::Journal)) },
            { kPidIpmNoteEntryId, entryIdValue(defaults_.at(DefaultFolder::Notes)) },
            { kPidIpmTaskEntryId, entryIdValue(defaults_.at(DefaultFolder::Tasks)) },
            { kPidIpmDraftsEntryId, entryIdValue(defaults_.at(DefaultFolder::Drafts)) },
        };
        folders_.at(kNidRootFolder).extra = special;
        folders_.at(defaults_.at(DefaultFolder::Inbox)).extra = special;

        // Message store PC, [MS-PST] 2.4.3.
        writeProperties(kNidMessageStore,
            {
                { kPidRecordKey, PropValue::binary(recordKey_) },
                { kPidDisplayName, text(displayName_) },
                { kPidValidFolderMask,
                    PropValue::int32(kFolderIpmSubtreeValid | kFolderIpmInboxValid | kFolderIpmOutboxValid
                        | kFolderIpmWastebasketValid | kFolderIpmSentMailValid | kFolderFinderValid) },
                { kPidIpmSubtreeEntryId, entryIdValue(ipmSubtree_) },
                { kPidIpmOutboxEntryId, entryIdValue(defaults_.at(DefaultFolder::Outbox)) },
                { kPidIpmWastebasketEntryId, entryIdValue(defaults_.at(DefaultFolder::DeletedItems)) },
                { kPidIpmSentMailEntryId, entryIdValue(defaults_.at(DefaultFolder::SentItems)) },
                { kPidFinderEntryId, entryIdValue(searchRoot_) },
                { kPidPstLrNoRestrictions, PropValue::boolean(true) },
                { kPidPstPassword, PropValue::int32(0) },
            },
            0);
        // Name-to-ID map, [MS-PST] 2.4.7, with the named properties Outlook items use most, so the
        // streams are never empty (libpff refuses a map without entries).
        const std::pair<const Guid*, std::uint32_t> common[] = {
            { &kPsetidAppointment, 0x8205 }, // PidLidBusyStatus
            { &kPsetidAppointment, 0x8208 }, // PidLidLocation
            { &kPsetidAppointment, 0x820D }, // PidLidAppointmentStartWhole
            { &kPsetidAppointment, 0x820E }, // PidLidAppointmentEndWhole
            { &kPsetidAppointment, 0x8215 }, // PidLidAppointmentSubType
            { &kPsetidCommon, 0x8501 }, // PidLidReminderDelta
            { &kPsetidCommon, 0x8503 }, // PidLidReminderSet
            { &kPsetidCommon, 0x8516 }, // PidLidCommonStart
            { &kPsetidCommon, 0x8517 }, // PidLidCommonEnd
            { &kPsetidTask, 0x8101 }, // PidLidTaskStatus
            { &kPsetidTask, 0x8102 }, // PidLidPercentComplete
            { &kPsetidTask, 0x8104 }, // PidLidTaskStartDate
            { &kPsetidTask, 0x8105 }, // PidLidTaskDueDate
            { &kPsetidTask, 0x811C }, // PidLidTaskComplete
            { &kPsetidAddress, 0x8005 }, // PidLidFileUnder
            { &kPsetidAddress, 0x8080 }, // PidLidEmail1DisplayName
            { &kPsetidAddress, 0x8083 }, // PidLidEmail1EmailAddress
            { &kPsetidNote, 0x8B00 }, // PidLidNoteColor
        };
        for (auto [guid, lid] : common)
            names_.idFor(*guid, lid);
        // And, as in every store Outlook writes, the categories by their string name, so the
        // string stream is never empty either (pst-extractor cannot open a map whose string
        // stream is empty).
        names_.idFor(kPsPublicStrings, u"Keywords");
        // Search management queue and search activity list: empty ([MS-PST] 2.4.8.4).
        ndb_->putNode(kNidSearchManagementQueue, 0, 0, 0);
        ndb_->putNode(kNidSearchActivityList, 0, 0, 0);
        // Template tables, [MS-PST] 2.7.3.3.
        writeTable(kNidHierarchyTableTemplate, hierarchyTableColumns(format_), {});
        writeTable(kNidContentsTableTemplate, contentsTableColumns(format_), {});
        writeTable(kNidAssocContentsTableTemplate, assocContentsTableColumns(format_), {});
        writeTable(kNidSearchContentsTableTemplate, searchContentsTableColumns(format_), {});
        writeTable(kNidAttachmentTableTemplate, attachmentTableColumns(format_), {});
        writeTable(kNidRecipientTableTemplate, recipientTableColumns(format_), {});
        writeTable(kNidOutgoingQueueTable, outgoingQueueTableColumns(format_), {});
        // Receive folder table: where each message class is delivered.
        const std::uint32_t inbox = defaults_.at(DefaultFolder::Inbox);
        std::vector<ltp::TableRow> receive;
        const std::pair<const char*, std::uint32_t> classes[]
            = { { "", inbox }, { "IPM", inbox }, { "Report.IPM", inbox }, { "IPC", kNidRootFolder } };
        for (auto [cls, nid] : classes) {
            ltp::TableRow row;
            row.rowId = static_cast<std::uint32_t>(receive.size() + 1);
            row.cells[ltp::makeTag(kPidMessageClass, stringType(format_))] = text(cls);
            row.cells[ltp::makeTag(kPidReceiveFolderNid, ltp::kPtInt32)] = PropValue::int32(nid);
            receive.push_back(std::move(row));
        }
        writeTable(kNidReceiveFolderTable, receiveFolderTableColumns(format_), receive);
    }

    std::uint16_t StoreImpl::namedPropertyId(const messaging::Guid& guid, std::uint32_t lid)
    {
        const std::size_t before = names_.size();
        const std::uint16_t id = names_.idFor(guid, lid);
        namesDirty_ = namesDirty_ || names_.size() != before;
        return id;
    }

    std::uint16_t StoreImpl::namedPropertyId(const messaging::Guid& guid, const std::u16string& name)
    {
        const std::size_t before = names_.size();
        const std::uint16_t id = names_.idFor(guid, name);
        namesDirty_ = namesDirty_ || names_.size() != before;
        return id;
    }

    void StoreImpl::flush()
    {
        checkUsable();
        try {
            for (auto nid : dirtyPc_)
                writeFolder(folders_.at(nid));
            for (auto nid : dirtyHierarchy_)
                writeHierarchy(folders_.at(nid));
            for (auto nid : dirtyContents_)
                writeContents(folders_.at(nid));
            dirtyPc_.clear();
            dirtyHierarchy_.clear();
            dirtyContents_.clear();
            if (namesDirty_) {
                writeProperties(messaging::kNidNameToIdMap, names_.properties(), 0);
                namesDirty_ = false;
            }
            ndb_->commit();
        } catch (const Error&) {
            broken_ = true; // the file keeps its last flushed state
            throw;
        }
    }

    void StoreImpl::close()
    {
        if (!ndb_)
            return;
        if (!broken_)
            flush();
        ndb_.reset();
    }

} // namespace detail

// ---- Folder -----------------------------------------------------------------------------------

std::string Folder::name() const { return impl_->folder(nid_).name; }
std::string Folder::containerClass() const { return impl_->folder(nid_).containerClass; }
std::uint32_t Folder::nodeId() const { return nid_; }
Bytes Folder::entryId() const { return impl_->entryIdFor(nid_); }
std::uint32_t Folder::contentCount() const { return impl_->folder(nid_).contentCount; }
std::uint32_t Folder::unreadCount() const { return impl_->folder(nid_).unreadCount; }
bool Folder::hasSubfolders() const { return !impl_->folder(nid_).children.empty(); }

std::vector<Folder> Folder::subfolders() const
{
    std::vector<Folder> out;
    for (auto c : impl_->folder(nid_).children)
        out.push_back(Folder(impl_, c));
    return out;
}

std::optional<Folder> Folder::findSubfolder(std::string_view name) const
{
    if (auto c = impl_->findChild(nid_, name))
        return Folder(impl_, *c);
    return std::nullopt;
}

std::optional<Folder> Folder::parent() const
{
    const auto& f = impl_->folder(nid_);
    if (f.parent == nid_)
        return std::nullopt;
    return Folder(impl_, f.parent);
}

Folder Folder::createSubfolder(std::string_view name, std::string_view containerClass)
{
    return Folder(impl_, impl_->createFolder(nid_, name, containerClass));
}

// ---- Store ------------------------------------------------------------------------------------

Store::Store(std::unique_ptr<detail::StoreImpl> impl)
    : impl_(std::move(impl))
{
}
Store::Store(Store&&) noexcept = default;
Store& Store::operator=(Store&&) noexcept = default;

Store::~Store()
{
    if (impl_ && impl_->isOpen()) {
        try {
            impl_->close();
        } catch (const Error&) {
            // Nothing to report to from a destructor; the file keeps its last flushed state.
        }
    }
}

Store Store::create(
    const std::filesystem::path& path, Format format, std::string_view displayName, const CreateOptions& options)
{
    if (!messaging::isValidUtf8(displayName))
        throw Error(ErrorKind::InvalidArgument, "create store", "display name", "valid UTF-8", "invalid byte sequence");
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        throw Error(ErrorKind::AlreadyExists, "create store", path.string(), "no file at the path", "a file exists");
    // Built under a hidden temporary name in the same folder, renamed (never replacing) once the
    // first flush has written a complete file: a failure leaves nothing at path.
    const auto temp = ndb::temporaryPathFor(path);
    std::unique_ptr<FileSink> sink = ndb::PosixFileSink::createExclusive(temp);
    if (options.wrapSink)
        sink = options.wrapSink(std::move(sink));
    try {
        auto impl
            = std::make_unique<detail::StoreImpl>(std::move(sink), path, format, std::string(displayName), options);
        impl->buildNewStore();
        impl->flush();
        ndb::renameNoReplace(temp, path);
        impl->setPublished();
        return Store(std::move(impl));
    } catch (const Error&) {
        ::unlink(temp.c_str());
        throw;
    }
}

Format Store::format() const { return impl_->format(); }
const std::filesystem::path& Store::path() const { return impl_->path(); }
std::string Store::displayName() const { return messaging::storedText(impl_->format(), impl_->displayName()); }
Bytes Store::recordKey() const { return impl_->recordKey(); }
Bytes Store::entryId() const { return impl_->entryIdFor(messaging::kNidMessageStore); }
Folder Store::rootFolder() const { return Folder(impl_.get(), messaging::kNidRootFolder); }
Folder Store::ipmSubtree() const { return Folder(impl_.get(), impl_->ipmSubtree_); }
Folder Store::searchRoot() const { return Folder(impl_.get(), impl_->searchRoot_); }
Folder Store::defaultFolder(DefaultFolder which) const { return Folder(impl_.get(), impl_->defaultFolderNid(which)); }

std::optional<Folder> Store::folderByEntryId(const Bytes& entryId) const
{
    const Bytes& key = impl_->recordKey();
    if (entryId.size() != 24 || !std::equal(key.begin(), key.end(), entryId.begin() + 4))
        return std::nullopt;
    std::uint32_t nid = 0;
    for (int i = 0; i < 4; ++i)
        nid |= std::uint32_t(entryId[20 + i]) << (8 * i);
    if (!impl_->hasFolder(nid))
        return std::nullopt;
    return Folder(impl_.get(), nid);
}

void Store::flush() { impl_->flush(); }
void Store::close() { impl_->close(); }
bool Store::isOpen() const { return impl_ && impl_->isOpen(); }

} // namespace pst
