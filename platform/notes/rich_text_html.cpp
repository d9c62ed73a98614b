#include "rich_text_html.h"

#include "rich_text.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace notes::detail {

namespace {
    // The characters HTML text and attribute values must not hold as they are.
    bool special(char c)
    {
        return c == '&' || c == '<' || c == '>' || c == '"' || static_cast<unsigned char>(c) < 0x20;
    }

    // Whether the eight characters at p are all written as they are: none is special, and none
    // is a blank after a blank (blankBefore: the character before p is one). Told a word at a
    // time, as eight bytes in the processor's little-endian order.
    bool writtenAsTheyAre(const char* p, bool blankBefore)
    {
        if constexpr (std::endian::native != std::endian::little) {
            return false;
        } else {
            constexpr std::uint64_t Ones = 0x0101010101010101ULL;
            constexpr std::uint64_t Highs = 0x8080808080808080ULL;
            constexpr std::uint64_t Lows = 0x7F7F7F7F7F7F7F7FULL;
            std::uint64_t x;
            std::memcpy(&x, p, sizeof x);
            // The top bit of each byte of y that is zero, and of no other.
            const auto zeros = [](std::uint64_t y) { return ~(((y & Lows) + Lows) | y) & Highs; };
            const std::uint64_t special = zeros(x & (0xE0 * Ones)) | zeros(x ^ ('&' * Ones)) | zeros(x ^ ('<' * Ones))
                | zeros(x ^ ('>' * Ones)) | zeros(x ^ ('"' * Ones));
            const std::uint64_t blanks = zeros(x ^ (' ' * Ones));
            const std::uint64_t afterBlank = (blanks << 8) | (blankBefore ? 0x80U : 0U);
            return (special | (blanks & afterBlank)) == 0;
        }
    }

