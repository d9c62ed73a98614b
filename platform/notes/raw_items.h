// The binary layouts of two raw item types of native MIME mail, as the Notes C API reference
// (mimeods.h) describes them and DXL carries them base64-encoded in <rawitemdata>:
//
//   TYPE_RFC822_TEXT (0x502), an RFC822ITEMDESC header then its texts:
//     WORD wVersion, DWORD dwFlags, WORD wNotesNativeLen, WORD w822NameLen, WORD w822DelimLen,
//     WORD w822BodyLen; then the Notes native value (LMBCS text or a TIMEDATE), the header name,
//     the delimiter and the header body as it came (RFC 2047 encoded words, folded).
//   TYPE_MIME_PART (0x19), a MIME_PART header then its texts:
//     WORD wVersion, DWORD dwFlags, BYTE cPartType, BYTE cSpare, WORD wByteCount,
//     WORD wBoundaryLen, WORD wHeadersLen, WORD wSpare, DWORD dwSpare; then wByteCount bytes:
//     boundary, headers, body.
//
// Every field is read little-endian, one by one, and every length is checked against the
// bytes there are: what a short or lying item cannot give is left out and the item is marked
// incomplete.
#pragma once

#include "automation/variant.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace notes::detail {

inline constexpr int TypeRfc822Text = 0x502;
inline constexpr int TypeMimePart = 0x19;

struct Rfc822Item {
    // dwFlags & RFC822_ITEM_FORMAT_MASK
    enum class Format : std::uint8_t { Address = 0, Date = 1, Text = 2, Other = 3 };
    Format format = Format::Text;
    std::uint32_t flags = 0;
    std::string_view native; // the Notes value: LMBCS text, or 8 bytes of TIMEDATE for dates
    std::string_view name; // "Subject"
    std::string_view delimiter; // ": "
    std::string_view body; // the header body as it arrived, often with its CRLF
    bool complete = true; // false when a length pointed past the item's end
    bool textList() const { return (flags & 0x10) != 0; } // RFC822_ITEM_TEXT_LIST
};

// The parts of a TYPE_RFC822_TEXT item; nothing when even its header is cut short. The views
// point into bytes.
std::optional<Rfc822Item> parseRfc822Item(std::string_view bytes);

struct MimePartItem {
    std::uint32_t flags = 0;
    int partType = 0; // MIME_PART_PROLOG 1, _BODY 2, _EPILOG 3, _RETRIEVE_INFO 4, _MESSAGE 5
    std::string_view boundary;
    std::string_view headers; // with the blank line that ends them
    std::string_view body;
    bool complete = true;
    // MIME_PART_BODY_IN_DBOBJECT: the body is the name of a $FILE object holding it.
    bool bodyInObject() const { return (flags & 0x4) != 0; }
};

// The parts of a TYPE_MIME_PART item; nothing when even its header is cut short.
std::optional<MimePartItem> parseMimePart(std::string_view bytes);

// A TIMEDATE (Innards[0]: hundredths of a second since midnight GMT, Innards[1]: Julian day in
// bits 0-23, the time zone in 24-29, east of GMT in bit 30), as the instant with the zone's
// offset. Nothing for 8 bytes that hold no date (ANYDAY, ALLDAY, out of range).
std::optional<automation::DateTime> parseTimeDate(std::string_view bytes);

} // namespace notes::detail
