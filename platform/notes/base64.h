// A streaming base64 decoder for attachment data: input arrives in pieces of any size,
// whitespace between characters is ignored, anything else outside the alphabet is an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace notes::detail {

class Base64Decoder {
public:
    // Decodes text and appends the bytes to out. Returns the offset in text of the first
    // character that cannot belong to base64 data here, or nothing when all of text was taken.
    std::optional<std::size_t> decode(const char* text, std::size_t size, std::string& out);
    // True when the data seen so far ends on a complete group (padding included).
    bool complete() const { return pending_ == 0 || padded_; }
    // Number of decoded bytes so far.
    std::uint64_t decodedSize() const { return decoded_; }

private:
    std::uint32_t bits_ = 0;
    int pending_ = 0; // sextets in bits_
    int padding_ = 0; // '=' seen in the current group
    bool padded_ = false; // a group ended with padding: only whitespace may follow
    std::uint64_t decoded_ = 0;
};

} // namespace notes::detail
