// Rich text bodies: <richtext> in DXL and CD records in raw TYPE_COMPOSITE items, read into
// the model, as real Domino exports and hand-made records hold them.
#include "notes/dxl_database.h"
#include "notes/rich_text.h"
#include "notes/rich_text_cd.h"
#include "notes/rich_text_html.h"
#include "notes_test_support.h"

#include <algorithm>

namespace notes_test {
namespace {
    using namespace notes::detail;

    class RichTextTest : public NotesTest {
    protected:
        ParsedDocument read(const std::string& file, std::uint32_t document = 0)
        {
            auto index = DatabaseIndex::open(file);
            return readDocument(*index, document, "test", "read");
        }
        ParsedDocument read(const dxl::DatabaseBuilder& db) { return read(db.write(path("db.dxl"))); }
        static std::string real(const std::string& name)
        {
            return std::string(FERRYMARK_TEST_DATA_DIR) + "/dxl/real/" + name;
        }
    };

    const Item& item(const ParsedDocument& d, std::string_view name)
    {
        for (const auto& i : d.items)
            if (i.name == name)
                return i;
        static const Item none;
        ADD_FAILURE() << "no item " << name;
        return none;
    }

    // The inline parts of a body in reading order, tables included.
    void collect(const std::pmr::vector<Block>& blocks, std::vector<const Inline*>& out)
    {
        for (const auto& b : blocks) {
            for (const auto& part : b.paragraph.inlines)
                out.push_back(&part);
            for (const auto& row : b.rows)
                for (const auto& cell : row)
                    collect(cell.blocks, out);
        }
    }
    std::vector<const Inline*> parts(const Item& i)
    {
        std::vector<const Inline*> out;
        if (i.richText)
            collect(i.richText->blocks, out);
        return out;
    }
    const Inline* textPart(const Item& i, std::string_view text)
    {
        for (const auto* p : parts(i))
            if (p->kind == Inline::Kind::Text && p->text.find(text) != std::string::npos)
                return p;
        ADD_FAILURE() << "no text \"" << text << "\" in " << i.name;
        static const Inline none;
        return &none;
    }

    // CD records as editods.h lays them out: WSIG, BSIG or LSIG header, body, padding.
    std::string le(std::uint32_t v, int bytes)
    {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
        return out;
    }
    std::string pad(std::string record) { return record.size() % 2 ? record + '\0' : record; }
    std::string wsig(int low, const std::string& body)
    {
        return pad(le(0xFF00 | low, 2) + le(4 + body.size(), 2) + body);
    }
    std::string bsig(int low, const std::string& body) { return pad(le(((2 + body.size()) << 8) | low, 2) + body); }
    std::string lsig(int low, const std::string& body) { return pad(le(low, 2) + le(6 + body.size(), 4) + body); }
    std::string cdText(int face, int attrib, int color, int size, const std::string& text)
    {
        return wsig(0x85, le(face, 1) + le(attrib, 1) + le(color, 1) + le(size, 1) + text);
    }
    std::string cdParagraph() { return bsig(0x81, ""); }
    std::string pabDefinition(int id, int justify, int flags)
    {
        return wsig(0x82, le(id, 2) + le(justify, 2) + std::string(54, '\0') + le(flags, 2) + std::string(6, '\0'));
    }
    std::string cdCell(int row, int column)
    {
        return bsig(0xA4, le(row, 1) + le(column, 1) + std::string(12, '\0') + "\x01\x01" + le(0, 2));
    }

