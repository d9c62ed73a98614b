// Expat, set up for reading DXL safely: namespaces on, no DTD internal subset, no entity
// declarations, nothing fetched from outside; errors carry the file's own line and column.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct XML_ParserStruct;

namespace notes::detail {

inline constexpr std::string_view DxlNamespace = "http://www.lotus.com/dxl";
inline constexpr std::string_view EntriesNamespace = "urn:ferrymark:view-entries";

// The local name of an element named "namespace|local", when its namespace is ns; else "".
std::string_view localName(const char* name, std::string_view ns);
// The local name of a DXL element: one in the DXL namespace, or one in no namespace at all
// (notes kept without the namespace declaration read as DXL); empty for any other namespace.
std::string_view dxlName(const char* name);

// Value of the attribute of that (unqualified) name in an expat attribute list, or nullptr.
const char* attribute(const char** attrs, std::string_view name);

struct Position {
    std::uint64_t line = 0; // 1-based; 0 when unknown
    std::uint64_t column = 0; // 1-based
};

// A read-only file opened by path, read at offsets.
class InputFile {
public:
    // Opens path; on failure returns an invalid file and sets error to errno.
    InputFile(const std::string& path, int& error);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Reads up to size bytes at offset; returns the count (0 at the end) or -1 with errno set.
    long readAt(char* buffer, std::size_t size, std::uint64_t offset) const;

private:
    int fd_ = -1;
};

class XmlHandler {
public:
    virtual void startElement(const char* name, const char** attrs) = 0;
    virtual void endElement(const char* name) = 0;
    virtual void characters(const char* text, int length);
    // Asked only where the reader may pass over items (XmlReader::passOverItems): the next bytes
    // of the input are an <item> start tag, everything before it has been parsed, and name is its
    // name attribute as the file writes it (plain characters, no references). True lets the
    // reader skip the whole element unparsed: none of its events reach the handler, and its
    // content is not checked.
    virtual bool passOverItem(std::string_view name);

protected:
    ~XmlHandler() = default;
};

class XmlReader {
public:
    // encoding: the document's declared encoding when a fragment of it is parsed, else nullptr.
    XmlReader(XmlHandler& handler, const char* encoding = nullptr);
    ~XmlReader();
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    // Whether character data reaches the handler (off by default; cheaper when off).
    void wantCharacters(bool on);
    bool charactersWanted() const { return charactersWanted_; }
    // Lets the handler pass over <item> elements it does not want (XmlHandler::passOverItem). They
    // are found in the raw bytes, so only where the encoding keeps markup in ASCII bytes (UTF-8,
    // ASCII and the single-byte code pages) and only where an item holds nothing but elements and
    // text; anywhere else the item is parsed as usual.
    void passOverItems(bool on) { passOver_ = on; }
    // Ends parsing with an error of our own at the current position.
    void fail(std::string what);
    bool failed() const { return failed_; }

    // Parses [begin, end) of file, preceded by prefix and followed by suffix, which are not part of
    // the file; positions are reported as positions in the file, given where begin lies in it.
    // end == UINT64_MAX means up to the end of the file. Returns false on any error.
    bool parse(const InputFile& file, std::uint64_t begin, std::uint64_t end, Position beginPosition,
        std::string_view prefix = {}, std::string_view suffix = {});

    // During a callback: the current event's file offset and byte length, and its position.
    std::uint64_t offset() const;
    int eventLength() const;
    Position position() const;

    // After a failed parse: what went wrong and where; ioError is set for read failures.
    const std::string& error() const { return error_; }
    Position errorPosition() const { return errorPosition_; }
    bool ioError() const { return ioError_; }
    // The encoding named by the XML declaration, if any.
    const std::string& declaredEncoding() const { return encoding_; }
    // Namespace declarations of the root element as attribute text (" xmlns:p='uri'..."), so that
    // a fragment of the document can be parsed on its own inside a wrapper element.
    const std::string& rootNamespaces() const { return rootNamespaces_; }

private:
    static void onStart(void* self, const char* name, const char** attrs);
    static void onEnd(void* self, const char* name);
    static void onCharacters(void* self, const char* text, int length);
    static void onDoctype(void* self, const char*, const char*, const char*, int hasInternalSubset);
    static void onEntityDecl(
        void* self, const char*, int, const char*, int, const char*, const char*, const char*, const char*);
    static void onSkippedEntity(void* self, const char* name, int);
    static void onXmlDecl(void* self, const char*, const char* encoding, int);
    static void onNamespaceDecl(void* self, const char* prefix, const char* uri);
    static void onNamespaceEnd(void* self, const char* prefix);
    Position translate(std::uint64_t line, std::uint64_t column) const;
    bool feed(const char* data, std::size_t size, bool final);
    bool parsePassingOver(const InputFile& file, std::uint64_t begin, std::uint64_t end);
    bool mayPassOver();
    struct Skipped;
    void passedOver(const Skipped& skipped);

    XML_ParserStruct* parser_;
    XmlHandler& handler_;
    bool reusable_;
    bool failed_ = false;
    bool charactersWanted_ = false;
    bool ioError_ = false;
    std::string error_;
    Position errorPosition_;
    std::string encoding_;
    std::string rootNamespaces_;
    bool rootStarted_ = false;
    std::uint64_t origin_ = 0; // file offset of the first byte after the prefix
    std::uint64_t prefixLength_ = 0;
    Position originPosition_ { 1, 1 };

    // Passing over items (see passOverItems).
    bool passOver_ = false;
    int passable_ = -1; // whether the encoding allows it: -1 not yet known
    bool utf8_ = true; // the encoding counts columns per UTF-8 character, else per byte
    std::string fragmentEncoding_; // as given to the constructor
    std::vector<bool> otherDefaultNamespace_; // per default namespace declaration in scope: not DXL
    std::uint64_t fed_ = 0; // bytes given to expat, the prefix included
    std::uint64_t skipped_ = 0; // bytes of the file passed over
    // Expat counts lines and columns in what it was given; an event on expat's line shiftLine_
    // lies columnShift_ columns further in the file, and every event lineShift_ lines further.
    std::uint64_t lineShift_ = 0;
    std::uint64_t shiftLine_ = 0;
    std::int64_t columnShift_ = 0;
};

} // namespace notes::detail
