#include "dxl_builder.h"

#include "automation/variant.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace dxl {

namespace {
    const char* const Created = "<created><datetime dst='true'>20090604T101500,00+02</datetime></created>"
                                "<modified><datetime dst='true'>20090604T101500,00+02</datetime></modified>";

    std::string numberText(double v)
    {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", v);
        return buf;
    }

    std::string fileItem(const std::string& fileName, const std::string& sizeAttr, const std::string& data)
    {
        return "<item name='$FILE' summary='true' sign='true' seal='true'><object><file hosttype='msdos' "
               "compression='none' flags='storedindoc' encoding='none' name='"
            + escape(fileName) + "'" + sizeAttr + ">" + Created + "<filedata>\n" + data
            + "</filedata></file></object></item>\n";
    }
} // namespace

std::string escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string base64(std::string_view bytes)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(bytes.size() * 4 / 3 + bytes.size() / 57 + 8);
    std::size_t line = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0U;
        const auto b2 = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0U;
        out += alphabet[b0 >> 2];
        out += alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += i + 1 < bytes.size() ? alphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
        out += i + 2 < bytes.size() ? alphabet[b2 & 63] : '=';
        if ((line += 4) == 76) {
            out += '\n';
            line = 0;
        }
    }
    if (line != 0)
        out += '\n';
    return out;
}

namespace {
    void putLe(std::string& out, std::uint32_t v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }

    // An RFC 5322 date ("Thu, 5 Nov 2009 09:30:12 +0100") as the TIMEDATE Domino stores beside
    // it: hundredths of a second since midnight GMT, then the Julian day with the zone in bits
    // 24-29 and east of GMT in bit 30 (Notes C API). Empty when the text is no such date.
    std::string timeDate(std::string_view raw)
    {
        static const char* const Months[]
            = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
        std::string text(raw);
        if (const auto comma = text.find(','); comma != std::string::npos)
            text = text.substr(comma + 1);
        int day = 0, year = 0, hour = 0, minute = 0, second = 0, zone = 0;
        char month[4] = {};
        char sign = 0;
        if (std::sscanf(
                text.c_str(), " %d %3s %d %d:%d:%d %c%4d", &day, month, &year, &hour, &minute, &second, &sign, &zone)
            != 8)
            return {};
        const auto m = std::find_if(
            std::begin(Months), std::end(Months), [&](const char* n) { return month == std::string(n); });
        if (m == std::end(Months) || (sign != '+' && sign != '-'))
            return {};
        const int offset = (sign == '+' ? 1 : -1) * (zone / 100 * 60 + zone % 100);
        std::int64_t seconds
            = automation::DaysFromCivil(year, static_cast<int>(m - std::begin(Months)) + 1, day) * 86400 + hour * 3600
            + minute * 60 + second - offset * 60;
        const std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
        seconds -= days * 86400;
        const int absolute = offset < 0 ? -offset : offset;
        const std::uint32_t date = static_cast<std::uint32_t>(days + 2440588)
            | static_cast<std::uint32_t>(absolute / 60) << 24 | static_cast<std::uint32_t>(absolute % 60 / 15) << 28
            | (offset > 0 ? 0x40000000U : 0U);
        std::string out;
        putLe(out, static_cast<std::uint32_t>(seconds * 100), 4);
        putLe(out, date, 4);
        return out;
    }

    std::string lower(std::string_view s)
    {
        std::string out(s);
        for (auto& c : out)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
        return out;
    }

    struct Field {
        std::string name;
        std::string raw; // the body as written, folds and CRLF included
    };

    std::vector<Field> headerFields(std::string_view block)
    {
        std::vector<Field> fields;
        std::size_t at = 0;
        while (at < block.size()) {
            std::size_t end = block.find("\r\n", at);
            end = end == std::string_view::npos ? block.size() : end + 2;
            const std::string_view line = block.substr(at, end - at);
            if ((line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
                fields.back().raw += line;
            } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
                std::size_t value = colon + 1;
                while (value < line.size() && line[value] == ' ')
                    ++value;
                fields.push_back({ std::string(line.substr(0, colon)), std::string(line.substr(value)) });
            }
            at = end;
        }
        return fields;
    }

    std::vector<std::string> boundaries(std::string_view message)
    {
        std::vector<std::string> out;
        const std::string text = lower(message);
        for (std::size_t at = text.find("boundary="); at != std::string::npos; at = text.find("boundary=", at + 1)) {
            std::size_t b = at + 9;
            const bool quoted = b < message.size() && message[b] == '"';
            b += quoted ? 1 : 0;
            std::size_t e = b;
            while (e < message.size() && (quoted ? message[e] != '"' : (message[e] != ';' && message[e] != '\r')))
                ++e;
            out.emplace_back(message.substr(b, e - b));
        }
        return out;
    }
} // namespace