    TEST_F(RichTextTest, RealCompositeBodiesKeepTheirWordsAndStyles)
    {
        // Written by domino-jnx's rich text writer: its test expects TYPEWRITER for the
        // monospace run and SWISS, bold and italic for the last one.
        auto styled = read(real("testConvertAndOpenMimeItem-styledtext.xml"));
        const auto& body = item(styled, "Body");
        EXPECT_EQ(body.type, 1);
        EXPECT_EQ(body.values.front().toText(),
            "This is normal text.\n\nThis is monospace text\n\nThis is serif italic bold text");
        EXPECT_EQ(textPart(body, "monospace")->style.font, "monospace");
        const auto* serif = textPart(body, "serif italic bold");
        EXPECT_TRUE(serif->style.bold && serif->style.italic && !serif->style.underline);
        EXPECT_EQ(serif->style.font, "sans-serif");
        EXPECT_FALSE(textPart(body, "normal")->style.bold);
        EXPECT_EQ(textPart(body, "normal")->style.size, 10);
        EXPECT_TRUE(styled.findings.damaged.empty());
        EXPECT_TRUE(styled.findings.ignored.empty());
        const auto& revisions = item(styled, "$Revisions");
        EXPECT_EQ(revisions.type, 1024);
        ASSERT_EQ(revisions.values.size(), 1U);
        EXPECT_EQ(revisions.values.front().toDate().toUnixMillis(), 1595953402120LL); // 2020-07-28 12:23:22.12 -04:00

        auto discuss = read(real("testV1discuss-2294.xml"));
        EXPECT_EQ(item(discuss, "Body").values.front().toText(), "Hey, I'm new content");
        EXPECT_EQ(item(discuss, "Subject").values.front().toText(), "Hello main topic");
        EXPECT_TRUE(discuss.findings.damaged.empty());

        // The page's $Fonts table names face 5 Verdana; the body's words use it.
        auto page = read(real("testJsonSerialization-dollarfonts.xml"));
        const auto& welcome = item(page, "Body");
        EXPECT_EQ(welcome.values.front().toText(), "Please select one of the following options:");
        EXPECT_EQ(textPart(welcome, "options")->style.font, "Verdana");
        EXPECT_TRUE(page.findings.damaged.empty());

        // A form's body with a headline style, a language span and a mouse-over popup.
        auto form = read(real("testDbDesignForms-doc-span.xml"));
        const std::string text = item(form, "Body").values.front().toText();
        for (const char* words : { "sdffdfd", "I am anchor", "I am other language", "dsfdf" })
            EXPECT_NE(text.find(words), std::string::npos) << words;
        EXPECT_EQ(form.findings.ignored.count("CD hotspot of type 22"), 1U);
        EXPECT_TRUE(form.findings.damaged.empty());
    }

