// Public API of the PST writer: create a new PST store (ANSI or Unicode) with Outlook's
// default folders, add nested folders, flush and close. See platform/pst/README.md.
#pragma once

#include "pst/Error.h"
#include "pst/Message.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pst {

class FileSink;

enum class Format {
    Ansi, // 32-bit file, strings in Windows-1252, at most 2 GB
    Unicode, // 64-bit file, UTF-16LE strings
};

// The folders Outlook creates in every new store (the store's GetDefaultFolder set).
enum class DefaultFolder { DeletedItems, Inbox, Outbox, SentItems, Calendar, Contacts, Journal, Notes, Tasks, Drafts };

struct CreateOptions {
    // Wraps the file sink (tests inject failures); identity when empty.
    std::function<std::unique_ptr<FileSink>(std::unique_ptr<FileSink>)> wrapSink;
    // Lower file size limit than the format's (ANSI: 2 GB); 0 = the format's limit.
    std::uint64_t maxFileSize = 0;
    // Makes the new file at least this long from the start, all of it free space (whole
    // allocation map regions); 0 = as small as a new store can be. With a sink that does not
    // reserve disk space, tests write sparse files of many gigabytes this way.
    std::uint64_t initialSize = 0;
    // Record key (store GUID); random when empty. Must be 16 bytes when set.
    Bytes recordKey;
};

namespace detail {
    class StoreImpl;
}

// A folder of a store. A light handle: valid while its Store lives.
class Folder {
public:
    std::string name() const; // UTF-8 (for ANSI stores: what Windows-1252 kept, "?" for the rest)
    std::string containerClass() const; // "IPF.Note", ...; empty when none
    std::uint32_t nodeId() const; // the folder's NID
    Bytes entryId() const; // 24-byte PST entry ID: 4 flag bytes, record key, NID
    std::uint32_t contentCount() const;
    std::uint32_t unreadCount() const;
    bool hasSubfolders() const;
    std::vector<Folder> subfolders() const; // in creation order
    std::optional<Folder> findSubfolder(std::string_view name) const; // case-insensitive, like Outlook
    std::optional<Folder> parent() const; // none for the root folder
    // Creates a child folder; throws Error(AlreadyExists) for a duplicate name, Error(LimitExceeded)
    // when an ANSI table would pass 65,535 rows.
    Folder createSubfolder(std::string_view name, std::string_view containerClass = "IPF.Note");
    // Writes a message into this folder (its node, recipient and attachment tables, attachment
    // data streamed from the files) and adds its row to the contents table. Throws
    // Error(InvalidArgument) for values that do not fit their type, Error(Io) for an unreadable
    // attachment file, Error(LimitExceeded) when an ANSI table would pass 65,535 rows or the file
    // would pass its size limit; after such a refusal the store stays usable.
    Message addMessage(const MessageData& data);
    std::vector<Message> messages() const; // in contents-table order

    bool operator==(const Folder& other) const { return impl_ == other.impl_ && nid_ == other.nid_; }

private:
    friend class Store;
    friend class Message;
    friend class detail::StoreImpl;
    Folder(detail::StoreImpl* impl, std::uint32_t nid)
        : impl_(impl)
        , nid_(nid)
    {
    }
    detail::StoreImpl* impl_;
    std::uint32_t nid_;
};

class Store {
public:
    // Creates a new PST at path (which must not exist) with the default folders and flushes it:
    // on return the file is complete. On failure no file is left at path.
    static Store create(const std::filesystem::path& path, Format format, std::string_view displayName,
        const CreateOptions& options = {});

    Store(Store&&) noexcept;
    Store& operator=(Store&&) noexcept;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    ~Store(); // closes (flushes) when still open; errors there are swallowed, call close() to see them

    Format format() const;
    const std::filesystem::path& path() const;
    std::string displayName() const;
    Bytes recordKey() const; // 16 bytes, PidTagRecordKey of the store
    Bytes entryId() const; // 24-byte entry ID of the message store object (record key + NID 0x21)

    Folder rootFolder() const; // the unnamed root (NID 0x122)
    Folder ipmSubtree() const; // "Top of Personal Folders"
    Folder searchRoot() const; // "Search Root" (the finder)
    Folder defaultFolder(DefaultFolder which) const;
    std::optional<Folder> folderByEntryId(const Bytes& entryId) const;

    // Writes everything to the file. Afterwards the file is a complete, valid PST; earlier
    // flushed states are never overwritten before the new header is written.
    void flush();
    // Flushes and releases the file; the store can no longer be used.
    void close();
    bool isOpen() const;

private:
    explicit Store(std::unique_ptr<detail::StoreImpl> impl);
    std::unique_ptr<detail::StoreImpl> impl_;
};

} // namespace pst
