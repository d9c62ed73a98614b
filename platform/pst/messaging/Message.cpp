// Messages: the message object PC ([MS-PST] 2.4.5), its recipient table (2.4.5.3), attachment
// table and attachment objects (2.4.6) in subnodes, and the folder's contents table row (2.4.4.5).
#include "messaging/ItemDefaults.h"
#include "messaging/Schema.h"
#include "messaging/StoreImpl.h"
#include "messaging/Text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <strings.h>
#include <unistd.h>
#include <utility>

namespace pst {

namespace detail {

    using ltp::PropValue;
    using namespace messaging;

    namespace {

        constexpr std::uint32_t kMsgFlagRead = 0x01, kMsgFlagUnsent = 0x08, kMsgFlagHasAttach = 0x10;
        constexpr std::uint16_t kPtObject = 0x000D; // PtypObject
        // Embedded messages within embedded messages: as deep as readers follow them.
        constexpr int kMaxEmbedding = 4;

        std::uint64_t nowTicks()
        {
            // FILETIME: 100-ns ticks since 1601-01-01; the Unix epoch is 11,644,473,600 s later.
            const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::system_clock::now().time_since_epoch())
                                       .count();
            return static_cast<std::uint64_t>(since1970) * 10 + 116444736000000000ull;
        }

        std::string upperAscii(std::string s)
        {
            for (auto& c : s)
                if (c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 'a' + 'A');
            return s;
        }

        // "RE: Hello" -> prefix "RE: ": one to three letters, a colon and a space ([MS-OXCMSG] 2.2.1.9).
        std::size_t subjectPrefixLength(std::string_view subject)
        {
            std::size_t n = 0;
            while (n < subject.size() && n < 4 && std::isalpha(static_cast<unsigned char>(subject[n])))
                ++n;
            if (n >= 1 && n <= 3 && subject.size() > n + 1 && subject[n] == ':' && subject[n + 1] == ' ')
                return n + 2;
            return 0;
        }

        // Short (8.3) form of a file name for PidTagAttachFilename.
        std::string shortFileName(const std::string& longName)
        {
            auto dot = longName.rfind('.');
            std::string base = dot == std::string::npos ? longName : longName.substr(0, dot);
            std::string ext = dot == std::string::npos ? std::string() : longName.substr(dot + 1);
            auto clean = [](const std::string& s) {
                std::string out;
                for (unsigned char c : s)
                    if (std::isalnum(c) || c == '_' || c == '-' || c == '~' || c == '!' || c == '#' || c == '$'
                        || c == '%' || c == '&' || c == '(' || c == ')' || c == '@' || c == '^' || c == '{' || c == '}')
                        out += static_cast<char>(std::toupper(c));
                return out;
            };
            std::string b = clean(base), e = clean(ext);
            const bool truncated = b.size() > 8 || e.size() > 3 || b.size() != base.size() || e.size() != ext.size();
            if (b.empty())
                b = "ATTACH";
            if (truncated)
                b = b.substr(0, 6) + "~1";
            e = e.substr(0, 3);
            return e.empty() ? b : b + "." + e;
        }

        std::string mimeTypeFor(std::string ext)
        {
            ext = upperAscii(ext);
            static const std::pair<const char*, const char*> types[] = {
                { ".TXT", "text/plain" },
                { ".HTM", "text/html" },
                { ".HTML", "text/html" },
                { ".CSV", "text/csv" },
                { ".XML", "text/xml" },
                { ".PDF", "application/pdf" },
                { ".ZIP", "application/zip" },
                { ".DOC", "application/msword" },
                { ".XLS", "application/vnd.ms-excel" },
                { ".PPT", "application/vnd.ms-powerpoint" },
                { ".DOCX", "application/vnd.openxmlformats-officedocument.wordprocessingml.document" },
                { ".XLSX", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet" },
                { ".JPG", "image/jpeg" },
                { ".JPEG", "image/jpeg" },
                { ".PNG", "image/png" },
                { ".GIF", "image/gif" },
                { ".BMP", "image/bmp" },
                { ".EML", "message/rfc822" },
                { ".ICS", "text/calendar" },
                { ".VCF", "text/vcard" },
            };
            for (auto [e, t] : types)
                if (ext == e)
                    return t;
            return "application/octet-stream";
        }

        // An open attachment file, read block by block.
        class SourceFile {
        public:
            SourceFile(const std::filesystem::path& path)
                : path_(path)
            {
                fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd_ < 0)
                    throw Error(
                        ErrorKind::Io, "open attachment", path.string(), "a readable file", std::strerror(errno));
                std::error_code ec;
                size_ = std::filesystem::file_size(path, ec);
                if (ec) {
                    ::close(fd_);
                    throw Error(ErrorKind::Io, "open attachment", path.string(), "a regular file", ec.message());
                }
            }
            SourceFile(SourceFile&& o) noexcept
                : path_(std::move(o.path_))
                , fd_(std::exchange(o.fd_, -1))
                , size_(o.size_)
            {
            }
            SourceFile(const SourceFile&) = delete;
            ~SourceFile()
            {
                if (fd_ >= 0)
                    ::close(fd_);
            }
            std::uint64_t size() const { return size_; }
            // Reads exactly n bytes at offset (the file must not shrink while it is written).
            void read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const
            {
                std::size_t got = 0;
                while (got < n) {
                    const ssize_t r = ::pread(fd_, out + got, n - got, static_cast<off_t>(offset + got));
                    if (r < 0 && errno == EINTR)
                        continue;
                    if (r <= 0)
                        throw Error(ErrorKind::Io, "read attachment", path_.string(), std::to_string(size_) + " bytes",
                            r < 0 ? std::strerror(errno) : "file got shorter");
                    got += static_cast<std::size_t>(r);
                }
            }

        private:
            std::filesystem::path path_;
            int fd_ = -1;
            std::uint64_t size_ = 0;
        };

