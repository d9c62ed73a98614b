// Property types and values as the LTP layer stores them ([MS-PST] 2.1.1, [MS-OXCDATA] types).
#pragma once

#include "ndb/Bytes.h"

#include <cstdint>
#include <map>

namespace pst::ltp {

using ndb::ByteVector;

enum PropType : std::uint16_t {
    kPtInt16 = 0x0002,
    kPtInt32 = 0x0003,
    kPtFloat = 0x0004,
    kPtDouble = 0x0005,
    kPtCurrency = 0x0006,
    kPtAppTime = 0x0007,
    kPtError = 0x000A,
    kPtBoolean = 0x000B,
    kPtInt64 = 0x0014,
    kPtString8 = 0x001E,
    kPtUnicode = 0x001F,
    kPtSysTime = 0x0040,
    kPtGuid = 0x0048,
    kPtBinary = 0x0102,
    kPtMultiFlag = 0x1000,
};

constexpr std::uint32_t makeTag(std::uint16_t id, std::uint16_t type) { return (std::uint32_t(id) << 16) | type; }
constexpr std::uint16_t tagId(std::uint32_t tag) { return static_cast<std::uint16_t>(tag >> 16); }
constexpr std::uint16_t tagType(std::uint32_t tag) { return static_cast<std::uint16_t>(tag & 0xFFFF); }

// Size of a fixed-size value, 0 for variable-size types (strings, binary, GUID, multi-valued).
constexpr unsigned fixedSize(std::uint16_t type)
{
    switch (type) {
    case kPtBoolean:
        return 1;
    case kPtInt16:
        return 2;
    case kPtInt32:
    case kPtFloat:
    case kPtError:
        return 4;
    case kPtDouble:
    case kPtCurrency:
    case kPtAppTime:
    case kPtInt64:
    case kPtSysTime:
        return 8;
    default:
        return 0;
    }
}

// A value in its on-disk encoding (little-endian scalars, string bytes without terminator).
struct PropValue {
    std::uint16_t type = 0;
    ByteVector data;
    // A value already written as a data tree (a streamed attachment): the PC puts it in a subnode
    // and data stays empty. The tree's reference passes to the PC.
    std::uint64_t dataTree = 0;
    std::uint64_t dataTreeSize = 0; // its bytes

    static PropValue int32(std::uint32_t v);
    static PropValue boolean(bool v);
    static PropValue int64(std::uint64_t v, std::uint16_t type = kPtInt64);
    static PropValue binary(ByteVector v);
    static PropValue raw(std::uint16_t type, ByteVector v);
};

using PropertyMap = std::map<std::uint16_t, PropValue>; // by property ID

} // namespace pst::ltp
