// Where the PST layer writes its bytes. The store owns one sink per file; tests wrap it to
// simulate failures (disk full after N bytes, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pst {

class FileSink {
public:
    virtual ~FileSink() = default;
    // Writes all of [data, data + size) at offset; throws pst::Error on failure.
    virtual void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
    // Sets the file length (growing fills with zeros).
    virtual void resize(std::uint64_t size) = 0;
    // Reserves the disk space for a file of that size without changing its length, so that a
    // later resize is quick and a full disk shows up here. Sinks that cannot do so need not.
    virtual void reserve(std::uint64_t /*size*/) { }
    // Makes everything written so far durable.
    virtual void sync() = 0;
    // A name for error messages (the file path).
    virtual std::string describe() const = 0;
};

} // namespace pst
