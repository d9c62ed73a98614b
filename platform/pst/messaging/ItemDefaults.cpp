#include "messaging/ItemDefaults.h"

#include "messaging/NameToIdMap.h"
#include "messaging/StoreImpl.h"
#include "messaging/Text.h"
#include "ndb/Checksum.h"

#include <cstring>

namespace pst::detail {

using ltp::PropValue;
using namespace messaging;

namespace {

    bool isClass(const std::string& cls, const char* base)
    {
        // "IPM.Appointment" and its subclasses ("IPM.Appointment.Custom"), case-insensitively.
        const std::size_t n = std::strlen(base);
        if (cls.size() < n || strncasecmp(cls.data(), base, n) != 0)
            return false;
        return cls.size() == n || cls[n] == '.';
    }

    std::uint64_t int64Of(const PropValue& v)
    {
        std::uint64_t x = 0;
        for (std::size_t i = 0; i < 8 && i < v.data.size(); ++i)
            x |= std::uint64_t(v.data[i]) << (8 * i);
        return x;
    }

    PropValue doubleValue(double d)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        return PropValue::int64(bits, ltp::kPtDouble);
    }

    std::string textOf(Format format, const PropValue& v)
    {
        if (format == Format::Ansi)
            return fromWindows1252(v.data);
        std::string out;
        // UTF-16LE to UTF-8 for the few strings read back here (display names).
        for (std::size_t i = 0; i + 1 < v.data.size(); i += 2) {
            std::uint32_t c = v.data[i] | (v.data[i + 1] << 8);
            if (c >= 0xD800 && c < 0xDC00 && i + 3 < v.data.size()) {
                const std::uint32_t lo = v.data[i + 2] | (v.data[i + 3] << 8);
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c < 0x800) {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                out += static_cast<char>(0xE0 | (c >> 12));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (c >> 18));
                out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return out;
    }

} // namespace

void applyItemDefaults(StoreImpl& store, const std::string& messageClass, ltp::PropertyMap& props, std::string& subject,
    const MessageData& data)
{
    const Format format = store.format();
    auto id = [&](const Guid& set, std::uint32_t lid) { return store.namedPropertyId(set, lid); };
    auto setDefault = [&](std::uint16_t pid, PropValue v) {
        if (!props.count(pid))
            props[pid] = std::move(v);
    };
    auto has = [&](std::uint16_t pid) { return props.count(pid) != 0; };

    // The sender and the sender represented: from name, address and address type, the one-off
    // entry ID ([MS-OXCDATA] 2.2.5.1) and the search key ("TYPE:ADDRESS" upper-cased, with its
    // terminator, [MS-OXCMSG]) that Outlook keeps beside them and replies to.
    struct SenderTags {
        std::uint16_t name, address, type, entryId, searchKey;
    };
    for (const SenderTags t : { SenderTags { 0x0C1A, 0x0C1F, 0x0C1E, 0x0C19, 0x0C1D },
             SenderTags { 0x0042, 0x0065, 0x0064, 0x0041, 0x003B } }) {
        if (!has(t.address) || !has(t.type))
            continue;
        const std::string address = textOf(format, props.at(t.address));
        const std::string type = textOf(format, props.at(t.type));
        if (address.empty() || type.empty())
            continue;
        const std::string name = has(t.name) ? textOf(format, props.at(t.name)) : std::string();
        setDefault(t.entryId, PropValue::binary(store.oneOffEntryId(name.empty() ? address : name, type, address)));
        std::string key = type + ":" + address;
        for (auto& c : key)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        ndb::ByteVector bytes(key.begin(), key.end());
        bytes.push_back(0);
        setDefault(t.searchKey, PropValue::binary(std::move(bytes)));
    }

    if (isClass(messageClass, "IPM.Appointment")) {
        const std::uint16_t start = id(kPsetidAppointment, 0x820D), end = id(kPsetidAppointment, 0x820E);
        const std::uint16_t commonStart = id(kPsetidCommon, 0x8516), commonEnd = id(kPsetidCommon, 0x8517);
        if (has(start)) {
            setDefault(commonStart, props.at(start));
            setDefault(0x0060, props.at(start)); // PidTagStartDate
            setDefault(id(kPsetidAppointment, 0x8235), props.at(start)); // PidLidClipStart
        }
        if (has(end)) {
            setDefault(commonEnd, props.at(end));
            setDefault(0x0061, props.at(end)); // PidTagEndDate
            setDefault(id(kPsetidAppointment, 0x8236), props.at(end)); // PidLidClipEnd
        }
        if (has(start) && has(end)) {
            const auto minutes
                = static_cast<std::int64_t>(int64Of(props.at(end)) - int64Of(props.at(start))) / 600000000;
            setDefault(id(kPsetidAppointment, 0x8213), PropValue::int32(static_cast<std::uint32_t>(minutes)));
        }
        setDefault(id(kPsetidAppointment, 0x8205), PropValue::int32(2)); // PidLidBusyStatus: busy
        setDefault(id(kPsetidAppointment, 0x8217), PropValue::int32(0)); // PidLidAppointmentStateFlags: plain
        setDefault(id(kPsetidAppointment, 0x8215), PropValue::boolean(false)); // PidLidAppointmentSubType
        setDefault(id(kPsetidAppointment, 0x8223), PropValue::boolean(false)); // PidLidRecurring
        setDefault(id(kPsetidAppointment, 0x8201), PropValue::int32(0)); // PidLidAppointmentSequence
        setDefault(id(kPsetidCommon, 0x8503), PropValue::boolean(false)); // PidLidReminderSet
        setDefault(id(kPsetidCommon, 0x8501), PropValue::int32(15)); // PidLidReminderDelta
    } else if (isClass(messageClass, "IPM.Contact")) {
        // Display name from the name parts; file-as and e-mail display name from it.
        if (!has(0x3001)) {
            std::string name;
            for (std::uint16_t part :
                { 0x3A45, 0x3A06, 0x3A44, 0x3A11, 0x3A05 }) // prefix, given, middle, surname, suffix
                if (has(part)) {
                    const std::string t = textOf(format, props.at(part));
                    if (!t.empty())
                        name += (name.empty() ? "" : " ") + t;
                }
            if (name.empty() && !subject.empty())
                name = subject;
            if (!name.empty())
                props[0x3001] = store.text(name);
        }
        if (has(0x3001)) {
            setDefault(0x0037, props.at(0x3001)); // PidTagSubject
            setDefault(0x0E1D, props.at(0x3001)); // PidTagNormalizedSubject
            setDefault(0x0070, props.at(0x3001)); // PidTagConversationTopic
            setDefault(id(kPsetidAddress, 0x8005), props.at(0x3001)); // PidLidFileUnder
        }
        const std::uint16_t email = id(kPsetidAddress, 0x8083);
        if (has(email)) {
            setDefault(id(kPsetidAddress, 0x8082), store.text("SMTP")); // PidLidEmail1AddressType
            setDefault(id(kPsetidAddress, 0x8084), props.at(email)); // PidLidEmail1OriginalDisplayName
            // Outlook shows the address as "Name (address)" and keeps a one-off entry ID of it.
            const std::string address = textOf(format, props.at(email));
            const std::string name = has(0x3001) ? textOf(format, props.at(0x3001)) : std::string();
            const std::string shown = name.empty() || name == address ? address : name + " (" + address + ")";
            setDefault(id(kPsetidAddress, 0x8080), store.text(shown)); // PidLidEmail1DisplayName
            if (!address.empty())
                setDefault(id(kPsetidAddress, 0x8085), // PidLidEmail1OriginalEntryId
                    PropValue::binary(
                        store.oneOffEntryId(shown, textOf(format, props.at(id(kPsetidAddress, 0x8082))), address)));
            // [MS-OXOCNTC]: PidLidAddressBookProviderEmailList, the address slots in use ([0]:
            // Email1), and PidLidAddressBookProviderArrayType, their bits (1: Email1), as Outlook
            // writes them.
            setDefault(id(kPsetidAddress, 0x8028), PropValue::raw(0x1003, std::vector<std::uint8_t>(4, 0)));
            setDefault(id(kPsetidAddress, 0x8029), PropValue::int32(1));
        }
        setDefault(id(kPsetidAddress, 0x8006), PropValue::int32(0xFFFFFFFFu)); // PidLidFileUnderId: custom
    } else if (isClass(messageClass, "IPM.DistList")) {
        // [MS-OXOCNTC] 2.2.2.2: the members, each a one-off entry ID (name, address type,
        // address), in PidLidDistributionListMembers and PidLidDistributionListOneOffMembers
        // alike, and the CRC-32 of the members' bytes one after the other.
        std::vector<ndb::ByteVector> members;
        ndb::ByteVector all;
        for (const auto& r : data.recipients) {
            const std::string type = r.addressType.empty() ? "SMTP" : r.addressType;
            members.push_back(store.oneOffEntryId(r.displayName.empty() ? r.address : r.displayName, type, r.address));
            all.insert(all.end(), members.back().begin(), members.back().end());
        }
        // Multiple binary values ([MS-PST] 2.3.3.4.2): the count, an offset per value, the values.
        ndb::ByteVector list;
        ndb::ByteWriter w(list);
        w.u32(static_cast<std::uint32_t>(members.size()));
        std::uint32_t offset = 4 + 4 * static_cast<std::uint32_t>(members.size());
        for (const auto& m : members) {
            w.u32(offset);
            offset += static_cast<std::uint32_t>(m.size());
        }
        list.insert(list.end(), all.begin(), all.end());
        setDefault(id(kPsetidAddress, 0x8055), PropValue::raw(0x1102, list)); // PidLidDistributionListMembers
        setDefault(id(kPsetidAddress, 0x8054), PropValue::raw(0x1102, list)); // ...OneOffMembers
        setDefault(id(kPsetidAddress, 0x804C), // PidLidDistributionListChecksum
            PropValue::int32(ndb::crc32(all.data(), all.size())));
        if (has(0x3001)) {
            setDefault(0x0037, props.at(0x3001)); // PidTagSubject
            setDefault(0x0E1D, props.at(0x3001)); // PidTagNormalizedSubject
        }
        setDefault(id(kPsetidAddress, 0x8006), PropValue::int32(0xFFFFFFFFu)); // PidLidFileUnderId: custom
    } else if (isClass(messageClass, "IPM.Task")) {
        setDefault(id(kPsetidTask, 0x8101), PropValue::int32(0)); // PidLidTaskStatus: not started
        setDefault(id(kPsetidTask, 0x8102), doubleValue(0.0)); // PidLidPercentComplete
        setDefault(id(kPsetidTask, 0x811C), PropValue::boolean(false)); // PidLidTaskComplete
        setDefault(id(kPsetidTask, 0x8113), PropValue::int32(1)); // PidLidTaskState: not assigned
        setDefault(id(kPsetidTask, 0x8129), PropValue::int32(0)); // PidLidTaskOwnership: not assigned
        setDefault(id(kPsetidTask, 0x8126), PropValue::boolean(false)); // PidLidTaskFRecurring
        setDefault(id(kPsetidCommon, 0x8503), PropValue::boolean(false)); // PidLidReminderSet
        const std::uint16_t due = id(kPsetidTask, 0x8105);
        if (has(due))
            setDefault(id(kPsetidCommon, 0x8517), props.at(due)); // PidLidCommonEnd
        const std::uint16_t startDate = id(kPsetidTask, 0x8104);
        if (has(startDate))
            setDefault(id(kPsetidCommon, 0x8516), props.at(startDate)); // PidLidCommonStart
    } else if (isClass(messageClass, "IPM.StickyNote")) {
        setDefault(id(kPsetidNote, 0x8B00), PropValue::int32(3)); // PidLidNoteColor: yellow
        setDefault(id(kPsetidNote, 0x8B02), PropValue::int32(200)); // PidLidNoteWidth
        setDefault(id(kPsetidNote, 0x8B03), PropValue::int32(166)); // PidLidNoteHeight
        setDefault(id(kPsetidNote, 0x8B04), PropValue::int32(0)); // PidLidNoteX
        setDefault(id(kPsetidNote, 0x8B05), PropValue::int32(0)); // PidLidNoteY
        // A note's subject is the first line of its body.
        if (!has(0x0037) && has(0x1000)) {
            std::string body = textOf(format, props.at(0x1000));
            body = body.substr(0, body.find_first_of("\r\n"));
            if (body.size() > 255)
                body.resize(255);
            subject = body;
            props[0x0037] = store.text(body);
            props[0x0E1D] = store.text(body);
            props[0x0070] = store.text(body);
        }
    }
}

} // namespace pst::detail
