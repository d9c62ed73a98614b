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
    // Nearly every name is in the DXL namespace: that is told without looking for the separator.
    if (std::strncmp(name, DxlNamespace.data(), DxlNamespace.size()) == 0
        && name[DxlNamespace.size()] == NamespaceSeparator)
        return name + DxlNamespace.size() + 1;
    if (std::strchr(name, NamespaceSeparator) == nullptr)
        return name;
    return localName(name, DxlNamespace);
}

const char* attribute(const char** attrs, std::string_view name)
{
    // Compared character by character, without measuring each name first: elements carry
    // several attributes and most differ from the name looked for in the first character.
    for (; attrs[0] != nullptr; attrs += 2) {
        const char* a = attrs[0];
        std::size_t i = 0;
        while (i < name.size() && a[i] == name[i])
            ++i;
        if (i == name.size() && a[i] == 0)
            return attrs[1];
    }
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

bool XmlHandler::passOverItem(std::string_view) { return false; }

XmlReader::XmlReader(XmlHandler& handler, const char* encoding)
    : parser_(takeParser(encoding))
    , handler_(handler)
    , reusable_(encoding == nullptr)
    , fragmentEncoding_(encoding != nullptr ? encoding : "")
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
    XML_SetNamespaceDeclHandler(parser_, &XmlReader::onNamespaceDecl, &XmlReader::onNamespaceEnd);
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
    // Where items were passed over, expat's count misses their lines and columns.
    if (line == shiftLine_)
        column
            = static_cast<std::uint64_t>(std::max<std::int64_t>(static_cast<std::int64_t>(column) + columnShift_, 0));
    line += lineShift_;
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
    return index >= prefixLength_ ? origin_ + skipped_ + index - prefixLength_ : origin_;
}

int XmlReader::eventLength() const { return XML_GetCurrentByteCount(parser_); }

bool XmlReader::feed(const char* data, std::size_t size, bool final)
{
    if (failed_)
        return false;
    fed_ += size;
    if (XML_Parse(parser_, data, static_cast<int>(size), final ? XML_TRUE : XML_FALSE) == XML_STATUS_OK)
        return true;
    if (!failed_) {
        failed_ = true;
        error_ = XML_ErrorString(XML_GetErrorCode(parser_));
        errorPosition_ = position();
    }
    return false;
}

