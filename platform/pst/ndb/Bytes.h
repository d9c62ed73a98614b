// Little-endian serialization, field by field. No structure is ever cast onto a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pst::ndb {

using ByteVector = std::vector<std::uint8_t>;

inline void storeLe(std::uint8_t* p, std::uint64_t value, unsigned width)
{
    for (unsigned i = 0; i < width; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint64_t loadLe(const std::uint8_t* p, unsigned width)
{
    std::uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return v;
}

// Appends little-endian fields to a byte vector.
class ByteWriter {
public:
    explicit ByteWriter(ByteVector& out)
        : out_(out)
    {
    }
    void u8(std::uint64_t v) { put(v, 1); }
    void u16(std::uint64_t v) { put(v, 2); }
    void u32(std::uint64_t v) { put(v, 4); }
    void u64(std::uint64_t v) { put(v, 8); }
    void put(std::uint64_t v, unsigned width)
    {
        std::size_t at = out_.size();
        out_.resize(at + width);
        storeLe(out_.data() + at, v, width);
    }
    void bytes(const std::uint8_t* data, std::size_t size) { out_.insert(out_.end(), data, data + size); }
    void bytes(const ByteVector& data) { out_.insert(out_.end(), data.begin(), data.end()); }
    void zeros(std::size_t count) { out_.insert(out_.end(), count, 0); }
    void fill(std::size_t count, std::uint8_t value) { out_.insert(out_.end(), count, value); }
    void padTo(std::size_t size)
    {
        if (out_.size() < size)
            out_.resize(size, 0);
    }
    std::size_t size() const { return out_.size(); }

private:
    ByteVector& out_;
};

} // namespace pst::ndb
