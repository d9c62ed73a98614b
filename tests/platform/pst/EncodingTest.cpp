// The encoders of the NDB and LTP layers against bytes worked out by hand from [MS-PST] and
// against bytes Outlook wrote (the reference files), never against their own output.
#include "PstTestSupport.h"

#include "ltp/BTreeOnHeap.h"
#include "ltp/Contexts.h"
#include "messaging/NameToIdMap.h"
#include "messaging/Schema.h"
#include "messaging/Text.h"
#include "ndb/Checksum.h"
#include "ndb/NodeDatabase.h"
#include "ndb/Page.h"
#include "pst/FileSink.h"
#include "verify/Checker.h"
#include "verify/Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <map>

using namespace pst;
using ndb::ByteVector;

namespace {

ByteVector fromHex(const std::string& hex)
{
    ByteVector out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

ByteVector readReference(const std::string& name)
{
    std::ifstream in(psttest::referenceDir() / name, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), {});
}

// The sample Unicode HEADER printed in [MS-PST] 3.1 ("Sample Header"), 528 bytes.
const ByteVector kSampleHeader = fromHex("2142444E0EA99A37534D170013000101"
                                         "5C070000D07B990B0400000001000000"
                                         "54020000000000004500000000040000"
                                         "00040000040400000040000002000100"
                                         "04040000000400000004000000800000"
                                         "00040000000400000004000000040000"
                                         "04040000040400000404000000040000"
                                         "00040000000400000004000000040000"
                                         "00040000000400000004000000040000"
                                         "00040000000400000004000000040000"
                                         "00040000000400000F04000000000000"
                                         "000000000000000000249F0000000000"
                                         "00449B000000000040F2120000000000"
                                         "00000000000000004B02000000000000"
                                         "00529000000000005302000000000000"
                                         "000A9000000000000200000000000000"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                         "800100003414000000000000D683D21F");

TEST(Checksums, CrcOfTheMsPstSampleHeaderAndOfOutlookFiles)
{
    ASSERT_EQ(kSampleHeader.size(), 528u);
    // dwCRCPartial covers the 471 bytes from wMagicClient; dwCRCFull the 516 bytes from there.
    EXPECT_EQ(ndb::crc32(kSampleHeader.data() + 8, 471), 0x379AA90Eu);
    EXPECT_EQ(ndb::crc32(kSampleHeader.data() + 8, 516), 0x1FD283D6u);
    const ByteVector ansi = readReference("test_ansi.pst");
    ASSERT_GE(ansi.size(), 512u);
    EXPECT_EQ(ndb::crc32(ansi.data() + 8, 471), ndb::loadLe(ansi.data() + 4, 4));
    EXPECT_EQ(ndb::crc32(nullptr, 0), 0u);
}

TEST(Checksums, SignatureAndPageTrailerMatchAnOutlookPage)
{
    // ComputeSig: (ib ^ bid) folded to 16 bits; 0x17C00 ^ 0xC07 = 0x17007 -> 0x0001 ^ 0x7007.
    EXPECT_EQ(ndb::computeSig(0x17C00, 0xC07), 0x7006);
    EXPECT_EQ(ndb::computeSig(0x4400, 0x4400), 0);
    EXPECT_EQ(ndb::computeSig(0x1'0000'4400ull, 0x4), 0x4404); // bits 32 and up do not count
    // The NBT root page of dist-list.pst (Unicode): resealing its entries must give Outlook's trailer.
    const ByteVector file = readReference("dist-list.pst");
    const std::uint64_t ib = 0x17C00;
    ASSERT_GE(file.size(), ib + 512);
    std::uint8_t page[512];
    std::copy_n(file.data() + ib, 512, page);
    std::fill(page + 496, page + 512, 0);
    ndb::sealPage(page, ndb::Layout::of(Format::Unicode), ndb::kPtypeNbt, ib, 0xC07);
    EXPECT_TRUE(std::equal(page + 496, page + 512, file.data() + ib + 496));
    // An AMap page: wSig 0 and bid = ib, ANSI order (bid before dwCRC).
    std::uint8_t amap[512] = {};
    amap[4] = 0xFF;
    ndb::sealPage(amap, ndb::Layout::of(Format::Ansi), ndb::kPtypeAMap, 0x4400, 1234);
    EXPECT_EQ(ndb::loadLe(amap + 500, 4), 0x8484u); // ptype, ptypeRepeat, wSig 0
    EXPECT_EQ(ndb::loadLe(amap + 504, 4), 0x4400u);
    EXPECT_EQ(ndb::loadLe(amap + 508, 4), ndb::crc32(amap, 500));
}

TEST(Checksums, PermutationOfAnOutlookBlock)
{
    // A block Outlook encoded: the message store PC of test_ansi.pst (ANSI, bCryptMethod 1) decodes
    // to an HN header (bSig 0xEC, bClientSig 0xBC) and its trailer CRC covers the encoded bytes.
    const ByteVector file = readReference("test_ansi.pst");
    ASSERT_EQ(file[461], ndb::kCryptPermute);
    // The verifier's index finds the block (node 0x21's data) without this test walking the B-trees.
    pst::verifier::MemorySource src({ file.data(), file.size() });
    pst::verifier::Checker index(src, VerifyOptions { 0, true });
    ASSERT_TRUE(index.readHeader());
    index.readBTrees();
    ASSERT_NE(index.node(0x21), nullptr);
    const std::uint64_t storeBid = index.node(0x21)->bidData;
    ASSERT_NE(index.block(storeBid), nullptr);
    const std::uint64_t blockIb = index.block(storeBid)->ib, cb = index.block(storeBid)->cb;
    const ByteVector sealed
        = ndb::sealBlock(ndb::Layout::of(Format::Ansi), file.data() + blockIb, cb, blockIb, storeBid);
    EXPECT_TRUE(std::equal(sealed.begin(), sealed.end(), file.data() + blockIb)) << "block trailer differs";
    ByteVector plain(file.data() + blockIb, file.data() + blockIb + cb);
    ndb::permuteDecode(plain.data(), plain.size());
    EXPECT_EQ(plain[2], 0xEC);
    EXPECT_EQ(plain[3], 0xBC);
}

// Heaps as Outlook writes them (its files show both): the BTHHEADER of a PC, and the row index's
// BTHHEADER then TCINFO of a TC, are the first allocations; an empty string is HNID 0, never a
// zero-length allocation (Microsoft's reader counts those as freed slots that HNPAGEMAP.cFree
// must name).
TEST(Ltp, HeadersComeFirstAndEmptyValuesTakeNoAllocation)
{
    // Keeps each block written, by BID, with its data decoded.
    struct BlockSink : FileSink {
        std::map<std::uint64_t, ByteVector> blocks;
        void writeAt(std::uint64_t, const std::uint8_t* data, std::size_t size) override
        {
            if (size == 512 || size < 16)
                return;
            const std::size_t cb = ndb::loadLe(data + size - 16, 2);
            const std::uint64_t bid = ndb::loadLe(data + size - 8, 8);
            ByteVector b(data, data + cb);
            if (!(bid & 2))
                ndb::permuteDecode(b.data(), b.size());
            blocks[bid] = b;
        }
        void resize(std::uint64_t) override { }
        void sync() override { }
        std::string describe() const override { return "blocks"; }
    };
    auto owned = std::make_unique<BlockSink>();
    BlockSink& sink = *owned;
    ndb::NodeDatabase db(std::move(owned), Format::Unicode, 0);
    EXPECT_THROW(ltp::HeapWriter(db.layout(), ltp::kSigPropertyContext).allocate(nullptr, 0), Error);

    ltp::PropertyMap props { { 0x0E1B, ltp::PropValue::boolean(true) },
        { 0x3001, ltp::PropValue::raw(ltp::kPtUnicode, {}) } };
    const ByteVector pc = sink.blocks.at(ltp::writePropertyContext(db, props).bidData);
    EXPECT_EQ(pc,
        (ByteVector { 36, 0, 0xEC, 0xBC, 0x20, 0, 0, 0, 0, 0, 0, 0, // HNHDR: ibHnpm 36, hidUserRoot 0x20
            0xB5, 2, 6, 0, 0x40, 0, 0, 0, // HID 0x20: BTHHEADER -> records at 0x40
            0x1B, 0x0E, 0x0B, 0, 1, 0, 0, 0, 0x01, 0x30, 0x1F, 0, 0, 0, 0, 0, // HID 0x40: the records
            2, 0, 0, 0, 12, 0, 20, 0, 36, 0 })); // HNPAGEMAP: cAlloc 2, cFree 0

    ltp::TableRow row;
    row.rowId = 1;
    row.cells[ltp::makeTag(0x001A, ltp::kPtUnicode)] = ltp::PropValue::raw(ltp::kPtUnicode, {});
    const ByteVector tc
        = sink.blocks.at(ltp::writeTableContext(db, { ltp::makeTag(0x001A, ltp::kPtUnicode) }, { row }).bidData);
    ASSERT_GT(tc.size(), 40u);
    EXPECT_EQ(ndb::loadLe(tc.data() + 4, 4), 0x40u) << "hidUserRoot: TCINFO second";
    EXPECT_EQ(ByteVector(tc.begin() + 12, tc.begin() + 16), (ByteVector { 0xB5, 4, 4, 0 })) << "row index first";
    EXPECT_EQ(tc[20], 0x7C);
    EXPECT_EQ(ndb::loadLe(tc.data() + 20 + 10, 4), 0x20u) << "TCINFO.hidRowIndex";
    // The one row (row ID, row version, the empty cell as HNID 0, all three CEB bits set).
    const std::uint32_t hnidRows = static_cast<std::uint32_t>(ndb::loadLe(tc.data() + 20 + 14, 4));
    const std::size_t ibHnpm = ndb::loadLe(tc.data(), 2);
    const std::size_t alloc = (hnidRows >> 5) & 0x7FF;
    const std::size_t at = ndb::loadLe(tc.data() + ibHnpm + 4 + 2 * (alloc - 1), 2);
    EXPECT_EQ(
        ByteVector(tc.begin() + at, tc.begin() + at + 13), (ByteVector { 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xE0 }));
    EXPECT_EQ(ndb::loadLe(tc.data() + ibHnpm + 2, 2), 0u) << "cFree";
}

TEST(Ltp, RowMatrixBlocksAreFullExceptTheLast)
{
    // Keeps the BLOCKTRAILER cb of every block written.
    struct TrailerSink : FileSink {
        std::vector<unsigned> cbs;
        void writeAt(std::uint64_t, const std::uint8_t* data, std::size_t size) override
        {
            if (size % 64 == 0 && size >= 64 && size != 512)
                cbs.push_back(static_cast<unsigned>(ndb::loadLe(data + size - 16, 2)));
        }
        void resize(std::uint64_t) override { }
        void sync() override { }
        std::string describe() const override { return "trailers"; }
    };
    auto sink = std::make_unique<TrailerSink>();
    TrailerSink* seen = sink.get();
    ndb::NodeDatabase db(std::move(sink), Format::Unicode, 0);
    std::vector<std::uint32_t> columns;
    for (std::uint16_t id = 0x6000; id < 0x6018; ++id)
        columns.push_back(ltp::makeTag(id, ltp::kPtInt32)); // 24 + 2 columns: 108-byte rows, 75 per block
    std::vector<ltp::TableRow> rows(250);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].rowId = static_cast<std::uint32_t>(0x200024 + 32 * i);
    seen->cbs.clear();
    ltp::writeTableContext(db, columns, rows);
    const auto full = std::count(seen->cbs.begin(), seen->cbs.end(), 8176u);
    EXPECT_EQ(full, 3) << "250 rows of 108 bytes: three full 8 KB blocks, then the rest";
    EXPECT_EQ(std::count(seen->cbs.begin(), seen->cbs.end(), (250u - 225u) * 108u), 1);
}