        // The size a value takes in the store (fixed size, or its bytes).
        std::uint64_t valueSize(const PropValue& v)
        {
            const unsigned fixed = ltp::fixedSize(v.type);
            return fixed ? fixed : v.data.size();
        }

        void putText(ltp::PropertyMap& props, Format format, std::uint16_t id, std::string_view text)
        {
            props[id] = stringValue(format, text);
        }

        template <typename T> void setDefault(ltp::PropertyMap& props, std::uint16_t id, T&& make)
        {
            if (!props.count(id))
                props[id] = make();
        }

    } // namespace

    // ---- Caller properties -> on-disk values ----------------------------------------------------

    namespace {
        std::string typeName(std::uint16_t type)
        {
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%04X", type);
            return buf;
        }

        ndb::ByteVector encodeText(Format format, std::string_view s)
        {
            return format == Format::Unicode ? toUtf16le(s) : toWindows1252(s);
        }
    } // namespace

    PropValue encodeProperty(Format format, const Property& p, const std::string& where)
    {
        const std::uint16_t type = p.type;
        auto wrong = [&]() -> Error {
            return Error(ErrorKind::InvalidArgument, "set property", where, "a value that fits type " + typeName(type),
                "value alternative " + std::to_string(p.value.index()));
        };
        using ltp::PropValue;
        switch (type) {
        case ltp::kPtBoolean:
            if (auto v = std::get_if<bool>(&p.value))
                return PropValue::boolean(*v);
            throw wrong();
        case ltp::kPtInt16:
            if (auto v = std::get_if<std::int16_t>(&p.value)) {
                PropValue out { type, ndb::ByteVector(2) };
                ndb::storeLe(out.data.data(), static_cast<std::uint16_t>(*v), 2);
                return out;
            }
            throw wrong();
        case ltp::kPtInt32:
        case ltp::kPtError:
            if (auto v = std::get_if<std::int32_t>(&p.value)) {
                PropValue out = PropValue::int32(static_cast<std::uint32_t>(*v));
                out.type = type;
                return out;
            }
            throw wrong();
        case ltp::kPtInt64:
        case ltp::kPtCurrency:
            if (auto v = std::get_if<std::int64_t>(&p.value))
                return PropValue::int64(static_cast<std::uint64_t>(*v), type);
            throw wrong();
        case ltp::kPtDouble:
        case ltp::kPtAppTime:
        case ltp::kPtFloat:
            if (auto v = std::get_if<double>(&p.value)) {
                if (type == ltp::kPtFloat) {
                    const float f = static_cast<float>(*v);
                    std::uint32_t bits;
                    std::memcpy(&bits, &f, 4);
                    PropValue out = PropValue::int32(bits);
                    out.type = type;
                    return out;
                }
                std::uint64_t bits;
                std::memcpy(&bits, &*v, 8);
                return PropValue::int64(bits, type);
            }
            throw wrong();
        case ltp::kPtSysTime:
            if (auto v = std::get_if<FileTime>(&p.value))
                return PropValue::int64(static_cast<std::uint64_t>(v->ticks), type);
            throw wrong();
        case ltp::kPtString8:
        case ltp::kPtUnicode:
            if (auto v = std::get_if<std::string>(&p.value))
                return stringValue(format, *v);
            throw wrong();
        case ltp::kPtBinary:
        case ltp::kPtGuid:
            if (auto v = std::get_if<Bytes>(&p.value)) {
                if (type == ltp::kPtGuid && v->size() != 16)
                    throw Error(ErrorKind::InvalidArgument, "set property", where, "16 bytes for PT_CLSID",
                        std::to_string(v->size()) + " bytes");
                return PropValue::raw(type, *v);
            }
            throw wrong();
        case ltp::kPtMultiFlag | ltp::kPtString8:
        case ltp::kPtMultiFlag | ltp::kPtUnicode:
            if (auto v = std::get_if<std::vector<std::string>>(&p.value)) {
                // Multi-valued variable size ([MS-PST] 2.3.3.4.2): ulCount, rgulDataOffsets, data.
                ndb::ByteVector out;
                ndb::ByteWriter w(out);
                std::vector<ndb::ByteVector> items;
                for (const auto& s : *v) {
                    if (!isValidUtf8(s))
                        throw Error(ErrorKind::InvalidArgument, "set property", where, "UTF-8", "invalid UTF-8");
                    items.push_back(encodeText(format, s));
                }
                w.u32(items.size());
                std::uint32_t at = static_cast<std::uint32_t>(4 + 4 * items.size());
                for (const auto& i : items) {
                    w.u32(at);
                    at += static_cast<std::uint32_t>(i.size());
                }
                for (const auto& i : items)
                    w.bytes(i);
                return PropValue::raw(
                    ltp::kPtMultiFlag | (format == Format::Unicode ? ltp::kPtUnicode : ltp::kPtString8), out);
            }
            throw wrong();
        case ltp::kPtMultiFlag | ltp::kPtInt32:
            if (auto v = std::get_if<std::vector<std::int32_t>>(&p.value)) {
                ndb::ByteVector out;
                ndb::ByteWriter w(out);
                for (auto i : *v)
                    w.u32(static_cast<std::uint32_t>(i));
                return PropValue::raw(type, out);
            }
            throw wrong();
        default:
            throw Error(ErrorKind::InvalidArgument, "set property", where, "a supported property type", typeName(type));
        }
    }

