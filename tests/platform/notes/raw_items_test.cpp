// The binary layouts of RFC822 text and MIME part items, on bytes from a real Domino 9.0.1
// export (tests/data/dxl/real/testJsonSerialization-spam.xml) and on cut and lying copies.
#include "dxl_builder.h"
#include "notes/raw_items.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace notes::detail;

std::string unhex(std::string_view hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

// The memo's PostedDate item: a date header with its TIMEDATE.
const std::string PostedDate
    = unhex("0e0009000000080004000200240004155f002e7d2504") + "Date: Fri, 8 Aug 2014 13:18:33 -0400 (EDT)";
// The memo's Subject item (text, strict storage), header body ending in CRLF.
const std::string Subject = unhex("0e000a0000003400070002003600")
    + "Extra 60% 0ff EVERYTHING + Lots More Summer Savings.Subject: Extra 60% 0ff EVERYTHING + Lots More Summer "
      "Savings.\r\n";

TEST(RawItemsTest, Rfc822ItemsOfARealMemo)
{
    const auto subject = parseRfc822Item(Subject);
    ASSERT_TRUE(subject);
    EXPECT_EQ(subject->format, Rfc822Item::Format::Text);
    EXPECT_EQ(subject->flags, 0x0AU);
    EXPECT_TRUE(subject->complete);
    EXPECT_EQ(subject->native, "Extra 60% 0ff EVERYTHING + Lots More Summer Savings.");
    EXPECT_EQ(subject->name, "Subject");
    EXPECT_EQ(subject->delimiter, ": ");
    EXPECT_EQ(subject->body, "Extra 60% 0ff EVERYTHING + Lots More Summer Savings.\r\n");

    const auto date = parseRfc822Item(PostedDate);
    ASSERT_TRUE(date);
    EXPECT_EQ(date->format, Rfc822Item::Format::Date);
    EXPECT_EQ(date->native.size(), 8U);
    EXPECT_EQ(date->body, "Fri, 8 Aug 2014 13:18:33 -0400 (EDT)");
    const auto when = parseTimeDate(date->native);
    ASSERT_TRUE(when);
    // 13:18:33 at -04:00 is 17:18:33 UTC.
    EXPECT_EQ(when->toUnixMillis(), 1407518313000);
    EXPECT_EQ(when->offsetMinutes, -240);
}

TEST(RawItemsTest, CutAndLyingRfc822ItemsGiveWhatIsThere)
{
    // Shorter than its 14-byte header: nothing.
    for (std::size_t n = 0; n < 14; ++n)
        EXPECT_FALSE(parseRfc822Item(Subject.substr(0, n))) << n;
    // Cut inside the texts: the texts up to the cut, marked incomplete.
    const std::string cutBytes = Subject.substr(0, 14 + 20); // the views point into it
    const auto cut = parseRfc822Item(cutBytes);
    ASSERT_TRUE(cut);
    EXPECT_FALSE(cut->complete);
    EXPECT_EQ(cut->native, "Extra 60% 0ff EVERYT");
    EXPECT_TRUE(cut->name.empty());
    // Lengths far past the end (0xFFFF each).
    const std::string lyingBytes = unhex("0e000a000000ffffffffffffffff") + "abc";
    const auto lying = parseRfc822Item(lyingBytes);
    ASSERT_TRUE(lying);
    EXPECT_FALSE(lying->complete);
    EXPECT_EQ(lying->native, "abc");
}

TEST(RawItemsTest, MimePartLayout)
{
    // The memo's Body header: version 2, headers flag, body part, 0x471A bytes, 0x57 of headers.
    const std::string headers = "Content-Type: text/plain\r\n\r\n";
    const std::string bytes = dxl::mimePartBytes(2, "--b\r\n", headers, "Hello\r\n");
    const auto part = parseMimePart(bytes);
    ASSERT_TRUE(part);
    EXPECT_TRUE(part->complete);
    EXPECT_EQ(part->partType, 2);
    EXPECT_EQ(part->flags, 3U);
    EXPECT_EQ(part->boundary, "--b\r\n");
    EXPECT_EQ(part->headers, headers);
    EXPECT_EQ(part->body, "Hello\r\n");

    const std::string realBytes = unhex("02000200000002001a4700005700000000000000") + "Content-Transfer-Encoding";
    const auto real = parseMimePart(realBytes);
    ASSERT_TRUE(real);
    EXPECT_EQ(real->partType, 2);
    EXPECT_FALSE(real->complete); // 0x471A bytes announced, 25 there
    EXPECT_EQ(real->headers, "Content-Transfer-Encoding");
    EXPECT_TRUE(real->body.empty());
}

TEST(RawItemsTest, CutAndLyingMimeParts)
{
    const std::string bytes = dxl::mimePartBytes(2, "--b\r\n", "H: v\r\n\r\n", "body");
    for (std::size_t n = 0; n < 20; ++n)
        EXPECT_FALSE(parseMimePart(bytes.substr(0, n))) << n;
    for (std::size_t n = 20; n < bytes.size(); ++n) {
        const std::string cut = bytes.substr(0, n);
        const auto part = parseMimePart(cut);
        ASSERT_TRUE(part);
        EXPECT_FALSE(part->complete);
        EXPECT_EQ(part->boundary.size() + part->headers.size() + part->body.size(), n - 20);
    }
    // Boundary and headers longer than the byte count: cut to it, no body.
    std::string lying = bytes;
    lying[8] = 4; // wByteCount 4
    lying[9] = 0;
    const auto part = parseMimePart(lying);
    ASSERT_TRUE(part);
    EXPECT_FALSE(part->complete);
    EXPECT_EQ(part->boundary, "--b\r");
    EXPECT_TRUE(part->headers.empty());
    EXPECT_TRUE(part->body.empty());
}

TEST(RawItemsTest, TimeDates)
{
    // ANYDAY / ALLDAY, a time beyond a day, a short value: no instant.
    EXPECT_FALSE(parseTimeDate(unhex("ffffffffffffffff")));
    EXPECT_FALSE(parseTimeDate(unhex("00d68300"
                                     "2e7d2504"))); // 8640000 ticks
    EXPECT_FALSE(parseTimeDate(unhex("04155f002e7d25")));
    // East of GMT, 5 hours 30 (zone 5, two quarters): the instant stays, the offset is +05:30.
    const auto east = parseTimeDate(unhex("04155f002e7d2565"));
    ASSERT_TRUE(east);
    EXPECT_EQ(east->toUnixMillis(), 1407518313000);
    EXPECT_EQ(east->offsetMinutes, 330);
}

} // namespace
