// The node database under load: thousands of nodes inserted, replaced and deleted in random
// order across several commits, data trees up to XXBLOCKs, subnode trees up to SIBLOCKs. The
// strict checker judges the file (only the messaging-level "missing mandatory node" findings
// are expected, since no store is built here).
#include "PstTestSupport.h"

#include "ndb/Allocator.h"
#include "ndb/NodeDatabase.h"
#include "ndb/PosixFile.h"
#include "pst/FileSink.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

using namespace pst;
using psttest::ScratchDir;

namespace {

std::vector<std::string> errorsBesidesMissingNodes(const pst::VerifyReport& report)
{
    std::vector<std::string> out;
    for (const auto& f : report.findings)
        if (f.code != "NODE_MISSING")
            out.push_back(pst::describe(f));
    return out;
}

// Keeps what is written, by offset (the map pages of an allocator).
struct PageSink : FileSink {
    std::map<std::uint64_t, ndb::ByteVector> pages;
    void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override
    {
        pages[offset] = ndb::ByteVector(data, data + size);
    }
    void resize(std::uint64_t) override { }
    void sync() override { }
    std::string describe() const override { return "pages"; }
};

class NodeDatabaseLoad : public ::testing::TestWithParam<Format> { };

TEST_P(NodeDatabaseLoad, RandomInsertsReplacementsAndDeletesStayConsistent)
{
    ScratchDir dir;
    const auto path = dir / "ndb.pst";
    ndb::NodeDatabase db(ndb::PosixFileSink::createExclusive(path), GetParam(), 0);
    const auto& layout = db.layout();
    std::mt19937 rng(1234);
    std::map<std::uint32_t, bool> live;
    auto payload = [&](std::size_t size) {
        ndb::ByteVector b(size);
        for (auto& c : b)
            c = static_cast<std::uint8_t>(rng());
        return b;
    };
    auto writeNode = [&](std::uint32_t nid, std::size_t size, std::size_t subnodes) {
        const auto data = payload(size);
        const std::uint64_t bid = db.writeData(data.data(), data.size());
        std::vector<ndb::SubnodeEntry> subs;
        for (std::size_t i = 0; i < subnodes; ++i) {
            const auto d = payload(16 + rng() % 64);
            subs.push_back({ ndb::makeNid(ndb::kNidTypeLtp, static_cast<std::uint32_t>(i + 1)),
                db.writeData(d.data(), d.size()), 0 });
        }
        db.putNode(nid, bid, db.writeSubnodeTree(subs), 0);
        live[nid] = true;
    };
    // One node per data shape: a block, an XBLOCK, an XXBLOCK; SLBLOCK and SIBLOCK subnodes.
    writeNode(ndb::makeNid(ndb::kNidTypeInternal, 0x500), 100, 0);
    writeNode(ndb::makeNid(ndb::kNidTypeInternal, 0x501), 3 * layout.maxBlockData + 7, layout.maxSlEntries() + 5);
    writeNode(ndb::makeNid(ndb::kNidTypeInternal, 0x502),
        (layout.maxXBlockEntries() + 2) * std::size_t(layout.maxBlockData), 3);
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 1500; ++i) {
            const std::uint32_t nid = ndb::makeNid(ndb::kNidTypeNormalMessage, 0x10000 + rng() % 5000);
            if (live.count(nid) && rng() % 3 == 0) {
                EXPECT_TRUE(db.deleteNode(nid));
                live.erase(nid);
            } else {
                writeNode(nid, 1 + rng() % 300, rng() % 4 == 0 ? 2 : 0);
            }
        }
        db.commit();
        EXPECT_EQ(db.nodeCount(), live.size());
    }
    db.commit();
    // The NDB alone: no messaging layer, so the mandatory nodes are absent.
    auto check = psttest::verify(path, { 0, false });
    EXPECT_EQ(errorsBesidesMissingNodes(check.report), std::vector<std::string> {}) << check.output;
    EXPECT_EQ(check.report.nodes, live.size());
}

INSTANTIATE_TEST_SUITE_P(Formats, NodeDatabaseLoad, ::testing::Values(Format::Ansi, Format::Unicode),
    [](const auto& info) { return info.param == Format::Ansi ? std::string("Ansi") : std::string("Unicode"); });

