#include "mime_body.h"

#include "utf8.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace notes::detail {

namespace {
    constexpr int MaxDepth = 32; // multiparts and messages nested in one another

    void initialize()
    {
        static std::once_flag once;
        std::call_once(once, [] { g_mime_init(); });
    }

    // Owns a GObject reference.
    template <class T> struct Ref {
        T* p = nullptr;
        explicit Ref(T* v)
            : p(v)
        {
        }
        Ref(const Ref&) = delete;
        Ref& operator=(const Ref&) = delete;
        ~Ref()
        {
            if (p != nullptr)
                g_object_unref(p);
        }
    };

    std::string takeString(char* s)
    {
        if (s == nullptr)
            return {};
        std::string out(s);
        g_free(s);
        return out;
    }

    // Text that claims to be UTF-8 but is not is taken as Windows-1252, what such mail
    // usually is.
    std::string asUtf8(std::string text)
    {
        if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
            return text;
        gsize written = 0;
        char* converted = g_convert(
            text.data(), static_cast<gssize>(text.size()), "UTF-8", "WINDOWS-1252", nullptr, &written, nullptr);
        if (converted == nullptr)
            converted = g_convert(
                text.data(), static_cast<gssize>(text.size()), "UTF-8", "ISO-8859-1", nullptr, &written, nullptr);
        if (converted == nullptr)
            return {};
        std::string out(converted, written);
        g_free(converted);
        return out;
    }

    std::optional<automation::DateTime> toDateTime(GDateTime* d)
    {
        if (d == nullptr)
            return std::nullopt;
        const std::int64_t millis = g_date_time_to_unix(d) * 1000;
        const auto offset = static_cast<int>(g_date_time_get_utc_offset(d) / G_TIME_SPAN_MINUTE);
        return automation::DateTime::fromUnixMillis(millis, offset);
    }

    std::vector<std::string> addresses(InternetAddressList* list)
    {
        std::vector<std::string> out;
        if (list == nullptr)
            return out;
        const int n = internet_address_list_length(list);
        for (int i = 0; i < n; ++i) {
            InternetAddress* a = internet_address_list_get_address(list, i);
            std::string text = takeString(internet_address_to_string(a, nullptr, FALSE));
            if (!text.empty())
                out.push_back(asUtf8(std::move(text)));
        }
        return out;
    }

    // The decoded content of a leaf part.
    std::string content(GMimePart* part)
    {
        GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
        if (wrapper == nullptr)
            return {};
        Ref<GMimeStream> stream(g_mime_stream_mem_new());
        if (g_mime_data_wrapper_write_to_stream(wrapper, stream.p) < 0)
            return {};
        GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.p));
        return bytes == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
    }

    std::string text(GMimeObject* object)
    {
        if (GMIME_IS_TEXT_PART(object)) {
            // Converted from the part's charset by GMime's iconv layer.
            if (char* t = g_mime_text_part_get_text(GMIME_TEXT_PART(object)))
                return asUtf8(takeString(t));
        }
        return asUtf8(content(GMIME_PART(object)));
    }

    std::string sanitizedSubtype(GMimeContentType* type)
    {
        const char* sub = type != nullptr ? g_mime_content_type_get_media_subtype(type) : nullptr;
        std::string out;
        for (const char* c = sub; c != nullptr && *c != 0 && out.size() < 16; ++c)
            if ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9'))
                out += *c;
        return out.empty() ? "bin" : out;
    }

    class Walker {
    public:
        explicit Walker(MimeBody& out)
            : out_(out)
        {
        }

        void walk(GMimeObject* object, int depth, bool inAlternative)
        {
            if (object == nullptr || depth > MaxDepth)
                return;
            if (GMIME_IS_MULTIPART(object)) {
                GMimeMultipart* multipart = GMIME_MULTIPART(object);
                GMimeContentType* type = g_mime_object_get_content_type(object);
                const bool alternative
                    = type != nullptr && g_mime_content_type_is_type(type, "multipart", "alternative");
                const int n = g_mime_multipart_get_count(multipart);
                for (int i = 0; i < n; ++i)
                    walk(g_mime_multipart_get_part(multipart, i), depth + 1, alternative);
            } else if (GMIME_IS_MESSAGE_PART(object)) {
                // A forwarded message arrives as a file of its own.
                GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
                if (message == nullptr)
                    return;
                Ref<GMimeStream> stream(g_mime_stream_mem_new());
                g_mime_object_write_to_stream(GMIME_OBJECT(message), nullptr, stream.p);
                GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.p));
                MimeAttachment a;
                const char* subject = g_mime_message_get_subject(message);
                a.fileName = subject != nullptr && *subject != 0 ? asUtf8(subject) + ".eml" : "message.eml";
                a.contentType = "message/rfc822";
                a.data = std::make_shared<const std::string>(bytes == nullptr
                        ? std::string()
                        : std::string(reinterpret_cast<const char*>(bytes->data), bytes->len));
                out_.attachments.push_back(std::move(a));
            } else if (GMIME_IS_PART(object)) {
                leaf(GMIME_PART(object), inAlternative);
            }
        }

    private:
        void leaf(GMimePart* part, bool inAlternative)
        {
            GMimeObject* object = GMIME_OBJECT(part);
            GMimeContentType* type = g_mime_object_get_content_type(object);
            const char* fileName = g_mime_part_get_filename(part);
            const bool named = fileName != nullptr && *fileName != 0;
            const bool attachment = g_mime_part_is_attachment(part) != FALSE;
            const bool plain = type == nullptr || g_mime_content_type_is_type(type, "text", "plain");
            const bool html = type != nullptr && g_mime_content_type_is_type(type, "text", "html");
            const std::string held = objectName(g_mime_object_get_header(object, ObjectHeader));
            if ((plain || html) && !attachment && !named && held.empty()) {
                std::string& body = plain ? out_.plain : out_.html;
                if (body.empty())
                    body = text(object);
                else if (!inAlternative)
                    body.append(1, '\n').append(text(object)); // the text pieces of a mixed message, in order
                return;
            }
            MimeAttachment a;
            a.contentType = type != nullptr ? takeString(g_mime_content_type_get_mime_type(type)) : "text/plain";
            if (const char* id = g_mime_part_get_content_id(part))
                a.contentId = id;
            a.isInline = !attachment && !a.contentId.empty();
            a.fileName = named ? asUtf8(fileName)
                               : "part" + std::to_string(out_.attachments.size() + 1) + "." + sanitizedSubtype(type);
            a.named = named;
            a.objectName = held;
            a.data = std::make_shared<const std::string>(held.empty() ? content(part) : std::string());
            out_.attachments.push_back(std::move(a));
        }

        // The object name the header gives as hex digits; empty when there is none.
        static std::string objectName(const char* hex)
        {
            std::string name;
            if (hex == nullptr)
                return name;
            auto digit = [](char c) {
                return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            };
            for (std::size_t i = 0; hex[i] != 0 && hex[i + 1] != 0; i += 2) {
                const int high = digit(hex[i]);
                const int low = digit(hex[i + 1]);
                if (high < 0 || low < 0)
                    return {};
                name += static_cast<char>(high * 16 + low);
            }
            return name;
        }

        MimeBody& out_;
    };
} // namespace

