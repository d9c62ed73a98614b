#include "rich_text_dxl.h"

#include "base64.h"
#include "dxl_database.h"
#include "rich_text_builder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <map>

namespace notes::detail {

namespace {
    // What an open element means for the events inside it and at its end.
    enum class Element : std::uint8_t {
        Transparent, // its content is read as if it stood outside it
        Styled, // likewise, in the font its <font> child gives (a <block>)
        Paragraph,
        Run,
        Table,
        Row,
        Cell,
        Link,
        Picture,
        ImageData,
        ImageMap,
        Area,
        SectionTitle,
        TitleText,
    };

    // What the reader does at an element's start, told by its DXL name.
    enum class Tag : std::uint8_t {
        Unknown, // counted in the findings and skipped with its content
        Passed, // carries nothing a body shows: passed over with its content
        Pardef,
        Par,
        Run,
        Font,
        Break,
        HorizRule,
        Table,
        TableRow,
        TableCell,
        Link, // urllink, doclink, viewlink, databaselink
        Picture,
        Image, // gif, jpeg, png, notesbitmap, bmp: a picture's data
        ImageMap,
        Area,
        AttachmentRef,
        SectionTitle,
        Text,
        Block,
        Section, // section, span: read as if they were not there
        ActionIgnored, // hot elements whose visible text is kept although what they do is not
    };

    struct NamedTag {
        std::string_view name;
        Tag tag;
    };

    // The most frequent first: a body has thousands of paragraphs and runs.
    constexpr NamedTag Tags[] = { { "par", Tag::Par }, { "run", Tag::Run }, { "font", Tag::Font },
        { "tablecell", Tag::TableCell }, { "tablerow", Tag::TableRow }, { "pardef", Tag::Pardef },
        { "break", Tag::Break }, { "table", Tag::Table }, { "urllink", Tag::Link }, { "doclink", Tag::Link },
        { "picture", Tag::Picture }, { "gif", Tag::Image }, { "jpeg", Tag::Image }, { "png", Tag::Image },
        { "notesbitmap", Tag::Image }, { "bmp", Tag::Image }, { "horizrule", Tag::HorizRule },
        { "attachmentref", Tag::AttachmentRef }, { "viewlink", Tag::Link }, { "databaselink", Tag::Link },
        { "imagemap", Tag::ImageMap }, { "area", Tag::Area }, { "sectiontitle", Tag::SectionTitle },
        { "text", Tag::Text }, { "block", Tag::Block }, { "section", Tag::Section }, { "span", Tag::Section },
        { "actionhotspot", Tag::ActionIgnored }, { "popup", Tag::ActionIgnored },
        { "namedelementlink", Tag::ActionIgnored }, { "region", Tag::ActionIgnored }, { "code", Tag::Passed },
        { "formula", Tag::Passed }, { "javascript", Tag::Passed }, { "lotusscript", Tag::Passed },
        { "anchor", Tag::Passed }, { "border", Tag::Passed }, { "cellbackground", Tag::Passed },
        { "tablecolumn", Tag::Passed }, { "tablerowstyle", Tag::Passed }, { "parstyle", Tag::Passed },
        { "point", Tag::Passed }, { "nonxmlchar", Tag::Passed }, { "popuptext", Tag::Passed } };

    Tag tagOf(std::string_view local)
    {
        for (const auto& t : Tags)
            if (t.name.size() == local.size() && t.name == local)
                return t.tag;
        return Tag::Unknown;
    }

    std::optional<std::uint32_t> parseColor(const char* text)
    {
        if (text == nullptr)
            return std::nullopt;
        static const std::map<std::string_view, std::uint32_t> names
            = { { "aqua", 0x00FFFF }, { "black", 0x000000 }, { "blue", 0x0000FF }, { "fuchsia", 0xFF00FF },
                  { "gray", 0x808080 }, { "green", 0x008000 }, { "lime", 0x00FF00 }, { "maroon", 0x800000 },
                  { "navy", 0x000080 }, { "olive", 0x808000 }, { "purple", 0x800080 }, { "red", 0xFF0000 },
                  { "silver", 0xC0C0C0 }, { "teal", 0x008080 }, { "white", 0xFFFFFF }, { "yellow", 0xFFFF00 } };
        if (text[0] == '#' && std::strlen(text) == 7) {
            char* end = nullptr;
            const unsigned long v = std::strtoul(text + 1, &end, 16);
            if (end != nullptr && *end == 0)
                return static_cast<std::uint32_t>(v);
            return std::nullopt;
        }
        if (auto it = names.find(text); it != names.end())
            return it->second;
        return std::nullopt;
    }