std::string rfc822ItemBytes(std::uint32_t flags, std::string_view native, std::string_view name, std::string_view body)
{
    std::string out;
    putLe(out, 14, 2);
    putLe(out, flags, 4);
    putLe(out, static_cast<std::uint32_t>(native.size()), 2);
    putLe(out, static_cast<std::uint32_t>(name.size()), 2);
    putLe(out, 2, 2);
    putLe(out, static_cast<std::uint32_t>(body.size()), 2);
    out.append(native).append(name).append(": ").append(body);
    return out;
}

std::string mimePartBytes(int partType, std::string_view boundary, std::string_view headers, std::string_view body)
{
    std::string out;
    putLe(out, 2, 2);
    putLe(out, (boundary.empty() ? 0U : 1U) | (headers.empty() ? 0U : 2U), 4);
    putLe(out, static_cast<std::uint32_t>(partType), 1);
    putLe(out, 0, 1);
    putLe(out, static_cast<std::uint32_t>(boundary.size() + headers.size() + body.size()), 2);
    putLe(out, static_cast<std::uint32_t>(boundary.size()), 2);
    putLe(out, static_cast<std::uint32_t>(headers.size()), 2);
    putLe(out, 0, 2);
    putLe(out, 0, 4);
    out.append(boundary).append(headers).append(body);
    return out;
}

DocumentBuilder& DocumentBuilder::rawData(const std::string& name, int type, std::string_view bytes)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(type));
    items_ += "<item name='" + escape(name) + "'><rawitemdata type='" + hex + "'>\n" + base64(bytes)
        + "</rawitemdata></item>\n";
    return *this;
}