MimeBody parseMimeBody(std::string_view entity)
{
    initialize();
    MimeBody out;
    Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(entity.data(), entity.size()));
    Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
    g_mime_parser_set_format(parser.p, GMIME_FORMAT_MESSAGE);
    Ref<GMimeMessage> message(g_mime_parser_construct_message(parser.p, nullptr));
    GMimeObject* top = nullptr;
    std::optional<Ref<GMimeObject>> part;
    if (message.p != nullptr) {
        top = g_mime_message_get_mime_part(message.p);
        if (const char* subject = g_mime_message_get_subject(message.p))
            out.subject = asUtf8(subject);
        out.from = addresses(g_mime_message_get_from(message.p));
        out.to = addresses(g_mime_message_get_to(message.p));
        out.cc = addresses(g_mime_message_get_cc(message.p));
        out.bcc = addresses(g_mime_message_get_bcc(message.p));
        out.date = toDateTime(g_mime_message_get_date(message.p));
    } else {
        // Not a message: perhaps a bare entity.
        g_mime_stream_reset(stream.p);
        Ref<GMimeParser> entityParser(g_mime_parser_new_with_stream(stream.p));
        part.emplace(g_mime_parser_construct_part(entityParser.p, nullptr));
        top = part->p;
    }
    if (top == nullptr)
        return out;
    out.parsed = true;
    Walker(out).walk(top, 0, false);
    return out;
}

std::string decodeHeaderText(std::string_view raw)
{
    initialize();
    std::string copy(raw);
    std::string unfolded = takeString(g_mime_utils_header_unfold(copy.c_str()));
    while (!unfolded.empty() && (unfolded.back() == '\r' || unfolded.back() == '\n'))
        unfolded.pop_back();
    std::string decoded = takeString(g_mime_utils_header_decode_text(nullptr, unfolded.c_str()));
    return asUtf8(std::move(decoded));
}

std::optional<automation::DateTime> decodeHeaderDate(std::string_view raw)
{
    initialize();
    const std::string text = decodeHeaderText(raw);
    GDateTime* d = g_mime_utils_header_decode_date(text.c_str());
    auto out = toDateTime(d);
    if (d != nullptr)
        g_date_time_unref(d);
    return out;
}

std::vector<std::string> decodeHeaderAddresses(std::string_view raw)
{
    initialize();
    std::string copy(raw);
    InternetAddressList* list = internet_address_list_parse(nullptr, copy.c_str());
    std::vector<std::string> out = addresses(list);
    if (list != nullptr)
        g_object_unref(list);
    return out;
}

// ---------------------------------------------------------------------------------------------
// HTML to text