    TEST_F(RichTextTest, CompositeRecordsGiveParagraphsTablesLinksAndPictures)
    {
        const std::string gif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);
        const std::string noteLink
            = le(0x12345678, 4) + le(0x9ABCDEF0, 4) + std::string(16, '\x11') + std::string(16, '\x22');
        // Domino splits long bodies into items of the same name at record boundaries.
        const std::string first = pabDefinition(1, 3, 0x0400) + cdParagraph() + bsig(0x83, le(1, 2))
            + cdText(0, 0x05, 2, 12, std::string("Caf\x82\0line", 9)) + cdText(1, 0, 0, 10, "\x14\x20\xAC")
            + bsig(0xA3, std::string(12, '\0')) + cdCell(0, 0) + cdParagraph() + cdText(1, 0, 0, 10, "a") + cdCell(0, 1)
            + cdParagraph() + cdText(1, 0, 0, 10, "b");
        const std::string second = cdCell(1, 0) + cdText(1, 0, 0, 10, "c") + bsig(0xA5, le(0, 4)) + cdParagraph()
            + wsig(0xA9, le(11, 2) + le(0x1000, 4) + le(20, 2) + std::string("https://example.org", 20))
            + cdText(1, 0, 0, 10, "site") + bsig(0xAA, "")
            + wsig(0xA9, le(4, 2) + le(0, 4) + le(19, 2) + std::string("ATT1XYZ\0report.pdf", 19))
            + cdText(1, 0, 0, 10, "icon text") + bsig(0xAA, "") + wsig(0x92, noteLink + std::string("Doc\0\0", 5))
            + wsig(0x91, le(1, 2) + std::string("View\0\0", 6)) + lsig(0x99, std::string(24, '\0'))
            + lsig(0x7D, le(1, 2) + le(1, 2) + le(1, 2) + le(gif.size(), 4) + le(2, 4) + std::string(8, '\0'))
            + lsig(0x7C, le(8, 2) + le(8, 2) + gif.substr(0, 8))
            + lsig(0x7C, le(gif.size() - 8, 2) + le(gif.size() - 8, 2) + gif.substr(8))
            + wsig(0xC9, std::string(12, '\0')) + wsig(0x86, "xml");
        dxl::DatabaseBuilder split;
        // $Links: a LIST of NOTELINKs, which CDLINK2 records point into; the second a view link.
        const std::string viewLink
            = le(0x12345678, 4) + le(0x9ABCDEF0, 4) + std::string(16, '\x33') + std::string(16, '\0');
        split.document("Memo")
            .rawData("Body", 1, first)
            .text("Subject", "between")
            .rawData("Body", 1, second)
            .rawData("$Links", 7, le(2, 2) + noteLink + viewLink);
        auto doc = read(split);
        ASSERT_EQ(std::count_if(doc.items.begin(), doc.items.end(), [](const Item& i) { return i.name == "Body"; }), 1);
        const auto& body = item(doc, "Body");
        EXPECT_EQ(body.values.front().toText(), "Caf\xC3\xA9\nline\xE2\x82\xAC\na\tb\nc\nsite");
        const auto& blocks = body.richText->blocks;
        ASSERT_GE(blocks.size(), 3U);
        EXPECT_EQ(blocks[0].paragraph.align, Alignment::Center);
        EXPECT_EQ(blocks[0].paragraph.list, ListStyle::Bullet);
        const auto* cafe = textPart(body, "Caf");
        EXPECT_TRUE(cafe->style.bold && cafe->style.underline && !cafe->style.italic);
        EXPECT_EQ(cafe->style.color, 0xFF0000U);
        EXPECT_EQ(cafe->style.font, "serif");
        ASSERT_EQ(blocks[1].kind, Block::Kind::Table);
        ASSERT_EQ(blocks[1].rows.size(), 2U);
        EXPECT_EQ(blocks[1].rows[0].size(), 2U);
        EXPECT_EQ(textPart(body, "site")->href, "https://example.org");
        std::vector<const Inline*> special;
        for (const auto* p : parts(body))
            if (p->kind != Inline::Kind::Text && p->kind != Inline::Kind::Break)
                special.push_back(p);
        ASSERT_EQ(special.size(), 5U);
        EXPECT_EQ(special[0]->kind, Inline::Kind::Attachment);
        EXPECT_EQ(special[0]->text, "ATT1XYZ");
        EXPECT_EQ(special[0]->title, "report.pdf");
        EXPECT_EQ(special[1]->kind, Inline::Kind::Link);
        EXPECT_EQ(std::string_view(special[1]->href),
            "notes:///9ABCDEF012345678/" + std::string(32, '1') + "/" + std::string(32, '2'));
        EXPECT_EQ(special[1]->title, "Doc");
        EXPECT_EQ(special[2]->kind, Inline::Kind::Link);
        EXPECT_EQ(std::string_view(special[2]->href), "notes:///9ABCDEF012345678/" + std::string(32, '3'));
        EXPECT_EQ(special[2]->title, "View");
        ASSERT_EQ(special[3]->kind, Inline::Kind::Picture);
        const auto& picture = body.richText->pictures.at(static_cast<std::size_t>(special[3]->picture));
        EXPECT_EQ(picture.format, Picture::Format::Gif);
        EXPECT_EQ(picture.bytes, gif);
        EXPECT_EQ(special[4]->kind, Inline::Kind::Rule);
        EXPECT_EQ(doc.findings.ignored.count("CD record 0xFF86 (CDXML)"), 1U);
        EXPECT_TRUE(doc.findings.damaged.empty());
    }

