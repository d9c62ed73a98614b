// Rich text stored as CD records, as a raw TYPE_COMPOSITE item (DXL <rawitemdata type='1'>)
// holds it: a sequence of records, each starting with a signature WORD whose high byte tells
// the header's form (Notes C API, odstypes.h): 0xFF, a WSIG with a WORD length; 0x00, an LSIG
// with a DWORD length; anything else, a BSIG whose high byte is the length. Lengths count the
// header; records are padded to an even length. The structures are those of editods.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace notes::detail {

struct ReaderFindings;
struct RichText;

// Font face IDs of a font table ($Fonts item: a CDFONTTABLE and its CDFACE entries) and their
// names. Faces below 5 are the standard ones and need none.
using FontTable = std::map<int, std::string>;
FontTable readFontTable(std::string_view bytes);

// Reads the items of one rich text body in order (Domino splits a long body over several items
// of the same name) as one body. What it does not know is counted in findings ("CD record
// 0x00A6 (CDSTYLENAME)"); a record that claims more bytes than its item holds ends that item,
// noted as damage, and keeps what came before.
// links: the document's $Links item (TYPE_NOTELINK_LIST), which CDLINK2 doclinks point into.
// budget: the bytes the body's model may take (64 MiB when not given), less what it took.
std::shared_ptr<RichText> readComposite(const std::vector<std::string_view>& items, const FontTable& fonts,
    ReaderFindings& findings, const std::string& item, std::string_view links = {}, std::uint64_t* budget = nullptr);

// LMBCS text as UTF-8 (see rich_text_cd.cpp for the groups converted). unconverted is set when
// characters of a group that is not converted were replaced by U+FFFD.
std::string lmbcsToUtf8(std::string_view text, bool& unconverted);

} // namespace notes::detail
