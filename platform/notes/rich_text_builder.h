// Builds a RichText from the events both rich text readers (DXL and CD records) produce:
// paragraphs opened and closed, inline parts added, tables with rows and cells. Holds the
// limits that keep a body's memory bounded whatever the input: parts and bytes (the model's
// own, pictures included) counted against maximums, tables nested only so deep (deeper ones
// are read as their cells' content).
#pragma once

#include "rich_text.h"

#include <memory>
#include <string_view>

namespace notes::detail {

class RichTextBuilder {
public:
    static constexpr std::size_t MaxParts = 500000; // paragraphs, cells and inline parts of one body
    static constexpr std::size_t MaxTableDepth = 16;

    explicit RichTextBuilder(std::uint64_t maxBytes = std::uint64_t { 64 } * 1024 * 1024);

    // Closes the open paragraph (if any) and opens one.
    void startParagraph(Alignment align = Alignment::Left, ListStyle list = ListStyle::None);
    void endParagraph();
    // The open paragraph, or nullptr.
    Paragraph* paragraph();

    // Text in style inside the link href (or none): joined to the text before it when both match.
    void text(std::string_view text, const TextStyle& style, const std::string& href);
    // An inline part; a paragraph is opened when none is. Returns false when the body is full.
    bool add(Inline part);
    // A picture, then an inline part that shows it; the index into RichText::pictures, or -1.
    int picture(Picture picture, const std::string& href);
    Picture* pictureAt(int index);
    // More bytes of a picture; false (and nothing added) when the body is full.
    bool appendToPicture(int index, std::string_view bytes);

    // False when the table would be nested more than MaxTableDepth deep; its rows and cells
    // then pass unseen and their content goes into the cell or body around it.
    bool startTable();
    void startRow();
    // A cell in row (a new row when row is -1 or past the last), closing the open cell.
    void startCell(int row, int rowSpan, int columnSpan);
    void endTable();
    std::size_t tableDepth() const { return tables_.size(); }

    // True once MaxParts or the bytes allowed were reached: what comes after is left out.
    bool full() const { return parts_ >= MaxParts || bytes_ >= maxBytes_; }
    std::uint64_t bytes() const { return bytes_; }

    // The body; open tables and cells are closed. The builder is done with.
    std::shared_ptr<RichText> finish();

private:
    // Blocks, tables and cells are built in the body's arena, so that they move into it
    // without a copy.
    struct Level {
        explicit Level(const Allocator& a)
            : blocks(a)
        {
        }
        std::pmr::vector<Block> blocks;
        bool open = false; // blocks.back() is a paragraph taking inline parts
    };
    struct Table {
        explicit Table(const Allocator& a)
            : block(a)
            , cell(a)
        {
        }
        Block block;
        bool cellOpen = false;
        int row = 0;
        TableCell cell; // spans of the open cell
    };
    Allocator allocator() const { return Allocator(&out_->arena); }
    bool count();
    // A new inline part at the end of the open paragraph (opened when none is), counted with
    // the bytes it will hold; nullptr when the body is full.
    Inline* newPart(std::size_t textBytes, std::size_t otherBytes);
    void closeCell();

    std::shared_ptr<RichText> out_;
    std::vector<Level> levels_;
    std::vector<Table> tables_;
    std::size_t parts_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t maxBytes_;
};

} // namespace notes::detail