TEST(NodeDatabase, ReferenceCountsCountTheBbtEntryToo)
{
    ndb::NodeDatabase db(std::make_unique<PageSink>(), Format::Unicode, 0);
    const std::uint8_t data[] = { 1, 2, 3 };
    const std::uint64_t bid = db.writeData(data, sizeof data);
    EXPECT_EQ(db.referenceCount(bid), 2); // the BBTENTRY and its holder
    db.putNode(0x21, bid, 0, 0);
    db.addRef(bid); // a second node shares the block
    db.putNode(0x41, bid, 0, 0);
    EXPECT_EQ(db.referenceCount(bid), 3);
    EXPECT_TRUE(db.deleteNode(0x21));
    EXPECT_EQ(db.referenceCount(bid), 2);
    // Replacing the last holder's data leaves only the BBT's reference: the block goes.
    const std::uint64_t other = db.writeData(data, 2);
    db.putNode(0x41, other, 0, 0);
    EXPECT_EQ(db.referenceCount(bid), 0);
    EXPECT_EQ(db.blockCount(), 1u);
    // A data tree's children are held by its XBLOCK and go with it.
    std::vector<std::uint8_t> big(3 * db.layout().maxBlockData, 7);
    const std::uint64_t tree = db.writeData(big.data(), big.size());
    EXPECT_EQ(tree & 2, 2u); // internal: an XBLOCK
    EXPECT_EQ(db.blockCount(), 5u);
    db.putNode(0x61, tree, 0, 0);
    EXPECT_TRUE(db.deleteNode(0x61));
    EXPECT_EQ(db.blockCount(), 1u);
}

// The map pages of the first 40,000 regions (about 10 GB) against offsets taken from [MS-PST]
// 2.2.2.7.2-2.2.2.7.6 and Outlook's files: AMaps from 0x4400 every 253,952 bytes; PMaps from 0x4600
// every 8 AMaps; FMaps from 0x4800 + 128 regions every 496; FPMaps (Unicode only) from
// 0x4A00 + 8,192 regions every 31,744. The AMap bits mark exactly those pages, and allocation never
// hands one out (an FPMap region has its FPMap at +1536 and free space at +1024).
TEST(Allocator, MapPagesLieWhereMsPstPutsThemForTenGigabytes)
{
    constexpr std::uint64_t kRegions = 40000, kRegion = 253952;
    for (Format format : { Format::Unicode, Format::Ansi }) {
        SCOPED_TRACE(format == Format::Unicode ? "Unicode" : "ANSI");
        std::map<std::uint64_t, std::uint8_t> expected; // offset -> ptype
        for (std::uint64_t n = 0; n < kRegions; ++n)
            expected[0x4400 + n * kRegion] = ndb::kPtypeAMap;
        for (std::uint64_t n = 0; n * 8 < kRegions; ++n)
            expected[0x4600 + n * 8 * kRegion] = ndb::kPtypePMap;
        for (std::uint64_t n = 0; 128 + n * 496 < kRegions; ++n)
            expected[0x4800 + (128 + n * 496) * kRegion] = ndb::kPtypeFMap;
        if (format == Format::Unicode)
            for (std::uint64_t n = 0; 8192 + n * 31744 < kRegions; ++n)
                expected[0x4A00 + (8192 + n * 31744) * kRegion] = ndb::kPtypeFPMap;

        ndb::Allocator alloc(ndb::Layout::of(format));
        alloc.addRegions(kRegions);
        PageSink sink;
        alloc.writeRegionPages(sink, 0);
        const unsigned trailer = format == Format::Unicode ? 16 : 12;
        std::map<std::uint64_t, std::uint8_t> written;
        for (const auto& [ib, page] : sink.pages)
            written[ib] = page[512 - trailer];
        EXPECT_EQ(written, expected);
        // Each AMap marks the map pages of its region (a byte of 0xFF per 512-byte page) and
        // nothing else.
        const unsigned pad = format == Format::Unicode ? 0 : 4;
        for (std::uint64_t n = 0; n < kRegions; ++n) {
            const std::uint64_t base = 0x4400 + n * kRegion;
            ndb::ByteVector bits(496, 0);
            for (std::uint64_t k = 0; k < 4; ++k)
                if (expected.count(base + k * 512))
                    bits[k] = 0xFF;
            const auto& page = sink.pages.at(base);
            if (!std::equal(bits.begin(), bits.end(), page.begin() + pad)) {
                ADD_FAILURE() << "AMap of region " << n << " marks other slots";
                break;
            }
        }
        EXPECT_EQ(alloc.freeBytes(), kRegions * kRegion - expected.size() * 512);
        // The free 512 bytes before each FPMap are the best fit for a 512-byte block; the FPMaps
        // themselves are never handed out (their bits are taken, above).
        if (format == Format::Unicode) {
            EXPECT_EQ(*alloc.allocate(512, 64), 0x4400 + 8192 * kRegion + 1024);
            EXPECT_EQ(*alloc.allocate(512, 64), 0x4400 + (8192 + 31744) * kRegion + 1024);
        }
    }
}