namespace {
    struct Entity {
        std::string_view name;
        std::uint32_t cp;
    };
    constexpr std::array<Entity, 26> Entities { { { "amp", '&' }, { "lt", '<' }, { "gt", '>' }, { "quot", '"' },
        { "apos", '\'' }, { "nbsp", 0xA0 }, { "copy", 0xA9 }, { "reg", 0xAE }, { "trade", 0x2122 },
        { "hellip", 0x2026 }, { "mdash", 0x2014 }, { "ndash", 0x2013 }, { "lsquo", 0x2018 }, { "rsquo", 0x2019 },
        { "ldquo", 0x201C }, { "rdquo", 0x201D }, { "bull", 0x2022 }, { "middot", 0xB7 }, { "euro", 0x20AC },
        { "pound", 0xA3 }, { "yen", 0xA5 }, { "cent", 0xA2 }, { "laquo", 0xAB }, { "raquo", 0xBB }, { "deg", 0xB0 },
        { "times", 0xD7 } } };

    // The character reference at html[at] ('&'), appended to out; returns the index after it.
    std::size_t reference(std::string_view html, std::size_t at, std::string& out)
    {
        const std::size_t semi = html.find(';', at);
        if (semi == std::string_view::npos || semi - at > 12) {
            out += '&';
            return at + 1;
        }
        const std::string_view name = html.substr(at + 1, semi - at - 1);
        if (!name.empty() && name[0] == '#') {
            const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
            std::uint32_t cp = 0;
            bool ok = name.size() > (hex ? 2U : 1U);
            for (char c : name.substr(hex ? 2 : 1)) {
                const int d = c >= '0' && c <= '9' ? c - '0'
                    : hex && c >= 'a' && c <= 'f'  ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F'  ? c - 'A' + 10
                                                   : -1;
                if (d < 0 || cp > 0x10FFFF) {
                    ok = false;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
            }
            if (ok) {
                appendUtf8(out, cp);
                return semi + 1;
            }
        }
        for (const auto& e : Entities)
            if (e.name == name) {
                appendUtf8(out, e.cp);
                return semi + 1;
            }
        out += '&';
        return at + 1;
    }

    bool startsWithIgnoreCase(std::string_view s, std::string_view prefix)
    {
        return s.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
            return a == (b >= 'A' && b <= 'Z' ? b + 32 : b);
        });
    }
} // namespace

std::string htmlToText(std::string_view html)
{
    static constexpr std::string_view Breaks[] = { "br", "p", "div", "tr", "li", "h1", "h2", "h3", "h4", "h5", "h6",
        "table", "blockquote", "hr", "ul", "ol", "pre", "center" };
    std::string out;
    bool space = false; // a blank is due before the next word
    auto lineEnd = [&] {
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        if (!out.empty() && !(out.size() >= 2 && out[out.size() - 1] == '\n' && out[out.size() - 2] == '\n'))
            out += '\n';
        space = false;
    };
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            const std::string_view rest = html.substr(i);
            if (rest.starts_with("<!--")) {
                const auto end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            const auto close = html.find('>', i);
            if (close == std::string_view::npos)
                break;
            std::string_view tag = html.substr(i + 1, close - i - 1);
            const bool endTag = !tag.empty() && tag[0] == '/';
            if (endTag)
                tag.remove_prefix(1);
            std::size_t n = 0;
            while (n < tag.size()
                && ((tag[n] >= 'a' && tag[n] <= 'z') || (tag[n] >= 'A' && tag[n] <= 'Z')
                    || (tag[n] >= '0' && tag[n] <= '9')))
                ++n;
            std::string name(tag.substr(0, n));
            for (auto& ch : name)
                if (ch >= 'A' && ch <= 'Z')
                    ch = static_cast<char>(ch + 32);
            i = close + 1;
            if (!endTag && (name == "script" || name == "style" || name == "head" || name == "title")) {
                // Their content is no text of the message.
                // A head left open ends where the body starts, as browsers read it.
                const std::string endName = "</" + name;
                std::size_t at = i;
                while (at < html.size() && !startsWithIgnoreCase(html.substr(at), endName)
                    && !(name == "head" && startsWithIgnoreCase(html.substr(at), "<body"))) {
                    const auto next = html.find('<', at + 1);
                    at = next == std::string_view::npos ? html.size() : next;
                }
                if (at < html.size() && html[at + 1] != '/') {
                    i = at;
                    continue;
                }
                const auto end = at < html.size() ? html.find('>', at) : std::string_view::npos;
                i = end == std::string_view::npos ? html.size() : end + 1;
                continue;
            }
            if (std::find(std::begin(Breaks), std::end(Breaks), name) != std::end(Breaks))
                lineEnd();
            else if (name == "td" || name == "th")
                space = !out.empty() && out.back() != '\n';
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            space = !out.empty() && out.back() != '\n';
            ++i;
            continue;
        }
        if (space) {
            out += ' ';
            space = false;
        }
        if (c == '&')
            i = reference(html, i, out);
        else
            out += c, ++i;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

} // namespace notes::detail
