#include "messaging/NameToIdMap.h"

#include "messaging/Schema.h"
#include "ndb/Checksum.h"
#include "pst/Error.h"

namespace pst::messaging {

Guid makeGuid(std::uint32_t d1, std::uint16_t d2, std::uint16_t d3, std::array<std::uint8_t, 8> d4)
{
    Guid g {};
    ndb::storeLe(g.data(), d1, 4);
    ndb::storeLe(g.data() + 4, d2, 2);
    ndb::storeLe(g.data() + 6, d3, 2);
    std::copy(d4.begin(), d4.end(), g.begin() + 8);
    return g;
}

namespace {
    constexpr std::array<std::uint8_t, 8> kOleTail { 0xC0, 0, 0, 0, 0, 0, 0, 0x46 };
}
const Guid kPsMapi = makeGuid(0x00020328, 0, 0, kOleTail);
const Guid kPsPublicStrings = makeGuid(0x00020329, 0, 0, kOleTail);
const Guid kPsetidAppointment = makeGuid(0x00062002, 0, 0, kOleTail);
const Guid kPsetidTask = makeGuid(0x00062003, 0, 0, kOleTail);
const Guid kPsetidAddress = makeGuid(0x00062004, 0, 0, kOleTail);
const Guid kPsetidCommon = makeGuid(0x00062008, 0, 0, kOleTail);
const Guid kPsetidNote = makeGuid(0x0006200E, 0, 0, kOleTail);

std::uint16_t NameToIdMap::guidIndex(const Guid& guid)
{
    if (guid == kPsMapi)
        return 1; // NAMEID_GUID_MAPI
    if (guid == kPsPublicStrings)
        return 2; // NAMEID_GUID_PUBLIC_STRINGS
    for (std::size_t i = 0; i < guids_.size(); ++i)
        if (guids_[i] == guid)
            return static_cast<std::uint16_t>(i + 3);
    guids_.push_back(guid);
    return static_cast<std::uint16_t>(guids_.size() + 2);
}

std::uint16_t NameToIdMap::add(const Entry& e)
{
    if (entries_.size() >= 0x7FFF)
        throw Error(ErrorKind::LimitExceeded, "add named property", "name-to-ID map", "at most 32767 named properties",
            std::to_string(entries_.size() + 1));
    entries_.push_back(e);
    return static_cast<std::uint16_t>(0x8000 + entries_.size() - 1);
}

std::uint16_t NameToIdMap::idFor(const Guid& guid, std::uint32_t lid)
{
    const std::uint16_t g = guidIndex(guid);
    if (auto it = numeric_.find({ g, lid }); it != numeric_.end())
        return it->second;
    return numeric_[{ g, lid }] = add(Entry { lid, lid, false, g });
}

std::uint16_t NameToIdMap::idFor(const Guid& guid, const std::u16string& name)
{
    const std::uint16_t g = guidIndex(guid);
    if (auto it = named_.find({ g, name }); it != named_.end())
        return it->second;
    // String stream: length (bytes) then UTF-16LE, padded to 4 bytes; names are Unicode even in ANSI files.
    const std::uint32_t offset = static_cast<std::uint32_t>(strings_.size());
    ndb::ByteVector utf16;
    for (char16_t c : name) {
        utf16.push_back(static_cast<std::uint8_t>(c));
        utf16.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    ndb::ByteWriter w(strings_);
    w.u32(utf16.size());
    w.bytes(utf16);
    while (strings_.size() % 4)
        strings_.push_back(0);
    return named_[{ g, name }] = add(Entry { offset, ndb::crc32(utf16.data(), utf16.size()), true, g });
}

ltp::PropertyMap NameToIdMap::properties() const
{
    ltp::PropertyMap props;
    props[kPidNameidBucketCount] = ltp::PropValue::int32(kNameidBucketCount);
    ndb::ByteVector guids, entries;
    for (const auto& g : guids_)
        guids.insert(guids.end(), g.begin(), g.end());
    std::map<std::uint32_t, ndb::ByteVector> buckets;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        // NAMEID: dwPropertyID, N (bit 0) + wGuid (15 bits), wPropIdx.
        const std::uint16_t kind = static_cast<std::uint16_t>((e.guidIndex << 1) | (e.isString ? 1 : 0));
        ndb::ByteWriter w(entries);
        w.u32(e.propertyId);
        w.u16(kind);
        w.u16(i);
        // Bucket of a record: (dwPropertyID ^ (N | wGuid << 1)) % bucket count, with the CRC for names.
        ndb::ByteWriter b(buckets[(e.hashId ^ kind) % kNameidBucketCount]);
        b.u32(e.hashId);
        b.u16(kind);
        b.u16(i);
    }
    props[kPidNameidStreamGuid] = ltp::PropValue::binary(guids);
    props[kPidNameidStreamEntry] = ltp::PropValue::binary(entries);
    props[kPidNameidStreamString] = ltp::PropValue::binary(strings_);
    for (auto& [bucket, data] : buckets)
        props[static_cast<std::uint16_t>(0x1000 + bucket)] = ltp::PropValue::binary(data);
    return props;
}

} // namespace pst::messaging
