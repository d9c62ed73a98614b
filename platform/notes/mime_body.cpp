#include "mime_body.h"

#include "rich_text_html.h"

#include <gmime/gmime.h>
#include <libxml/HTMLparser.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>
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

namespace {
    // The IDs of a header (the first of that name), as GMime reads them from its raw text.
    std::vector<std::string> headerIds(GMimeObject* object, const char* name)
    {
        std::vector<std::string> ids;
        GMimeHeader* header = g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
        const char* raw = header != nullptr ? g_mime_header_get_raw_value(header) : nullptr;
        if (raw == nullptr)
            return ids;
        GMimeReferences* refs = g_mime_references_parse(nullptr, raw);
        if (refs == nullptr)
            return ids;
        const int n = g_mime_references_length(refs);
        for (int i = 0; i < n; ++i)
            if (const char* id = g_mime_references_get_message_id(refs, i); id != nullptr && *id != 0)
                ids.push_back('<' + asUtf8(id) + '>');
        g_mime_references_free(refs);
        return ids;
    }
} // namespace

automation::NotesMailIdentity parseMailIdentity(std::string_view headers)
{
    automation::NotesMailIdentity identity;
    if (headers.empty())
        return identity;
    initialize();
    // The block ends in an empty line, so that no header line is taken for a body.
    std::string block(headers);
    block += "\r\n\r\n";
    Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(block.data(), block.size()));
    Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
    Ref<GMimeMessage> message(g_mime_parser_construct_message(parser.p, nullptr));
    if (message.p == nullptr)
        return identity;
    if (const char* id = g_mime_message_get_message_id(message.p); id != nullptr && *id != 0)
        identity.messageId = '<' + asUtf8(id) + '>';
    identity.inReplyTo = headerIds(GMIME_OBJECT(message.p), "In-Reply-To");
    identity.references = headerIds(GMIME_OBJECT(message.p), "References");
    return identity;
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
// HTML to text, read by libxml2's HTML parser (which recovers from broken markup as browsers do)

namespace {
    bool isTag(const xmlNode* node, std::initializer_list<std::string_view> names)
    {
        const std::string_view name(reinterpret_cast<const char*>(node->name));
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    class TextOfHtml {
    public:
        void walk(const xmlNode* node)
        {
            for (; node != nullptr; node = node->next) {
                if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                    if (node->content != nullptr)
                        text(reinterpret_cast<const char*>(node->content));
                    continue;
                }
                if (node->type != XML_ELEMENT_NODE || node->name == nullptr)
                    continue;
                // Their content is no text of the message.
                if (isTag(node, { "script", "style", "head", "title" }))
                    continue;
                if (isTag(node, { "br", "hr" })) {
                    lineEnd();
                    continue;
                }
                const bool block = isTag(node,
                    { "p", "div", "tr", "li", "h1", "h2", "h3", "h4", "h5", "h6", "table", "blockquote", "ul", "ol",
                        "pre", "center" });
                if (block)
                    lineEnd();
                else if (isTag(node, { "td", "th" }))
                    space_ = !out_.empty() && out_.back() != '\n';
                walk(node->children);
                if (block)
                    lineEnd();
            }
        }

        std::string finish()
        {
            while (!out_.empty() && (out_.back() == '\n' || out_.back() == ' '))
                out_.pop_back();
            return std::move(out_);
        }

    private:
        // Blanks between words become one; a paragraph ends with at most one blank line.
        void text(const char* s)
        {
            for (; *s != 0; ++s) {
                const char c = *s;
                if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                    space_ = !out_.empty() && out_.back() != '\n';
                    continue;
                }
                if (space_) {
                    out_ += ' ';
                    space_ = false;
                }
                out_ += c;
            }
        }
        void lineEnd()
        {
            while (!out_.empty() && out_.back() == ' ')
                out_.pop_back();
            if (!out_.empty() && !(out_.size() >= 2 && out_[out_.size() - 1] == '\n' && out_[out_.size() - 2] == '\n'))
                out_ += '\n';
            space_ = false;
        }

        std::string out_;
        bool space_ = false; // a blank is due before the next word
    };
} // namespace

std::string htmlToText(std::string_view html)
{
    // The text is UTF-8 already; its <meta> must not say otherwise to the parser.
    const std::string utf8 = withUtf8Charset(std::string(html));
    if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return {};
    htmlDocPtr doc = htmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
        HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    if (doc == nullptr)
        return {};
    TextOfHtml text;
    text.walk(xmlDocGetRootElement(doc));
    xmlFreeDoc(doc);
    return text.finish();
}

} // namespace notes::detail