// Freed space comes back only after releasePending, and best fit reuses it first.
TEST(Allocator, FreedSpaceReturnsAfterTheCommit)
{
    ndb::Allocator alloc(ndb::Layout::of(Format::Unicode));
    alloc.addRegions(3);
    const auto a = *alloc.allocate(8192, 64);
    const auto freeBefore = alloc.freeBytes();
    alloc.freeAfterCommit(a, 8192);
    EXPECT_EQ(alloc.freeBytes(), freeBefore);
    EXPECT_TRUE(alloc.isAllocated(a));
    EXPECT_TRUE(alloc.releasePending());
    EXPECT_EQ(alloc.freeBytes(), freeBefore + 8192);
    EXPECT_EQ(*alloc.allocate(8192, 64), a);
}

// Each FMap byte is the longest run of free slots in its AMap, up to 255 ([MS-PST] 2.2.2.7.4),
// also after frees scattered over many regions and written in one go.
TEST(Allocator, FMapsFollowTheAMapsTheyDescribe)
{
    const auto& layout = ndb::Layout::of(Format::Unicode);
    ndb::Allocator alloc(layout);
    const std::uint64_t regions = 700; // FMaps in regions 128 and 624
    alloc.addRegions(regions);
    PageSink sink;
    alloc.writeRegionPages(sink, 0);
    std::mt19937 rng(7);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> taken;
    for (;;) {
        const std::uint64_t size = 64 * (1 + rng() % 24);
        const auto ib = alloc.allocate(size, 64);
        if (!ib)
            break;
        taken.emplace_back(*ib, size);
    }
    for (const auto& [ib, size] : taken)
        if (rng() % 3 == 0)
            alloc.freeAfterCommit(ib, size);
    ASSERT_TRUE(alloc.releasePending());
    std::uint64_t pageBid = 1;
    alloc.writeMapPages(sink, [&] { return pageBid++; });

    const std::uint64_t regionBytes = 253952;
    auto longestRun = [&](std::uint64_t region) {
        const auto& page = sink.pages.at(0x4400 + region * regionBytes);
        unsigned best = 0, run = 0;
        for (unsigned slot = 0; slot < 496 * 8; ++slot) {
            run = (page[slot / 8] & (0x80u >> (slot % 8))) ? 0 : run + 1;
            best = std::max(best, run);
        }
        return std::min(best, 255u);
    };
    // Then a change in one region only: the FMap covering it is written again.
    std::uint64_t lone = 0;
    for (const auto& [ib, size] : taken)
        if ((ib - 0x4400) / regionBytes == 630 && alloc.isAllocated(ib)) {
            alloc.freeAfterCommit(ib, size);
            lone = ib;
        }
    ASSERT_NE(lone, 0u);
    ASSERT_TRUE(alloc.releasePending());
    alloc.writeMapPages(sink, [&] { return pageBid++; });

    std::set<unsigned> seen;
    for (std::uint64_t fmap : { 128u, 624u }) {
        const auto& page = sink.pages.at(0x4800 + fmap * regionBytes);
        ASSERT_EQ(page[512 - 16], ndb::kPtypeFMap);
        for (std::uint64_t i = 0; i < 496 && fmap + i < regions; ++i) {
            EXPECT_EQ(page[i], longestRun(fmap + i)) << "region " << fmap + i;
            seen.insert(page[i]);
        }
    }
    EXPECT_GT(seen.size(), 3u) << "the frees leave runs of several lengths";
}

} // namespace
