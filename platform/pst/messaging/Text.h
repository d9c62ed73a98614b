// Strings as the two formats store them: UTF-16LE (Unicode) or Windows-1252 through iconv
// (ANSI), where characters Windows-1252 cannot hold become "?".
#pragma once

#include "ltp/Property.h"
#include "pst/Store.h"

#include <optional>
#include <string>
#include <string_view>

namespace pst::messaging {

bool isValidUtf8(std::string_view s);
// UTF-16LE of valid UTF-8; nothing when the input is not valid UTF-8.
std::optional<ndb::ByteVector> validUtf8ToUtf16le(std::string_view s);
// Lower-cases every letter (Unicode case mapping of glibc's C.UTF-8), for comparing names the way
// Outlook does: case-insensitively. Expects valid UTF-8.
std::string foldCase(std::string_view utf8);
ndb::ByteVector toUtf16le(std::string_view utf8);
std::u16string toUtf16String(std::string_view utf8);
ndb::ByteVector toWindows1252(std::string_view utf8);
std::string fromWindows1252(const ndb::ByteVector& bytes);

// PT_UNICODE or PT_STRING8 value for the store's format; throws Error(InvalidArgument) on bad UTF-8.
ltp::PropValue stringValue(Format format, std::string_view utf8);
// What a reader gets back from stringValue (ANSI: after the Windows-1252 round trip).
std::string storedText(Format format, std::string_view utf8);
std::uint16_t stringType(Format format);

} // namespace pst::messaging
