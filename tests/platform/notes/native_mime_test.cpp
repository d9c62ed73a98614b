// Native MIME mail read through the Notes session: a real Domino 9.0.1 memo, a message stored
// as RFC822 text and MIME part items by the test builder, the <mime> element form, and raw
// items that are cut short or lie about their lengths.
#include "mime_test_message.h"
#include "notes_test_support.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

namespace notes_test {
namespace {

    std::string text(const Variant& v) { return v.first().toText(); }

    std::vector<std::string> texts(const Variant& v)
    {
        std::vector<std::string> out;
        for (const auto& e : v.array())
            out.push_back(e.toText());
        return out;
    }

    std::vector<std::string> words(std::string s)
    {
        for (std::size_t at = s.find("\xC2\xA0"); at != std::string::npos; at = s.find("\xC2\xA0"))
            s.replace(at, 2, " ");
        std::istringstream in(s);
        std::vector<std::string> out;
        for (std::string w; in >> w;)
            out.push_back(w);
        return out;
    }

    class NativeMimeTest : public NotesTest {
    protected:
        struct Found {
            std::string name;
            std::string bytes;
        };
        // The files of a document's attachment items, in item order, extracted.
        std::vector<Found> files(const automation::NotesDocument& doc)
        {
            std::vector<Found> out;
            int n = 0;
            for (const auto& item : doc.Items()) {
                if (item->Type() != automation::NotesItemAttachment)
                    continue;
                const auto target = path("file" + std::to_string(n++));
                item->Attachment()->ExtractFile(target.string());
                out.push_back({ item->Attachment()->Name(), readFile(target) });
                EXPECT_EQ(text(item->Values()), out.back().name);
                EXPECT_EQ(item->Attachment()->FileSize(), static_cast<std::int64_t>(out.back().bytes.size()));
            }
            return out;
        }

        void expectBuiltMessage(const automation::NotesDocument& doc)
        {
            const auto m = mime_test::message();
            EXPECT_EQ(text(doc.GetItemValue("Subject")), mime_test::Subject);
            EXPECT_EQ(text(doc.GetItemValue("From")), "J\xC3\xBCrgen M\xC3\xBCller <juergen@example.de>");
            EXPECT_EQ(texts(doc.GetItemValue("SendTo")),
                (std::vector<std::string> { "Ann Lee <ann@example.com>", "bo@example.com" }));
            EXPECT_EQ(text(doc.GetItemValue("CopyTo")), "carl@example.org");
            const auto date = doc.GetItemValue("PostedDate").first();
            ASSERT_EQ(date.type(), Variant::Type::Date);
            EXPECT_EQ(date.toDate().toUnixMillis(), 1425372067000);
            EXPECT_EQ(text(doc.GetItemValue("Body")), m.text);
            ASSERT_TRUE(doc.HasEmbedded());
            const auto found = files(doc);
            ASSERT_EQ(found.size(), 2U);
            EXPECT_EQ(found[0].name, mime_test::PdfName);
            EXPECT_EQ(found[0].bytes, m.pdf);
            EXPECT_EQ(found[1].name, mime_test::CsvName);
            EXPECT_EQ(found[1].bytes, m.csv);
            // The picture the HTML shows by Content-ID stays with the HTML, an inline part.
            const auto mime = doc.ConvertToMIME("Body");
            EXPECT_NE(mime.html.find("<img src=\"cid:logo.1@example.de\">"), std::string::npos) << mime.html;
            EXPECT_NE(mime.headers.find("Message-ID: <20150303094107.4711@example.de>\r\n"), std::string::npos)
                << mime.headers;
            ASSERT_EQ(mime.inlineParts.size(), 1U);
            EXPECT_EQ(mime.inlineParts[0].contentId, "logo.1@example.de");
            EXPECT_EQ(mime.inlineParts[0].contentType, "image/png");
            EXPECT_EQ(*mime.inlineParts[0].bytes, m.png);
            ASSERT_TRUE(doc.GetAttachment(mime_test::PdfName));
            EXPECT_EQ(doc.GetAttachment(mime_test::PdfName)->FileSize(), static_cast<std::int64_t>(m.pdf.size()));
        }
    };

