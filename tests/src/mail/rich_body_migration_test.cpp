// Bodies as the sender wrote them, end to end: rich text and native MIME mail converted
// through the real windows, their HTML, inline pictures and Internet identity read back by
// pypff, pffexport and readpst.
#include "conversion_fixture.h"
#include "mime_test_message.h"

namespace {

class RichBodyMigration : public ConversionFixture, public ::testing::WithParamInterface<bool> { };

const std::string Jpeg = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11) + std::string(300, '\x5A') + "\xFF\xD9";
const std::string Gif = std::string("GIF89a\x01\0\x01\0\x80\0\0", 13) + std::string(40, '\x01');
const char* const Doclink
    = "notes:///85257C8B0052A2E3/00000000000000000000000000000000/0123456789ABCDEF0123456789ABCDEF";

std::string richBody()
{
    return "<item name='Body'><richtext><pardef id='1'/><pardef id='2' list='bullet'/>"
           "<par def='1'>Plain, <run><font style='bold'/>bold words</run>, <run><font style='italic'/>italic "
           "words</run> and <run><font color='#ff0000'/>red words</run> &amp; more.</par>"
           "<par def='2'>first point</par><par def='2'>second point \xE6\x97\xA5\xE6\x9C\xAC</par>"
           "<table><tablerow><tablecell><par def='1'>north west</par></tablecell><tablecell><par def='1'>north "
           "east</par></tablecell></tablerow><tablerow><tablecell><par def='1'>south west</par></tablecell>"
           "<tablecell><par def='1'>south east</par></tablecell></tablerow></table>"
           "<par def='1'>See <urllink href='https://example.com/report?a=1&amp;b=2'>the report</urllink> and "
           "<doclink database='85257C8B0052A2E3' view='00000000000000000000000000000000' "
           "document='0123456789ABCDEF0123456789ABCDEF'>the plan</doclink>.</par>"
           "<par def='1'><picture width='20px' height='10px'><jpeg>"
        + dxl::base64(Jpeg) + "</jpeg></picture></par></richtext></item>";
}

// multipart/related of (multipart/alternative of a UTF-8 plain body and an ISO-8859-1 HTML
// body) and a GIF the HTML shows by Content-ID; a reply by its headers.
std::string mimeMessage()
{
    return "From: Karl <karl@example.de>\r\nTo: ann@example.com\r\nSubject: Koeln\r\n"
           "Date: Wed, 4 Mar 2015 10:00:00 +0100\r\nMessage-ID: <reply.1@example.de>\r\n"
           "In-Reply-To: <first.1@example.de>\r\nreferences: <root.0@example.de> (first)\r\n\t<first.1@example.de>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/related; boundary=\"rel\"\r\n\r\n--rel\r\n"
           "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
           "Gr\xC3\xBC\xC3\x9F"
           "e aus K\xC3\xB6ln\r\n--alt\r\n"
           "Content-Type: text/html; charset=ISO-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
           "<html><head><meta http-equiv=3D\"Content-Type\" content=3D\"text/html; charset=3Diso-8859-1\">"
           "</head><body><p>Gr=FC=DFe aus <b>K=F6ln</b></p><img src=3D\"cid:pic@example.de\"></body></html>\r\n"
           "--alt--\r\n--rel\r\nContent-Type: image/gif\r\nContent-ID: <pic@example.de>\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n"
        + mime_test::crlfBase64(Gif) + "--rel--\r\n";
}

// Headers a careless mailer wrote: an invalid encoded word, a NUL byte, a References field
// folded over thousands of lines.
std::string brokenHeaders()
{
    std::string folds;
    for (int i = 0; i < 5000; ++i)
        folds += "\r\n ";
    return "From: bo@example.com\r\nSubject: Broken headers\r\nMessage-ID: <broken.1@example.com>\r\n"
           "X-Junk: =?utf-8?q?=FF=?= "
        + std::string(1, '\0') + " after\r\nReferences: <a.1@example.com>" + folds
        + "<b.2@example.com>\r\nContent-Type: text/plain\r\n\r\nStill here\r\n";
}

