// A rich text body as the reader takes it from DXL (<richtext>) or from CD records (a raw
// TYPE_COMPOSITE item): blocks of paragraphs and tables, paragraphs of inline parts (styled
// text, line breaks, pictures, attachment references, horizontal rules), links around them.
// It holds what a body needs to be written as HTML; plainText() gives the text Notes shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <optional>
#include <string>
#include <string_view>
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

// The parts of a body are held in its RichText's arena: built with its allocator, they take
// their memory from it in large pieces, and give it back all at once with the body. Each part
// type is allocator-aware, so that the containers pass the arena down to the parts they hold.
using Allocator = std::pmr::polymorphic_allocator<std::byte>;

struct Inline {
    using allocator_type = Allocator;
    enum class Kind : std::uint8_t {
        Text, // text: the characters, in style
        Break, // a line break inside the paragraph
        Picture, // picture: index into RichText::pictures
        Attachment, // text: the $FILE name; title: the name shown, if another
        Rule, // a horizontal rule
        Link, // a link shown as an icon only (a doclink without text); title: its comment
    };
    Kind kind = Kind::Text;
    std::pmr::string text;
    TextStyle style;
    std::pmr::string href; // the target of the link the part lies in: a URL, notes://..., or empty
    std::pmr::string title;
    int picture = -1;

    Inline() = default;
    explicit Inline(const allocator_type& a)
        : text(a)
        , href(a)
        , title(a)
    {
    }
    Inline(const Inline& o, const allocator_type& a)
        : kind(o.kind)
        , text(o.text, a)
        , style(o.style)
        , href(o.href, a)
        , title(o.title, a)
        , picture(o.picture)
    {
    }
    Inline(Inline&& o, const allocator_type& a)
        : kind(o.kind)
        , text(std::move(o.text), a)
        , style(std::move(o.style))
        , href(std::move(o.href), a)
        , title(std::move(o.title), a)
        , picture(o.picture)
    {
    }
    Inline(const Inline&) = default;
    Inline(Inline&&) = default;
    Inline& operator=(const Inline&) = default;
    Inline& operator=(Inline&&) = default;
};

// A part of a kind with its link target, title and style.
inline Inline makeInline(Inline::Kind kind, std::string_view href, std::string_view title = {}, TextStyle style = {})
{
    Inline part;
    part.kind = kind;
    part.href = href;
    part.title = title;
    part.style = std::move(style);
    return part;
}

enum class Alignment : std::uint8_t { Left, Right, Center, Full, None };
enum class ListStyle : std::uint8_t { None, Bullet, Number, Other };

struct Paragraph {
    using allocator_type = Allocator;
    Alignment align = Alignment::Left;
    ListStyle list = ListStyle::None;
    std::pmr::vector<Inline> inlines;

    Paragraph() = default;
    explicit Paragraph(const allocator_type& a)
        : inlines(a)
    {
    }
    Paragraph(const Paragraph& o, const allocator_type& a)
        : align(o.align)
        , list(o.list)
        , inlines(o.inlines, a)
    {
    }
    Paragraph(Paragraph&& o, const allocator_type& a)
        : align(o.align)
        , list(o.list)
        , inlines(std::move(o.inlines), a)
    {
    }
    Paragraph(const Paragraph&) = default;
    Paragraph(Paragraph&&) = default;
    Paragraph& operator=(const Paragraph&) = default;
    Paragraph& operator=(Paragraph&&) = default;
};

struct Block;

struct TableCell {
    using allocator_type = Allocator;
    int rowSpan = 1;
    int columnSpan = 1;
    std::pmr::vector<Block> blocks;

    TableCell() = default;
    explicit TableCell(const allocator_type& a);
    TableCell(const TableCell& o, const allocator_type& a);
    TableCell(TableCell&& o, const allocator_type& a);
    TableCell(const TableCell&) = default;
    TableCell(TableCell&&) = default;
    TableCell& operator=(const TableCell&) = default;
    TableCell& operator=(TableCell&&) = default;
};

struct Block {
    using allocator_type = Allocator;
    enum class Kind : std::uint8_t { Paragraph, Table };
    Kind kind = Kind::Paragraph;
    Paragraph paragraph;
    std::pmr::vector<std::pmr::vector<TableCell>> rows; // of a table

    Block() = default;
    explicit Block(const allocator_type& a)
        : paragraph(a)
        , rows(a)
    {
    }
    Block(const Block& o, const allocator_type& a)
        : kind(o.kind)
        , paragraph(o.paragraph, a)
        , rows(o.rows, a)
    {
    }
    Block(Block&& o, const allocator_type& a)
        : kind(o.kind)
        , paragraph(std::move(o.paragraph), a)
        , rows(std::move(o.rows), a)
    {
    }
    Block(const Block&) = default;
    Block(Block&&) = default;
    Block& operator=(const Block&) = default;
    Block& operator=(Block&&) = default;
};

inline TableCell::TableCell(const allocator_type& a)
    : blocks(a)
{
}
inline TableCell::TableCell(const TableCell& o, const allocator_type& a)
    : rowSpan(o.rowSpan)
    , columnSpan(o.columnSpan)
    , blocks(o.blocks, a)
{
}
inline TableCell::TableCell(TableCell&& o, const allocator_type& a)
    : rowSpan(o.rowSpan)
    , columnSpan(o.columnSpan)
    , blocks(std::move(o.blocks), a)
{
}

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
    // First, so that it outlives the parts it holds.
    std::pmr::monotonic_buffer_resource arena { 16 * 1024 };
    std::pmr::vector<Block> blocks { &arena };
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