    // ---- Writing a message ----------------------------------------------------------------------

    // A message made ready to write: every value known but the sizes of what is written, every
    // check done; embedded messages of its attachments likewise, recursively.
    struct PreparedMessage {
        ltp::PropertyMap props;
        std::vector<ltp::TableRow> recipientRows;
        std::vector<ltp::PropertyMap> attachProps;
        std::vector<std::optional<SourceFile>> files; // by attachment; none for an embedded message
        std::vector<std::unique_ptr<PreparedMessage>> embedded; // by attachment; null for a file
        std::uint32_t nid = 0;
        std::uint64_t size = 0; // estimate of the bytes it takes, for the file size limit
    };

    std::unique_ptr<PreparedMessage> StoreImpl::prepareMessage(
        const MessageData& data, std::uint32_t nid, const std::string& where, int depth)
    {
        const std::uint16_t st = stringType(format_);
        if (!isValidUtf8(data.messageClass) || data.messageClass.empty())
            throw Error(ErrorKind::InvalidArgument, "add message", where, "a UTF-8 message class", "empty or invalid");
        auto out = std::make_unique<PreparedMessage>();
        out->nid = nid;
        ltp::PropertyMap& props = out->props;

        // 1. Everything that can be refused is checked before anything is written.
        std::string subject;
        bool haveSubject = false;
        std::vector<std::pair<PropertyName, PropValue>> named;
        for (const auto& p : data.properties) {
            const std::string at = where + ", property " + (p.named ? "(named)" : typeName(p.id));
            PropValue v = encodeProperty(format_, p, at);
            if (p.named) {
                if (!p.named->lid && (p.named->name.empty() || !isValidUtf8(p.named->name)))
                    throw Error(ErrorKind::InvalidArgument, "set property", at, "a LID or a UTF-8 name", "neither");
                named.emplace_back(*p.named, std::move(v));
                continue;
            }
            if (p.id == 0 || p.id >= 0x8000)
                throw Error(ErrorKind::InvalidArgument, "set property", at, "a tagged property ID below 0x8000",
                    typeName(p.id));
            if (p.id == 0x0037 && std::holds_alternative<std::string>(p.value)) {
                subject = std::get<std::string>(p.value);
                haveSubject = true;
            }
            props[p.id] = std::move(v);
        }
        for (const auto& r : data.recipients) {
            if (r.type < 1 || r.type > 3)
                throw Error(ErrorKind::InvalidArgument, "add recipient", where, "type 1 (To), 2 (CC) or 3 (BCC)",
                    std::to_string(r.type));
            for (const auto* s : { &r.displayName, &r.address, &r.addressType })
                if (!isValidUtf8(*s))
                    throw Error(ErrorKind::InvalidArgument, "add recipient", where, "UTF-8", "invalid UTF-8");
        }
        std::uint64_t& size = out->size;
        for (std::size_t i = 0; i < data.attachments.size(); ++i) {
            const Attachment& a = data.attachments[i];
            const std::string at = where + ", attachment " + std::to_string(i + 1);
            if (!isValidUtf8(a.fileName))
                throw Error(ErrorKind::InvalidArgument, "add attachment", at, "a UTF-8 file name", "invalid UTF-8");
            if (a.message) {
                if (depth + 1 > kMaxEmbedding)
                    throw Error(ErrorKind::LimitExceeded, "add attachment", at,
                        "embedded messages at most " + std::to_string(kMaxEmbedding) + " deep",
                        std::to_string(depth + 1) + " deep");
                out->files.emplace_back();
                out->embedded.push_back(prepareMessage(
                    *a.message, ndb_->newNid(ndb::kNidTypeNormalMessage), at + " (embedded message)", depth + 1));
                size += out->embedded.back()->size;
            } else {
                out->files.emplace_back(std::in_place, a.source);
                out->embedded.emplace_back();
                if (out->files.back()->size() > 0xFFFFFFF0ull)
                    throw Error(ErrorKind::LimitExceeded, "add attachment", a.source.string(), "less than 4 GB",
                        std::to_string(out->files.back()->size()) + " bytes");
            }
            for (const auto& p : a.properties)
                if (p.named || p.id == 0 || p.id >= 0x8000 || p.id == 0x3701)
                    throw Error(ErrorKind::InvalidArgument, "set property", at,
                        "a tagged attachment property below 0x8000, not the attachment's data",
                        p.named ? "a named property" : typeName(p.id));
        }

        // Named properties: through the name-to-ID map (IDs 0x8000 and up).
        for (auto& [name, v] : named) {
            const std::uint16_t id
                = name.lid ? namedPropertyId(name.set, *name.lid) : namedPropertyId(name.set, toUtf16String(name.name));
            props[id] = std::move(v);
        }

        // 2. What Outlook computes.
        const std::uint64_t now = nowTicks();
        putText(props, format_, 0x001A, data.messageClass); // PidTagMessageClass
        if (haveSubject) {
            const std::size_t n = subjectPrefixLength(subject);
            setDefault(props, 0x003D, [&] { return text(subject.substr(0, n)); }); // PidTagSubjectPrefix
            setDefault(props, 0x0E1D, [&] { return text(subject.substr(n)); }); // PidTagNormalizedSubject
            setDefault(props, 0x0070, [&] { return text(subject.substr(n)); }); // PidTagConversationTopic
        }
        // A distribution list's recipients are its members, kept in its own properties
        // (ItemDefaults), not in a recipient table.
        const bool members = data.messageClass.size() >= 12
            && strncasecmp(data.messageClass.data(), "IPM.DistList", 12) == 0
            && (data.messageClass.size() == 12 || data.messageClass[12] == '.');
        std::string display[3];
        for (const auto& r : data.recipients) {
            if (members)
                break;
            std::string& d = display[r.type - 1];
            if (!d.empty())
                d += "; ";
            d += r.displayName.empty() ? r.address : r.displayName;
        }
        putText(props, format_, 0x0E04, display[0]); // PidTagDisplayTo
        putText(props, format_, 0x0E03, display[1]); // PidTagDisplayCc
        putText(props, format_, 0x0E02, display[2]); // PidTagDisplayBcc
        setDefault(props, 0x3007, [&] { return PropValue::int64(now, ltp::kPtSysTime); }); // PidTagCreationTime
        setDefault(props, 0x3008, [&] { return PropValue::int64(now, ltp::kPtSysTime); }); // PidTagLastModificationTime
        setDefault(props, 0x0E06, [&] { return props.at(0x3007); }); // PidTagMessageDeliveryTime
        props[0x0E1B] = PropValue::boolean(!data.attachments.empty()); // PidTagHasAttachments
        // PidLidSmartNoAttach: set by Outlook on a message with attachments, true when none of
        // them is shown to the user (inline pictures of the HTML body, the hidden embedded
        // messages of a series' changed occurrences); the paperclip then stays off although
        // PidTagHasAttachments and mfHasAttach are set ([MS-OXCMSG] 2.2.1.2).
        if (!data.attachments.empty()) {
            // PidTagAttachmentHidden as the attachment object gets it below: the caller's value,
            // else hidden for an inline part (one with a Content-ID).
            const auto hidden = [](const Attachment& a) {
                bool h = !a.contentId.empty();
                for (const auto& p : a.properties)
                    if (!p.named && p.id == 0x7FFE && std::holds_alternative<bool>(p.value))
                        h = std::get<bool>(p.value);
                return h;
            };
            const bool noneShown = std::all_of(data.attachments.begin(), data.attachments.end(), hidden);
            setDefault(props, namedPropertyId(kPsetidCommon, 0x8514), [&] { return PropValue::boolean(noneShown); });
        }
        setDefault(props, 0x0017, [] { return PropValue::int32(1); }); // PidTagImportance: normal
        setDefault(props, 0x0026, [] { return PropValue::int32(0); }); // PidTagPriority: normal
        setDefault(props, 0x0036, [] { return PropValue::int32(0); }); // PidTagSensitivity: normal
        setDefault(props, 0x0E17, [] { return PropValue::int32(0); }); // PidTagMessageStatus
        // Code pages: Windows-1252 strings in ANSI files, Unicode otherwise.
        const std::uint32_t codepage = format_ == Format::Unicode ? 65001 : 1252;
        setDefault(props, 0x3FFD, [&] { return PropValue::int32(codepage); }); // PidTagMessageCodepage
        setDefault(props, 0x3FDE, [&] { return PropValue::int32(codepage); }); // PidTagInternetCodepage
        // Search key and record key: unique per message. An embedded message has no entry ID of
        // its own ([MS-PST] 2.4.6.2.2: it is in no folder), so no record key from one.
        ndb::ByteVector key(16, 0);
        std::copy_n(recordKey_.data(), 8, key.data());
        ndb::storeLe(key.data() + 8, nid, 4);
        ndb::storeLe(key.data() + 12, ++serial_, 4);
        setDefault(props, 0x300B, [&] { return PropValue::binary(key); }); // PidTagSearchKey
        if (depth == 0)
            setDefault(props, 0x0FF9, [&] { return PropValue::binary(entryIdFor(nid)); }); // PidTagRecordKey
        applyItemDefaults(*this, data.messageClass, props, subject, data);
        std::uint32_t flags = 0;
        if (data.read)
            flags |= kMsgFlagRead;
        if (data.unsent)
            flags |= kMsgFlagUnsent;
        if (!data.attachments.empty())
            flags |= kMsgFlagHasAttach;
        props[0x0E07] = PropValue::int32(flags); // PidTagMessageFlags

        // 3. Recipient table rows ([MS-PST] 2.4.5.3, columns of Outlook's recipient tables).
        std::vector<ltp::TableRow>& recipientRows = out->recipientRows;
        for (std::size_t i = 0; i < data.recipients.size() && !members; ++i) {
            const Recipient& r = data.recipients[i];
            const std::string type = r.addressType.empty() ? "SMTP" : r.addressType;
            const std::string name = r.displayName.empty() ? r.address : r.displayName;
            ltp::TableRow row;
            row.rowId = static_cast<std::uint32_t>(i);
            auto& c = row.cells;
            c[ltp::makeTag(0x0C15, ltp::kPtInt32)] = PropValue::int32(static_cast<std::uint32_t>(r.type));
            const PropValue nameValue = text(name);
            c[ltp::makeTag(0x3001, st)] = nameValue; // PidTagDisplayName
            c[ltp::makeTag(0x3003, st)] = text(r.address); // PidTagEmailAddress
            c[ltp::makeTag(0x3002, st)] = text(type); // PidTagAddressType
            c[ltp::makeTag(0x3000, ltp::kPtInt32)] = PropValue::int32(static_cast<std::uint32_t>(i)); // PidTagRowid
            const ndb::ByteVector oneOff = oneOffEntryId(name, type, r.address);
            c[ltp::makeTag(0x0FFF, ltp::kPtBinary)] = PropValue::binary(oneOff); // PidTagEntryId
            c[ltp::makeTag(0x0FF9, ltp::kPtBinary)] = PropValue::binary(oneOff); // PidTagRecordKey
            std::string searchKey = upperAscii(type + ":" + r.address);
            ndb::ByteVector sk(searchKey.begin(), searchKey.end());
            sk.push_back(0);
            c[ltp::makeTag(0x300B, ltp::kPtBinary)] = PropValue::binary(sk); // PidTagSearchKey
            c[ltp::makeTag(0x3900, ltp::kPtInt32)] = PropValue::int32(0); // PidTagDisplayType: DT_MAILUSER
            c[ltp::makeTag(0x0FFE, ltp::kPtInt32)] = PropValue::int32(6); // PidTagObjectType: MAPI_MAILUSER
            c[ltp::makeTag(0x0E0F, ltp::kPtBoolean)] = PropValue::boolean(false); // PidTagResponsibility
            c[ltp::makeTag(0x3A40, ltp::kPtBoolean)] = PropValue::boolean(false); // PidTagSendRichInfo
            c[ltp::makeTag(0x39FF, st)] = nameValue; // PidTagAddressBookDisplayNamePrintable
            c[ltp::makeTag(0x3A20, st)] = nameValue; // PidTagTransmittableDisplayName
            c[ltp::makeTag(0x5FF6, st)] = nameValue; // PidTagRecipientDisplayName
            c[ltp::makeTag(0x5FFD, ltp::kPtInt32)]
                = PropValue::int32(static_cast<std::uint32_t>(r.flags)); // PidTagRecipientFlags
            c[ltp::makeTag(0x5FDF, ltp::kPtInt32)] = PropValue::int32(0); // PidTagRecipientOrder
            c[ltp::makeTag(0x5FFF, ltp::kPtInt32)] = PropValue::int32(0); // PidTagRecipientTrackStatus
            for (const auto& [tag, v] : c)
                size += valueSize(v);
            recipientRows.push_back(std::move(row));
        }

        // 4. Attachment objects; every value but the data (and an embedded message's size) is
        // known here.
        for (std::size_t i = 0; i < data.attachments.size(); ++i) {
            const Attachment& a = data.attachments[i];
            ltp::PropertyMap ap;
            ap[0x0E20] = PropValue::int32(0); // PidTagAttachSize, set below
            if (out->files[i]) {
                const std::string longName = a.fileName.empty() ? a.source.filename().string() : a.fileName;
                const auto dot = longName.rfind('.');
                const std::string ext = dot == std::string::npos ? std::string() : longName.substr(dot);
                putText(ap, format_, 0x3704, shortFileName(longName)); // PidTagAttachFilename (8.3)
                putText(ap, format_, 0x3707, longName); // PidTagAttachLongFilename
                putText(ap, format_, 0x3703, ext); // PidTagAttachExtension
                putText(ap, format_, 0x3001, longName); // PidTagDisplayName
                putText(ap, format_, 0x370E, a.mimeType.empty() ? mimeTypeFor(ext) : a.mimeType); // PidTagAttachMimeTag
                ap[0x3705] = PropValue::int32(1); // PidTagAttachMethod: afByValue
            } else {
                // An embedded message ([MS-OXCMSG] 2.2.2.9) is shown by its subject.
                const auto subjectOf = [&]() -> std::string {
                    for (const auto& p : a.message->properties)
                        if (!p.named && p.id == 0x0037 && std::holds_alternative<std::string>(p.value))
                            return std::get<std::string>(p.value);
                    return "Untitled";
                };
                putText(ap, format_, 0x3001, a.fileName.empty() ? subjectOf() : a.fileName); // PidTagDisplayName
                ap[0x3705] = PropValue::int32(5); // PidTagAttachMethod: afEmbeddedMessage
            }
            ap[0x370B] = PropValue::int32(0xFFFFFFFFu); // PidTagRenderingPosition: hidden
            ap[0x0FFE] = PropValue::int32(7); // PidTagObjectType: MAPI_ATTACH
            ap[0x0E21] = PropValue::int32(static_cast<std::uint32_t>(i)); // PidTagAttachNumber
            ap[0x3007] = props.at(0x3007);
            ap[0x3008] = props.at(0x3008);
            ap[0x7FFD] = PropValue::int32(0); // PidTagAttachmentFlags
            ap[0x7FFE] = PropValue::boolean(!a.contentId.empty()); // PidTagAttachmentHidden
            if (!a.contentId.empty()) {
                putText(ap, format_, 0x3712, a.contentId); // PidTagAttachContentId
                ap[0x3714] = PropValue::int32(4); // PidTagAttachFlags: ATT_MHTML_REF
                ap[0x7FFD] = PropValue::int32(4); // PidTagAttachmentFlags: attRenderedInBody
            }
            ap[0x7FFF] = PropValue::boolean(false); // PidTagAttachmentContactPhoto
            for (const auto& p : a.properties)
                ap[p.id] = encodeProperty(format_, p, where + ", attachment " + std::to_string(i + 1));
            std::uint64_t attachSize = out->files[i] ? (*out->files[i]).size() : 0;
            for (const auto& [id, v] : ap)
                attachSize += valueSize(v);
            ap[0x0E20] = PropValue::int32(static_cast<std::uint32_t>(std::min<std::uint64_t>(attachSize, 0x7FFFFFFF)));
            size += attachSize;
            out->attachProps.push_back(std::move(ap));
        }
        // PidTagMessageSize as Outlook (2007 SP2 onwards) stores it: the bytes of the message node's
        // data tree and of all its subnodes' data (tables, attachment objects with their data,
        // embedded messages, large values), known once they are written; writePropertyContext
        // fills it in.
        props[0x0E08] = PropValue::int32(0);
        for (const auto& [id, v] : props)
            size += valueSize(v);
        return out;
    }