QJsonObject hiddenPart(const QJsonObject& item, const QString& contentId)
{
    for (const auto& a : item.value("attachments").toArray())
        if (a.toObject().value("content_id").toString() == contentId)
            return a.toObject();
    return {};
}

} // namespace

TEST_P(RichBodyMigration, FormattingPicturesAndThreadsSurvive)
{
    const bool unicode = GetParam();
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto& original = db.document("Memo")
                         .text("Subject", "Quarterly plan")
                         .text("$MessageID", "<plan.7@mail.example.com>")
                         .rawItem(richBody());
    auto& reply = db.document("Memo")
                      .text("Subject", "Re: Quarterly plan")
                      .text("$Ref", original.unid())
                      .richText("Body", { "Thanks,", "Ann" });
    auto& mime = db.document("Memo").nativeMime(mimeMessage());
    auto& textMemo = db.document("Memo").text("Subject", "Plain").text("Body", "one < two\nthree");
    auto& broken = db.document("Memo").nativeMime(brokenHeaders());
    auto& withFile
        = db.document("Memo").text("Subject", "Picture and file").rawItem(richBody()).attachment("notes.txt", "notes");
    db.folder("($Inbox)")
        .entries({ original.noteId(), reply.noteId(), mime.noteId(), textMemo.noteId(), broken.noteId(),
            withFile.noteId() });
    const QString pst = convert(db, unicode, { c().SaveOptionEmails });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);

    for (const char* reader : Readers) {
        SCOPED_TRACE(reader);
        const QString html = v.item(reader, "Inbox", "Quarterly plan").value("html").toString();
        for (const char* fragment : { "<b>bold words</b>", "<i>italic words</i>", "color:#FF0000;\">red words",
                 "&amp; more", "<ul", "<li>first point</li>", "<li>second point ", "<table",
                 "<td style=\"border:1px solid #808080;vertical-align:top\"><div>south east</div>",
                 "href=\"https://example.com/report?a=1&amp;b=2\">the report</a>", "src=\"cid:image001.jpg@" })
            EXPECT_TRUE(html.contains(QLatin1String(fragment))) << fragment << "\n" << html.toStdString();
        EXPECT_TRUE(html.contains(QStringLiteral("href=\"%1\">the plan</a>").arg(Doclink))) << html.toStdString();
        EXPECT_EQ(html.count(QLatin1String("<td")), 4);

        const QJsonObject fromMime = v.item(reader, "Inbox", "Koeln");
        EXPECT_TRUE(fromMime.value("html").toString().contains(
            QString::fromUtf8("<p>Gr\xC3\xBC\xC3\x9F"
                              "e aus <b>K\xC3\xB6ln</b></p><img src=\"cid:pic@example.de\">")))
            << fromMime.value("html").toString().toStdString();
        if (unicode) {
            EXPECT_EQ(fromMime.value("body").toString(),
                QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"
                                  "e aus K\xC3\xB6ln"));
        }
    }

    // What pypff shows of the properties: both bodies, the pictures, the identity.
    const QJsonObject rich = v.item("pypff", "Inbox", "Quarterly plan");
    const QJsonObject props = rich.value("props").toObject();
    const QString plain = props.value("0x1000").toString();
    EXPECT_TRUE(plain.contains(QLatin1String("Plain, bold words, italic words and red words & more.\r\nfirst point")))
        << plain.toStdString();
    EXPECT_EQ(plain.count(QLatin1Char('\n')), plain.count(QLatin1String("\r\n")));
    EXPECT_EQ(props.value("0x1016").toInt(), 3); // PidTagNativeBody: HTML
    EXPECT_EQ(props.value("0x3FDE").toInt(), unicode ? 65001 : 1252);
    EXPECT_TRUE(rich.value("html").toString().contains(unicode ? "charset=utf-8" : "charset=windows-1252"));
    // Characters Windows-1252 lacks are character references in an ANSI file.
    EXPECT_TRUE(
        rich.value("html").toString().contains(unicode ? QString::fromUtf8("second point \xE6\x97\xA5\xE6\x9C\xAC</li>")
                                                       : "second point &#26085;&#26412;</li>"));
    const QString cid = rich.value("html").toString().section(QLatin1String("src=\"cid:"), 1).section('"', 0, 0);
    const QJsonObject picture = hiddenPart(rich, cid);
    EXPECT_EQ(picture.value("sha256").toString(), Sha256(QByteArray::fromStdString(Jpeg))) << cid.toStdString();
    EXPECT_TRUE(picture.value("hidden").toBool());

    const QJsonObject fromMime = v.item("pypff", "Inbox", "Koeln");
    const QJsonObject mimeProps = fromMime.value("props").toObject();
    EXPECT_EQ(
        hiddenPart(fromMime, "pic@example.de").value("sha256").toString(), Sha256(QByteArray::fromStdString(Gif)));
    EXPECT_EQ(mimeProps.value("0x1035").toString(), "<reply.1@example.de>");
    EXPECT_EQ(mimeProps.value("0x1042").toString(), "<first.1@example.de>");
    EXPECT_EQ(mimeProps.value("0x1039").toString(), "<root.0@example.de> <first.1@example.de>");
    EXPECT_TRUE(mimeProps.value("0x007D").toString().contains("Message-ID: <reply.1@example.de>\r\n"));
    EXPECT_TRUE(fromMime.value("html").toString().contains(unicode ? "charset=utf-8" : "charset=windows-1252"));

    const QJsonObject fromBroken = v.item("pypff", "Inbox", "Broken headers");
    EXPECT_EQ(fromBroken.value("body").toString().trimmed(), "Still here");
    EXPECT_EQ(fromBroken.value("props").toObject().value("0x1035").toString(), "<broken.1@example.com>");
    EXPECT_EQ(fromBroken.value("props").toObject().value("0x1039").toString(), "<a.1@example.com> <b.2@example.com>");

    // Outlook's paperclip: a message whose attachments are all hidden inline pictures is marked
    // as having none to show (PidLidSmartNoAttach), though it has attachments (mfHasAttach).
    const auto paperclip = [&](const char* subject) {
        const QJsonObject item = v.item("pypff", "Inbox", subject);
        const QJsonValue noAttach = item.value("named").toObject().value("PSETID_Common:0x8514");
        const bool hasAttach = item.value("props").toObject().value("0x0E07").toInt() & 0x10;
        return std::pair { noAttach.isBool() ? QString::number(noAttach.toBool()) : QString("unset"), hasAttach };
    };
    EXPECT_EQ(paperclip("Quarterly plan"), std::pair(QString("1"), true));
    EXPECT_EQ(paperclip("Koeln"), std::pair(QString("1"), true));
    EXPECT_EQ(paperclip("Picture and file"), std::pair(QString("0"), true));
    EXPECT_EQ(paperclip("Plain"), std::pair(QString("unset"), false));

    // A plain text body is the native one; its HTML is made from it.
    const QJsonObject fromText = v.item("pypff", "Inbox", "Plain");
    EXPECT_EQ(fromText.value("props").toObject().value("0x1016").toInt(), 1);
    EXPECT_TRUE(fromText.value("html").toString().contains("<div>one &lt; two<br>\nthree</div>"));

    // The reply, which names its original by UNID only, is tied to it: the same topic, its index
    // the original's and one block, its In-Reply-To the original's own Message-ID.
    const QJsonObject answer = v.item("pypff", "Inbox", "Re: Quarterly plan").value("props").toObject();
    EXPECT_EQ(answer.value("0x0070").toString(), "Quarterly plan");
    EXPECT_EQ(props.value("0x0070").toString(), "Quarterly plan");
    const QString index = props.value("0x0071").toString();
    EXPECT_EQ(index.size(), 44);
    EXPECT_EQ(answer.value("0x0071").toString().left(44), index);
    EXPECT_EQ(answer.value("0x0071").toString().size(), 54);
    EXPECT_EQ(props.value("0x1035").toString(), "<plan.7@mail.example.com>");
    EXPECT_EQ(answer.value("0x1042").toString(), "<plan.7@mail.example.com>");
    EXPECT_EQ(tempLeftovers(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Formats, RichBodyMigration, ::testing::Values(true, false), FormatName);
