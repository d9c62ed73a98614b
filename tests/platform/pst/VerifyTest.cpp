// The PST verifier: Outlook's own files give no findings, our writer's files are judged, and a
// table of modelled faults, each written into a copy of a file with everything else kept
// consistent (CRCs, encodings, free counts), must each be found under its own code. Hostile
// inputs (truncations, flipped bytes) must end in findings, never in a crash or a hang.
#include "PstTestSupport.h"

#include "pst/Store.h"
#include "pst/Verify.h"
#include "verify/Checker.h"
#include "verify/Codec.h"
#include "verify/VerifySource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>

using namespace psttest;
namespace v = pst::verifier;

namespace {

const std::filesystem::path kData = std::filesystem::path(FERRYMARK_TEST_DATA_DIR) / "pst";

std::vector<std::uint8_t> load(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

std::uint64_t le(const std::vector<std::uint8_t>& d, std::size_t at, unsigned w)
{
    std::uint64_t v = 0;
    for (unsigned i = 0; i < w; ++i)
        v |= std::uint64_t(d.at(at + i)) << (8 * i);
    return v;
}

void put(std::vector<std::uint8_t>& d, std::size_t at, std::uint64_t v, unsigned w)
{
    for (unsigned i = 0; i < w; ++i)
        d.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

pst::VerifyReport verifyBytes(const std::vector<std::uint8_t>& bytes, bool strictMessageSize = false)
{
    v::MemorySource src({ bytes.data(), bytes.size() });
    return v::verifySource(src, { 0, true, strictMessageSize });
}

std::size_t count(const pst::VerifyReport& r, const std::string& code)
{
    return static_cast<std::size_t>(
        std::count_if(r.findings.begin(), r.findings.end(), [&](const pst::Finding& f) { return f.code == code; }));
}

std::string text(const pst::VerifyReport& r)
{
    std::string s;
    for (const auto& f : r.findings)
        s += pst::describe(f) + "\n";
    return s;
}

// A PST in memory with the verifier's own index of it, and edits that keep every checksum,
// encoding and counter right except the one rule a fault means to break.
struct Image {
    std::vector<std::uint8_t> d;
    std::unique_ptr<v::MemorySource> src;
    std::unique_ptr<v::Checker> c;
    std::map<std::uint64_t, std::size_t> bbtEntryAt; // BID -> file offset of its BBTENTRY
    std::vector<std::uint64_t> bbtLeafPages;

    explicit Image(std::vector<std::uint8_t> bytes)
        : d(std::move(bytes))
    {
        index();
    }
    const v::Geometry& g() const { return c->g_; }
    void index()
    {
        src = std::make_unique<v::MemorySource>(std::span<const std::uint8_t>(d.data(), d.size()));
        c = std::make_unique<v::Checker>(*src, pst::VerifyOptions { 0, true });
        c->readHeader();
        c->readBTrees();
        c->ltpBudget_ = 1u << 20;
        bbtEntryAt.clear();
        bbtLeafPages.clear();
        walkBbt(c->bbtIb_);
    }
    void walkBbt(std::uint64_t ib)
    {
        const unsigned area = g().btArea, w = g().w;
        const unsigned n = d[ib + area], cb = d[ib + area + 2], level = d[ib + area + 3];
        if (level == 0)
            bbtLeafPages.push_back(ib);
        for (unsigned i = 0; i < n; ++i) {
            const std::size_t at = ib + std::size_t(i) * cb;
            if (level > 0)
                walkBbt(le(d, at + 2 * w, w));
            else
                bbtEntryAt[le(d, at, w)] = at;
        }
    }
    void sealPage(std::size_t ib)
    {
        const std::size_t t = 512 - g().pageTrailer;
        put(d, ib + t + (g().unicode ? 4 : 8), v::crc32(&d[ib], t), 4);
    }
    void sealHeader()
    {
        put(d, 4, v::crc32(&d[8], 471), 4);
        if (g().unicode)
            put(d, 524, v::crc32(&d[8], 516), 4);
    }
    const v::BbtEntry& entry(std::uint64_t bid) { return *c->block(bid); }
    // The decoded data of a block.
    std::vector<std::uint8_t> block(std::uint64_t bid)
    {
        std::vector<std::uint8_t> out;
        EXPECT_TRUE(c->readBlock(bid, out, true));
        return out;
    }
    // Writes data back as block bid at its place (it may shrink): encoded, trailer, CRC, BBT cb.
    void writeBlock(std::uint64_t bid, std::vector<std::uint8_t> data)
    {
        const v::BbtEntry e = entry(bid);
        ASSERT_LE(g().blockSize(data.size()), g().blockSize(e.cb));
        if (!(bid & 2) && d[g().unicode ? 513 : 461] == 1)
            v::encodePermute(data.data(), data.size());
        std::copy(data.begin(), data.end(), d.begin() + static_cast<std::ptrdiff_t>(e.ib));
        const std::size_t t = e.ib + g().blockSize(data.size()) - g().blockTrailer;
        put(d, t, data.size(), 2);
        put(d, t + 2, v::computeSig(e.ib, e.bid), 2);
        put(d, t + (g().unicode ? 4 : 8), v::crc32(data.data(), data.size()), 4);
        put(d, t + (g().unicode ? 8 : 4), e.bid, g().w);
        if (data.size() != e.cb) {
            const std::size_t at = bbtEntryAt.at(e.bid);
            put(d, at + 2 * g().w, data.size(), 2);
            sealPage(at / 512 * 512);
        }
        index();
    }
    const v::NbtEntry& node(std::uint64_t nid) { return *c->node(nid); }
    v::Checker::Object object(std::uint64_t nid, bool pc)
    {
        v::Checker::Object o;
        const auto& n = node(nid);
        c->openObject(nid, n.bidData, n.bidSub, "test", o, pc);
        return o;
    }
};

// HNPAGEMAP edits on a decoded heap block: allocation k (1-based) changes by delta bytes, the
// bytes after it move, and the page map follows.
void resizeAllocation(std::vector<std::uint8_t>& b, unsigned k, int delta)
{
    const std::size_t ibHnpm = le(b, 0, 2);
    const unsigned cAlloc = static_cast<unsigned>(le(b, ibHnpm, 2));
    std::vector<std::uint16_t> offs(cAlloc + 1);
    for (unsigned i = 0; i <= cAlloc; ++i)
        offs[i] = static_cast<std::uint16_t>(le(b, ibHnpm + 4 + 2 * i, 2));
    const std::size_t end = offs[k];
    if (delta < 0)
        b.erase(b.begin() + static_cast<std::ptrdiff_t>(end + delta), b.begin() + static_cast<std::ptrdiff_t>(end));
    else
        b.insert(b.begin() + static_cast<std::ptrdiff_t>(end), static_cast<std::size_t>(delta), 0);
    for (unsigned i = k; i <= cAlloc; ++i)
        offs[i] = static_cast<std::uint16_t>(offs[i] + delta);
    const std::size_t hnpm = ibHnpm + delta;
    put(b, 0, hnpm, 2);
    for (unsigned i = 0; i <= cAlloc; ++i)
        put(b, hnpm + 4 + 2 * i, offs[i], 2);
}

unsigned allocIndex(std::uint32_t hid) { return (hid >> 5) & 0x7FF; }

// A store of our writer: folders, messages with recipients, one with an attachment large
// enough for a data tree.
std::vector<std::uint8_t> writerFile(const ScratchDir& dir, pst::Format format, const std::string& name)
{
    const auto path = dir / name;
    const auto attachment = dir / (name + ".bin");
    {
        std::ofstream out(attachment, std::ios::binary);
        for (int i = 0; i < 40000; ++i)
            out.put(static_cast<char>(i * 7));
    }
    auto store = pst::Store::create(path, format, "Verifier");
    auto projects = store.ipmSubtree().createSubfolder("Projects");
    projects.createSubfolder("Archive");
    auto inbox = store.defaultFolder(pst::DefaultFolder::Inbox);
    for (int i = 0; i < 3; ++i) {
        pst::MessageData m;
        m.properties = { { 0x0037, std::nullopt, 0x001F, "Message " + std::to_string(i) },
            { 0x1000, std::nullopt, 0x001F, std::string("Body") } };
        m.recipients = { { "Anna", "anna@example.com", "SMTP", 1 } };
        if (i == 1)
            m.attachments = { { "data.bin", attachment } };
        (i == 2 ? projects : inbox).addMessage(m);
    }
    store.close();
    return load(path);
}

using Mutation = std::function<bool(Image&)>; // false: the base has no structure for it

// The first external block of the message store's heap (a one-block PC in every base).
std::uint64_t storeHeapBid(Image& im) { return im.node(0x21).bidData; }

bool clearAMapBitOfBlock(Image& im)
{
    const auto& e = im.entry(storeHeapBid(im));
    const std::uint64_t slot = (e.ib - v::kFirstAMap) / 64;
    const std::size_t amap = v::kFirstAMap + slot / 3968 * v::kRegion;
    const std::size_t byte = amap + im.g().mapPad + (slot % 3968) / 8;
    im.d[byte] = static_cast<std::uint8_t>(im.d[byte] & ~(0x80 >> (slot % 8)));
    im.sealPage(amap);
    return true;
}

bool editBbtEntry(Image& im, const std::function<void(std::size_t at)>& edit)
{
    const std::size_t at = im.bbtEntryAt.at(im.entry(storeHeapBid(im)).bid);
    edit(at);
    im.sealPage(at / 512 * 512);
    return true;
}

bool heapEdit(Image& im, std::uint64_t nid, const std::function<bool(std::vector<std::uint8_t>&, Image&)>& edit)
{
    const std::uint64_t bid = im.node(nid).bidData;
    if (bid & 2)
        return false;
    auto b = im.block(bid);
    if (!edit(b, im))
        return false;
    im.writeBlock(bid, b);
    return true;
}

// The contents table of a folder with at least one message, its row matrix in the heap.
std::optional<std::uint64_t> folderWithMessages(Image& im)
{
    for (const auto& n : im.c->nbt_)
        if ((n.nid & 0x1F) == 0x04 && im.c->node((n.parent & ~0x1Fu) | 0x0E))
            return n.parent;
    return std::nullopt;
}

struct Fault {
    const char* name;
    const char* code;
    Mutation apply;
};

const std::vector<Fault>& faults()
{
    static const std::vector<Fault> table = {
        { "header CRC", "HEADER_CRC_PARTIAL",
            [](Image& im) {
                im.d[12] ^= 0x01; // wVerClient
                return true;
            } },
        { "truncated file", "HEADER_EOF_SHORT",
            [](Image& im) {
                im.d.resize(im.d.size() - 64 * 1024);
                return true;
            } },
        { "block CRC", "BLOCK_CRC",
            [](Image& im) {
                im.d[im.entry(storeHeapBid(im)).ib + 20] ^= 0x40;
                return true;
            } },
        { "page CRC", "PAGE_CRC",
            [](Image& im) {
                im.d[im.c->nbtIb_ + im.g().btArea - 1] ^= 0x01; // the unused end of the NBT root page
                return true;
            } },
        { "page signature", "PAGE_SIG",
            [](Image& im) {
                const std::size_t t = im.c->bbtIb_ + 512 - im.g().pageTrailer;
                im.d[t + 2] ^= 0x10;
                im.sealPage(im.c->bbtIb_);
                return true;
            } },
        { "unsorted B-tree leaf", "BT_KEY_ORDER",
            [](Image& im) {
                const std::size_t page = im.bbtLeafPages.front();
                const unsigned cb = im.d[page + im.g().btArea + 2];
                std::swap_ranges(im.d.begin() + static_cast<std::ptrdiff_t>(page),
                    im.d.begin() + static_cast<std::ptrdiff_t>(page + cb),
                    im.d.begin() + static_cast<std::ptrdiff_t>(page + cb));
                im.sealPage(page);
                return true;
            } },
        { "AMap bit cleared for a reachable block", "AMAP_UNMARKED", clearAMapBitOfBlock },
        { "overlapping allocations", "ALLOC_OVERLAP",
            [](Image& im) {
                // The store heap's BBT entry points at the block before it in the file.
                const auto& mine = im.entry(storeHeapBid(im));
                std::uint64_t other = 0;
                for (const auto& e : im.c->bbt_)
                    if (e.ib < mine.ib && e.ib > other)
                        other = e.ib;
                return other && editBbtEntry(im, [&](std::size_t at) { put(im.d, at + im.g().w, other, im.g().w); });
            } },
        { "data tree total", "DTREE_TOTAL",
            [](Image& im) {
                for (const auto& e : im.c->bbt_) {
                    auto b = im.block(e.bid);
                    if ((e.bid & 2) && b.size() >= 8 && b[0] == 0x01) {
                        put(b, 4, le(b, 4, 4) + 1, 4);
                        im.writeBlock(e.bid, b);
                        return true;
                    }
                }
                return false;
            } },
        { "heap cFree", "HN_FREE_COUNT",
            [](Image& im) {
                return heapEdit(im, 0x21, [](auto& b, Image&) {
                    const std::size_t hnpm = le(b, 0, 2);
                    put(b, hnpm + 2, le(b, hnpm + 2, 2) + 1, 2);
                    return true;
                });
            } },
        { "zero-length heap allocation", "HN_EMPTY_ALLOC",
            [](Image& im) {
                // The store's display name shrinks to nothing; cFree counts it, as it should.
                const auto o = im.object(0x21, true);
                const v::Prop* p = o.prop(0x3001);
                if (!p || (p->hnid & 0x1F) || (p->hnid >> 16))
                    return false;
                return heapEdit(im, 0x21, [&](auto& b, Image&) {
                    const std::size_t hnpm = le(b, 0, 2);
                    const unsigned k = allocIndex(p->hnid);
                    const int size = static_cast<int>(le(b, hnpm + 4 + 2 * k, 2) - le(b, hnpm + 2 + 2 * k, 2));
                    resizeAllocation(b, k, -size);
                    const std::size_t moved = le(b, 0, 2);
                    put(b, moved + 2, le(b, moved + 2, 2) + 1, 2);
                    return true;
                });
            } },
        { "TC row index one short", "TC_ROW_COUNT",
            [](Image& im) {
                // The root folder's hierarchy table loses its last row index record.
                const auto o = im.object(0x12D, false);
                const v::View info = o.heap.get(o.heap.userRoot);
                const std::uint32_t hidIndex = info.u32(10);
                const v::View bth = o.heap.get(hidIndex);
                const std::uint32_t leaf = bth.u32(4);
                if (bth.u8(3) != 0 || (leaf >> 16))
                    return false;
                return heapEdit(im, 0x12D, [&](auto& b, Image& i) {
                    resizeAllocation(b, allocIndex(leaf), -static_cast<int>(4 + i.g().rowIndexEnt));
                    return true;
                });
            } },
        { "dangling HNID in a PC", "PC_HNID",
            [](Image& im) {
                const auto o = im.object(0x21, true);
                const v::Prop* p = o.prop(0x3001);
                if (!p)
                    return false;
                return heapEdit(im, 0x21, [&](auto& b, Image& i) {
                    // Find the PC record of PidTagDisplayName and point it past the allocations.
                    const v::View bth = o.heap.get(o.heap.userRoot);
                    const std::uint32_t leaf = bth.u32(4);
                    const std::size_t hnpm = le(b, 0, 2);
                    const std::size_t start = le(b, hnpm + 2 + 2 * allocIndex(leaf), 2);
                    for (std::size_t at = start; at + 8 <= le(b, hnpm + 4 + 2 * allocIndex(leaf), 2); at += 8)
                        if (le(b, at, 2) == 0x3001) {
                            put(b, at + 4, 0x7E0u, 4); // HID index 63 in block 0
                            (void)i;
                            return true;
                        }
                    return false;
                });
            } },
        { "contents row missing for a message", "CONTENTS_ROWS",
            [](Image& im) {
                const auto folder = folderWithMessages(im);
                if (!folder)
                    return false;
                const std::uint64_t tnid = (*folder & ~0x1Full) | 0x0E;
                const auto o = im.object(tnid, false);
                const v::View info = o.heap.get(o.heap.userRoot);
                const std::uint32_t hidIndex = info.u32(10), rows = info.u32(14);
                const v::View bth = o.heap.get(hidIndex);
                const std::uint32_t leaf = bth.u32(4);
                const std::size_t rowSize = info.u16(8);
                if (bth.u8(3) != 0 || (rows & 0x1F) || (rows >> 16) || (leaf >> 16))
                    return false;
                const v::View matrix = o.heap.get(rows), records = o.heap.get(leaf);
                const std::size_t n = matrix.n / rowSize;
                const unsigned rec = 4 + im.g().rowIndexEnt;
                // Drop the last row and the index record that points at it.
                std::size_t which = records.n / rec;
                for (std::size_t i = 0; i < records.n / rec; ++i)
                    if (records.le(i * rec + 4, im.g().rowIndexEnt) == n - 1)
                        which = i;
                if (which == records.n / rec)
                    return false;
                return heapEdit(im, tnid, [&](auto& b, Image&) {
                    const std::size_t hnpm = le(b, 0, 2);
                    const std::size_t recStart = le(b, hnpm + 2 + 2 * allocIndex(leaf), 2) + which * rec;
                    const std::size_t recEnd = le(b, hnpm + 4 + 2 * allocIndex(leaf), 2);
                    // Move the records after it down, then shrink both allocations.
                    std::copy(b.begin() + static_cast<std::ptrdiff_t>(recStart + rec),
                        b.begin() + static_cast<std::ptrdiff_t>(recEnd),
                        b.begin() + static_cast<std::ptrdiff_t>(recStart));
                    const unsigned ki = allocIndex(leaf), km = allocIndex(rows);
                    resizeAllocation(b, std::max(ki, km), -static_cast<int>(ki > km ? rec : rowSize));
                    resizeAllocation(b, std::min(ki, km), -static_cast<int>(ki > km ? rowSize : rec));
                    return true;
                });
            } },
        { "PidTagContentCount off by one", "CONTENT_COUNT",
            [](Image& im) {
                return heapEdit(im, 0x122, [](auto& b, Image&) {
                    // Inline PT_LONG records: wPropId 0x3602, wPropType 0x0003, value.
                    for (std::size_t at = 0; at + 8 <= b.size(); ++at)
                        if (le(b, at, 4) == 0x00033602) {
                            put(b, at + 4, le(b, at + 4, 4) + 1, 4);
                            return true;
                        }
                    return false;
                });
            } },
        { "BBT cRef", "BBT_REFCOUNT",
            [](Image& im) {
                return editBbtEntry(im, [&](std::size_t at) {
                    put(im.d, at + 2 * im.g().w + 2, le(im.d, at + 2 * im.g().w + 2, 2) + 1, 2);
                });
            } },
        { "bidNextB too low", "HEADER_BID_NEXT_B",
            [](Image& im) {
                put(im.d, im.g().unicode ? 516 : 24, 4, im.g().w);
                im.sealHeader();
                return true;
            } },
    };
    return table;
}

} // namespace

TEST(PstVerify, OutlookFilesHaveNoFindings)
{
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(kData)) {
        if (e.path().extension() != ".pst")
            continue;
        ++files;
        const auto r = pst::verify(e.path());
        EXPECT_TRUE(r.ok()) << e.path().filename() << "\n" << text(r);
        EXPECT_TRUE(r.format.has_value());
        EXPECT_GE(r.folders.size(), 6u) << e.path().filename();
        EXPECT_EQ(r.folders.front().path, "\\");
    }
    EXPECT_EQ(files, 7u);
    const auto dist = pst::verify(kData / "dist-list.pst");
    EXPECT_EQ(dist.folders.size(), 24u);
    EXPECT_EQ(dist.messages, 4u);
    EXPECT_EQ(*pst::verify(kData / "test_ansi.pst").format, pst::Format::Ansi);
}

// Outlook 2007 SP2 onwards stores PidTagMessageSize as the bytes of the message node's data tree
// and of all its subnodes' data: its files agree with the strict check, all but the one contents
// row of submessage.pst that lags its message (a note by default, a finding when strict).
TEST(PstVerify, MessageSizeAsOutlookStoresIt)
{
    pst::VerifyOptions strict;
    strict.strictMessageSize = true;
    for (const char* name : { "sample1.pst", "sample2.pst" }) {
        const auto r = pst::verify(kData / name, strict);
        EXPECT_TRUE(r.ok()) << name << "\n" << text(r);
    }
    const auto lagging = pst::verify(kData / "submessage.pst", strict);
    ASSERT_EQ(lagging.findingCount, 1u) << text(lagging);
    EXPECT_EQ(lagging.findings[0].code, "ROW_MISMATCH");
    EXPECT_NE(lagging.findings[0].actual.find("row 20613, message 20929"), std::string::npos)
        << lagging.findings[0].actual;
    const auto lenient = pst::verify(kData / "submessage.pst");
    EXPECT_TRUE(lenient.ok()) << text(lenient);
    EXPECT_EQ(count(lenient, "ROW_MISMATCH"), 0u);
    ASSERT_EQ(lenient.notes.size(), 1u);
    EXPECT_EQ(lenient.notes[0].code, "ROW_MISMATCH");
    // dist-list.pst: the appointment (2 embedded exceptions) was written by a later Outlook than
    // the other five messages, which hold the older sum of property sizes.
    const auto mixed = pst::verify(kData / "dist-list.pst", strict);
    EXPECT_EQ(count(mixed, "MESSAGE_SIZE"), 6u) << text(mixed);
    for (const auto& f : mixed.findings)
        EXPECT_EQ(f.where.find("0x2000C4"), std::string::npos) << pst::describe(f);
}

// submessage.pst's embedded message, its object changed to name no subnode, then another size.
TEST(PstVerify, EmbeddedMessageObjectsAreChecked)
{
    const std::vector<std::uint8_t> object = { 0x44, 0x00, 0x20, 0x00, 0x88, 0x1E, 0x00, 0x00 }; // 0x200044, 7816
    for (int field : { 0, 4 }) {
        Image im(load(kData / "submessage.pst"));
        const std::uint64_t bid = im.object(0x200024, true).ctx.sub(0x8025)->bidData;
        std::vector<std::uint8_t> b = im.block(bid);
        const auto at = std::search(b.begin(), b.end(), object.begin(), object.end());
        ASSERT_NE(at, b.end());
        at[field] = static_cast<std::uint8_t>(at[field] + 0x20);
        im.writeBlock(bid, b);
        const auto r = verifyBytes(im.d, true);
        ASSERT_EQ(count(r, "ATTACHMENT_OBJECT"), 1u) << text(r);
        const auto f = std::find_if(
            r.findings.begin(), r.findings.end(), [](const auto& x) { return x.code == "ATTACHMENT_OBJECT"; });
        EXPECT_NE(f->actual.find(field == 0 ? "no such subnode" : "7848"), std::string::npos) << text(r);
    }
}

TEST(PstVerify, WriterFilesHaveNoFindings)
{
    ScratchDir dir;
    for (auto format : { pst::Format::Unicode, pst::Format::Ansi }) {
        const auto bytes = writerFile(dir, format, format == pst::Format::Ansi ? "ansi.pst" : "unicode.pst");
        const auto r = verifyBytes(bytes, true);
        EXPECT_TRUE(r.ok()) << text(r);
        EXPECT_TRUE(r.notes.empty()) << text(r);
        EXPECT_EQ(r.messages, 3u);
        auto inbox = std::find_if(
            r.folders.begin(), r.folders.end(), [](auto& f) { return f.path == "\\Top of Personal Folders\\Inbox"; });
        ASSERT_NE(inbox, r.folders.end());
        EXPECT_EQ(inbox->messages, 2u);
        EXPECT_EQ(inbox->contentsRows, 2u);
        EXPECT_EQ(inbox->contentCount, 2u);
    }
}

TEST(PstVerify, EveryModelledFaultIsFound)
{
    ScratchDir dir;
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> bases = {
        { "test_unicode.pst", load(kData / "test_unicode.pst") },
        { "test_ansi.pst", load(kData / "test_ansi.pst") },
        { "our Unicode file", writerFile(dir, pst::Format::Unicode, "base.pst") },
        { "our ANSI file", writerFile(dir, pst::Format::Ansi, "base-ansi.pst") },
    };
    for (const Fault& f : faults()) {
        int applied = 0;
        for (const auto& [name, bytes] : bases) {
            Image im(bytes);
            if (!f.apply(im))
                continue;
            ++applied;
            const auto before = verifyBytes(bytes);
            const auto after = verifyBytes(im.d);
            EXPECT_GT(count(after, f.code), count(before, f.code))
                << f.name << " in " << name << ": expected " << f.code << ", found\n"
                << text(after);
        }
        EXPECT_GE(applied, 2) << f.name;
    }
}

TEST(PstVerify, HostileInputsEndInFindings)
{
    const auto base = load(kData / "test_unicode.pst");
    std::mt19937 rng(7);
    // Truncations, then random bytes over random places (metadata included).
    for (std::size_t size : { std::size_t(0), std::size_t(100), std::size_t(600), std::size_t(0x4400),
             std::size_t(0x4600), std::size_t(90000), base.size() - 1 }) {
        const std::vector<std::uint8_t> cut(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(size));
        const auto r = verifyBytes(cut);
        EXPECT_FALSE(r.ok()) << size;
    }
    for (int round = 0; round < 150; ++round) {
        auto bytes = base;
        for (int k = 0; k < 1 + round % 20; ++k)
            bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
        verifyBytes(bytes); // must return
    }
    EXPECT_EQ(verifyBytes(std::vector<std::uint8_t>(4096, 0)).format, std::nullopt);
}

TEST(PstVerify, ToolExitCodes)
{
    ScratchDir dir;
    auto bad = load(kData / "test_ansi.pst");
    bad[12] ^= 1;
    std::ofstream(dir / "bad.pst", std::ios::binary)
        .write(reinterpret_cast<const char*>(bad.data()), static_cast<std::streamsize>(bad.size()));
    std::ofstream(dir / "text.pst") << "not a PST";
    const std::string tool = quote(FERRYMARK_VERIFY_TOOL) + " ";
    auto good = run(tool + quote((kData / "dist-list.pst").string()) + " --folders");
    EXPECT_EQ(good.exitCode, 0) << good.output;
    EXPECT_NE(good.output.find(
                  "folder \\Top of Personal Folders\\Contacts: 2 messages, 2 rows, content count 2, 0 subfolders"),
        std::string::npos)
        << good.output;
    EXPECT_NE(
        good.output.find("Unicode, 128 nodes, 155 blocks, 4 messages, 24 folders, 0 findings"), std::string::npos);
    auto broken = run(tool + quote((dir / "bad.pst").string()));
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.output.find("HEADER_CRC_PARTIAL at offset 4"), std::string::npos) << broken.output;
    EXPECT_EQ(run(tool + quote((dir / "text.pst").string())).exitCode, 2);
    EXPECT_EQ(run(tool + quote((dir / "missing.pst").string())).exitCode, 2);
}
