// A rich text body as the reader takes it from DXL (<richtext>) or from CD records (a raw
// TYPE_COMPOSITE item): blocks of paragraphs and tables, paragraphs of inline parts (styled
// text, line breaks, pictures, attachment references, horizontal rules), links around them.
// It holds what a body needs to be written as HTML; plainText() gives the text Notes shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace notes::detail {

struct TextStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    bool superscript = false;
    bool subscript = false;
    // A font name, or one of DXL's generic names (serif, sans-serif, monospace, multilingual,
    // user-interface) for the standard Notes faces; empty for the default font.
    std::string font;
    double size = 0; // points; 0 for the default size
    std::optional<std::uint32_t> color; // 0xRRGGBB

    bool operator==(const TextStyle&) const = default;
};

struct Inline {
    enum class Kind : std::uint8_t {
        Text, // text: the characters, in style
        Break, // a line break inside the paragraph
        Picture, // picture: index into RichText::pictures
        Attachment, // text: the $FILE name; title: the name shown, if another
        Rule, // a horizontal rule
        Link, // a link shown as an icon only (a doclink without text); title: its comment
    };
    Kind kind = Kind::Text;
    std::string text;
    TextStyle style;
    std::string href; // the target of the link the part lies in: a URL, notes://..., or empty
    std::string title;
    int picture = -1;
};

// A part of a kind with its link target, title and style (built member by member: GCC takes an
// aggregate with a defaulted string member for possibly uninitialised).
inline Inline makeInline(Inline::Kind kind, std::string href, std::string title = {}, TextStyle style = {})
{
    Inline part;
    part.kind = kind;
    part.href = std::move(href);
    part.title = std::move(title);
    part.style = std::move(style);
    return part;
}

enum class Alignment : std::uint8_t { Left, Right, Center, Full, None };
enum class ListStyle : std::uint8_t { None, Bullet, Number, Other };

struct Paragraph {
    Alignment align = Alignment::Left;
    ListStyle list = ListStyle::None;
    std::vector<Inline> inlines;
};

struct Block;

struct TableCell {
    int rowSpan = 1;
    int columnSpan = 1;
    std::vector<Block> blocks;
};

struct Block {
    enum class Kind : std::uint8_t { Paragraph, Table };
    Kind kind = Kind::Paragraph;
    Paragraph paragraph;
    std::vector<std::vector<TableCell>> rows; // of a table
};

struct Picture {
    enum class Format : std::uint8_t { Gif, Jpeg, Png, Bmp, NotesBitmap, Unknown };
    Format format = Format::Unknown;
    std::string bytes;
    int width = 0; // pixels; 0 when unknown
    int height = 0;
    std::string alt;
    std::vector<std::string> areaLinks; // targets of the areas of an image map
};

struct RichText {
    std::vector<Block> blocks;
    std::vector<Picture> pictures;
    std::uint64_t textBytes = 0; // of the text parts, for a writer to size its output by
};

// The text of a body: paragraphs separated by "\n", a line break as "\n", the cells of a table
// row separated by "\t" and its rows by "\n"; no line ends at the end.
std::string plainText(const RichText& text);

// notes:///<replica ID>/<view UNID>/<document UNID>, the Notes URL of a document link; the
// parts that are empty are left out from the end.
std::string notesUrl(const std::string& replicaId, const std::string& viewUnid, const std::string& documentUnid);

// The picture format its bytes show (GIF, JPEG, PNG or BMP signature), else fallback.
Picture::Format sniffPicture(const std::string& bytes, Picture::Format fallback);

} // namespace notes::detail
