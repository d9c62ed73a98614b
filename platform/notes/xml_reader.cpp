#include "xml_reader.h"

#include <expat.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <unistd.h>
#include <utility>

namespace notes::detail {

namespace {
    constexpr char NamespaceSeparator = '|';
    constexpr std::size_t ReadSize = std::size_t { 256 } * 1024;

    // One spare parser per thread for documents without a declared encoding: a document read
    // is a short parse, and creating a parser costs about as much as parsing a small note.
    struct SpareParser {
        XML_Parser parser = nullptr;
        ~SpareParser()
        {
            if (parser != nullptr)
                XML_ParserFree(parser);
        }
    };
    thread_local SpareParser spare;

    XML_Parser takeParser(const char* encoding)
    {
        if (encoding == nullptr && spare.parser != nullptr)
            return std::exchange(spare.parser, nullptr);
        return XML_ParserCreateNS(encoding, NamespaceSeparator);
    }

    // Encodings expat does not know itself (windows-1252, ISO-8859-15, Shift_JIS, EUC-JP, ...)
    // are read through iconv: expat asks once per parse for what each first byte is, a
    // character of its own or the first of a sequence of 2 to 4 bytes, and then for the code
    // point of each such sequence.
    struct IconvEncoding {
        iconv_t cd;
        std::array<int, 256> length {}; // of the sequence each byte starts; 0: none
    };

