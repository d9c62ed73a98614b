// Reads the content of a DXL <richtext> element into a RichText. The document reader hands it
// the SAX events between <richtext> and </richtext>. What it does not understand is counted in
// the findings by element name and skipped with everything inside it; elements that carry no
// body content (paragraph definitions' hide-when code, anchors, borders) are passed over.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace notes::detail {

struct ReaderFindings;
struct RichText;

class RichTextDxlReader {
public:
    // item: the item's name, for the findings.
    RichTextDxlReader(ReaderFindings& findings, std::string item);
    ~RichTextDxlReader();
    RichTextDxlReader(const RichTextDxlReader&) = delete;
    RichTextDxlReader& operator=(const RichTextDxlReader&) = delete;

    // local: the element's DXL name (empty for an element of another namespace); name: as
    // expat gives it, for the findings.
    void startElement(std::string_view local, const char* name, const char** attrs);
    void endElement();
    void characters(const char* text, std::size_t length);
    // Bytes of text and pictures held so far, for the document's limit.
    std::uint64_t bytes() const;
    // The body read; the reader is done with.
    std::shared_ptr<RichText> finish();

private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace notes::detail
