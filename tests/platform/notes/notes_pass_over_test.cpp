// The index, and reads of a few items, pass over the items they do not need without parsing
// them: what they find, and the positions errors name, must be what a full parse gives.
#include "notes_test_support.h"

#include "automation/notes_item_values.h"

namespace notes_test {
namespace {

    using PassOverTest = NotesTest;

    // "file:line:column" of the first occurrence of token (where expat reports an event or
    // error: a value at its end tag, a mismatched tag at its name) in text, columns counted in characters
    // and CR LF or CR alone ending a line, as XML does.
    std::string positionOf(const std::string& file, const std::string& text, const std::string& token)
    {
        const std::size_t at = text.find(token);
        std::size_t line = 1;
        std::size_t column = 1;
        for (std::size_t i = 0; i < at; ++i) {
            const char c = text[i];
            if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
                ++line;
                column = 1;
            } else if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
                ++column;
            }
        }
        return file + ":" + std::to_string(line) + ":" + std::to_string(column);
    }

    TEST_F(PassOverTest, ItemsThatHideMarkupAreReadNotPassedOver)
    {
        dxl::DatabaseBuilder builder;
        auto& folder = builder.folder("Kept");
        // A fake end tag and folder reference in a comment, in CDATA and in a processing
        // instruction: none of them puts its document into the folder.
        auto& comment
            = builder.document("Memo").rawItem("<item name='Body'><text>a<!-- </item><item name='$FolderRef'><text>"
                + folder.unid() + "</text></item> --></text></item>");
        auto& cdata = builder.document("Memo")
                          .rawItem("<item name='Body'><text><![CDATA[</item><item name='$FolderRef'>]]></text></item>")
                          .folderRef(folder.unid());
        auto& odd = builder.document("Memo")
                        .rawItem("<item name='Empty'/>")
                        .rawItem("<item name = \"Odd\" x='a>b'><text>c<?pi </item>?></text></item>")
                        .rawItem("<item name='a&amp;b'><text>d</text></item>")
                        .text("Subject", "odd")
                        .folderRef(folder.unid());
        builder.view("Odd ones").formula("SELECT Subject = \"odd\" | Empty = \"\"");
        auto db = open(builder);

        EXPECT_EQ(walk(*db->GetView("Kept")), (std::vector<std::string> { cdata.noteId(), odd.noteId() }));
        EXPECT_EQ(walk(*db->GetView("Odd ones")),
            (std::vector<std::string> { comment.noteId(), cdata.noteId(), odd.noteId() }));

        // The values of a few items, read past the others, are those a whole read gives.
        const std::vector<std::string> names { "Subject", "a&b", "Odd", "Body" };
        std::vector<std::vector<Variant>> rows;
        dynamic_cast<const automation::NotesItemValues&>(*db).EachItemValues(
            names, [&](const std::vector<Variant>& row) { rows.push_back(row); });
        ASSERT_EQ(rows.size(), 3u);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto doc = db->GetDocumentByID(db->AllDocumentIDs()[i]);
            for (std::size_t k = 0; k < names.size(); ++k)
                EXPECT_EQ(rows[i][k], doc->HasItem(names[k]) ? doc->GetItemValue(names[k]) : Variant(VariantArray {}))
                    << names[k] << " of document " << i;
        }
        EXPECT_EQ(rows[2][2], Variant(VariantArray { "c" }));
    }

    TEST_F(PassOverTest, ErrorsNameTheFilesOwnLineAndColumn)
    {
        // Items passed over hold CR LF, a lone CR and characters of several bytes; the note after
        // them starts on the line one of them ends on.
        const std::string head
            = "<?xml version='1.0' encoding='utf-8'?>\r\n<database xmlns='http://www.lotus.com/dxl'>\r\n";
        const std::string first = "<document form='Memo'><noteinfo noteid='4'/><item name='Body'><text>ä€\r\n"
                                  "line\rtwo 😀</text></item><item name='X'><text>é</text></item></document>";
        const std::string second = "<document form='Memo'><noteinfo noteid='8'/><item name='Body'><text>ü</text></item>"
                                   "<item name='N'><number>12abc</number></item></document>\n";
        const std::string good = head + first + second + "</database>\n";
        auto db = open(writeFile("good.dxl", good));
        const std::string error = errorOf([&] { db->GetDocumentByID("8"); });
        EXPECT_NE(error.find(positionOf(path("good.dxl").string(), good, "</number>") + ":"), std::string::npos)
            << error;
        // The index stops at malformed markup after items it passed over, where it is.
        const std::string bad
            = head + first + "<document form='Memo'><item name='Body'><text>ü</text></item></dokument>";
        const std::string message = errorOf([&] { open(writeFile("bad.dxl", bad)); });
        EXPECT_NE(message.find(positionOf(path("bad.dxl").string(), bad, "dokument>") + ":"), std::string::npos)
            << message;
    }

} // namespace
} // namespace notes_test