    void escape(std::string_view text, std::string& out)
    {
        out.reserve(out.size() + text.size());
        std::size_t from = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (!special(c) || c == '\t' || c == '\n')
                continue;
            out.append(text.substr(from, i - from));
            from = i + 1;
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                break; // CR and the other control characters are no characters of an HTML document
            }
        }
        out.append(text.substr(from));
    }

    // A font name as a CSS family: DXL's generic names as the faces Notes shows for them.
    std::string fontFamily(const std::string& font)
    {
        if (font == "serif")
            return "'Times New Roman',serif";
        if (font == "sans-serif" || font == "multilingual" || font == "user-interface")
            return "Arial,sans-serif";
        if (font == "monospace")
            return "'Courier New',monospace";
        std::string name;
        for (const char c : font)
            if (c != '\'' && c != '"' && c != '<' && c != '>' && c != '&' && c != ';' && c != '\\'
                && static_cast<unsigned char>(c) >= 0x20)
                name += c;
        return name.empty() ? std::string("sans-serif") : "'" + name + "'";
    }

    const char* mimeType(Picture::Format format)
    {
        switch (format) {
        case Picture::Format::Gif:
            return "image/gif";
        case Picture::Format::Jpeg:
            return "image/jpeg";
        case Picture::Format::Png:
            return "image/png";
        case Picture::Format::Bmp:
            return "image/bmp";
        default:
            return nullptr; // Notes bitmaps and unknown data no mail reader shows
        }
    }

    const char* extension(Picture::Format format)
    {
        switch (format) {
        case Picture::Format::Gif:
            return "gif";
        case Picture::Format::Jpeg:
            return "jpg";
        case Picture::Format::Png:
            return "png";
        default:
            return "bmp";
        }
    }

    class Writer {
    public:
        Writer(const std::shared_ptr<const RichText>& text, const std::string& idDomain, automation::NotesMimeBody& out)
            : text_(text)
            , domain_(idDomain)
            , body_(out)
            , out_(out.html)
        {
        }

        void blocks(const std::pmr::vector<Block>& blocks)
        {
            ListStyle open = ListStyle::None;
            for (const auto& block : blocks) {
                const ListStyle list = block.kind == Block::Kind::Paragraph ? block.paragraph.list : ListStyle::None;
                if (list != open) {
                    closeList(open);
                    openList(list);
                    open = list;
                }
                if (block.kind == Block::Kind::Table)
                    table(block);
                else
                    paragraph(block.paragraph);
            }
            closeList(open);
        }

    private:
        void openList(ListStyle list)
        {
            if (list == ListStyle::Number)
                out_ += "<ol style=\"margin-top:0;margin-bottom:0\">";
            else if (list == ListStyle::Bullet)
                out_ += "<ul style=\"margin-top:0;margin-bottom:0\">";
            else if (list == ListStyle::Other)
                out_ += "<ul style=\"margin-top:0;margin-bottom:0;list-style-type:square\">";
        }
        void closeList(ListStyle list)
        {
            if (list == ListStyle::Number)
                out_ += "</ol>\n";
            else if (list != ListStyle::None)
                out_ += "</ul>\n";
        }

        void paragraph(const Paragraph& p)
        {
            const char* tag = p.list == ListStyle::None ? "div" : "li";
            out_ += '<';
            out_ += tag;
            switch (p.align) {
            case Alignment::Right:
                out_ += " style=\"text-align:right\"";
                break;
            case Alignment::Center:
                out_ += " style=\"text-align:center\"";
                break;
            case Alignment::Full:
                out_ += " style=\"text-align:justify\"";
                break;
            default:
                break;
            }
            out_ += '>';
            blank_ = true;
            const std::size_t start = out_.size();
            std::string_view href; // of the link open, among the paragraph's parts
            for (const auto& part : p.inlines) {
                if (part.href != href || part.kind == Inline::Kind::Rule) {
                    if (!href.empty())
                        out_ += "</a>";
                    href = part.kind == Inline::Kind::Rule ? std::string_view() : std::string_view(part.href);
                    if (!href.empty()) {
                        out_ += "<a href=\"";
                        escape(href, out_);
                        out_ += "\">";
                    }
                }
                inlinePart(part);
            }
            if (!href.empty())
                out_ += "</a>";
            if (out_.size() == start)
                out_ += "<br>"; // an empty paragraph keeps its line
            out_ += "</";
            out_ += tag;
            out_ += ">\n";
        }

        void inlinePart(const Inline& part)
        {
            switch (part.kind) {
            case Inline::Kind::Text:
                styled(part.style, part.text);
                break;
            case Inline::Kind::Break:
                out_ += "<br>";
                blank_ = true;
                return;
            case Inline::Kind::Rule:
                out_ += "<hr>";
                break;
            case Inline::Kind::Link:
                out_ += part.title.empty() ? std::string("&#128279;") : "[";
                escape(part.title, out_);
                if (!part.title.empty())
                    out_ += "]";
                break;
            case Inline::Kind::Attachment:
                // The file's name where its icon stood.
                out_ += "<span style=\"border:1px solid #a0a0a0;padding:0 2px\">&#128206; ";
                escape(part.title.empty() ? part.text : part.title, out_);
                out_ += "</span>";
                break;
            case Inline::Kind::Picture:
                picture(part.picture);
                break;
            }
            if (part.kind != Inline::Kind::Text)
                blank_ = false;
        }

        void styled(const TextStyle& s, std::string_view text)
        {
            // Written straight into the document: a body has thousands of runs.
            const bool span = !s.font.empty() || s.size > 0 || s.color;
            if (span) {
                out_ += "<span style=\"";
                if (!s.font.empty()) {
                    out_ += "font-family:";
                    out_ += fontFamily(s.font);
                    out_ += ';';
                }
                char number[32];
                if (s.size > 0)
                    out_.append(number,
                        static_cast<std::size_t>(std::snprintf(number, sizeof number, "font-size:%gpt;", s.size)));
                if (s.color) {
                    static constexpr char Digits[] = "0123456789ABCDEF";
                    out_ += "color:#";
                    for (int shift = 20; shift >= 0; shift -= 4)
                        out_ += Digits[(*s.color >> shift) & 0xF];
                    out_ += ';';
                }
                out_ += "\">";
            }
            const char* tags[5];
            std::size_t count = 0;
            if (s.bold)
                tags[count++] = "b";
            if (s.italic)
                tags[count++] = "i";
            if (s.underline)
                tags[count++] = "u";
            if (s.strikethrough)
                tags[count++] = "s";
            if (s.superscript)
                tags[count++] = "sup";
            else if (s.subscript)
                tags[count++] = "sub";
            for (std::size_t i = 0; i < count; ++i) {
                out_ += '<';
                out_ += tags[i];
                out_ += '>';
            }
            // Runs of blanks keep their width, as Notes shows them: every blank after a blank, or
            // at the start of a line, is a non-breaking one. Characters written as they are stay
            // in text until the next one that is not, and are taken eight at a time where none
            // of the eight needs a look.
            std::size_t from = 0;
            std::size_t i = 0;
            while (i < text.size()) {
                if (text.size() - i >= 8 && writtenAsTheyAre(text.data() + i, blank_)) {
                    blank_ = text[i + 7] == ' ';
                    i += 8;
                    continue;
                }
                const char c = text[i++];
                if (!special(c) && !(c == ' ' && blank_)) {
                    blank_ = c == ' ';
                    continue;
                }
                out_.append(text.substr(from, i - 1 - from));
                from = i;
                switch (c) {
                case '&':
                    out_ += "&amp;";
                    break;
                case '<':
                    out_ += "&lt;";
                    break;
                case '>':
                    out_ += "&gt;";
                    break;
                case '"':
                    out_ += "&quot;";
                    break;
                case ' ':
                    out_ += "&nbsp;";
                    break;
                case '\n':
                    out_ += "<br>";
                    break;
                case '\t':
                    out_ += "&nbsp;&nbsp;&nbsp;&nbsp;";
                    break;
                default:
                    continue; // CR and the other control characters are no characters of an HTML document
                }
                blank_ = c == ' ' || c == '\n' || c == '\t';
            }
            out_.append(text.substr(from));
            while (count > 0) {
                out_ += "</";
                out_ += tags[--count];
                out_ += '>';
            }
            if (span)
                out_ += "</span>";
        }

        void picture(int index)
        {
            if (index < 0 || static_cast<std::size_t>(index) >= text_->pictures.size())
                return;
            const Picture& p = text_->pictures[static_cast<std::size_t>(index)];
            const char* type = mimeType(p.format);
            if (type == nullptr || p.bytes.empty()) {
                if (!p.alt.empty()) {
                    out_ += "[";
                    escape(p.alt, out_);
                    out_ += "]";
                }
                return;
            }
            automation::NotesMimePart part;
            const std::string n = std::to_string(body_.inlineParts.size() + 1);
            part.fileName
                = "image" + std::string(3 - std::min<std::size_t>(3, n.size()), '0') + n + "." + extension(p.format);
            part.contentId = part.fileName + "@" + domain_;
            part.contentType = type;
            part.bytes = std::shared_ptr<const std::string>(text_, &p.bytes);
            out_ += "<img src=\"cid:";
            escape(part.contentId, out_);
            out_ += "\" alt=\"";
            escape(p.alt, out_);
            out_ += "\"";
            if (p.width > 0 && p.height > 0)
                out_ += " width=\"" + std::to_string(p.width) + "\" height=\"" + std::to_string(p.height) + "\"";
            out_ += ">";
            body_.inlineParts.push_back(std::move(part));
        }

        void table(const Block& t)
        {
            out_ += "<table style=\"border-collapse:collapse\" cellpadding=\"4\">\n";
            for (const auto& row : t.rows) {
                out_ += "<tr>";
                for (const auto& cell : row) {
                    out_ += "<td style=\"border:1px solid #808080;vertical-align:top\"";
                    if (cell.rowSpan > 1)
                        out_ += " rowspan=\"" + std::to_string(cell.rowSpan) + "\"";
                    if (cell.columnSpan > 1)
                        out_ += " colspan=\"" + std::to_string(cell.columnSpan) + "\"";
                    out_ += ">";
                    blocks(cell.blocks);
                    out_ += "</td>";
                }
                out_ += "</tr>\n";
            }
            out_ += "</table>\n";
        }

        const std::shared_ptr<const RichText>& text_;
        const std::string& domain_;
        automation::NotesMimeBody& body_;
        std::string& out_;
        bool blank_ = true; // the last character written was a blank, or a line starts
    };

    bool lowerEquals(std::string_view text, std::size_t at, std::string_view word)
    {
        if (at + word.size() > text.size())
            return false;
        for (std::size_t i = 0; i < word.size(); ++i) {
            char c = text[at + i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
            if (c != word[i])
                return false;
        }
        return true;
    }

    std::size_t findLower(std::string_view text, std::string_view word, std::size_t from, std::size_t end)
    {
        for (std::size_t at = from; at + word.size() <= end; ++at)
            if (lowerEquals(text, at, word))
                return at;
        return std::string_view::npos;
    }
} // namespace

