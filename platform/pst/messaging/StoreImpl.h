// The message store behind pst::Store: folders in memory (names, counts, children), written
// to their nodes (PC, hierarchy/contents/FAI tables) on flush.
#pragma once

#include "ltp/Contexts.h"
#include "messaging/NameToIdMap.h"
#include "ndb/NodeDatabase.h"
#include "pst/Store.h"

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>

namespace pst::detail {

struct PreparedMessage; // Message.cpp

struct FolderNode {
    std::uint32_t nid = 0;
    std::uint32_t parent = 0;
    bool search = false; // a search folder (NID_TYPE_SEARCH_FOLDER)
    std::string name; // as stored (UTF-8 after the format's round trip)
    std::string containerClass;
    std::vector<std::uint32_t> children;
    std::unordered_map<std::string, std::uint32_t> childByName; // case-folded name -> NID
    std::uint32_t contentCount = 0;
    std::uint32_t unreadCount = 0;
    ltp::PropertyMap extra; // further PC properties (entry IDs of the default folders, ...)
    bool tablesWritten = false;
    // The contents table, one row per message in insertion order. The cells are packed in one
    // buffer (tag, byte count, bytes; little-endian) to keep 100,000 rows small.
    struct ContentRow {
        std::uint32_t nid = 0;
        bool unread = false;
        ndb::ByteVector cells;
    };
    std::vector<ContentRow> contents;
    std::unordered_map<std::uint32_t, std::size_t> contentIndex; // message NID -> row
};

// A caller's property as stored (strings in the store's own type); Error(InvalidArgument) when the
// value does not fit the type.
ltp::PropValue encodeProperty(Format format, const Property& p, const std::string& where);

class StoreImpl {
public:
    StoreImpl(std::unique_ptr<FileSink> sink, std::filesystem::path path, Format format, std::string displayName,
        const CreateOptions& options);

    void buildNewStore();
    void flush();
    void close();
    void markBroken() { broken_ = true; }
    void checkUsable() const;

    Format format() const { return format_; }
    const std::filesystem::path& path() const { return path_; }
    const std::string& displayName() const { return displayName_; }
    const Bytes& recordKey() const { return recordKey_; }
    Bytes entryIdFor(std::uint32_t nid) const;
    bool isOpen() const { return ndb_ != nullptr; }
    ndb::NodeDatabase& ndb() { return *ndb_; }
    void setPublished() { ndb_->setPublished(); }

    const FolderNode& folder(std::uint32_t nid) const;
    std::uint32_t defaultFolderNid(DefaultFolder which) const;
    std::uint32_t createFolder(std::uint32_t parent, std::string_view name, std::string_view containerClass);
    std::optional<std::uint32_t> findChild(std::uint32_t parent, std::string_view name) const;
    bool hasFolder(std::uint32_t nid) const { return folders_.count(nid) != 0; }
    // Messages (messaging/Message.cpp).
    std::uint32_t addMessage(std::uint32_t folder, const MessageData& data);
    void updateMessage(std::uint32_t nid, const MessageData& data);
    std::uint32_t messageFolder(std::uint32_t nid) const;
    // Named properties: the ID for (GUID, LID) or (GUID, name), registered on first use.
    std::uint16_t namedPropertyId(const messaging::Guid& guid, std::uint32_t lid);
    std::uint16_t namedPropertyId(const messaging::Guid& guid, const std::u16string& name);

private:
    std::uint32_t addFolder(std::uint32_t nid, std::uint32_t parent, std::string_view name,
        std::string_view containerClass, bool search = false);
    void touch(std::uint32_t nid); // PC changed: its own node and its row in the parent
    void writeFolder(FolderNode& f);
    void writeContents(const FolderNode& f);
    // Writes the message node nid in folder and returns its contents-table row.
    std::unique_ptr<PreparedMessage> prepareMessage(
        const MessageData& data, std::uint32_t nid, const std::string& where, int depth);
    ltp::NodeData writePrepared(PreparedMessage& m);
    FolderNode::ContentRow writeMessage(std::uint32_t nid, std::uint32_t folder, const MessageData& data);
    void writeHierarchy(const FolderNode& f);
    void writeTable(
        std::uint32_t nid, const std::vector<std::uint32_t>& columns, const std::vector<ltp::TableRow>& rows);
    void writeProperties(std::uint32_t nid, const ltp::PropertyMap& props, std::uint32_t parent);
    const std::vector<std::uint32_t>& recipientColumns() const; // computed once
    mutable std::vector<std::uint32_t> recipientColumns_;
    std::vector<std::uint32_t> attachmentColumns() const;

public:
    ltp::PropValue text(std::string_view s) const;
    // A one-off entry ID ([MS-OXCDATA] 2.2.5.1) with the strings in the store's own form.
    ndb::ByteVector oneOffEntryId(
        const std::string& name, const std::string& addressType, const std::string& address) const;

private:
    ltp::PropValue entryIdValue(std::uint32_t nid) const { return ltp::PropValue::binary(entryIdFor(nid)); }

    Format format_;
    std::filesystem::path path_;
    std::string displayName_;
    Bytes recordKey_;
    std::unique_ptr<ndb::NodeDatabase> ndb_;
    std::unordered_map<std::uint32_t, FolderNode> folders_;
    std::map<DefaultFolder, std::uint32_t> defaults_;
    std::uint32_t ipmSubtree_ = 0, searchRoot_ = 0;
    std::set<std::uint32_t> dirtyPc_, dirtyHierarchy_, dirtyContents_;
    std::unordered_map<std::uint32_t, std::uint32_t> messageFolder_; // message NID -> folder NID
    std::uint32_t serial_ = 0; // makes search keys unique within the store
    messaging::NameToIdMap names_;
    bool namesDirty_ = true;
    bool broken_ = false;
    friend class pst::Store;
};

} // namespace pst::detail