TEST(Ltp, NameToIdMapRecordsAndBuckets)
{
    messaging::NameToIdMap map;
    EXPECT_EQ(map.idFor(messaging::kPsetidAppointment, 0x8205), 0x8000);
    EXPECT_EQ(map.idFor(messaging::kPsMapi, 0x0001), 0x8001);
    EXPECT_EQ(map.idFor(messaging::kPsetidAppointment, 0x8205), 0x8000); // the same name again
    const auto props = map.properties();
    // GUID stream: only PSETID_Appointment ({00062002-0000-0000-C000-000000000046}); PS_MAPI is wGuid 1.
    EXPECT_EQ(props.at(messaging::kPidNameidStreamGuid).data,
        (ByteVector { 0x02, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46 }));
    // NAMEID: dwPropertyID, (wGuid << 1 | N), wPropIdx; as test_ansi.pst's first entry 05 82 00 00 06 00 00 00.
    EXPECT_EQ(props.at(messaging::kPidNameidStreamEntry).data,
        (ByteVector { 0x05, 0x82, 0, 0, 0x06, 0, 0, 0, 0x01, 0, 0, 0, 0x02, 0, 0x01, 0 }));
    // Bucket (0x8205 ^ 6) % 251 = 33283 % 251 = 151 -> property 0x1097.
    EXPECT_TRUE(props.count(0x1097));
    EXPECT_EQ(props.at(0x1097).data, (ByteVector { 0x05, 0x82, 0, 0, 0x06, 0, 0, 0 }));
    EXPECT_TRUE(props.count(0x1000 + (0x0001 ^ 0x0002) % 251));
}

