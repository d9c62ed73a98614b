#include "rich_text.h"

#include "rich_text_builder.h"

#include <algorithm>

namespace notes::detail {

namespace {
    void appendBlocks(const std::pmr::vector<Block>& blocks, std::string& out);

    void appendParagraph(const Paragraph& paragraph, std::string& out)
    {
        for (const auto& part : paragraph.inlines) {
            if (part.kind == Inline::Kind::Text)
                out += part.text;
            else if (part.kind == Inline::Kind::Break)
                out += '\n';
        }
    }

    void appendTable(const Block& table, std::string& out)
    {
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            if (r > 0)
                out += '\n';
            for (std::size_t c = 0; c < table.rows[r].size(); ++c) {
                if (c > 0)
                    out += '\t';
                const std::size_t cell = out.size();
                appendBlocks(table.rows[r][c].blocks, out);
                while (out.size() > cell && out.back() == '\n')
                    out.pop_back();
            }
        }
    }

    void appendBlocks(const std::pmr::vector<Block>& blocks, std::string& out)
    {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            if (i > 0)
                out += '\n';
            if (blocks[i].kind == Block::Kind::Table)
                appendTable(blocks[i], out);
            else
                appendParagraph(blocks[i].paragraph, out);
        }
    }
} // namespace

std::string plainText(const RichText& text)
{
    std::string out;
    out.reserve(text.textBytes + text.blocks.size());
    appendBlocks(text.blocks, out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

std::string notesUrl(const std::string& replicaId, const std::string& viewUnid, const std::string& documentUnid)
{
    std::string url = "notes:///" + replicaId;
    if (!viewUnid.empty() || !documentUnid.empty())
        url += "/" + (viewUnid.empty() ? std::string("0") : viewUnid);
    if (!documentUnid.empty())
        url += "/" + documentUnid;
    return url;
}

Picture::Format sniffPicture(const std::string& bytes, Picture::Format fallback)
{
    const auto starts = [&](std::string_view magic) { return bytes.compare(0, magic.size(), magic) == 0; };
    if (starts("GIF87a") || starts("GIF89a"))
        return Picture::Format::Gif;
    if (starts("\xFF\xD8\xFF"))
        return Picture::Format::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n"))
        return Picture::Format::Png;
    if (starts("BM") && fallback == Picture::Format::Unknown)
        return Picture::Format::Bmp;
    return fallback;
}

} // namespace notes::detail

// ---------------------------------------------------------------------------------------------
// Building

namespace notes::detail {

RichTextBuilder::RichTextBuilder(std::uint64_t maxBytes)
    : out_(std::make_shared<RichText>())
    , maxBytes_(maxBytes)
{
    levels_.emplace_back(allocator());
}

bool RichTextBuilder::count()
{
    if (full())
        return false;
    ++parts_;
    bytes_ += sizeof(Block);
    return true;
}

void RichTextBuilder::startParagraph(Alignment align, ListStyle list)
{
    auto& level = levels_.back();
    level.open = false;
    if (!count())
        return;
    auto& block = level.blocks.emplace_back();
    block.paragraph.align = align;
    block.paragraph.list = list;
    level.open = true;
}

void RichTextBuilder::endParagraph() { levels_.back().open = false; }

Paragraph* RichTextBuilder::paragraph()
{
    auto& level = levels_.back();
    return level.open ? &level.blocks.back().paragraph : nullptr;
}

void RichTextBuilder::text(std::string_view text, const TextStyle& style, const std::string& href)
{
    if (text.empty())
        return;
    if (auto* p = paragraph(); p != nullptr && !p->inlines.empty()) {
        auto& last = p->inlines.back();
        if (last.kind == Inline::Kind::Text && std::string_view(last.href) == href && last.style == style) {
            if (full())
                return;
            last.text += text;
            bytes_ += text.size();
            out_->textBytes += text.size();
            return;
        }
    }
    Inline* part = newPart(text.size(), href.size());
    if (part == nullptr)
        return;
    part->text.assign(text);
    part->style = style;
    part->href = href;
}

bool RichTextBuilder::add(Inline part)
{
    Inline* added = newPart(part.text.size(), part.href.size() + part.title.size());
    if (added != nullptr)
        *added = std::move(part);
    return added != nullptr;
}

Inline* RichTextBuilder::newPart(std::size_t textBytes, std::size_t otherBytes)
{
    if (paragraph() == nullptr)
        startParagraph();
    auto* p = paragraph();
    if (p == nullptr || !count())
        return nullptr;
    bytes_ += sizeof(Inline) + textBytes + otherBytes;
    out_->textBytes += textBytes;
    if (p->inlines.empty())
        p->inlines.reserve(2); // most paragraphs hold a run or two
    return &p->inlines.emplace_back();
}

int RichTextBuilder::picture(Picture picture, const std::string& href)
{
    if (full())
        return -1;
    const int index = static_cast<int>(out_->pictures.size());
    bytes_ += picture.bytes.size();
    Inline part(allocator());
    part.kind = Inline::Kind::Picture;
    part.picture = index;
    part.href = href;
    part.title = picture.alt;
    out_->pictures.push_back(std::move(picture));
    if (!add(std::move(part))) {
        out_->pictures.pop_back();
        return -1;
    }
    return index;
}

bool RichTextBuilder::appendToPicture(int index, std::string_view bytes)
{
    auto* p = pictureAt(index);
    if (p == nullptr || full())
        return false;
    p->bytes.append(bytes);
    bytes_ += bytes.size();
    return true;
}

Picture* RichTextBuilder::pictureAt(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= out_->pictures.size())
        return nullptr;
    return &out_->pictures[static_cast<std::size_t>(index)];
}

bool RichTextBuilder::startTable()
{
    if (tables_.size() >= MaxTableDepth || !count())
        return false;
    levels_.back().open = false;
    auto& table = tables_.emplace_back(allocator());
    table.block.kind = Block::Kind::Table;
    return true;
}

void RichTextBuilder::startRow()
{
    if (tables_.empty())
        return;
    closeCell();
    auto& table = tables_.back();
    table.block.rows.emplace_back();
    table.row = static_cast<int>(table.block.rows.size()) - 1;
}

void RichTextBuilder::startCell(int row, int rowSpan, int columnSpan)
{
    if (tables_.empty())
        return;
    closeCell();
    if (!count())
        return;
    auto& table = tables_.back();
    auto& rows = table.block.rows;
    if (row < 0 || rows.empty())
        row = rows.empty() ? 0 : static_cast<int>(rows.size()) - 1;
    // Rows are only ever added at the end; a row number past them starts the next row.
    if (static_cast<std::size_t>(row) >= rows.size()) {
        rows.emplace_back();
        row = static_cast<int>(rows.size()) - 1;
    }
    table.row = row;
    table.cell.blocks.clear();
    table.cell.rowSpan = std::max(1, rowSpan);
    table.cell.columnSpan = std::max(1, columnSpan);
    table.cellOpen = true;
    levels_.emplace_back(allocator());
}

void RichTextBuilder::closeCell()
{
    auto& table = tables_.back();
    if (!table.cellOpen)
        return;
    table.cellOpen = false;
    table.cell.blocks = std::move(levels_.back().blocks);
    levels_.pop_back();
    table.block.rows[static_cast<std::size_t>(table.row)].push_back(std::move(table.cell));
}

void RichTextBuilder::endTable()
{
    if (tables_.empty())
        return;
    closeCell();
    Block block = std::move(tables_.back().block);
    tables_.pop_back();
    auto& level = levels_.back();
    level.open = false;
    level.blocks.push_back(std::move(block));
}

std::shared_ptr<RichText> RichTextBuilder::finish()
{
    while (!tables_.empty())
        endTable();
    out_->blocks = std::move(levels_.front().blocks);
    return std::move(out_);
}

} // namespace notes::detail
