// MIME as native MIME mail holds it, read with GMime: the body entity reassembled from a
// document's MIME part items (or a <mime> element's whole message), and the RFC 5322 header
// texts of its RFC822 text items. Charsets are converted to UTF-8 by iconv (through GMime).
#pragma once

#include "automation/notes.h"
#include "automation/variant.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace notes::detail {

struct MimeAttachment {
    std::string fileName; // RFC 2231 and encoded words decoded; made up when the part has none
    bool named = false; // the part gave the name
    std::string contentType; // "image/png"
    std::string contentId; // without angle brackets; empty when none
    bool isInline = false; // Content-Disposition inline (or none) with a Content-ID
    std::shared_ptr<const std::string> data; // transfer encoding undone
    // A part whose body Domino keeps in a $FILE object (MIME_PART_BODY_IN_DBOBJECT): the
    // object's name, as the entity names it in the header ObjectHeader; the data is then empty.
    std::string objectName;
};

// The header a reassembled entity gives a part whose body is in a $FILE object: the object's
// name as hex digits of its bytes.
inline constexpr const char* ObjectHeader = "X-Ferrymark-Notes-Object";

struct MimeBody {
    bool parsed = false; // GMime made an entity of the bytes
    std::string plain; // the text/plain body, UTF-8
    std::string html; // the text/html body, UTF-8
    std::vector<MimeAttachment> attachments; // in the order of the entity
    // The entity's own header fields, unfolded and decoded (for a whole message).
    std::string subject;
    std::vector<std::string> from, to, cc, bcc;
    std::optional<automation::DateTime> date;
};

// Parses a MIME entity or message. Never throws on bad input: what GMime cannot make sense of
// is left out.
MimeBody parseMimeBody(std::string_view entity);

// A header body as it arrived (folded, RFC 2047 encoded words, 8-bit text in any charset) as
// UTF-8 text.
std::string decodeHeaderText(std::string_view raw);
// The Message-ID, In-Reply-To and References of an RFC 5322 header block (lines as the mail
// carried them, folded or not), each ID as "<id>". Names in any case, comments, folding and
// phrases around the IDs are GMime's to undo; a block GMime cannot read gives what it could.
automation::NotesMailIdentity parseMailIdentity(std::string_view headers);
// An RFC 5322 date ("Fri, 8 Aug 2014 13:18:33 -0400 (EDT)") with its offset.
std::optional<automation::DateTime> decodeHeaderDate(std::string_view raw);
// The addresses of an address header, each as "Name <addr>" or "addr", decoded.
std::vector<std::string> decodeHeaderAddresses(std::string_view raw);

// The text of an HTML body: tags dropped, paragraphs and line breaks as line ends, character
// references resolved, script and style left out.
std::string htmlToText(std::string_view html);

} // namespace notes::detail