TEST(Text, Windows1252KeepsWhatItCanAndQuestionMarksTheRest)
{
    EXPECT_EQ(messaging::toWindows1252("Grüße €"), (ByteVector { 'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x80 }));
    EXPECT_EQ(messaging::toWindows1252("日本 ✓"), (ByteVector { '?', '?', ' ', '?' }));
    EXPECT_EQ(messaging::toUtf16le("é✓"), (ByteVector { 0xE9, 0x00, 0x13, 0x27 }));
    EXPECT_EQ(messaging::toUtf16le("😀"), (ByteVector { 0x3D, 0xD8, 0x00, 0xDE })); // surrogate pair
    EXPECT_EQ(messaging::storedText(Format::Ansi, "Año 😀"), "Año ?");
    EXPECT_FALSE(messaging::isValidUtf8("\xC3("));
    EXPECT_FALSE(messaging::isValidUtf8("\xED\xA0\x80")); // a lone surrogate
    EXPECT_TRUE(messaging::isValidUtf8("Ünïcödé ✓ 😀"));
    // Names compare case-insensitively beyond ASCII, as in Outlook.
    EXPECT_EQ(messaging::foldCase("ÜBER Straße ΣΟΦΊΑ 😀"), "über straße σοφία 😀");
}

// Long bodies, every UTF-8 length, and bytes that are not UTF-8, against glibc's own conversion.
TEST(Text, LongAndBrokenTextConvertsAsIconvDoes)
{
    auto iconvAll = [](const char* to, const std::string& in) {
        iconv_t cd = iconv_open(to, "UTF-8");
        ByteVector out(4 * in.size() + 4);
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        char* dst = reinterpret_cast<char*>(out.data());
        std::size_t room = out.size();
        EXPECT_NE(iconv(cd, &src, &left, &dst, &room), static_cast<std::size_t>(-1));
        iconv_close(cd);
        out.resize(out.size() - room);
        return out;
    };
    std::string body;
    for (int i = 0; body.size() < 50'000; ++i)
        body += "line " + std::to_string(i) + ": Grüße – 日本 😀\r\n";
    EXPECT_EQ(messaging::toUtf16le(body), iconvAll("UTF-16LE", body));
    EXPECT_EQ(messaging::stringValue(Format::Unicode, body).data, iconvAll("UTF-16LE", body));

    std::string latin;
    for (int i = 0; latin.size() < 50'000; ++i)
        latin += "Año " + std::to_string(i) + " € ";
    EXPECT_EQ(messaging::toWindows1252(latin), iconvAll("WINDOWS-1252", latin));
    EXPECT_EQ(messaging::storedText(Format::Ansi, latin), latin);
    // Characters Windows-1252 lacks, far beyond the first few hundred bytes.
    EXPECT_EQ(messaging::toWindows1252(std::string(1000, 'a') + "日本").size(), 1002u);

    // Bytes that are not UTF-8 become U+FFFD in the middle of long text, and refuse to be stored.
    const std::string broken = std::string(600, 'x') + "\xFF" + std::string(600, 'y') + "\xED\xA0\x80z";
    ByteVector expected;
    for (int i = 0; i < 600; ++i)
        expected.insert(expected.end(), { 'x', 0 });
    expected.insert(expected.end(), { 0xFD, 0xFF });
    for (int i = 0; i < 600; ++i)
        expected.insert(expected.end(), { 'y', 0 });
    expected.insert(expected.end(), { 0xFD, 0xFF, 'z', 0 });
    EXPECT_EQ(messaging::toUtf16le(broken), expected);
    EXPECT_THROW(messaging::stringValue(Format::Unicode, broken), Error);
    EXPECT_THROW(messaging::stringValue(Format::Ansi, broken), Error);
    EXPECT_EQ(messaging::toUtf16le(""), ByteVector {});
}

} // namespace