    TEST_F(RichTextTest, CutShortCompositeKeepsWhatCameBeforeAndSaysWhere)
    {
        ReaderFindings findings;
        const std::string records
            = cdText(1, 0, 0, 10, "kept") + cdParagraph() + wsig(0x85, std::string("\x01\0\0\x0Alost", 8));
        auto text = readComposite({ std::string_view(records).substr(0, records.size() - 3) }, {}, findings, "Body");
        EXPECT_EQ(plainText(*text), "kept");
        ASSERT_EQ(findings.damaged.size(), 1U);
        EXPECT_EQ(findings.damaged[0], "item Body: CD record 0xFF85 at byte 14 claims 12 bytes, 9 remain");

        ReaderFindings header;
        auto empty
            = readComposite({ std::string_view("\x85", 1), std::string_view("\x85\xFF\x03", 3) }, {}, header, "Body");
        EXPECT_EQ(plainText(*empty), "");
        ASSERT_EQ(header.damaged.size(), 2U);
        EXPECT_EQ(header.damaged[1], "item Body (item 2 of 2): CD record 0xFF85 at byte 0 claims more bytes, 3 remain");

        // A body takes no more memory than the document has left; the rest is left out, noted.
        std::string many;
        for (int i = 0; i < 200; ++i)
            many += cdParagraph() + cdText(1, 0, 0, 10, "word");
        std::uint64_t budget = 4000;
        ReaderFindings limited;
        auto partial = readComposite({ many }, {}, limited, "Body", {}, &budget);
        EXPECT_GT(partial->blocks.size(), 0U);
        EXPECT_LT(partial->blocks.size(), 200U);
        EXPECT_EQ(budget, 0U);
        EXPECT_EQ(limited.damaged.size(), 1U);

        bool unconverted = false;
        EXPECT_EQ(lmbcsToUtf8("a\x02\xC1"
                              "b",
                      unconverted),
            "a\xEF\xBF\xBD"
            "b");
        EXPECT_TRUE(unconverted);
        ReaderFindings greek;
        EXPECT_EQ(plainText(*readComposite({ cdText(1, 0, 0, 10, "\x02\xC1") }, {}, greek, "Body")), "\xEF\xBF\xBD");
        EXPECT_EQ(greek.damaged.size(), 1U);
    }

    TEST_F(RichTextTest, DxlRichTextKeepsFormattingLinksAndPictures)
    {
        dxl::DatabaseBuilder db;
        db.document("Memo").rawItem(
            "<item name='Body'><richtext>\n<pardef id='1' align='center' list='bullet'><code "
            "event='hidewhen'><formula>1</formula></code></pardef>\n"
            "<par def='1'><run><font size='14pt' style='bold strikethrough' color='#ff0000' name='Arial'/>Red</run>"
            " plain<break/><urllink href='https://example.org/'><run><font style='underline'/>link</run></urllink>"
            "<doclink database='85257E2A:004E2C43' view='1111' document='2222' description='Other'/></par>\n"
            "<par><picture width='1' height='1'><gif>R0lGODlhAQABAAAAACw=</gif></picture><horizrule/>"
            "<attachmentref name='a.txt' displayname='a.txt'><picture><gif>R0lG</gif></picture></attachmentref>"
            "<objectref name='x'/><button>Press</button><actionhotspot><code "
            "event='click'><formula>1</formula></code>Act</actionhotspot></par>\n"
            "<table><tablerow><tablecell columnspan='2'><par>a</par><par>a2</par></tablecell>"
            "<tablecell><par>b</par></tablecell></tablerow><tablerow><tablecell><par>c</par></tablecell></tablerow>"
            "</table>\n<section><sectiontitle><text>Title</text></sectiontitle><par>inside</par></section>\n"
            "<par><imagemap><picture><png>iVBORw0KGgo=</png></picture><area type='rectangle'><urllink "
            "href='https://map.example/'/></area></imagemap></par>\n"
            "</richtext></item>");
        auto doc = read(db);
        const auto& body = item(doc, "Body");
        EXPECT_EQ(body.values.front().toText(), "Red plain\nlink\nAct\na\na2\tb\nc\nTitle\ninside");
        const auto& blocks = body.richText->blocks;
        EXPECT_EQ(blocks.at(0).paragraph.align, Alignment::Center);
        EXPECT_EQ(blocks.at(0).paragraph.list, ListStyle::Bullet);
        const auto* red = textPart(body, "Red");
        EXPECT_TRUE(red->style.bold && red->style.strikethrough && !red->style.italic);
        EXPECT_EQ(red->style.size, 14);
        EXPECT_EQ(red->style.color, 0xFF0000U);
        EXPECT_EQ(red->style.font, "Arial");
        EXPECT_FALSE(textPart(body, "plain")->style.bold);
        EXPECT_EQ(textPart(body, "link")->href, "https://example.org/");
        EXPECT_TRUE(textPart(body, "link")->style.underline);
        EXPECT_EQ(blocks.at(2).rows.at(0).at(0).columnSpan, 2);
        std::vector<const Inline*> special;
        for (const auto* p : parts(body))
            if (p->kind != Inline::Kind::Text && p->kind != Inline::Kind::Break)
                special.push_back(p);
        ASSERT_EQ(special.size(), 5U);
        EXPECT_EQ(special[0]->kind, Inline::Kind::Link);
        EXPECT_EQ(special[0]->href, "notes:///85257E2A004E2C43/1111/2222");
        EXPECT_EQ(special[0]->title, "Other");
        EXPECT_EQ(special[1]->kind, Inline::Kind::Picture);
        EXPECT_EQ(special[2]->kind, Inline::Kind::Rule);
        EXPECT_EQ(special[3]->kind, Inline::Kind::Attachment);
        EXPECT_EQ(special[3]->text, "a.txt");
        ASSERT_EQ(body.richText->pictures.size(), 2U);
        EXPECT_EQ(body.richText->pictures[0].format, Picture::Format::Gif);
        EXPECT_EQ(body.richText->pictures[0].bytes.substr(0, 6), "GIF89a");
        EXPECT_EQ(body.richText->pictures[1].format, Picture::Format::Png);
        EXPECT_EQ(body.richText->pictures[1].areaLinks, std::vector<std::string> { "https://map.example/" });
        for (const char* construct : { "<objectref>", "<button>", "<actionhotspot>" })
            EXPECT_EQ(doc.findings.ignored.count(construct), 1U) << construct;
    }