    // "10pt", "12", "0.5in": the size in points.
    double parsePoints(const char* text)
    {
        if (text == nullptr)
            return 0;
        char* end = nullptr;
        const double v = std::strtod(text, &end);
        if (end == text || !(v > 0) || v > 1000)
            return 0;
        const std::string_view unit(end);
        if (unit == "in")
            return v * 72;
        if (unit == "cm")
            return v * 72 / 2.54;
        return v;
    }

    Alignment parseAlign(const char* text)
    {
        const std::string_view v = text != nullptr ? text : "";
        if (v == "right")
            return Alignment::Right;
        if (v == "center")
            return Alignment::Center;
        if (v == "full")
            return Alignment::Full;
        if (v == "none")
            return Alignment::None;
        return Alignment::Left;
    }

    ListStyle parseList(const char* text)
    {
        const std::string_view v = text != nullptr ? text : "none";
        if (v == "none")
            return ListStyle::None;
        if (v == "bullet" || v == "circle" || v == "square")
            return ListStyle::Bullet;
        if (v == "number" || v == "alphaupper" || v == "alphalower" || v == "romanupper" || v == "romanlower")
            return ListStyle::Number;
        return ListStyle::Other; // check, uncheck
    }

    void applyFont(TextStyle& style, const char** attrs)
    {
        if (const char* name = attribute(attrs, "name"))
            style.font = name;
        if (const char* size = attribute(attrs, "size")) {
            if (const double points = parsePoints(size); points > 0)
                style.size = points;
        }
        if (auto color = parseColor(attribute(attrs, "color")))
            style.color = color;
        if (const char* s = attribute(attrs, "style")) {
            std::string_view tokens(s);
            while (!tokens.empty()) {
                const auto space = tokens.find(' ');
                const auto token = tokens.substr(0, space);
                if (token == "normal")
                    style.bold = style.italic = style.underline = style.strikethrough = false;
                style.bold |= token == "bold";
                style.italic |= token == "italic";
                style.underline |= token == "underline";
                style.strikethrough |= token == "strikethrough";
                style.superscript |= token == "superscript";
                style.subscript |= token == "subscript";
                if (space == std::string_view::npos)
                    break;
                tokens.remove_prefix(space + 1);
            }
        }
    }

    Picture::Format imageFormat(std::string_view local)
    {
        if (local == "gif")
            return Picture::Format::Gif;
        if (local == "jpeg")
            return Picture::Format::Jpeg;
        if (local == "png")
            return Picture::Format::Png;
        if (local == "notesbitmap")
            return Picture::Format::NotesBitmap;
        if (local == "bmp")
            return Picture::Format::Bmp;
        return Picture::Format::Unknown;
    }

    int positive(const char* text)
    {
        if (text == nullptr)
            return 0;
        const long v = std::strtol(text, nullptr, 10);
        return v > 0 && v < 1000000 ? static_cast<int>(v) : 0;
    }
} // namespace

struct RichTextDxlReader::State {
    State(ReaderFindings& f, std::string i)
        : findings(f)
        , item(std::move(i))
    {
    }

    ReaderFindings& findings;
    std::string item;
    RichTextBuilder builder;
    std::vector<Element> open; // the elements entered, innermost last
    int skipping = 0; // depth inside an element passed over
    struct Format {
        Alignment align = Alignment::Left;
        ListStyle list = ListStyle::None;
    };
    std::vector<std::pair<std::string, Format>> pardefs; // a body has few
    const Format* pardef(std::string_view id) const
    {
        for (const auto& [key, format] : pardefs)
            if (key == id)
                return &format;
        return nullptr;
    }
    std::vector<TextStyle> styles { TextStyle {} };
    std::vector<std::string> links; // hrefs of the open links
    std::vector<std::size_t> linkParts; // parts in the paragraph when each link opened
    std::vector<std::string> linkTitles;
    Picture picture; // the open <picture>
    bool pictureData = false;
    Base64Decoder decoder;
    bool badImage = false;
    int mapPicture = -1; // the picture of the open <imagemap>
    bool fullReported = false;

    const std::string& href() const
    {
        static const std::string none;
        return links.empty() ? none : links.back();
    }

    std::array<int, 16> counts {}; // of each kind in open
    bool inside(Element e) const { return counts[static_cast<std::size_t>(e)] > 0; }
    void enter(Element e)
    {
        open.push_back(e);
        ++counts[static_cast<std::size_t>(e)];
    }
    Element leave()
    {
        const Element e = open.back();
        open.pop_back();
        --counts[static_cast<std::size_t>(e)];
        return e;
    }

    void skip(std::string_view local, const char* name, bool count)
    {
        if (count)
            findings.ignore(describe(local, name));
        skipping = 1;
    }

