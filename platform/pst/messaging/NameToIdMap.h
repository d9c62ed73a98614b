// Name-to-ID map (NPMAP), [MS-PST] 2.4.7: named properties (GUID + number or string) to
// property IDs 0x8000 + index, stored as the GUID, entry and string streams plus hash buckets.
#pragma once

#include "ltp/Property.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace pst::messaging {

// A GUID in its on-disk byte order (Data1, Data2, Data3 little-endian, then Data4).
using Guid = std::array<std::uint8_t, 16>;
Guid makeGuid(std::uint32_t d1, std::uint16_t d2, std::uint16_t d3, std::array<std::uint8_t, 8> d4);

extern const Guid kPsMapi; // {00020328-0000-0000-C000-000000000046}
extern const Guid kPsPublicStrings; // {00020329-0000-0000-C000-000000000046}
extern const Guid kPsetidAppointment; // {00062002-0000-0000-C000-000000000046}
extern const Guid kPsetidTask; // {00062003-0000-0000-C000-000000000046}
extern const Guid kPsetidAddress; // {00062004-0000-0000-C000-000000000046}
extern const Guid kPsetidCommon; // {00062008-0000-0000-C000-000000000046}
extern const Guid kPsetidNote; // {0006200E-0000-0000-C000-000000000046}

class NameToIdMap {
public:
    // The property ID of a named property, added when new.
    std::uint16_t idFor(const Guid& guid, std::uint32_t lid);
    std::uint16_t idFor(const Guid& guid, const std::u16string& name);
    std::size_t size() const { return entries_.size(); }

    // The PC of NID_NAME_TO_ID_MAP: bucket count, the three streams and the non-empty buckets.
    ltp::PropertyMap properties() const;

private:
    struct Entry {
        std::uint32_t propertyId; // LID, or offset into the string stream
        std::uint32_t hashId; // LID, or CRC-32 of the name
        bool isString;
        std::uint16_t guidIndex; // wGuid
    };
    std::uint16_t guidIndex(const Guid& guid);
    std::uint16_t add(const Entry& e);

    std::vector<Guid> guids_;
    std::vector<Entry> entries_;
    ndb::ByteVector strings_;
    std::map<std::pair<std::uint16_t, std::uint32_t>, std::uint16_t> numeric_;
    std::map<std::pair<std::uint16_t, std::u16string>, std::uint16_t> named_;
};

} // namespace pst::messaging