    int tableDepth(const std::pmr::vector<Block>& blocks)
    {
        int depth = 0;
        for (const auto& b : blocks)
            for (const auto& row : b.rows)
                for (const auto& cell : row)
                    depth = std::max(depth, 1 + tableDepth(cell.blocks));
        return depth;
    }

    TEST_F(RichTextTest, ParagraphPiecesColoursAndNestingLimits)
    {
        // CDLARGEPARAGRAPH brackets the pieces of one long paragraph; a CDCOLOR in the CDBEGIN
        // block of a CDTEXT gives its true colour.
        const std::string records = cdParagraph() + cdText(1, 0, 0, 10, "long ")
            + wsig(0x68, le(1, 2) + le(1, 2) + std::string(8, '\0')) + cdParagraph() + cdText(1, 0, 0, 10, "piece")
            + wsig(0x68, le(1, 2) + le(2, 2) + std::string(8, '\0')) + cdParagraph()
            + bsig(0xDD, le(0, 2) + le(0xFF85, 2)) + cdText(1, 0, 200, 10, "teal")
            + bsig(0xD2, le(1, 2) + std::string("\x00\x80\x80\x00", 4)) + bsig(0xDE, le(0, 2) + le(0xFF85, 2));
        ReaderFindings findings;
        auto text = readComposite({ records }, {}, findings, "Body");
        EXPECT_EQ(plainText(*text), "long piece\nteal");
        EXPECT_EQ(text->blocks.at(1).paragraph.inlines.at(0).style.color, 0x008080U);
        EXPECT_TRUE(findings.ignored.empty() && findings.damaged.empty());

        // A Notes bitmap is kept as its records, as DXL's <notesbitmap> holds it.
        const std::string bitmap = lsig(0x95, std::string(16, '\0') + le(3, 2) + le(2, 2) + std::string(12, '\0'))
            + lsig(0x96, "pixels") + lsig(0x97, "colors");
        ReaderFindings pictures;
        auto withBitmap = readComposite(
            { lsig(0x99, std::string(24, '\0')) + bitmap + cdText(1, 0, 0, 10, "after") }, {}, pictures, "Body");
        ASSERT_EQ(withBitmap->pictures.size(), 1U);
        EXPECT_EQ(withBitmap->pictures[0].format, Picture::Format::NotesBitmap);
        EXPECT_EQ(withBitmap->pictures[0].bytes, bitmap);
        EXPECT_EQ(withBitmap->pictures[0].width, 3);
        EXPECT_EQ(plainText(*withBitmap), "after");
        EXPECT_TRUE(pictures.ignored.empty());

        // Tables nested deeper than the limit give their content to the cell around them.
        std::string deep;
        std::string xml = "<item name='Body'><richtext>";
        for (int i = 0; i < 40; ++i) {
            deep += bsig(0xA3, std::string(12, '\0')) + cdCell(0, 0);
            xml += "<table><tablerow><tablecell>";
        }
        deep += cdText(1, 0, 0, 10, "core");
        xml += "<par>core</par>";
        for (int i = 0; i < 40; ++i) {
            deep += bsig(0xA5, le(0, 4));
            xml += "</tablecell></tablerow></table>";
        }
        ReaderFindings nested;
        auto cd = readComposite({ deep }, {}, nested, "Body");
        EXPECT_EQ(tableDepth(cd->blocks), 16);
        EXPECT_EQ(plainText(*cd), "core");
        EXPECT_EQ(nested.ignored["CD table nested more than 16 deep"], 24U);

        dxl::DatabaseBuilder db;
        db.document("Memo").rawItem(xml + "</richtext></item>");
        auto doc = read(db);
        EXPECT_EQ(tableDepth(item(doc, "Body").richText->blocks), 16);
        EXPECT_EQ(item(doc, "Body").values.front().toText(), "core");
        EXPECT_EQ(doc.findings.ignored["<table> nested more than 16 deep"], 24U);
    }

