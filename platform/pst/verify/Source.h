// Where the verifier reads from: a file through pread, or a buffer in memory (the fuzzer and
// the tests). Reads are positional and bounded by the caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace pst::verifier {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Copies up to n bytes from offset; returns how many it copied (fewer at the end).
    virtual std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) = 0;
};

class FileSource final : public ByteSource {
public:
    // Throws Error(Io) when the file cannot be opened.
    explicit FileSource(const std::filesystem::path& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) override;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::filesystem::path path_;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes)
        : bytes_(bytes)
    {
    }
    std::uint64_t size() const override { return bytes_.size(); }
    std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) override;

private:
    std::span<const std::uint8_t> bytes_;
};

} // namespace pst::verifier