DocumentBuilder& DocumentBuilder::nativeMime(std::string_view message)
{
    const std::size_t split = message.find("\r\n\r\n");
    if (split == std::string_view::npos)
        throw std::invalid_argument("nativeMime: the message has no body (lines must end in CRLF)");
    std::string topHeaders;
    for (const auto& f : headerFields(message.substr(0, split + 2))) {
        const std::string key = lower(f.name);
        if (key.starts_with("content-")) {
            topHeaders += f.name + ": " + f.raw;
            continue;
        }
        std::string item = key == "to" ? "SendTo"
            : key == "cc"              ? "CopyTo"
            : key == "bcc"             ? "BlindCopyTo"
            : key == "date"            ? "PostedDate"
            : key == "message-id"      ? "$MessageID"
                                       : f.name;
        std::replace(item.begin(), item.end(), '-', '_');
        const bool address = key == "from" || key == "to" || key == "cc" || key == "bcc" || key == "reply-to";
        const std::uint32_t format = address ? 0 : key == "date" ? 1 : 2;
        std::string native;
        if (format == 1) {
            native = timeDate(f.raw); // Domino keeps the date as a TIMEDATE too
        } else {
            for (char c : f.raw)
                if (c != '\r' && c != '\n')
                    native += c;
            const bool ascii = std::all_of(native.begin(), native.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
            if (!ascii || native.find("=?") != std::string::npos)
                native.clear();
        }
        rawData(item, 0x502, rfc822ItemBytes(format | 8, native, f.name, f.raw));
    }
    topHeaders += "\r\n";
    // The body, cut before every boundary line: each piece a MIME part item of Body.
    const auto known = boundaries(message);
    const std::string_view body = message.substr(split + 4);
    std::string boundary;
    std::string headers = topHeaders;
    std::string text;
    int type = 2;
    auto flush = [&] {
        rawData("Body", 0x19, mimePartBytes(type, boundary, headers, text));
        boundary.clear();
        headers.clear();
        text.clear();
    };
    std::size_t at = 0;
    bool inHeaders = false;
    while (at < body.size()) {
        std::size_t end = body.find("\r\n", at);
        end = end == std::string_view::npos ? body.size() : end + 2;
        const std::string_view line = body.substr(at, end - at);
        at = end;
        bool delimiter = false;
        bool closing = false;
        for (const auto& b : known) {
            const std::string open = "--" + b;
            if (line.starts_with(open)) {
                const std::string_view rest = line.substr(open.size());
                delimiter = true;
                closing = rest.starts_with("--");
            }
        }
        if (delimiter) {
            flush();
            boundary = line;
            type = closing ? 3 : 2;
            inHeaders = !closing;
            continue;
        }
        if (inHeaders) {
            headers += line;
            inHeaders = line != "\r\n";
        } else {
            text += line;
        }
    }
    flush();
    return *this;
}

DocumentBuilder& DocumentBuilder::mimeElement(std::string_view message)
{
    items_ += "<mime>" + escape(message) + "</mime>\n";
    return *this;
}

DocumentBuilder::DocumentBuilder(std::string form, std::string noteId, std::string unid)
    : form_(std::move(form))
    , noteId_(std::move(noteId))
    , unid_(std::move(unid))
{
    if (!form_.empty())
        text("Form", form_);
}

DocumentBuilder& DocumentBuilder::text(const std::string& name, const std::string& value)
{
    items_ += "<item name='" + escape(name) + "'><text>" + escape(value) + "</text></item>\n";
    return *this;
}

DocumentBuilder& DocumentBuilder::textList(const std::string& name, const std::vector<std::string>& values)
{
    items_ += "<item name='" + escape(name) + "'><textlist>";
    for (const auto& v : values)
        items_ += "<text>" + escape(v) + "</text>";
    items_ += "</textlist></item>\n";
    return *this;
}

DocumentBuilder& DocumentBuilder::names(const std::string& name, const std::vector<std::string>& values)
{
    items_ += "<item name='" + escape(name) + "' names='true'><textlist>";
    for (const auto& v : values)
        items_ += "<text>" + escape(v) + "</text>";
    items_ += "</textlist></item>\n";
    return *this;
}

DocumentBuilder& DocumentBuilder::number(const std::string& name, double value)
{
    items_ += "<item name='" + escape(name) + "'><number>" + numberText(value) + "</number></item>\n";
    return *this;
}

DocumentBuilder& DocumentBuilder::numberList(const std::string& name, const std::vector<double>& values)
{
    items_ += "<item name='" + escape(name) + "'><numberlist>";
    for (double v : values)
        items_ += "<number>" + numberText(v) + "</number>";
    items_ += "</numberlist></item>\n";
    return *this;
}

DocumentBuilder& DocumentBuilder::dateTime(const std::string& name, const std::string& value)
{
    items_ += "<item name='" + escape(name) + "'><datetime dst='true'>" + escape(value) + "</datetime></item>\n";
    return *this;
}

DocumentBuilder& DocumentBuilder::dateTimeList(const std::string& name, const std::vector<std::string>& values)
{
    items_ += "<item name='" + escape(name) + "'><datetimelist>";
    for (const auto& v : values)
        items_ += "<datetime>" + escape(v) + "</datetime>";
    items_ += "</datetimelist></item>\n";
    return *this;
}

DocumentBuilder& DocumentBuilder::richText(const std::string& name, const std::vector<std::string>& paragraphs)
{
    items_ += "<item name='" + escape(name) + "'><richtext>\n<pardef id='1'/>\n";
    for (const auto& p : paragraphs)
        items_ += "<par def='1'>" + escape(p) + "</par>\n";
    items_ += "</richtext></item>\n";
    return *this;
}

DocumentBuilder& DocumentBuilder::attachment(const std::string& fileName, std::string_view bytes, bool withSize)
{
    items_ += fileItem(fileName, withSize ? " size='" + std::to_string(bytes.size()) + "'" : "", base64(bytes));
    return *this;
}

DocumentBuilder& DocumentBuilder::rawAttachment(
    const std::string& fileName, const std::string& fileData, std::uint64_t size)
{
    items_ += fileItem(fileName, " size='" + std::to_string(size) + "'", fileData);
    return *this;
}

DocumentBuilder& DocumentBuilder::folderRef(const std::string& folderUnid)
{
    folderRefs_.push_back(folderUnid);
    return *this;
}

DocumentBuilder& DocumentBuilder::rawItem(const std::string& xml)
{
    items_ += xml + "\n";
    return *this;
}

std::string DocumentBuilder::xml() const
{
    std::string out = "<document form='" + escape(form_) + "'>\n<noteinfo noteid='" + noteId_ + "' unid='" + unid_
        + "' sequence='1'>\n" + Created + "</noteinfo>\n";
    out += "<updatedby><name>CN=Ann Lee/O=Acme</name></updatedby>\n";
    out += items_;
    if (!folderRefs_.empty()) {
        out += "<item name='$FolderRef' summary='false'><textlist>";
        for (const auto& f : folderRefs_)
            out += "<text>" + f + "</text>";
        out += "</textlist></item>\n";
    }
    out += "</document>\n";
    return out;
}

ViewBuilder::ViewBuilder(std::string name, bool folder, std::string noteId, std::string unid)
    : name_(std::move(name))
    , folder_(folder)
    , noteId_(std::move(noteId))
    , unid_(std::move(unid))
{
}

ViewBuilder& ViewBuilder::alias(const std::string& alias)
{
    aliases_.push_back(alias);
    return *this;
}

ViewBuilder& ViewBuilder::entries(const std::vector<std::string>& noteIds)
{
    hasEntries_ = true;
    entries_.insert(entries_.end(), noteIds.begin(), noteIds.end());
    return *this;
}

ViewBuilder& ViewBuilder::formula(const std::string& formula)
{
    formula_ = formula;
    return *this;
}

std::string ViewBuilder::xml() const
{
    const char* element = folder_ ? "folder" : "view";
    std::string out = std::string("<") + element + " name='" + escape(name_) + "'";
    if (!aliases_.empty()) {
        std::string joined;
        for (const auto& a : aliases_)
            joined += (joined.empty() ? "" : "|") + a;
        out += " alias='" + escape(joined) + "'";
    }
    out += " showinmenu='false' publicaccess='false' designerversion='8.5.3'>\n<noteinfo noteid='" + noteId_
        + "' unid='" + unid_ + "' sequence='1'>\n" + Created + "</noteinfo>\n";
    if (!formula_.empty())
        out += "<code event='selection'><formula>" + escape(formula_) + "</formula></code>\n";
    out += "<column sort='descending' itemname='$3' width='10'><columnheader title='Date'/></column>\n";
    if (hasEntries_) {
        out += "<fm:entries xmlns:fm='urn:ferrymark:view-entries'>";
        for (const auto& e : entries_)
            out += "<fm:entry noteid='" + escape(e) + "'/>";
        out += "</fm:entries>\n";
    }
    out += std::string("</") + element + ">\n";
    return out;
}

DatabaseBuilder::DatabaseBuilder(std::string title, std::string type)
    : title_(std::move(title))
    , type_(std::move(type))
{
}

std::string DatabaseBuilder::nextNoteId()
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", nextId_ += 4);
    return buf;
}

