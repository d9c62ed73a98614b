// Native MIME mail end to end: a message stored as Domino stores Internet mail (RFC822 text
// items and MIME part items), converted through the real windows, read back by pypff,
// pffexport and readpst.
#include "conversion_fixture.h"
#include "mime_test_message.h"

namespace {

class NativeMimeMigration : public ConversionFixture, public ::testing::WithParamInterface<bool> { };

} // namespace

TEST_P(NativeMimeMigration, MessageArrivesWithItsTextDateAndFiles)
{
    const auto m = mime_test::message();
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto& memo = db.document("Memo").nativeMime(m.rfc5322);
    db.folder("($Inbox)").entries({ memo.noteId() });
    const QString pst = convert(db, GetParam(), { c().SaveOptionEmails });
    ASSERT_FALSE(pst.isEmpty()) << (ui.messages().empty() ? "" : ui.messages().back().text.toStdString());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    const bool unicode = GetParam();
    const QString subject = QString::fromUtf8(mime_test::Subject);
    for (const char* reader : Readers) {
        SCOPED_TRACE(reader);
        // An ANSI file holds the subject in its code page: compare what that keeps.
        const QJsonArray items = v.items(reader, "Inbox");
        ASSERT_EQ(items.size(), 1);
        const QJsonObject item = items.at(0).toObject();
        if (unicode) {
            EXPECT_EQ(item.value("subject").toString(), subject);
        }
        // Tue, 3 Mar 2015 09:41:07 +0100
        EXPECT_EQ(item.value("sent").toString(), "2015-03-03T08:41:07");
        if (unicode) {
            EXPECT_EQ(item.value("body").toString().toStdString(), m.text);
        }
        QStringList expected { AttachmentLine(QString::fromUtf8(mime_test::CsvName), QByteArray::fromStdString(m.csv)),
            AttachmentLine(QString::fromUtf8(mime_test::PdfName), QByteArray::fromStdString(m.pdf)),
            AttachmentLine("logo.png", QByteArray::fromStdString(m.png)) };
        QStringList got = AttachmentsOf(item);
        expected.sort();
        got.sort();
        if (unicode) {
            EXPECT_EQ(got, expected);
        } else {
            EXPECT_EQ(got.size(), 3);
        }
    }
    EXPECT_EQ(tempLeftovers(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Formats, NativeMimeMigration, ::testing::Values(true, false), FormatName);
