// Unicode files of 2.5 GB and 8 GB, written sparsely: the store starts as that much free space
// (CreateOptions::initialSize, with no disk space reserved), so every allocation map region and
// its map pages are real. New blocks go to the smallest free extents first, which lie beside
// the FPMap at 2 GB and in the FMap regions spread over the whole file (the last one near 8 GB),
// so a few megabytes of attachments reach the places where map pages and data meet. Judged by
// the verifier, pffinfo and pypff's attachment checksums.
#include "PstTestSupport.h"

#include "pst/FileSink.h"
#include "pst/Store.h"
#include "pst/Verify.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

using namespace psttest;

namespace {

// Passes everything on but the disk reservation, so the file stays sparse.
class SparseSink : public pst::FileSink {
public:
    explicit SparseSink(std::unique_ptr<pst::FileSink> inner)
        : inner_(std::move(inner))
    {
    }
    void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override
    {
        inner_->writeAt(offset, data, size);
    }
    void resize(std::uint64_t size) override { inner_->resize(size); }
    void sync() override { inner_->sync(); }
    std::string describe() const override { return inner_->describe(); }

private:
    std::unique_ptr<pst::FileSink> inner_;
};

std::string sha256(const std::filesystem::path& file)
{
    const auto r = run("sha256sum " + quote(file.string()));
    return r.output.substr(0, 64);
}

struct Size {
    std::uint64_t fileBytes;
    int messages; // each with a 1 MB attachment
    pst::Format format = pst::Format::Unicode;
};

class LargeFile : public ::testing::TestWithParam<Size> { };

TEST_P(LargeFile, MapPagesAndAttachmentsSurviveEverywhereInTheFile)
{
    const Size size = GetParam();
    ScratchDir dir;
    const auto path = dir / "large.pst";
    pst::CreateOptions o;
    o.initialSize = size.fileBytes;
    o.wrapSink = [](std::unique_ptr<pst::FileSink> s) { return std::make_unique<SparseSink>(std::move(s)); };
    std::vector<std::string> expected;
    {
        auto store = pst::Store::create(path, size.format, "Large", o);
        pst::Folder inbox = store.defaultFolder(pst::DefaultFolder::Inbox);
        std::mt19937_64 rng(size.fileBytes);
        std::vector<char> data(1 << 20);
        for (int i = 0; i < size.messages; ++i) {
            for (auto& c : data)
                c = static_cast<char>(rng());
            const auto file = dir / ("a" + std::to_string(i) + ".bin");
            std::ofstream(file, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
            pst::MessageData m;
            const std::string subject = "Message " + std::to_string(i);
            m.properties = { { 0x0037, std::nullopt, 0x001F, subject } };
            m.attachments = { { "a" + std::to_string(i) + ".bin", file } };
            inbox.addMessage(m);
            expected.push_back("/Top of Personal Folders/Inbox | " + subject + " | a" + std::to_string(i) + ".bin "
                + std::to_string(data.size()) + " " + sha256(file));
            std::filesystem::remove(file);
            if (i % 8 == 7)
                store.flush();
        }
        store.close();
    }
    EXPECT_GE(std::filesystem::file_size(path), size.fileBytes);

    // The verifier: no findings, every message counted.
    const pst::VerifyReport report = pst::verify(path, psttest::writerOptions());
    for (const auto& f : report.findings)
        ADD_FAILURE() << pst::describe(f);
    EXPECT_EQ(report.messages, static_cast<std::uint64_t>(size.messages));
    const auto info = run("pffinfo " + quote(path.string()));
    EXPECT_EQ(info.exitCode, 0) << info.output;
    const auto sums = script("attachment_sums.py", quote(path.string()));
    ASSERT_EQ(sums.exitCode, 0) << sums.output;
    EXPECT_EQ(lines(sums.output), expected);
}

// An ANSI file stops short of 2 GB; its last regions still hold FMaps and data side by side.
INSTANTIATE_TEST_SUITE_P(Sizes, LargeFile,
    ::testing::Values(
        Size { 2500ull << 20, 12 }, Size { 8ull << 30, 40 }, Size { 1990ull << 20, 12, pst::Format::Ansi }),
    [](const auto& info) {
        return std::to_string(info.param.fileBytes >> 20) + "MB"
            + (info.param.format == pst::Format::Ansi ? "Ansi" : "");
    });

} // namespace
