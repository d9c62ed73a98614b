#include "base64.h"

#include <array>

namespace notes::detail {

namespace {
    constexpr std::array<std::int8_t, 256> makeTable()
    {
        std::array<std::int8_t, 256> t {};
        for (auto& v : t)
            v = -1;
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            t[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
        return t;
    }
    constexpr auto Table = makeTable();

    bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
} // namespace

std::optional<std::size_t> Base64Decoder::decode(const char* text, std::size_t size, std::string& out)
{
    for (std::size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (isSpace(c))
            continue;
        if (c == '=') {
            // Padding completes a group of two or three characters.
            if (padded_ && padding_ == 0)
                return i;
            if (pending_ + padding_ < 2 || pending_ + padding_ >= 4)
                return i;
            ++padding_;
            if (pending_ + padding_ == 4) {
                if (pending_ == 2) {
                    out.push_back(static_cast<char>((bits_ >> 4) & 0xFF));
                    decoded_ += 1;
                } else {
                    out.push_back(static_cast<char>((bits_ >> 10) & 0xFF));
                    out.push_back(static_cast<char>((bits_ >> 2) & 0xFF));
                    decoded_ += 2;
                }
                padded_ = true;
                pending_ = 0;
                padding_ = 0;
                bits_ = 0;
            }
            continue;
        }
        const int v = Table[static_cast<unsigned char>(c)];
        if (v < 0 || padded_ || padding_ > 0)
            return i;
        bits_ = (bits_ << 6) | static_cast<std::uint32_t>(v);
        if (++pending_ == 4) {
            out.push_back(static_cast<char>((bits_ >> 16) & 0xFF));
            out.push_back(static_cast<char>((bits_ >> 8) & 0xFF));
            out.push_back(static_cast<char>(bits_ & 0xFF));
            decoded_ += 3;
            pending_ = 0;
            bits_ = 0;
        }
    }
    return std::nullopt;
}

} // namespace notes::detail
