#include "raw_items.h"

#include <cstddef>

namespace notes::detail {

namespace {
    // A cursor over little-endian fields; every read checks the bytes left.
    class Fields {
    public:
        explicit Fields(std::string_view bytes)
            : bytes_(bytes)
        {
        }
        std::optional<std::uint32_t> u8() { return take(1); }
        std::optional<std::uint32_t> u16() { return take(2); }
        std::optional<std::uint32_t> u32() { return take(4); }
        // Up to length bytes; complete is cleared when fewer are left.
        std::string_view text(std::size_t length, bool& complete)
        {
            if (length > bytes_.size() - at_) {
                complete = false;
                length = bytes_.size() - at_;
            }
            const auto out = bytes_.substr(at_, length);
            at_ += length;
            return out;
        }

    private:
        std::optional<std::uint32_t> take(std::size_t size)
        {
            if (bytes_.size() - at_ < size)
                return std::nullopt;
            std::uint32_t v = 0;
            for (std::size_t i = 0; i < size; ++i)
                v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
            at_ += size;
            return v;
        }

        std::string_view bytes_;
        std::size_t at_ = 0;
    };
} // namespace

std::optional<Rfc822Item> parseRfc822Item(std::string_view bytes)
{
    Fields f(bytes);
    const auto version = f.u16();
    const auto flags = f.u32();
    const auto nativeLen = f.u16();
    const auto nameLen = f.u16();
    const auto delimLen = f.u16();
    const auto bodyLen = f.u16();
    if (!version || !flags || !nativeLen || !nameLen || !delimLen || !bodyLen)
        return std::nullopt;
    Rfc822Item item;
    item.flags = *flags;
    const std::uint32_t format = *flags & 0x7;
    item.format = format <= 2 ? static_cast<Rfc822Item::Format>(format) : Rfc822Item::Format::Other;
    item.native = f.text(*nativeLen, item.complete);
    item.name = f.text(*nameLen, item.complete);
    item.delimiter = f.text(*delimLen, item.complete);
    item.body = f.text(*bodyLen, item.complete);
    return item;
}

std::optional<MimePartItem> parseMimePart(std::string_view bytes)
{
    Fields f(bytes);
    const auto version = f.u16();
    const auto flags = f.u32();
    const auto partType = f.u8();
    const auto spare = f.u8();
    const auto byteCount = f.u16();
    const auto boundaryLen = f.u16();
    const auto headersLen = f.u16();
    const auto spare2 = f.u16();
    const auto spare3 = f.u32();
    if (!version || !flags || !partType || !spare || !byteCount || !boundaryLen || !headersLen || !spare2 || !spare3)
        return std::nullopt;
    MimePartItem part;
    part.flags = *flags;
    part.partType = static_cast<int>(*partType);
    // wByteCount covers boundary, headers and body; the body is what the other two leave.
    std::size_t left = *byteCount;
    const std::size_t boundary = std::min<std::size_t>(*boundaryLen, left);
    left -= boundary;
    const std::size_t headers = std::min<std::size_t>(*headersLen, left);
    left -= headers;
    if (boundary < *boundaryLen || headers < *headersLen)
        part.complete = false;
    part.boundary = f.text(boundary, part.complete);
    part.headers = f.text(headers, part.complete);
    part.body = f.text(left, part.complete);
    return part;
}

std::optional<automation::DateTime> parseTimeDate(std::string_view bytes)
{
    if (bytes.size() != 8)
        return std::nullopt;
    Fields f(bytes);
    const std::uint32_t ticks = *f.u32();
    const std::uint32_t date = *f.u32();
    const std::int64_t julianDay = date & 0xFFFFFF;
    // ANYDAY / ALLDAY and values outside a day or before the Gregorian calendar hold no instant.
    if (ticks >= 8640000 || julianDay < 2299161 || julianDay > 5373484)
        return std::nullopt;
    constexpr std::int64_t UnixEpochJulianDay = 2440588;
    const std::int64_t millis = (julianDay - UnixEpochJulianDay) * 86400000 + std::int64_t { ticks } * 10;
    const int hours = static_cast<int>((date >> 24) & 0xF);
    const int quarters = static_cast<int>((date >> 28) & 0x3);
    const bool east = (date & 0x40000000) != 0;
    const int offset = (east ? 1 : -1) * (hours * 60 + quarters * 15);
    return automation::DateTime::fromUnixMillis(millis, offset);
}

} // namespace notes::detail