std::string DatabaseBuilder::nextUnid()
{
    char buf[40];
    std::snprintf(
        buf, sizeof buf, "%016llX%016llX", 0x85257B3A00508D17ULL, static_cast<unsigned long long>(nextUnid_++));
    return buf;
}

DocumentBuilder& DatabaseBuilder::document(const std::string& form) { return document(form, nextNoteId()); }

DocumentBuilder& DatabaseBuilder::document(const std::string& form, const std::string& noteId)
{
    return documents_.emplace_back(form, noteId, nextUnid());
}

ViewBuilder& DatabaseBuilder::view(const std::string& name)
{
    return views_.emplace_back(name, false, nextNoteId(), nextUnid());
}

ViewBuilder& DatabaseBuilder::folder(const std::string& name)
{
    return views_.emplace_back(name, true, nextNoteId(), nextUnid());
}

DatabaseBuilder& DatabaseBuilder::raw(const std::string& xml)
{
    raw_.push_back(xml);
    return *this;
}

std::string DatabaseBuilder::header(const std::string& title, const std::string& type)
{
    return "<?xml version='1.0' encoding='utf-8'?>\n"
           "<!DOCTYPE database SYSTEM 'xmlschemas/domino_9_0_1.dtd'>\n"
           "<database xmlns='http://www.lotus.com/dxl' version='9.0' maintenanceversion='1.0' "
           "replicaid='85257B3A00508D17' path='"
        + escape(title) + ".nsf' title='" + escape(title) + "' type='" + escape(type)
        + "'>\n<databaseinfo dbid='85257B3A00508D17' odsversion='51' diskspace='1048576' percentused='90' "
          "numberofdocuments='0'><datamodified><datetime dst='true'>20090604T101500,00+02</datetime></datamodified>"
          "<designmodified><datetime dst='true'>20090604T101500,00+02</datetime></designmodified></databaseinfo>\n";
}

std::string DatabaseBuilder::footer() { return "</database>\n"; }

std::string DatabaseBuilder::xml() const
{
    std::string out = header(title_, type_);
    for (const auto& v : views_)
        out += v.xml();
    for (const auto& d : documents_)
        out += d.xml();
    for (const auto& r : raw_)
        out += r + "\n";
    out += footer();
    return out;
}

std::string DatabaseBuilder::write(const std::filesystem::path& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << xml();
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    return path.string();
}

} // namespace dxl
