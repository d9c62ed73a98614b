// Rich text as HTML mail carries it: one well-formed HTML document with inline styles, its
// pictures as inline parts that the document references by "cid:" URLs.
#pragma once

#include "automation/notes.h"

#include <memory>
#include <string>

namespace notes::detail {

struct RichText;

// The HTML of a rich text body; pictures become inline parts whose Content-IDs end in
// "@" + idDomain (a name of the document, so that they are unique across a store). The parts
// share the pictures' bytes with text.
automation::NotesMimeBody richTextToHtml(const std::shared_ptr<const RichText>& text, const std::string& idDomain);

// A plain text body as an HTML document: its lines, escaped, each ending in a line break.
automation::NotesMimeBody plainTextToHtml(std::string_view text);

// html (UTF-8) with the character set its <meta> elements declare set to UTF-8, or such a
// <meta> element added to its head when it declares none.
std::string withUtf8Charset(std::string html);

} // namespace notes::detail