    static std::string describe(std::string_view local, const char* name)
    {
        std::string_view n(name);
        const auto bar = n.find('|');
        std::string out(1, '<');
        out.append(!local.empty() ? local : bar == std::string_view::npos ? n : n.substr(bar + 1));
        out.push_back('>');
        if (local.empty() && bar != std::string_view::npos)
            out.append(" in namespace ").append(n.substr(0, bar));
        return out;
    }

    void reportFull()
    {
        if (builder.full() && !fullReported) {
            fullReported = true;
            findings.damage("item " + item + ": rich text holds more than " + std::to_string(RichTextBuilder::MaxParts)
                + " paragraphs and parts; the rest is left out");
        }
    }

    std::string linkTarget(std::string_view local, const char** attrs)
    {
        if (local == "urllink") {
            const char* href = attribute(attrs, "href");
            return href != nullptr ? href : "";
        }
        const char* href = attribute(attrs, "href");
        if (href != nullptr && std::strncmp(href, "notes:", 6) == 0)
            return href;
        const auto value = [&](const char* n) {
            const char* v = attribute(attrs, n);
            return std::string(v != nullptr ? v : "");
        };
        std::string database = value("database");
        // DXL writes a replica ID as two hex halves joined by ':'; the URL has them run together.
        database.erase(std::remove(database.begin(), database.end(), ':'), database.end());
        if (local == "databaselink")
            return notesUrl(database, "", "");
        if (local == "viewlink")
            return notesUrl(database, value("view"), "");
        return notesUrl(database, value("view"), value("document"));
    }
};

RichTextDxlReader::RichTextDxlReader(ReaderFindings& findings, std::string item)
    : s_(std::make_unique<State>(findings, std::move(item)))
{
}

RichTextDxlReader::~RichTextDxlReader() = default;

std::uint64_t RichTextDxlReader::bytes() const { return s_->builder.bytes() + s_->picture.bytes.size(); }

void RichTextDxlReader::startElement(std::string_view local, const char* name, const char** attrs)
{
    auto& s = *s_;
    if (s.skipping > 0) {
        ++s.skipping;
        return;
    }
    auto& b = s.builder;
    const auto enter = [&](Element e) { s.enter(e); };
    const Element innermost = s.open.empty() ? Element::Transparent : s.open.back();
    Tag tag = tagOf(local);
    if ((tag == Tag::Image && innermost != Element::Picture)
        || (tag == Tag::Text && innermost != Element::SectionTitle))
        tag = Tag::Unknown;
    switch (tag) {
    case Tag::Passed:
        s.skip(local, name, false);
        break;
    case Tag::Pardef:
        if (const char* id = attribute(attrs, "id")) {
            const State::Format format { parseAlign(attribute(attrs, "align")), parseList(attribute(attrs, "list")) };
            if (auto* known = const_cast<State::Format*>(s.pardef(id)))
                *known = format;
            else if (s.pardefs.size() < 1024) // Domino numbers them from 1; more are not met
                s.pardefs.emplace_back(id, format);
        }
        s.skip(local, name, false);
        break;
    case Tag::Par: {
        State::Format format;
        if (const char* def = attribute(attrs, "def"))
            if (const auto* known = s.pardef(def))
                format = *known;
        b.startParagraph(format.align, format.list);
        s.reportFull();
        enter(Element::Paragraph);
        break;
    }
    case Tag::Run:
        s.styles.push_back(s.styles.back());
        enter(Element::Run);
        break;
    case Tag::Font:
        applyFont(s.styles.back(), attrs);
        s.skip(local, name, false);
        break;
    case Tag::Break:
        b.add(makeInline(Inline::Kind::Break, s.href(), {}, s.styles.back()));
        s.skip(local, name, false);
        break;
    case Tag::HorizRule:
        b.add(makeInline(Inline::Kind::Rule, s.href(), {}));
        s.skip(local, name, false);
        break;
    case Tag::Table:
        enter(b.startTable() ? Element::Table : Element::Transparent);
        if (s.open.back() == Element::Transparent)
            s.findings.ignore("<table> nested more than " + std::to_string(RichTextBuilder::MaxTableDepth) + " deep");
        break;
    case Tag::TableRow: {
        const bool table = innermost == Element::Table;
        if (table)
            b.startRow();
        enter(table ? Element::Row : Element::Transparent);
        break;
    }
    case Tag::TableCell: {
        const bool row = innermost == Element::Row;
        if (row)
            b.startCell(-1, positive(attribute(attrs, "rowspan")), positive(attribute(attrs, "columnspan")));
        enter(row ? Element::Cell : Element::Transparent);
        break;
    }
    case Tag::Link: {
        std::string target = s.linkTarget(local, attrs);
        if (s.inside(Element::Area) && s.mapPicture >= 0) {
            if (auto* p = b.pictureAt(s.mapPicture))
                p->areaLinks.push_back(std::move(target));
            s.skip(local, name, false);
            return;
        }
        const auto* p = b.paragraph();
        s.linkParts.push_back(p != nullptr ? p->inlines.size() : 0);
        s.links.push_back(std::move(target));
        const char* description = attribute(attrs, "description");
        s.linkTitles.emplace_back(description != nullptr ? description : "");
        enter(Element::Link);
        break;
    }
    case Tag::Picture:
        s.picture = Picture {};
        s.picture.width = positive(attribute(attrs, "width"));
        s.picture.height = positive(attribute(attrs, "height"));
        if (const char* alt = attribute(attrs, "alttext"))
            s.picture.alt = alt;
        s.pictureData = false;
        enter(Element::Picture);
        break;
    case Tag::Image:
        s.picture.format = imageFormat(local);
        s.picture.bytes.clear();
        s.decoder = Base64Decoder {};
        s.badImage = false;
        enter(Element::ImageData);
        break;
    case Tag::ImageMap:
        s.mapPicture = -1;
        enter(Element::ImageMap);
        break;
    case Tag::Area:
        enter(Element::Area);
        break;
    case Tag::AttachmentRef: {
        Inline part = makeInline(Inline::Kind::Attachment, s.href());
        if (const char* n = attribute(attrs, "name"))
            part.text = n;
        if (const char* shown = attribute(attrs, "displayname"); shown != nullptr && part.text != shown)
            part.title = shown;
        b.add(std::move(part));
        s.skip(local, name, false); // its icon and caption
        break;
    }
    case Tag::SectionTitle:
        b.startParagraph();
        s.styles.push_back(s.styles.back());
        enter(Element::SectionTitle);
        break;
    case Tag::Text:
        enter(Element::TitleText);
        break;
    case Tag::Block:
        s.styles.push_back(s.styles.back());
        enter(Element::Styled);
        break;
    case Tag::Section:
        enter(Element::Transparent);
        break;
    case Tag::ActionIgnored:
        s.findings.ignore(State::describe(local, name));
        enter(Element::Transparent);
        break;
    case Tag::Unknown:
        s.skip(local, name, true);
        break;
    }
    s.reportFull();
}

void RichTextDxlReader::endElement()
{
    auto& s = *s_;
    if (s.skipping > 0) {
        --s.skipping;
        return;
    }
    if (s.open.empty())
        return;
    auto& b = s.builder;
    const Element e = s.leave();
    switch (e) {
    case Element::Paragraph:
        b.endParagraph();
        break;
    case Element::Run:
    case Element::Styled:
    case Element::SectionTitle:
        if (s.styles.size() > 1)
            s.styles.pop_back();
        if (e == Element::SectionTitle)
            b.endParagraph();
        break;
    case Element::Table:
        b.endTable();
        break;
    case Element::Link: {
        // A link with nothing inside it (a doclink Notes shows as an icon) is kept as an icon.
        const auto* p = b.paragraph();
        const std::size_t before = s.linkParts.back();
        if (p == nullptr || p->inlines.size() == before)
            b.add(makeInline(Inline::Kind::Link, s.links.back(), s.linkTitles.back()));
        s.links.pop_back();
        s.linkParts.pop_back();
        s.linkTitles.pop_back();
        break;
    }
    case Element::ImageData:
        if (s.badImage || !s.decoder.complete()) {
            s.findings.damage("item " + s.item + ": a picture's data is not base64");
            s.picture.bytes.clear();
        } else {
            s.pictureData = !s.picture.bytes.empty();
        }
        break;
    case Element::Picture:
        if (s.pictureData) {
            s.picture.format = sniffPicture(s.picture.bytes, s.picture.format);
            const int index = b.picture(std::move(s.picture), s.href());
            if (s.inside(Element::ImageMap))
                s.mapPicture = index;
        }
        s.picture = Picture {};
        s.pictureData = false;
        break;
    case Element::ImageMap:
        s.mapPicture = -1;
        break;
    default:
        break;
    }
}

void RichTextDxlReader::characters(const char* text, std::size_t length)
{
    auto& s = *s_;
    if (s.skipping > 0 || s.open.empty())
        return;
    const Element e = s.open.back();
    if (e == Element::ImageData) {
        if (!s.badImage && s.decoder.decode(text, length, s.picture.bytes))
            s.badImage = true;
        return;
    }
    const bool running = e == Element::Paragraph || e == Element::Run || e == Element::Link || e == Element::Transparent
        || e == Element::Styled;
    if (e == Element::TitleText || (running && s.builder.paragraph() != nullptr && s.inside(Element::Paragraph))) {
        s.builder.text(std::string_view(text, length), s.styles.back(), s.href());
        s.reportFull();
    }
}

std::shared_ptr<RichText> RichTextDxlReader::finish() { return s_->builder.finish(); }

} // namespace notes::detail
