// MIME bodies and header texts through GMime: the parts of a real-world message shape,
// charsets, encoded words and RFC 2231 names, HTML text, and input GMime cannot make sense of.
#include "mime_test_message.h"
#include "notes/mime_body.h"

#include <gtest/gtest.h>

namespace {

using namespace notes::detail;

std::string crlfToLf(std::string s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n'))
            out += s[i];
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

TEST(MimeBodyTest, MixedRelatedAlternativeMessage)
{
    const auto m = mime_test::message();
    const auto body = parseMimeBody(m.rfc5322);
    ASSERT_TRUE(body.parsed);
    EXPECT_EQ(crlfToLf(body.plain), m.text); // ISO-8859-1 quoted-printable, now UTF-8
    EXPECT_NE(body.html.find("f\xC3\xBCr n\xC3\xA4"
                             "chste"),
        std::string::npos);
    EXPECT_EQ(body.subject, mime_test::Subject);
    EXPECT_EQ(body.from, std::vector<std::string> { "J\xC3\xBCrgen M\xC3\xBCller <juergen@example.de>" });
    EXPECT_EQ(body.to, (std::vector<std::string> { "Ann Lee <ann@example.com>", "bo@example.com" }));
    EXPECT_EQ(body.cc, std::vector<std::string> { "carl@example.org" });
    ASSERT_TRUE(body.date);
    EXPECT_EQ(body.date->toUnixMillis(), 1425372067000); // 2015-03-03T08:41:07Z
    EXPECT_EQ(body.date->offsetMinutes, 60);

    ASSERT_EQ(body.attachments.size(), 3U);
    const auto& logo = body.attachments[0];
    EXPECT_EQ(logo.fileName, "logo.png");
    EXPECT_EQ(logo.contentType, "image/png");
    EXPECT_EQ(logo.contentId, "logo.1@example.de");
    EXPECT_TRUE(logo.isInline);
    EXPECT_EQ(*logo.data, m.png);
    EXPECT_EQ(body.attachments[1].fileName, mime_test::PdfName);
    EXPECT_FALSE(body.attachments[1].isInline);
    EXPECT_EQ(*body.attachments[1].data, m.pdf);
    EXPECT_EQ(body.attachments[2].fileName, mime_test::CsvName);
    EXPECT_EQ(*body.attachments[2].data, m.csv); // a text attachment keeps its bytes
}

TEST(MimeBodyTest, EntitiesWithoutMessageHeaders)
{
    // A bare entity, as MIME part items hold it: a Windows-1252 body and an encoded-word name.
    const auto body
        = parseMimeBody("Content-Type: multipart/mixed; boundary=x\r\n\r\n"
                        "--x\r\nContent-Type: text/plain; charset=windows-1252\r\n\r\n"
                        "Caf\xE9 \x80 5\r\n"
                        "--x\r\nContent-Type: application/octet-stream; name=\"=?UTF-8?B?w6ku?= =?UTF-8?Q?txt?=\"\r\n"
                        "Content-Disposition: attachment\r\n\r\nabc\r\n--x--\r\n");
    ASSERT_TRUE(body.parsed);
    EXPECT_EQ(crlfToLf(body.plain), "Caf\xC3\xA9 \xE2\x82\xAC 5");
    ASSERT_EQ(body.attachments.size(), 1U);
    EXPECT_EQ(body.attachments[0].fileName, "\xC3\xA9.txt");
    EXPECT_EQ(*body.attachments[0].data, "abc");
    // HTML only: the text comes from htmlToText; a nameless image gets a made-up name.
    const auto html = parseMimeBody("Content-Type: multipart/related; boundary=r\r\n\r\n--r\r\n"
                                    "Content-Type: text/html\r\n\r\n<p>A</p>\r\n--r\r\nContent-Type: image/gif\r\n"
                                    "Content-ID: <g>\r\nContent-Transfer-Encoding: base64\r\n\r\nR0lG\r\n--r--\r\n");
    EXPECT_EQ(crlfToLf(html.html), "<p>A</p>");
    ASSERT_EQ(html.attachments.size(), 1U);
    EXPECT_EQ(html.attachments[0].fileName, "part1.gif");
    EXPECT_EQ(*html.attachments[0].data, "GIF");
    EXPECT_TRUE(html.attachments[0].isInline);
}

TEST(MimeBodyTest, BadInputGivesWhatCanBeRead)
{
    // Nothing at all, binary noise, a multipart that never ends, an unknown charset, broken
    // base64, a boundary that never comes: no crash, and the text that is there.
    EXPECT_TRUE(parseMimeBody("").plain.empty());
    parseMimeBody(std::string("\0\xFF\x01\r\n\r\n\xFE", 8));
    const auto open = parseMimeBody("Content-Type: multipart/mixed; boundary=z\r\n\r\n--z\r\n\r\nstill here");
    EXPECT_NE(open.plain.find("still here"), std::string::npos);
    const auto charset = parseMimeBody("Content-Type: text/plain; charset=x-no-such\r\n\r\nplain \xE9");
    EXPECT_NE(charset.plain.find("plain "), std::string::npos);
    const auto broken = parseMimeBody("Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\n@@@!!");
    ASSERT_EQ(broken.attachments.size(), 1U);
    // Nesting far deeper than any mail: parts below the limit are left out, no stack overflow.
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" + std::to_string(i)
            + "\r\n";
    parseMimeBody(deep);
}

TEST(MimeBodyTest, HeaderTexts)
{
    EXPECT_EQ(decodeHeaderText("=?ISO-8859-1?Q?Gr=FC=DFe?=\r\n =?UTF-8?B?w6k=?= x\r\n"),
        "Gr\xC3\xBC\xC3\x9F"
        "e\xC3\xA9 x"); // blanks between encoded words go
    EXPECT_EQ(decodeHeaderText("Plain, folded\r\n\ttext\r\n"), "Plain, folded\ttext");
    const auto date = decodeHeaderDate("Fri, 8 Aug 2014 13:18:33 -0400 (EDT)\r\n");
    ASSERT_TRUE(date);
    EXPECT_EQ(date->toUnixMillis(), 1407518313000);
    EXPECT_EQ(date->offsetMinutes, -240);
    EXPECT_FALSE(decodeHeaderDate("no date at all"));
    EXPECT_EQ(decodeHeaderAddresses("\"Lee, Ann\" <ann@example.com>, bo@example.com"),
        (std::vector<std::string> { "\"Lee, Ann\" <ann@example.com>", "bo@example.com" }));
}

TEST(MimeBodyTest, MailIdentityOfHeaderBlocks)
{
    const auto id = parseMailIdentity("Subject: =?UTF-8?B?w6k=?=\r\nmessage-id:  <abc.1@example.com> (sent by us)\r\n"
                                      "IN-REPLY-TO: Ann's note of Monday <first@example.com>\r\n"
                                      "References: <root@example.com>\r\n (old) <mid@example.com>\r\n"
                                      "\t<first@example.com>\r\nX-Other: <not@this.one>\r\n");
    EXPECT_EQ(id.messageId, "<abc.1@example.com>");
    EXPECT_EQ(id.inReplyTo, std::vector<std::string> { "<first@example.com>" });
    EXPECT_EQ(
        id.references, (std::vector<std::string> { "<root@example.com>", "<mid@example.com>", "<first@example.com>" }));
    EXPECT_TRUE(parseMailIdentity("").messageId.empty());

    // Broken blocks: what GMime can read of them, and never a crash.
    const std::string huge = "References: <a@b>" + std::string(200000, ' ') + "\r\n <c@d>\r\n";
    EXPECT_EQ(parseMailIdentity(huge + "Message-ID: <m@x>\r\n").references.size(), 2U);
    EXPECT_EQ(parseMailIdentity(std::string("Message-ID: <n\0ul@x>\r\nIn-Reply-To: <p@x>\r\n", 42)).inReplyTo,
        std::vector<std::string> { "<p@x>" });
    const auto encoded = parseMailIdentity("Message-ID: <=?UTF-8?Q?=FF?=@x>\r\nReferences: =?bogus?Q?<r@x>?=\r\n");
    EXPECT_TRUE(encoded.messageId.ends_with("@x>")) << encoded.messageId;
    const auto noColon = parseMailIdentity("Message-ID: <ok@x>\r\nthis line has no colon\r\nIn-Reply-To: <q@x>\r\n");
    EXPECT_EQ(noColon.messageId, "<ok@x>");
    EXPECT_EQ(noColon.inReplyTo, std::vector<std::string> { "<q@x>" });
    parseMailIdentity("\r\n\r\n:\r\n");
    parseMailIdentity(std::string(100000, '\0'));
}

TEST(MimeBodyTest, HtmlText)
{
    EXPECT_EQ(htmlToText("<html><head><title>T</title><style>p{}</style></head><body><!-- c -->"
                         "<p>One &amp; <b>two</b></p><p>th&#xE9;&#233;&nbsp;x<br>y</p>"
                         "<script>var a = '<p>';</script><table><tr><td>a</td><td>b</td></tr></table>&bogus; &</body>"),
        "One & two\n\nth\xC3\xA9\xC3\xA9\xC2\xA0x\ny\n\na b\n\n&bogus; &");
    EXPECT_EQ(htmlToText("<p unclosed"), "");
    EXPECT_EQ(htmlToText("<head><title>T</title><body>Text"), "Text"); // a head never closed
    EXPECT_EQ(htmlToText("<script>never closed"), "");
}

} // namespace