bool XmlReader::parse(const InputFile& file, std::uint64_t begin, std::uint64_t end, Position beginPosition,
    std::string_view prefix, std::string_view suffix)
{
    end = std::max(begin, end);
    origin_ = begin;
    prefixLength_ = prefix.size();
    originPosition_ = beginPosition;
    if (!prefix.empty() && !feed(prefix.data(), prefix.size(), false))
        return false;
    if (passOver_) {
        if (!parsePassingOver(file, begin, end))
            return false;
        return feed(suffix.data(), suffix.size(), true);
    }
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
        fed_ += static_cast<std::uint64_t>(n);
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

// ---------------------------------------------------------------------------------------------
// Passing over items
//
// The bytes are read ahead of expat into a window and fed up to each "<item" they hold. When
// expat has then parsed everything before it and the handler is at a place where items stand,
// that "<item" is an item's start tag; the handler is asked for it by name, and an item it
// does not want is skipped up to its end tag, if the item holds nothing that could hide or
// fake an end tag (a comment, CDATA, a processing instruction, a nested item). Entity
// declarations are refused, so no reference can expand into markup either.

namespace {
    // The characters of UTF-8 text: its bytes but the continuation bytes (10xxxxxx), counted
    // eight at a time.
    std::uint64_t utf8Characters(const char* from, const char* end)
    {
        std::uint64_t continuation = 0;
        const char* q = from;
        for (; end - q >= 8; q += 8) {
            std::uint64_t word;
            std::memcpy(&word, q, sizeof word);
            // The top bit of each byte that is 1 while the bit below it is 0, moved to the bottom
            // bit and summed into the top byte by one multiplication (the sum is at most 8; a
            // population count is a library call where the processor's instruction is not known).
            const std::uint64_t tops = (word & ~(word << 1) & 0x8080808080808080ULL) >> 7;
            continuation += (tops * 0x0101010101010101ULL) >> 56;
        }
        for (; q < end; ++q)
            continuation += (static_cast<unsigned char>(*q) & 0xC0) == 0x80 ? 1 : 0;
        return static_cast<std::uint64_t>(end - from) - continuation;
    }
} // namespace

// What a stretch of the file passed over adds to expat's line and column count: lines as expat
// counts them (LF, CR LF or CR alone), then the characters after the last line end.
struct XmlReader::Skipped {
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    std::uint64_t columns = 0; // after the last line end, or all of them when there is none
    bool endsInCr = false;

    void count(const char* data, std::size_t size, bool utf8)
    {
        if (size == 0)
            return;
        bytes += size;
        const char* end = data + size;
        const char* lineStart = nullptr; // after the last line end in data
        for (const char* q = data; (q = static_cast<const char*>(std::memchr(q, '\n', end - q))) != nullptr; ++q) {
            if (!(q == data ? endsInCr : q[-1] == '\r'))
                ++lines;
            lineStart = q + 1;
        }
        for (const char* q = data; (q = static_cast<const char*>(std::memchr(q, '\r', end - q))) != nullptr; ++q) {
            ++lines;
            if (lineStart == nullptr || q + 1 > lineStart)
                lineStart = q + 1;
        }
        const char* from = lineStart != nullptr ? lineStart : data;
        const std::uint64_t characters = utf8 ? utf8Characters(from, end) : static_cast<std::uint64_t>(end - from);
        columns = lineStart != nullptr ? characters : columns + characters;
        endsInCr = end[-1] == '\r';
    }
};

namespace {
    // The file's bytes from at, read ahead of expat; data()[0] is the first byte not yet fed or
    // passed over.
    class Window {
    public:
        Window(const InputFile& file, std::uint64_t at, std::uint64_t end)
            : file_(file)
            , at_(at)
            , end_(end)
        {
        }
        const char* data() const { return bytes_.data() + start_; }
        std::size_t size() const { return size_; }
        std::uint64_t at() const { return at_; }
        bool atEnd() const { return atEnd_; }

        // Reads up to ReadSize more bytes. False on a read error or a file shorter than end
        // (error says which); at the end of what there is to read, true with atEnd() set.
        bool more(std::string& error)
        {
            const std::uint64_t next = at_ + size_;
            const std::uint64_t want = std::min<std::uint64_t>(ReadSize, end_ - next);
            if (want == 0) {
                atEnd_ = true;
                return true;
            }
            if (start_ > 0 && start_ + size_ + want > bytes_.size()) {
                std::memmove(bytes_.data(), bytes_.data() + start_, size_);
                start_ = 0;
            }
            if (start_ + size_ + want > bytes_.size())
                bytes_.resize(start_ + size_ + want);
            const long n = file_.readAt(bytes_.data() + start_ + size_, want, next);
            if (n < 0) {
                error = std::string("read failed: ") + std::strerror(errno);
                return false;
            }
            if (n == 0) {
                if (end_ != std::numeric_limits<std::uint64_t>::max()) {
                    error = "the file is shorter than when it was indexed";
                    return false;
                }
                atEnd_ = true;
                return true;
            }
            size_ += static_cast<std::size_t>(n);
            return true;
        }

        void drop(std::size_t n)
        {
            start_ += n;
            size_ -= n;
            at_ += n;
            if (size_ == 0)
                start_ = 0;
        }

        // Goes back to the file offset at, reading from there again.
        void rewind(std::uint64_t at)
        {
            at_ = at;
            start_ = 0;
            size_ = 0;
            atEnd_ = false;
        }

    private:
        const InputFile& file_;
        std::vector<char> bytes_;
        std::size_t start_ = 0;
        std::size_t size_ = 0;
        std::uint64_t at_;
        std::uint64_t end_;
        bool atEnd_ = false;
    };

    bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    bool endsName(char c) { return isBlank(c) || c == '>' || c == '/'; }
    constexpr std::string_view ItemStart = "<item";
    constexpr std::size_t MaxStartTag = 64 * 1024;

    // The end of the start tag that begins at data[0] ("<item ..."): the index after its '>', or
    // 0 when data ends first. Sets selfClosing, and name to the name attribute's raw value; name
    // stays empty when the tag has none, or one that is not plain text as written (a reference,
    // a control character), or declares a namespace.
    std::size_t startTag(
        const char* data, std::size_t size, bool asciiOnlyNames, bool& selfClosing, std::string_view& name, bool& plain)
    {
        plain = true;
        name = {};
        std::size_t i = ItemStart.size();
        for (;;) {
            while (i < size && isBlank(data[i]))
                ++i;
            if (i >= size)
                return 0;
            if (data[i] == '>') {
                selfClosing = false;
                return i + 1;
            }
            if (data[i] == '/') {
                if (i + 1 >= size)
                    return 0;
                selfClosing = true;
                return data[i + 1] == '>' ? i + 2 : (plain = false, i + 1);
            }
            const std::size_t nameBegin = i;
            while (i < size && data[i] != '=' && !isBlank(data[i]) && data[i] != '>')
                ++i;
            const std::string_view attribute(data + nameBegin, i - nameBegin);
            while (i < size && isBlank(data[i]))
                ++i;
            if (i >= size)
                return 0;
            if (data[i] != '=') {
                plain = false; // not well formed: expat says so
                return i;
            }
            ++i;
            while (i < size && isBlank(data[i]))
                ++i;
            if (i >= size)
                return 0;
            const char quote = data[i];
            if (quote != '\'' && quote != '"') {
                plain = false;
                return i;
            }
            const void* close = std::memchr(data + i + 1, quote, size - i - 1);
            if (close == nullptr)
                return 0;
            const std::size_t valueEnd = static_cast<std::size_t>(static_cast<const char*>(close) - data);
            const std::string_view value(data + i + 1, valueEnd - i - 1);
            if (attribute.substr(0, 5) == "xmlns")
                plain = false;
            if (attribute == "name") {
                for (const char c : value)
                    if (c == '&' || c == '<' || static_cast<unsigned char>(c) < 0x20
                        || (asciiOnlyNames && static_cast<unsigned char>(c) >= 0x80))
                        plain = false;
                name = value;
            }
            i = valueEnd + 1;
        }
    }

    // Whether a file in this encoding writes markup in ASCII bytes that no other character
    // contains, and counts one column per byte or per UTF-8 character (utf8).
    bool encodingAllowsPassing(std::string name, bool& utf8)
    {
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        utf8 = name.empty() || name == "utf-8" || name == "utf8";
        if (utf8 || name == "us-ascii" || name == "ascii")
            return true;
        for (const std::string_view single : { "iso-8859-", "iso8859-", "windows-125", "cp125", "latin" })
            if (name.compare(0, single.size(), single) == 0)
                return true;
        return false;
    }
} // namespace

bool XmlReader::mayPassOver()
{
    // Known once the XML declaration is read: the file's encoding, or the one a fragment is
    // read in.
    if (passable_ < 0)
        passable_ = encodingAllowsPassing(fragmentEncoding_.empty() ? encoding_ : fragmentEncoding_, utf8_) ? 1 : 0;
    if (passable_ == 0)
        return false;
    if (!otherDefaultNamespace_.empty() && otherDefaultNamespace_.back())
        return false;
    // Everything fed so far is parsed: no token is left open, so "<item" starts one.
    return XML_GetCurrentByteIndex(parser_) == static_cast<XML_Index>(fed_);
}

void XmlReader::passedOver(const Skipped& skipped)
{
    const std::uint64_t line = XML_GetCurrentLineNumber(parser_);
    const auto column = static_cast<std::int64_t>(XML_GetCurrentColumnNumber(parser_));
    if (skipped.lines > 0) {
        lineShift_ += skipped.lines;
        columnShift_ = static_cast<std::int64_t>(skipped.columns) - column;
    } else {
        columnShift_ = (line == shiftLine_ ? columnShift_ : 0) + static_cast<std::int64_t>(skipped.columns);
    }
    shiftLine_ = line;
    skipped_ += skipped.bytes;
}

bool XmlReader::parsePassingOver(const InputFile& file, std::uint64_t begin, std::uint64_t end)
{
    Window w(file, begin, end);
    std::string readError;
    auto readFailed = [&] {
        failed_ = true;
        ioError_ = true;
        error_ = readError;
        errorPosition_ = {};
        return false;
    };
    auto feedFront = [&](std::size_t n) {
        const bool ok = n == 0 || feed(w.data(), n, false);
        w.drop(n);
        return ok;
    };
    if (begin == 0) {
        // A byte-order mark or the zero bytes of UTF-16 or UTF-32 at the start: no passing over.
        while (w.size() < 2 && !w.atEnd())
            if (!w.more(readError))
                return readFailed();
        const char* d = w.data();
        if (w.size() >= 2
            && ((d[0] == '\xFE' && d[1] == '\xFF') || (d[0] == '\xFF' && d[1] == '\xFE') || d[0] == 0 || d[1] == 0))
            passable_ = 0;
    }
    std::size_t scanFrom = 0; // where to look for the next "<item"
    for (;;) {
        if (failed_)
            return false;
        const char* found = nullptr;
        if (scanFrom < w.size())
            found = static_cast<const char*>(
                ::memmem(w.data() + scanFrom, w.size() - scanFrom, ItemStart.data(), ItemStart.size()));
        if (found == nullptr || static_cast<std::size_t>(found - w.data()) + ItemStart.size() >= w.size()) {
            // None whole in the window: feed all but what could be the start of one.
            if (w.atEnd())
                return feedFront(w.size());
            const std::size_t keep = found != nullptr ? w.size() - static_cast<std::size_t>(found - w.data())
                                                      : std::min(w.size(), ItemStart.size());
            const std::size_t n = w.size() - keep;
            if (!feedFront(n))
                return false;
            scanFrom = scanFrom > n ? scanFrom - n : 0;
            if (!w.more(readError))
                return readFailed();
            continue;
        }
        const auto at = static_cast<std::size_t>(found - w.data());
        if (!endsName(w.data()[at + ItemStart.size()])) {
            scanFrom = at + 1;
            continue;
        }
        if (!feedFront(at))
            return false;
        scanFrom = 1;
        if (!mayPassOver())
            continue;
        // The start tag, read whole.
        bool selfClosing = false;
        bool plain = true;
        std::string_view name;
        std::size_t tagEnd = 0;
        while ((tagEnd = startTag(w.data(), w.size(), !utf8_, selfClosing, name, plain)) == 0 && !w.atEnd()
            && w.size() < MaxStartTag)
            if (!w.more(readError))
                return readFailed();
        if (tagEnd == 0 || !plain || name.empty() || !handler_.passOverItem(name)) {
            scanFrom = std::max<std::size_t>(tagEnd, 1);
            continue;
        }
        // Up to the end tag, counting what is passed over; given up for anything but elements
        // and text, or the input ending first.
        const std::uint64_t itemAt = w.at();
        Skipped skipped;
        std::size_t i = tagEnd;
        bool ended = selfClosing;
        if (ended) {
            skipped.count(w.data(), tagEnd, utf8_);
            w.drop(tagEnd);
        }
        while (!ended) {
            const void* lt = i < w.size() ? std::memchr(w.data() + i, '<', w.size() - i) : nullptr;
            const std::size_t j
                = lt != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lt) - w.data()) : w.size();
            // Most tags inside an item are other elements' start and end tags: told by the
            // character or two after '<'.
            if (j + 2 < w.size()) {
                const char next = w.data()[j + 1];
                if ((next != '/' && next != '!' && next != '?' && next != 'i')
                    || (next == '/' && w.data()[j + 2] != 'i')) {
                    i = j + 1;
                    continue;
                }
            }
            // Enough bytes after '<' to tell what it starts ("</item" and blanks up to '>').
            std::size_t k = j + 6;
            while (k < w.size() && isBlank(w.data()[k]) && k - j < 64)
                ++k;
            if (lt == nullptr || k >= w.size()) {
                if (w.atEnd() || k - j >= 64)
                    break;
                skipped.count(w.data(), j, utf8_);
                w.drop(j);
                i = 0;
                if (!w.more(readError))
                    return readFailed();
                continue;
            }
            const char* d = w.data();
            const char next = d[j + 1];
            if (next == '!' || next == '?')
                break;
            if (next == 'i' && std::string_view(d + j, 5) == ItemStart && endsName(d[j + 5]))
                break;
            if (next == '/' && std::string_view(d + j + 2, 4) == "item" && (isBlank(d[j + 6]) || d[j + 6] == '>')) {
                if (d[k] != '>')
                    break;
                skipped.count(d, k + 1, utf8_);
                w.drop(k + 1);
                ended = true;
                break;
            }
            i = j + 1;
        }
        if (!ended) {
            // Read as usual from its start tag.
            w.rewind(itemAt);
            if (!w.more(readError))
                return readFailed();
            scanFrom = 1;
            continue;
        }
        passedOver(skipped);
        scanFrom = 0;
    }
}

void XmlReader::onNamespaceEnd(void* self, const char* prefix)
{
    auto* r = static_cast<XmlReader*>(self);
    if (prefix == nullptr && !r->otherDefaultNamespace_.empty())
        r->otherDefaultNamespace_.pop_back();
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
    if (prefix == nullptr)
        r->otherDefaultNamespace_.push_back(uri != nullptr && *uri != 0 && DxlNamespace != uri);
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