    TEST_F(NativeMimeTest, RealDominoMemo)
    {
        // The file is one note as the domino-jnx tests keep it, without the DXL namespace
        // declaration: read as it is, a database of that one document.
        const std::string file = std::string(FERRYMARK_TEST_DATA_DIR) + "/dxl/real/testJsonSerialization-spam.xml";
        auto db = open(file);
        auto doc = db->GetDocumentByID(db->AllDocumentIDs().at(0));
        EXPECT_EQ(text(doc->GetItemValue("Subject")), "Extra 60% 0ff EVERYTHING + Lots More Summer Savings.");
        EXPECT_EQ(text(doc->GetItemValue("From")), "\"Louis Vuitton\" <newsletter@lvbagsforyou.com>");
        EXPECT_EQ(texts(doc->GetItemValue("SendTo")), std::vector<std::string> { "jesse@secondfoundation.org" });
        EXPECT_EQ(text(doc->GetItemValue("$MessageID")), "<331186-1407517453669-16268-82837855-34-37@ss23.agm1.us>");
        // Date: Fri, 8 Aug 2014 13:18:33 -0400
        const auto date = doc->GetItemValue("PostedDate").first();
        ASSERT_EQ(date.type(), Variant::Type::Date);
        EXPECT_EQ(date.toDate().toUnixMillis(), 1407518313000);
        EXPECT_EQ(date.toDate().offsetMinutes, -240);
        EXPECT_FALSE(doc->HasEmbedded());

        // Every word of the HTML body's text, as Python's own decoders and HTML parser see it.
        const std::string python = FERRYMARK_PYTHON;
        if (!fs::exists(python))
            GTEST_SKIP() << python << " is missing";
        const std::string script = writeFile("words.py", R"(import base64, html.parser, quopri, sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
data = b''.join(base64.b64decode(i.find('rawitemdata').text) for i in root.iter('item') if i.get('name') == 'Body')
# MIME_PART: wBoundaryLen at 10, wHeadersLen at 12, the texts after 20 bytes; one part here.
skip = 20 + int.from_bytes(data[10:12], 'little') + int.from_bytes(data[12:14], 'little')
html_text = quopri.decodestring(data[skip:]).decode('utf-8')
class Text(html.parser.HTMLParser):
    skip = 0
    words = []
    def handle_starttag(self, tag, attrs):
        if tag in ('head', 'title', 'script', 'style'): self.skip += 1
    def handle_endtag(self, tag):
        if tag in ('head', 'title', 'script', 'style'): self.skip -= 1
    def handle_data(self, d):
        if self.skip == 0: self.words += d.split()
p = Text(convert_charrefs=True)
p.feed(html_text)
sys.stdout.write('\n'.join(p.words))
)");
        const std::string command = python + " '" + script + "' '" + file + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string expected;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            expected.append(buffer, n);
        ASSERT_EQ(::pclose(pipe), 0) << command;
        const auto want = words(expected);
        ASSERT_GE(want.size(), 90U); // 100 words as counted by hand
        // Python splits "a<b>b</b>" into two words where the text reads "ab": compare the letters.
        auto join = [](const std::vector<std::string>& w) {
            std::string s;
            for (const auto& x : w)
                s += x;
            return s;
        };
        EXPECT_EQ(join(words(text(doc->GetItemValue("Body")))), join(want));
    }

    TEST_F(NativeMimeTest, MessageStoredAsRawItemsOrAsAMimeElement)
    {
        dxl::DatabaseBuilder db;
        // A native value beyond ASCII is LMBCS: the header body is read instead.
        auto& memo = db.document("Memo")
                         .nativeMime(mime_test::message().rfc5322)
                         .rawData("Keywords", 0x502,
                             dxl::rfc822ItemBytes(2, "M\x10\x81nchen", "Keywords", "=?UTF-8?Q?M=C3=BCnchen?=\r\n"));
        const auto database = open(db);
        auto doc = database->GetDocumentByID(memo.noteId());
        expectBuiltMessage(*doc);
        EXPECT_EQ(text(doc->GetItemValue("Keywords")), "M\xC3\xBCnchen");
        // Found by its UNID in any case; its identity without rendering the body.
        std::string unid = memo.unid();
        std::transform(unid.begin(), unid.end(), unid.begin(), [](unsigned char c) { return std::tolower(c); });
        const auto byUnid = database->GetDocumentByUNID(unid);
        ASSERT_NE(byUnid, nullptr);
        const auto identity = byUnid->ConvertToMIME("");
        EXPECT_EQ(identity.identity.messageId, "<20150303094107.4711@example.de>");
        EXPECT_TRUE(identity.html.empty());
        EXPECT_EQ(database->GetDocumentByUNID(std::string(32, '0')), nullptr);
        // The MIME part items of Body are one item now.
        int bodies = 0;
        for (const auto& item : doc->Items())
            bodies += item->Name() == "Body";
        EXPECT_EQ(bodies, 1);

        // The same message as the exporter's MIME option writes it, a <mime> element.
        dxl::DatabaseBuilder element;
        auto& asElement = element.document("Memo").mimeElement(mime_test::message().rfc5322);
        expectBuiltMessage(*open(element, "element.dxl")->GetDocumentByID(asElement.noteId()));
    }

