// Messages of a PST store: what a caller sets (properties, recipients, attachments, flags) and
// the handle of a written message. See platform/pst/README.md.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pst {

using Bytes = std::vector<std::uint8_t>;
class Folder;

namespace detail {
    class StoreImpl;
}

// A property set GUID as MAPI stores it (bytes on disk: Data1..Data3 little-endian, then Data4).
using Guid = std::array<std::uint8_t, 16>;

// A named property: numeric (lid, PidLid*) or string (name, e.g. PS_PUBLIC_STRINGS "Keywords").
struct PropertyName {
    Guid set {};
    std::optional<std::uint32_t> lid;
    std::string name; // UTF-8; used when lid is empty
};

// PT_SYSTIME: 100-ns ticks since 1601-01-01 UTC.
struct FileTime {
    std::int64_t ticks = 0;
};

using PropertyValue = std::variant<bool, std::int16_t, std::int32_t, std::int64_t, double, FileTime,
    std::string /*UTF-8 text*/, Bytes, std::vector<std::string>, std::vector<std::int32_t>>;

// One property. The value's alternative must fit the type: bool PT_BOOLEAN; int16 PT_I2; int32
// PT_LONG/PT_ERROR; int64 PT_I8/PT_CURRENCY; double PT_DOUBLE/PT_APPTIME/PT_FLOAT; FileTime
// PT_SYSTIME; string PT_STRING8/PT_UNICODE (stored in the store's own string type); Bytes
// PT_BINARY/PT_CLSID (16 bytes); vector<string> PT_MV_STRING8/PT_MV_UNICODE; vector<int32>
// PT_MV_LONG. Anything else is Error(InvalidArgument).
struct Property {
    std::uint16_t id = 0; // property id of a tagged property (0 when named)
    std::optional<PropertyName> named; // a named property, mapped through the name-to-ID map
    std::uint16_t type = 0; // PT_* type
    PropertyValue value;
};

struct Recipient {
    std::string displayName, address, addressType; // addressType "SMTP" when empty
    std::int32_t type = 1; // 1 To, 2 CC, 3 BCC
    std::int32_t flags = 1; // PidTagRecipientFlags: recipSendable; 3 (with recipOrganizer) for a meeting's organizer
};

struct MessageData;

// An attachment by value (the data is streamed from source in blocks when the message is
// written), or an embedded message when message is set (PidTagAttachMethod 5, afEmbeddedMessage;
// source is unused, fileName the display name, the message's subject when empty). properties are
// further tagged attachment properties (PidTagAttachmentHidden, PidTagAttachmentFlags, exception
// times...), set over the ones the layer writes; PidTagAttachDataBinary/Object is refused.
struct Attachment {
    std::string fileName; // long file name (UTF-8)
    std::filesystem::path source;
    std::shared_ptr<const MessageData> message;
    std::vector<Property> properties;
    // An inline part of the HTML body: hidden, referenced by "cid:" + contentId.
    std::string contentId; // empty for an ordinary attachment
    std::string mimeType; // empty: from the file name's extension
};

struct MessageData {
    std::string messageClass = "IPM.Note";
    std::vector<Property> properties; // everything the caller sets (subject, body, times, sender, named props...)
    std::vector<Recipient> recipients;
    std::vector<Attachment> attachments;
    bool read = true; // MSGFLAG_READ
    bool unsent = false; // MSGFLAG_UNSENT (a sent item has it cleared)
};

// A written message. A light handle: valid while its Store lives.
class Message {
public:
    Bytes entryId() const; // 24-byte PST entry ID: 4 flag bytes, store record key, NID
    std::uint32_t nodeId() const;
    Folder folder() const;
    // Rewrites the message (copy-on-write); it keeps its place in the folder's contents table.
    void update(const MessageData& data);

    bool operator==(const Message& other) const { return impl_ == other.impl_ && nid_ == other.nid_; }

private:
    friend class detail::StoreImpl;
    friend class Folder;
    Message(detail::StoreImpl* impl, std::uint32_t nid)
        : impl_(impl)
        , nid_(nid)
    {
    }
    detail::StoreImpl* impl_;
    std::uint32_t nid_;
};

} // namespace pst
