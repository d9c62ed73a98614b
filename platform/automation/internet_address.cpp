#include "automation/internet_address.h"

namespace automation {

namespace {
    // White space as Unicode has it (the separators and the ASCII controls \t to \r, U+0085).
    bool isSpace(char32_t c)
    {
        return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680
            || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
    }

    bool excluded(char32_t c) { return isSpace(c) || c == '/' || c == '=' || c == '<' || c == '>'; }

    // The rule on code units; "@", "." and the excluded ASCII characters are single units in
    // both encodings, so positions compare the same way.
    template <typename Unit> bool shaped(std::basic_string_view<Unit> s)
    {
        const auto at = s.rfind(Unit('@'));
        if (at == s.npos || at == 0 || at + 1 >= s.size())
            return false;
        const auto dot = s.find(Unit('.'), at);
        return dot != s.npos && dot > at + 1;
    }
} // namespace

bool IsInternetAddress(std::string_view s)
{
    if (!shaped(s))
        return false;
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
        const auto continues = [&](std::size_t k) { return k < s.size() && (byte(k) & 0xC0) == 0x80; };
        const unsigned char b = byte(i);
        char32_t c = b;
        std::size_t n = 1;
        // The white space beyond ASCII is two or three bytes long; longer sequences and stray
        // bytes are no white space and are passed over a byte at a time.
        if (b >= 0xC0 && b < 0xE0 && continues(i + 1)) {
            c = (char32_t(b & 0x1F) << 6) | (byte(i + 1) & 0x3F);
            n = 2;
        } else if (b >= 0xE0 && b < 0xF0 && continues(i + 1) && continues(i + 2)) {
            c = (char32_t(b & 0x0F) << 12) | (char32_t(byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
            n = 3;
        } else if (b >= 0x80) {
            c = 0xFFFD;
        }
        if (excluded(c))
            return false;
        i += n;
    }
    return true;
}

bool IsInternetAddress(std::u16string_view s)
{
    if (!shaped(s))
        return false;
    for (char16_t u : s)
        if (excluded(u))
            return false;
    return true;
}

} // namespace automation