    // Domino keeps the body of an attached file in a $FILE object that the MIME part names
    // (MIME_PART_BODY_IN_DBOBJECT): the object is the part's one attachment, under the part's
    // own name; a part naming an object the document lacks is reported.
    TEST_F(NativeMimeTest, PartBodiesKeptInFileObjects)
    {
        auto inObject = [](std::string bytes) {
            bytes[2] = static_cast<char>(bytes[2] | 0x04);
            return bytes;
        };
        const std::string top = "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n";
        const std::string named = "Content-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n"
                                  "Content-Disposition: attachment; filename*=UTF-8''Bericht%20M%C3%A4rz.pdf\r\n\r\n";
        const std::string pdf = "%PDF-1.4 the real bytes\x00\x01\xFF";
        dxl::DatabaseBuilder db;
        auto& memo
            = db.document("Memo")
                  .rawData("Body", 0x19, dxl::mimePartBytes(2, "", top, ""))
                  .rawData("Body", 0x19,
                      dxl::mimePartBytes(2, "--b1\r\n", "Content-Type: text/plain\r\n\r\n", "See the report.\r\n"))
                  .rawData("Body", 0x19, inObject(dxl::mimePartBytes(2, "--b1\r\n", named, "Bericht M.pdf")))
                  .rawData("Body", 0x19, inObject(dxl::mimePartBytes(2, "--b1\r\n", named, "gone.pdf")))
                  .rawData("Body", 0x19, dxl::mimePartBytes(3, "--b1--\r\n", "", ""))
                  .attachment("Bericht M.pdf", pdf);
        auto doc = open(db)->GetDocumentByID(memo.noteId());
        EXPECT_EQ(text(doc->GetItemValue("Body")), "See the report.");
        std::vector<std::string> files;
        for (const auto& item : doc->Items())
            if (item->Type() == automation::NotesItemAttachment)
                files.push_back(item->Values().first().toText());
        EXPECT_EQ(files, std::vector<std::string> { "Bericht M\xC3\xA4rz.pdf" });
        auto file = doc->GetAttachment("Bericht M\xC3\xA4rz.pdf");
        ASSERT_NE(file, nullptr);
        const std::string target = path("out.pdf").string();
        file->ExtractFile(target);
        EXPECT_EQ(readFile(target), pdf);
        const auto damaged = doc->DamagedContent();
        ASSERT_EQ(damaged.size(), 1U);
        EXPECT_NE(damaged[0].find("\"gone.pdf\""), std::string::npos) << damaged[0];
    }

    TEST_F(NativeMimeTest, BadRawItemsLeaveTheRestOfTheDocument)
    {
        const std::string subject = dxl::rfc822ItemBytes(2, "Hello", "Subject", "Hello\r\n");
        const std::string part = dxl::mimePartBytes(2, "", "Content-Type: text/plain\r\n\r\n", "Body text\r\n");
        dxl::DatabaseBuilder db;
        std::vector<std::string> ids;
        auto add = [&](auto&& fill) {
            auto& d = db.document("Memo").text("Keep", "kept");
            fill(d);
            ids.push_back(d.noteId());
        };
        add([&](auto& d) {
            d.rawData("Subject", 0x502, subject.substr(0, 9)).rawData("Body", 0x19, part.substr(0, 7));
        });
        add([&](auto& d) {
            d.rawItem("<item name='Subject'><rawitemdata type='502'>@@not base64</rawitemdata></item>");
        });
        std::string lying = part;
        lying[8] = static_cast<char>(0xFF); // wByteCount past the end
        lying[9] = static_cast<char>(0xFF);
        add([&](auto& d) { d.rawData("Body", 0x19, lying); });
        add([&](auto& d) { d.rawData("Body", 0x19, std::string(300, '\xFF')).mimeElement("not mime } at all"); });
        add([&](auto& d) { d.rawData("Subject", 0x502, subject.substr(0, 17)); });
        auto database = open(db);
        for (const auto& id : ids) {
            auto doc = database->GetDocumentByID(id);
            EXPECT_EQ(text(doc->GetItemValue("Keep")), "kept") << id;
            doc->Items();
        }
        EXPECT_EQ(text(database->GetDocumentByID(ids[0])->GetItemValue("Subject")), "");
        EXPECT_EQ(text(database->GetDocumentByID(ids[2])->GetItemValue("Body")), "Body text");
        EXPECT_EQ(text(database->GetDocumentByID(ids[4])->GetItemValue("Subject")), "Hel"); // cut native value
    }

} // namespace
} // namespace notes_test