    TEST_F(RichTextTest, StorageObjectsAreNoAttachments)
    {
        dxl::DatabaseBuilder db;
        db.document("Memo")
            .attachment("kept.txt", "data")
            .rawItem("<item name='$FILE'><object><file hosttype='bytearraypage' name='STG0A1B2'><created><datetime>"
                     "20200101</datetime></created><modified><datetime>20200101</datetime></modified><filedata>"
                     "AAAA</filedata></file></object></item>")
            .rawItem("<item name='$FILE'><object><file hosttype='bytearrayext' name='EXT0A1B2'><created><datetime>"
                     "20200101</datetime></created><modified><datetime>20200101</datetime></modified></file></object>"
                     "</item>")
            .rawItem("<item name='$FILE'><object><file hosttype='mac' name='mac.bin' size='3'><created><datetime>"
                     "20200101</datetime></created><modified><datetime>20200101</datetime></modified><filedata>"
                     "AAAA</filedata></file></object></item>");
        auto doc = read(db);
        ASSERT_EQ(doc.attachments.size(), 2U);
        EXPECT_EQ(doc.attachments[0].fileName, "kept.txt");
        EXPECT_EQ(doc.attachments[1].fileName, "mac.bin");
        EXPECT_EQ(
            std::count_if(doc.items.begin(), doc.items.end(), [](const Item& i) { return i.name == "$FILE"; }), 2);
        EXPECT_EQ(doc.findings.ignored["storage object"], 2U);
    }

    TEST_F(RichTextTest, HtmlKeepsTheWidthOfBlankRunsAcrossStyledRuns)
    {
        // Every blank after a blank, a tab or a line break, or at a paragraph's start, keeps its
        // width; so does one after a dropped control character that followed a blank. The rule
        // carries from one styled run into the next, and holds wherever a pair of blanks falls
        // in the eight characters the writer looks at together.
        dxl::DatabaseBuilder db;
        db.document("Memo").rawItem("<item name='Body'><richtext><par>  a b  c\t d&amp;&lt;\"x &#13; y<run><font "
                                    "style='bold'/> z</run> <run><font style='italic'/>w </run> v</par>"
                                    "<par>q<break/> r</par><par>abcdefg  hijklmn  opqrstuvwxyz x<run><font "
                                    "style='bold'/>tail </run> 12345678<break/>        eight</par></richtext></item>");
        auto doc = read(db);
        const auto html = richTextToHtml(item(doc, "Body").richText, "x.notes").html;
        const auto at = html.find("<div>");
        ASSERT_NE(at, std::string::npos) << html;
        EXPECT_EQ(html.substr(at, html.find("</body>") - at),
            "<div>&nbsp;&nbsp;a b &nbsp;c&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;d&amp;&lt;&quot;x &nbsp;y<b> z</b> "
            "<i>w </i>&nbsp;v</div>\n<div>q<br>&nbsp;r</div>\n<div>abcdefg &nbsp;hijklmn &nbsp;opqrstuvwxyz x<b>tail "
            "</b>&nbsp;12345678<br>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;eight</div>\n");
    }

} // namespace
} // namespace notes_test