namespace {
    constexpr std::string_view DocumentStart
        = "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
          "charset=utf-8\"></head>\n<body style=\"font-family:Arial,sans-serif;font-size:10pt\">\n";
    constexpr std::string_view DocumentEnd = "</body></html>\n";
} // namespace

automation::NotesMimeBody richTextToHtml(const std::shared_ptr<const RichText>& text, const std::string& idDomain)
{
    automation::NotesMimeBody body;
    // Markup takes about as many bytes as the text it marks up: sized once, not grown by copies.
    body.html.reserve(DocumentStart.size() + DocumentEnd.size() + (text ? 2 * text->textBytes + 1024 : 0));
    body.html = DocumentStart;
    if (text)
        Writer(text, idDomain, body).blocks(text->blocks);
    body.html += DocumentEnd;
    return body;
}

automation::NotesMimeBody plainTextToHtml(std::string_view text)
{
    automation::NotesMimeBody body;
    body.htmlNative = false;
    body.html = DocumentStart;
    body.html += "<div>";
    std::string escaped;
    escape(text, escaped);
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\n')
            body.html += "<br>\n";
        else if (escaped[i] == ' ' && (i == 0 || escaped[i - 1] == ' ' || escaped[i - 1] == '\n'))
            body.html += "&nbsp;";
        else if (escaped[i] == '\t')
            body.html += "&nbsp;&nbsp;&nbsp;&nbsp;";
        else
            body.html += escaped[i];
    }
    body.html += "</div>\n";
    body.html += DocumentEnd;
    return body;
}