    // The one code point bytes[0, n) converts to, or -1.
    int decodeOne(iconv_t cd, const char* bytes, std::size_t n)
    {
        char in[4] = {};
        std::memcpy(in, bytes, std::min<std::size_t>(n, sizeof in));
        char* inPointer = in;
        std::size_t inLeft = n;
        unsigned char out[8] = {};
        char* outPointer = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (::iconv(cd, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0
            || sizeof out - outLeft != 4)
            return -1;
        const std::uint32_t cp = static_cast<std::uint32_t>(out[0]) | static_cast<std::uint32_t>(out[1]) << 8
            | static_cast<std::uint32_t>(out[2]) << 16 | static_cast<std::uint32_t>(out[3]) << 24;
        return cp <= 0x10FFFF ? static_cast<int>(cp) : -1;
    }

    int XMLCALL convertSequence(void* data, const char* bytes)
    {
        auto* encoding = static_cast<IconvEncoding*>(data);
        const int n = encoding->length[static_cast<unsigned char>(bytes[0])];
        return n > 0 ? decodeOne(encoding->cd, bytes, static_cast<std::size_t>(n)) : -1;
    }

    void XMLCALL releaseEncoding(void* data)
    {
        auto* encoding = static_cast<IconvEncoding*>(data);
        ::iconv_close(encoding->cd);
        delete encoding;
    }

    int XMLCALL unknownEncoding(void*, const XML_Char* name, XML_Encoding* info)
    {
        const iconv_t cd = ::iconv_open("UTF-32LE", name);
        if (cd == reinterpret_cast<iconv_t>(-1))
            return XML_STATUS_ERROR;
        auto* encoding = new IconvEncoding { cd, {} };
        // Bytes that start a longer sequence are told by the shortest sequence, with usual
        // trail bytes, that iconv reads as one character.
        static constexpr unsigned char Trails[] = { 0xA1, 0x40, 0x80, 0x30 };
        for (int b = 0; b < 256; ++b) {
            const char one = static_cast<char>(b);
            const int cp = decodeOne(cd, &one, 1);
            info->map[b] = cp;
            encoding->length[static_cast<std::size_t>(b)] = cp >= 0 ? 1 : 0;
            for (int n = 2; cp < 0 && n <= 4 && info->map[b] == -1; ++n)
                for (const unsigned char trail : Trails) {
                    char sequence[4]
                        = { one, static_cast<char>(trail), static_cast<char>(trail), static_cast<char>(trail) };
                    if (decodeOne(cd, sequence, static_cast<std::size_t>(n)) >= 0) {
                        info->map[b] = -n;
                        encoding->length[static_cast<std::size_t>(b)] = n;
                        break;
                    }
                }
        }
        info->data = encoding;
        info->convert = &convertSequence;
        info->release = &releaseEncoding;
        return XML_STATUS_OK;
    }

    void returnParser(XML_Parser parser, bool reusable)
    {
        if (reusable && spare.parser == nullptr && XML_ParserReset(parser, nullptr) == XML_TRUE)
            spare.parser = parser;
        else
            XML_ParserFree(parser);
    }
} // namespace

std::string_view localName(const char* name, std::string_view ns)
{
    // name has at least ns.size() + 1 characters when the comparison reaches its end.
    if (std::strncmp(name, ns.data(), ns.size()) != 0 || name[ns.size()] != NamespaceSeparator)
        return {};
    return name + ns.size() + 1;
}

std::string_view dxlName(const char* name)
{
    if (std::strchr(name, NamespaceSeparator) == nullptr)
        return name;
    return localName(name, DxlNamespace);
}

const char* attribute(const char** attrs, std::string_view name)
{
    for (; attrs[0] != nullptr; attrs += 2)
        if (name == attrs[0])
            return attrs[1];
    return nullptr;
}

InputFile::InputFile(const std::string& path, int& error)
{
    // Non-blocking, so that opening a FIFO does not wait for a writer; the caller refuses
    // anything but a regular file, for which the flag changes nothing.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    error = fd_ < 0 ? errno : 0;
}

InputFile::~InputFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

long InputFile::readAt(char* buffer, std::size_t size, std::uint64_t offset) const
{
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

void XmlHandler::characters(const char*, int) { }

XmlReader::XmlReader(XmlHandler& handler, const char* encoding)
    : parser_(takeParser(encoding))
    , handler_(handler)
    , reusable_(encoding == nullptr)
{
    if (parser_ == nullptr)
        throw std::bad_alloc();
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &XmlReader::onStart, &XmlReader::onEnd);
    XML_SetStartDoctypeDeclHandler(parser_, &XmlReader::onDoctype);
    XML_SetEntityDeclHandler(parser_, &XmlReader::onEntityDecl);
    XML_SetSkippedEntityHandler(parser_, &XmlReader::onSkippedEntity);
    XML_SetXmlDeclHandler(parser_, &XmlReader::onXmlDecl);
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetStartNamespaceDeclHandler(parser_, &XmlReader::onNamespaceDecl);
    XML_SetUnknownEncodingHandler(parser_, &unknownEncoding, nullptr);
}

XmlReader::~XmlReader() { returnParser(parser_, reusable_); }

void XmlReader::wantCharacters(bool on)
{
    charactersWanted_ = on;
    XML_SetCharacterDataHandler(parser_, on ? &XmlReader::onCharacters : nullptr);
}

void XmlReader::fail(std::string what)
{
    if (failed_)
        return;
    failed_ = true;
    error_ = std::move(what);
    errorPosition_ = position();
    XML_StopParser(parser_, XML_FALSE);
}

Position XmlReader::translate(std::uint64_t line, std::uint64_t column) const
{
    // Expat counts lines from 1 and columns from 0, from the start of the prefix.
    if (line <= 1) {
        const std::uint64_t c = column >= prefixLength_ ? column - prefixLength_ : 0;
        return { originPosition_.line, originPosition_.column + c };
    }
    return { originPosition_.line + line - 1, column + 1 };
}

Position XmlReader::position() const
{
    return translate(XML_GetCurrentLineNumber(parser_), XML_GetCurrentColumnNumber(parser_));
}

std::uint64_t XmlReader::offset() const
{
    const auto index = static_cast<std::uint64_t>(std::max<XML_Index>(XML_GetCurrentByteIndex(parser_), 0));
    return index >= prefixLength_ ? origin_ + index - prefixLength_ : origin_;
}

int XmlReader::eventLength() const { return XML_GetCurrentByteCount(parser_); }

bool XmlReader::parse(const InputFile& file, std::uint64_t begin, std::uint64_t end, Position beginPosition,
    std::string_view prefix, std::string_view suffix)
{
    end = std::max(begin, end);
    origin_ = begin;
    prefixLength_ = prefix.size();
    originPosition_ = beginPosition;
    auto feed = [this](const char* data, std::size_t size, bool final) {
        if (failed_)
            return false;
        if (XML_Parse(parser_, data, static_cast<int>(size), final ? XML_TRUE : XML_FALSE) == XML_STATUS_OK)
            return true;
        if (!failed_) {
            failed_ = true;
            error_ = XML_ErrorString(XML_GetErrorCode(parser_));
            errorPosition_ = position();
        }
        return false;
    };
    if (!prefix.empty() && !feed(prefix.data(), prefix.size(), false))
        return false;
    std::uint64_t at = begin;
    for (;;) {
        const std::uint64_t want = std::min<std::uint64_t>(ReadSize, end - at);
        if (want == 0)
            break;
        void* buffer = XML_GetBuffer(parser_, static_cast<int>(want));
        if (buffer == nullptr) {
            failed_ = true;
            error_ = "out of memory while reading XML";
            return false;
        }
        const long n = file.readAt(static_cast<char*>(buffer), want, at);
        if (n < 0) {
            failed_ = true;
            ioError_ = true;
            error_ = std::string("read failed: ") + std::strerror(errno);
            errorPosition_ = {};
            return false;
        }
        if (n == 0) {
            if (end != std::numeric_limits<std::uint64_t>::max()) {
                failed_ = true;
                ioError_ = true;
                error_ = "the file is shorter than when it was indexed";
                return false;
            }
            break;
        }
        at += static_cast<std::uint64_t>(n);
        if (XML_ParseBuffer(parser_, static_cast<int>(n), XML_FALSE) != XML_STATUS_OK) {
            if (!failed_) {
                failed_ = true;
                error_ = XML_ErrorString(XML_GetErrorCode(parser_));
                errorPosition_ = position();
            }
            return false;
        }
    }
    return feed(suffix.data(), suffix.size(), true);
}

void XmlReader::onStart(void* self, const char* name, const char** attrs)
{
    auto* r = static_cast<XmlReader*>(self);
    r->rootStarted_ = true;
    if (!r->failed_)
        r->handler_.startElement(name, attrs);
}

void XmlReader::onEnd(void* self, const char* name)
{
    auto* r = static_cast<XmlReader*>(self);
    if (!r->failed_)
        r->handler_.endElement(name);
}

void XmlReader::onCharacters(void* self, const char* text, int length)
{
    auto* r = static_cast<XmlReader*>(self);
    if (!r->failed_)
        r->handler_.characters(text, length);
}

void XmlReader::onDoctype(void* self, const char*, const char*, const char*, int hasInternalSubset)
{
    // Domino names its DTD by a system identifier, which is never fetched; an internal subset
    // could declare entities and is refused.
    if (hasInternalSubset)
        static_cast<XmlReader*>(self)->fail("a document type declaration with an internal subset is not allowed");
}

void XmlReader::onEntityDecl(
    void* self, const char* name, int, const char*, int, const char*, const char*, const char*, const char*)
{
    static_cast<XmlReader*>(self)->fail(std::string("entity declarations are not allowed (entity \"") + name + "\")");
}

void XmlReader::onSkippedEntity(void* self, const char* name, int)
{
    static_cast<XmlReader*>(self)->fail(std::string("reference to an undeclared entity \"") + name + "\"");
}

void XmlReader::onXmlDecl(void* self, const char*, const char* encoding, int)
{
    if (encoding != nullptr)
        static_cast<XmlReader*>(self)->encoding_ = encoding;
}

void XmlReader::onNamespaceDecl(void* self, const char* prefix, const char* uri)
{
    auto* r = static_cast<XmlReader*>(self);
    if (r->rootStarted_)
        return;
    std::string& out = r->rootNamespaces_;
    out += prefix != nullptr ? std::string(" xmlns:") + prefix + "='" : std::string(" xmlns='");
    for (const char* c = uri != nullptr ? uri : ""; *c != 0; ++c) {
        switch (*c) {
        case '\'':
            out += "&apos;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        default:
            out += *c;
        }
    }
    out += '\'';
}

} // namespace notes::detail