    // Writes a prepared message's subnodes (attachments with their data or embedded messages,
    // tables) and its PC; the caller places the result (an NBT node, or a subnode of an
    // attachment). Fills PidTagMessageSize into props as written.
    ltp::NodeData StoreImpl::writePrepared(PreparedMessage& m)
    {
        ltp::PropertyMap& props = m.props;
        std::vector<ndb::SubnodeEntry> subnodes;
        std::uint64_t subnodeBytes = 0;
        const std::size_t blockData = ndb_->layout().maxBlockData;
        std::vector<ltp::TableRow> attachRows;
        std::vector<std::uint8_t> buffer;
        const std::vector<std::uint32_t> attachColumns
            = m.attachProps.empty() ? std::vector<std::uint32_t>() : attachmentColumns();
        for (std::size_t i = 0; i < m.attachProps.size(); ++i) {
            ltp::PropertyMap& ap = m.attachProps[i];
            std::vector<ndb::SubnodeEntry> attachSubnodes;
            std::uint64_t attachSubnodeBytes = 0;
            if (PreparedMessage* e = m.embedded[i].get()) {
                // [MS-PST] 2.4.6.2.2: PidTagAttachDataObject names a subnode of the attachment
                // that is a whole message, with its own subnodes (tables, attachments) below it.
                const ltp::NodeData d = writePrepared(*e);
                attachSubnodes.push_back(ndb::SubnodeEntry { e->nid, d.bidData, d.bidSub });
                attachSubnodeBytes += d.bytes;
                const std::uint32_t messageSize
                    = static_cast<std::uint32_t>(std::min<std::uint64_t>(d.bytes, 0x7FFFFFFF));
                // PtypObject ([MS-PST] 2.3.3.5): the subnode's NID and the object's size.
                ndb::ByteVector object;
                ndb::ByteWriter w(object);
                w.u32(e->nid);
                w.u32(messageSize);
                ap[0x3701] = PropValue::raw(kPtObject, object); // PidTagAttachDataObject
                // PidTagAttachSize counts the embedded message by its PidTagMessageSize.
                std::uint64_t attachSize = messageSize;
                for (const auto& [id, v] : ap)
                    if (id != 0x3701)
                        attachSize += valueSize(v);
                ap[0x0E20]
                    = PropValue::int32(static_cast<std::uint32_t>(std::min<std::uint64_t>(attachSize, 0x7FFFFFFF)));
            } else {
                const SourceFile& f = *m.files[i];
                PropValue value = PropValue::binary({});
                if (f.size() <= ndb::kMaxHeapAllocation) {
                    value.data.resize(f.size());
                    f.read(0, value.data.data(), value.data.size());
                } else {
                    // Streamed: read 128 blocks' worth (1 MB) at a time, each block written at once;
                    // memory stays flat whatever the file size.
                    const std::size_t chunk = blockData * 128;
                    buffer.resize(chunk);
                    std::vector<std::uint64_t> bids, sizes;
                    for (std::uint64_t at = 0; at < f.size(); at += chunk) {
                        const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, f.size() - at));
                        f.read(at, buffer.data(), got);
                        for (std::size_t off = 0; off < got; off += blockData) {
                            const std::size_t n = std::min(blockData, got - off);
                            bids.push_back(ndb_->writeBlock(buffer.data() + off, n, false));
                            sizes.push_back(n);
                        }
                    }
                    value.dataTree = ndb_->linkDataBlocks(bids, sizes);
                    value.dataTreeSize = f.size();
                }
                ap[0x3701] = std::move(value); // PidTagAttachDataBinary
            }
            const std::uint32_t attachNid = ndb::makeNid(ndb::kNidTypeAttachment, static_cast<std::uint32_t>(i + 1));
            const ltp::NodeData d = ltp::writePropertyContext(*ndb_, ap, attachSubnodes, attachSubnodeBytes);
            subnodes.push_back(ndb::SubnodeEntry { attachNid, d.bidData, d.bidSub });
            subnodeBytes += d.bytes;
            ltp::TableRow row;
            row.rowId = attachNid;
            for (std::uint32_t tag : attachColumns) {
                auto it = ap.find(ltp::tagId(tag));
                if (it != ap.end() && it->second.type == ltp::tagType(tag))
                    row.cells[tag] = it->second;
            }
            attachRows.push_back(std::move(row));
        }
        if (!attachRows.empty()) {
            const ltp::NodeData d = ltp::writeTableContext(*ndb_, attachColumns, attachRows);
            subnodes.push_back(ndb::SubnodeEntry { kNidAttachmentTableTemplate, d.bidData, d.bidSub });
            subnodeBytes += d.bytes;
        }
        const ltp::NodeData r = ltp::writeTableContext(*ndb_, recipientColumns(), m.recipientRows);
        subnodes.push_back(ndb::SubnodeEntry { kNidRecipientTableTemplate, r.bidData, r.bidSub });
        subnodeBytes += r.bytes;
        const ltp::NodeData d = ltp::writePropertyContext(*ndb_, props, subnodes, subnodeBytes, 0x0E08);
        props[0x0E08] = PropValue::int32(static_cast<std::uint32_t>(std::min<std::uint64_t>(d.bytes, 0x7FFFFFFF)));
        return d;
    }

    FolderNode::ContentRow StoreImpl::writeMessage(std::uint32_t nid, std::uint32_t folderNid, const MessageData& data)
    {
        const FolderNode& folder = folders_.at(folderNid);
        const std::string where = "message in \"" + folder.name + "\"";
        std::unique_ptr<PreparedMessage> m = prepareMessage(data, nid, where, 0);
        ltp::PropertyMap& props = m->props;
        const std::uint64_t size = m->size;

        // The file must stay below its limit with room for the tables and B-trees of a flush.
        const std::uint64_t estimate = size + size / 4 + (1u << 20) + folder.contents.size() * 512;
        if (ndb_->fileSize() + estimate > ndb_->maxFileSize())
            throw Error(ErrorKind::LimitExceeded, "add message", where,
                "a file below " + std::to_string(ndb_->maxFileSize()) + " bytes"
                    + (format_ == Format::Ansi ? " (ANSI)" : ""),
                std::to_string(ndb_->fileSize()) + " bytes and a message of about " + std::to_string(size));

        // 5. Writes. A failure from here on leaves the store refusing work; the file keeps its last
        // flushed state.
        try {
            const ltp::NodeData d = writePrepared(*m);
            ndb_->putNode(nid, d.bidData, d.bidSub, folderNid);
        } catch (const Error&) {
            broken_ = true;
            throw;
        }

        // 6. The contents-table row: the message's values for the table's columns.
        FolderNode::ContentRow row;
        row.nid = nid;
        row.unread = !data.read;
        ndb::ByteWriter cells(row.cells);
        static const std::vector<std::uint32_t> contentsColumns[2]
            = { contentsTableColumns(Format::Ansi), contentsTableColumns(Format::Unicode) };
        for (std::uint32_t tag : contentsColumns[format_ == Format::Unicode]) {
            auto it = props.find(ltp::tagId(tag));
            if (it != props.end() && it->second.type == ltp::tagType(tag) && tag != ltp::kTagLtpRowId
                && tag != ltp::kTagLtpRowVer) {
                cells.u32(tag);
                cells.u32(it->second.data.size());
                cells.bytes(it->second.data);
            }
        }
        row.cells.shrink_to_fit();
        return row;
    }

    ndb::ByteVector StoreImpl::oneOffEntryId(
        const std::string& name, const std::string& addressType, const std::string& address) const
    {
        // One-off EntryID ([MS-OXCDATA] 2.2.5.1): flags, the one-off provider UID, version 0,
        // flags (MAPI_UNICODE when the strings are UTF-16LE, no rich info), then the three strings
        // with terminators.
        static const std::uint8_t uid[16]
            = { 0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02 };
        ndb::ByteVector out;
        out.reserve(24 + 2 * (name.size() + addressType.size() + address.size() + 3));
        ndb::ByteWriter w(out);
        w.u32(0);
        w.bytes(uid, 16);
        w.u16(0);
        const bool unicode = format_ == Format::Unicode;
        w.u8(0x01); // ONE_OFF_NO_RICH_INFO
        w.u8(unicode ? 0x90 : 0x10); // MAPI_UNICODE | ONE_OFF_NO_RICH_INFO format bits
        for (const auto* s : { &name, &addressType, &address }) {
            w.bytes(encodeText(format_, *s));
            w.put(0, unicode ? 2 : 1);
        }
        return out;
    }

    const std::vector<std::uint32_t>& StoreImpl::recipientColumns() const
    {
        if (!recipientColumns_.empty())
            return recipientColumns_;
        auto& cols = recipientColumns_;
        cols = recipientTableColumns(format_);
        const std::uint16_t st = stringType(format_);
        for (std::uint32_t t : { ltp::makeTag(0x3000, ltp::kPtInt32), ltp::makeTag(0x3A20, st),
                 ltp::makeTag(0x5FF6, st), ltp::makeTag(0x5FFD, ltp::kPtInt32), ltp::makeTag(0x5FDF, ltp::kPtInt32),
                 ltp::makeTag(0x5FFF, ltp::kPtInt32) })
            cols.push_back(t);
        return cols;
    }

    std::vector<std::uint32_t> StoreImpl::attachmentColumns() const
    {
        auto cols = attachmentTableColumns(format_);
        const std::uint16_t st = stringType(format_);
        // As in Outlook's attachment tables: also the exception times and the attachment flags.
        for (std::uint32_t t : { ltp::makeTag(0x3707, st), ltp::makeTag(0x3001, st),
                 ltp::makeTag(0x0E21, ltp::kPtInt32), ltp::makeTag(0x7FF9, ltp::kPtSysTime),
                 ltp::makeTag(0x7FFB, ltp::kPtSysTime), ltp::makeTag(0x7FFC, ltp::kPtSysTime),
                 ltp::makeTag(0x7FFD, ltp::kPtInt32), ltp::makeTag(0x7FFE, ltp::kPtBoolean) })
            cols.push_back(t);
        return cols;
    }

    std::uint32_t StoreImpl::addMessage(std::uint32_t folderNid, const MessageData& data)
    {
        checkUsable();
        FolderNode& f = folders_.at(folder(folderNid).nid);
        if (f.search)
            throw Error(
                ErrorKind::InvalidArgument, "add message", "\"" + f.name + "\"", "a normal folder", "a search folder");
        if (f.contents.size() + 1 > ndb_->layout().maxTableRows)
            throw Error(ErrorKind::LimitExceeded, "add message", "contents table of \"" + f.name + "\"",
                "at most " + std::to_string(ndb_->layout().maxTableRows) + " messages (ANSI)",
                std::to_string(f.contents.size() + 1));
        const std::uint32_t nid = ndb_->newNid(ndb::kNidTypeNormalMessage);
        FolderNode::ContentRow row = writeMessage(nid, folderNid, data);
        f.contentIndex[nid] = f.contents.size();
        f.contentCount++;
        if (row.unread)
            f.unreadCount++;
        f.contents.push_back(std::move(row));
        messageFolder_[nid] = folderNid;
        dirtyContents_.insert(folderNid);
        touch(folderNid);
        return nid;
    }

    void StoreImpl::updateMessage(std::uint32_t nid, const MessageData& data)
    {
        checkUsable();
        const std::uint32_t folderNid = messageFolder(nid);
        FolderNode::ContentRow row = writeMessage(nid, folderNid, data);
        FolderNode& f = folders_.at(folderNid);
        FolderNode::ContentRow& old = f.contents.at(f.contentIndex.at(nid));
        if (old.unread != row.unread) {
            f.unreadCount = row.unread ? f.unreadCount + 1 : f.unreadCount - 1;
            touch(folderNid);
        }
        old = std::move(row);
        dirtyContents_.insert(folderNid);
    }

    std::uint32_t StoreImpl::messageFolder(std::uint32_t nid) const
    {
        auto it = messageFolder_.find(nid);
        if (it == messageFolder_.end())
            throw Error(ErrorKind::InvalidArgument, "find message", "NID " + std::to_string(nid),
                "a message of this store", "none");
        return it->second;
    }

    void StoreImpl::writeContents(const FolderNode& f)
    {
        // Rows are unpacked one at a time while the table is written.
        ltp::TableRow row;
        auto rowAt = [&](std::size_t r) -> const ltp::TableRow& {
            const FolderNode::ContentRow& c = f.contents[r];
            row.rowId = c.nid;
            row.cells.clear();
            for (std::size_t at = 0; at + 8 <= c.cells.size();) {
                const auto tag = static_cast<std::uint32_t>(ndb::loadLe(c.cells.data() + at, 4));
                const auto n = static_cast<std::size_t>(ndb::loadLe(c.cells.data() + at + 4, 4));
                at += 8;
                if (at + n > c.cells.size())
                    throw Error(ErrorKind::Internal, "write contents table", "row of NID " + std::to_string(c.nid),
                        "packed cells within the row", "a cell past its end");
                row.cells[tag]
                    = PropValue::raw(ltp::tagType(tag), ndb::ByteVector(c.cells.data() + at, c.cells.data() + at + n));
                at += n;
            }
            return row;
        };
        const ltp::NodeData d = ltp::writeTableContext(*ndb_, contentsTableColumns(format_), f.contents.size(), rowAt);
        ndb_->putNode(ndb::makeNid(ndb::kNidTypeContentsTable, ndb::nidIndex(f.nid)), d.bidData, d.bidSub, 0);
    }

} // namespace detail

// ---- Message / Folder -------------------------------------------------------------------------

Bytes Message::entryId() const { return impl_->entryIdFor(nid_); }
std::uint32_t Message::nodeId() const { return nid_; }
Folder Message::folder() const { return Folder(impl_, impl_->messageFolder(nid_)); }
void Message::update(const MessageData& data) { impl_->updateMessage(nid_, data); }

Message Folder::addMessage(const MessageData& data) { return Message(impl_, impl_->addMessage(nid_, data)); }

std::vector<Message> Folder::messages() const
{
    std::vector<Message> out;
    for (const auto& c : impl_->folder(nid_).contents)
        out.push_back(Message(impl_, c.nid));
    return out;
}

} // namespace pst
