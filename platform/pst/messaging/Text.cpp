#include "messaging/Text.h"

#include "pst/Error.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cwctype>
#include <iconv.h>
#include <locale.h>

namespace pst::messaging {

namespace {

    std::size_t utf8Length(unsigned char lead)
    {
        if (lead < 0x80)
            return 1;
        if ((lead >> 5) == 0x6)
            return 2;
        if ((lead >> 4) == 0xE)
            return 3;
        if ((lead >> 3) == 0x1E)
            return 4;
        return 0;
    }

    class Iconv {
    public:
        Iconv(const char* to, const char* from)
            : cd_(iconv_open(to, from))
        {
            if (cd_ == reinterpret_cast<iconv_t>(-1))
                throw Error(ErrorKind::Internal, "open iconv", std::string(from) + " -> " + to, "a converter", "none");
        }
        ~Iconv() { iconv_close(cd_); }
        Iconv(const Iconv&) = delete;
        Iconv& operator=(const Iconv&) = delete;

        // Converts; an input character the target cannot hold is replaced by replacement.
        // glibc converts these pairs in two steps, and an output buffer that fills up makes it
        // convert the rest of the input again to find where it stopped: the output gets room
        // for the whole result (at most three bytes for each input byte here) up front.
        ndb::ByteVector convert(std::string_view in, const char* replacement, std::size_t replacementSize)
        {
            ndb::ByteVector out(3 * in.size() + 16);
            std::size_t used = 0;
            char* src = const_cast<char*>(in.data());
            std::size_t left = in.size();
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            while (left > 0) {
                char* dst = reinterpret_cast<char*>(out.data() + used);
                std::size_t room = out.size() - used;
                std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
                used = out.size() - room;
                if (rc == static_cast<std::size_t>(-1)) {
                    if (errno == E2BIG) {
                        out.resize(2 * out.size());
                        continue;
                    }
                    if (errno == EILSEQ || errno == EINVAL) {
                        const std::size_t skip = std::max<std::size_t>(1, utf8Length(static_cast<unsigned char>(*src)));
                        if (out.size() - used < replacementSize)
                            out.resize(2 * out.size());
                        std::copy(replacement, replacement + replacementSize, out.begin() + used);
                        used += replacementSize;
                        src += std::min(skip, left);
                        left -= std::min(skip, left);
                        continue;
                    }
                    throw Error(
                        ErrorKind::Internal, "convert text", "iconv", "success", "errno " + std::to_string(errno));
                }
            }
            out.resize(used);
            return out;
        }

    private:
        iconv_t cd_;
    };

} // namespace

bool isValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t n = utf8Length(c);
        if (n == 0 || i + n > s.size())
            return false;
        std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const std::uint32_t minimum[] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (cp < minimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

// Bodies pass through here on every message: a plain loop is several times faster than iconv.
// Returns nothing for input that is not valid UTF-8 (checked as isValidUtf8 does).
std::optional<ndb::ByteVector> validUtf8ToUtf16le(std::string_view s)
{
    ndb::ByteVector out(2 * s.size());
    std::size_t o = 0;
    auto put = [&](std::uint32_t unit) {
        out[o++] = static_cast<std::uint8_t>(unit & 0xFF);
        out[o++] = static_cast<std::uint8_t>(unit >> 8);
    };
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            put(c);
            ++i;
            continue;
        }
        const std::size_t n = utf8Length(c);
        if (n == 0 || i + n > s.size())
            return std::nullopt;
        std::uint32_t cp = c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const std::uint32_t minimum[] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (cp < minimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp < 0x10000) {
            put(cp);
        } else {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        }
        i += n;
    }
    out.resize(o);
    return out;
}

// One converter per direction and thread: iconv_open is far dearer than a conversion.
std::string foldCase(std::string_view utf8)
{
    static const locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = std::max<std::size_t>(1, std::min(utf8Length(c), utf8.size() - i));
        std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        if (cp < 0x80)
            cp = static_cast<std::uint32_t>(std::tolower(static_cast<int>(cp)));
        else if (utf8Locale)
            cp = static_cast<std::uint32_t>(towlower_l(static_cast<wint_t>(cp), utf8Locale));
        // Encode the code point again.
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

ndb::ByteVector toUtf16le(std::string_view utf8)
{
    if (auto out = validUtf8ToUtf16le(utf8))
        return std::move(*out);
    thread_local Iconv cv("UTF-16LE", "UTF-8");
    return cv.convert(utf8, "\xFD\xFF", 2);
}

std::u16string toUtf16String(std::string_view utf8)
{
    const ndb::ByteVector b = toUtf16le(utf8);
    std::u16string out(b.size() / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(b[2 * i] | (b[2 * i + 1] << 8));
    return out;
}

ndb::ByteVector toWindows1252(std::string_view utf8)
{
    thread_local Iconv cv("WINDOWS-1252", "UTF-8");
    return cv.convert(utf8, "?", 1);
}

std::string fromWindows1252(const ndb::ByteVector& bytes)
{
    thread_local Iconv cv("UTF-8", "WINDOWS-1252");
    auto out = cv.convert(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "?", 1);
    return std::string(out.begin(), out.end());
}

std::uint16_t stringType(Format format) { return format == Format::Unicode ? ltp::kPtUnicode : ltp::kPtString8; }

ltp::PropValue stringValue(Format format, std::string_view utf8)
{
    auto invalid = [] {
        return Error(ErrorKind::InvalidArgument, "store text", "string value", "valid UTF-8", "invalid byte sequence");
    };
    if (format == Format::Unicode) {
        auto utf16 = validUtf8ToUtf16le(utf8);
        if (!utf16)
            throw invalid();
        return ltp::PropValue::raw(stringType(format), std::move(*utf16));
    }
    if (!isValidUtf8(utf8))
        throw invalid();
    return ltp::PropValue::raw(stringType(format), toWindows1252(utf8));
}

std::string storedText(Format format, std::string_view utf8)
{
    if (format == Format::Unicode)
        return std::string(utf8);
    return fromWindows1252(toWindows1252(utf8));
}

} // namespace pst::messaging
