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
    // Room for everything text can hold; bytes are written through p and out is cut to size on
    // the way out.
    const std::size_t start = out.size();
    out.resize(start + size / 4 * 3 + 3);
    char* p = out.data() + start;
    struct Trim {
        std::string& out;
        char*& p;
        ~Trim() { out.resize(static_cast<std::size_t>(p - out.data())); }
    } trim { out, p };

    for (std::size_t i = 0; i < size; ++i) {
        // Whole groups of four alphabet characters at a time, the bulk of any line.
        if (pending_ == 0 && padding_ == 0 && !padded_) {
            while (i + 4 <= size) {
                const int a = Table[static_cast<unsigned char>(text[i])];
                const int b = Table[static_cast<unsigned char>(text[i + 1])];
                const int c = Table[static_cast<unsigned char>(text[i + 2])];
                const int d = Table[static_cast<unsigned char>(text[i + 3])];
                if ((a | b | c | d) < 0)
                    break;
                const auto v = static_cast<std::uint32_t>(a << 18 | b << 12 | c << 6 | d);
                *p++ = static_cast<char>((v >> 16) & 0xFF);
                *p++ = static_cast<char>((v >> 8) & 0xFF);
                *p++ = static_cast<char>(v & 0xFF);
                decoded_ += 3;
                i += 4;
            }
            if (i >= size)
                break;
        }
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
                    *p++ = static_cast<char>((bits_ >> 4) & 0xFF);
                    decoded_ += 1;
                } else {
                    *p++ = static_cast<char>((bits_ >> 10) & 0xFF);
                    *p++ = static_cast<char>((bits_ >> 2) & 0xFF);
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
            *p++ = static_cast<char>((bits_ >> 16) & 0xFF);
            *p++ = static_cast<char>((bits_ >> 8) & 0xFF);
            *p++ = static_cast<char>(bits_ & 0xFF);
            decoded_ += 3;
            pending_ = 0;
            bits_ = 0;
        }
    }
    return std::nullopt;
}

} // namespace notes::detail
