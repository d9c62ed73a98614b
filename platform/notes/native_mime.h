// Native MIME mail in a document: its RFC822 text items (type 0x502) become text, address list
// or date-time values, its MIME part items (type 0x19) or <mime> element become the Body text
// and attachments like those of $FILE items.
#pragma once

#include "dxl_database.h"

#include <string>
#include <string_view>
#include <vector>

namespace notes::detail {

// Sets the values of an item read from a TYPE_RFC822_TEXT raw item's decoded bytes; an item
// too short to read keeps no values, and findings say so. The header line it holds ("Name:
// body", CRLF) is appended to headers.
void setRfc822Values(Item& item, std::string_view bytes, ReaderFindings& findings, std::string& headers);

struct MimePartBytes {
    std::size_t item = 0; // index into ParsedDocument::items
    std::string bytes; // the raw item's decoded bytes
};

// After a document is read: reassembles the MIME part items of each name, in order, into the
// entity they form and gives the first of them the entity's text (the others are dropped);
// a <mime> element's message (mimeText, may be empty) gives Body and the header items the
// document lacks. Attachments of either become $FILE items, except the inline parts an HTML body
// references by Content-ID, which stay with the HTML (Item::mime).
void applyNativeMime(ParsedDocument& document, const std::vector<MimePartBytes>& parts, std::string_view mimeText);

// Writes an attachment held in memory to target. Throws AutomationError.
void writeAttachmentBytes(const std::string& data, const std::string& target);

} // namespace notes::detail