std::string withUtf8Charset(std::string html)
{
    // Only the head declares a character set: look before the body starts.
    std::size_t end = findLower(html, "<body", 0, html.size());
    if (end == std::string::npos)
        end = html.size();
    bool declared = false;
    for (std::size_t at = findLower(html, "<meta", 0, end); at != std::string::npos;
         at = findLower(html, "<meta", at + 5, end)) {
        const std::size_t close = html.find('>', at);
        if (close == std::string::npos)
            break;
        std::size_t c = findLower(html, "charset", at, close);
        if (c == std::string::npos)
            continue;
        c += 7;
        while (c < close && (html[c] == ' ' || html[c] == '\t'))
            ++c;
        if (c >= close || html[c] != '=')
            continue;
        ++c;
        while (c < close && (html[c] == ' ' || html[c] == '\t' || html[c] == '"' || html[c] == '\''))
            ++c;
        std::size_t v = c;
        while (v < close
            && ((html[v] >= 'a' && html[v] <= 'z') || (html[v] >= 'A' && html[v] <= 'Z')
                || (html[v] >= '0' && html[v] <= '9') || html[v] == '-' || html[v] == '_' || html[v] == ':'
                || html[v] == '.'))
            ++v;
        html.replace(c, v - c, "utf-8");
        end += 5 - (v - c);
        declared = true;
    }
    if (declared)
        return html;
    static constexpr std::string_view Meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">";
    std::size_t at = findLower(html, "<head", 0, end);
    if (at == std::string::npos)
        at = findLower(html, "<html", 0, end);
    if (at != std::string::npos) {
        const std::size_t close = html.find('>', at);
        at = close == std::string::npos ? std::string::npos : close + 1;
    }
    html.insert(at == std::string::npos ? 0 : at, Meta);
    return html;
}

} // namespace notes::detail
