#include "native_mime.h"

#include "automation/automation.h"
#include "mime_body.h"
#include "raw_items.h"
#include "rich_text_html.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace notes::detail {

namespace {
    constexpr int TypeAttachment = 1084;
    constexpr int TypeText = 1280;
    constexpr int TypeDateTimes = 1024;

    bool equalsIgnoreCase(std::string_view a, std::string_view b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
            return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
        });
    }

    // LMBCS is ASCII for printable ASCII; anything else in the native value is read from the
    // header body instead.
    bool plainAscii(std::string_view text)
    {
        return !text.empty()
            && std::all_of(text.begin(), text.end(), [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\t'; });
    }

    automation::VariantArray textValues(const std::vector<std::string>& texts)
    {
        automation::VariantArray out;
        for (const auto& t : texts)
            out.emplace_back(t);
        return out;
    }

    std::size_t sizeOf(const automation::VariantArray& values)
    {
        std::size_t size = 0;
        for (const auto& v : values)
            size += v.type() == automation::Variant::Type::Text ? v.toText().size() : 8;
        return size;
    }

    void renameAttachment(ParsedDocument& document, Attachment& attachment, const std::string& name)
    {
        const auto index = static_cast<int>(&attachment - document.attachments.data());
        for (auto& item : document.items)
            if (item.attachment == index)
                item.values = { automation::Variant(name) };
        attachment.fileName = name;
    }

    // The part's headers with the name of the object that holds its body, before the blank line
    // that ends them.
    std::string withObjectHeader(std::string_view headers, std::string_view name)
    {
        while (!name.empty() && (name.back() == 0 || name.back() == '\r' || name.back() == '\n' || name.back() == ' '))
            name.remove_suffix(1);
        std::string hex;
        for (const unsigned char c : name) {
            static constexpr char Digits[] = "0123456789abcdef";
            hex += Digits[c >> 4];
            hex += Digits[c & 15];
        }
        std::string out(headers);
        std::size_t end = out.size();
        if (out.size() >= 4 && out.compare(out.size() - 4, 4, "\r\n\r\n") == 0)
            end = out.size() - 2;
        else if (out.size() >= 2 && out.compare(out.size() - 2, 2, "\n\n") == 0)
            end = out.size() - 1;
        else
            out += "\r\n";
        out.insert(end, std::string(ObjectHeader) + ": " + hex + "\r\n");
        return out;
    }

    void addAttachments(ParsedDocument& document, std::vector<MimeAttachment>& attachments)
    {
        for (auto& m : attachments) {
            if (!m.objectName.empty()) {
                // The $FILE object already is an attachment of the document: it takes the
                // part's name, which the part may give in full (RFC 2231) where the object's is
                // shortened.
                auto held = std::find_if(document.attachments.begin(), document.attachments.end(),
                    [&](const Attachment& a) { return equalsIgnoreCase(a.fileName, m.objectName); });
                if (held == document.attachments.end()) {
                    document.findings.damage("a MIME part's body is in the object \"" + m.objectName
                        + "\", which the document does not hold");
                    continue;
                }
                if (m.named)
                    renameAttachment(document, *held, m.fileName);
                continue;
            }
            Attachment a;
            a.fileName = m.fileName;
            a.size = m.data ? m.data->size() : 0;
            a.hasData = true;
            a.compression = "none";
            a.data = std::move(m.data);
            Item item;
            item.name = "$FILE";
            item.type = TypeAttachment;
            item.values = { automation::Variant(a.fileName) };
            item.size = a.size;
            item.attachment = static_cast<int>(document.attachments.size());
            document.attachments.push_back(std::move(a));
            document.items.push_back(std::move(item));
        }
    }

    // The plain body, else the HTML's text; lines end in LF, trailing line ends dropped.
    std::string bodyText(const MimeBody& body)
    {
        const std::string& source = !body.plain.empty() ? body.plain : body.html;
        std::string text;
        text.reserve(source.size());
        for (std::size_t i = 0; i < source.size(); ++i)
            if (!(source[i] == '\r' && i + 1 < source.size() && source[i + 1] == '\n'))
                text += source[i];
        if (body.plain.empty())
            text = htmlToText(text);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return text;
    }

    // The HTML body of an entity, in UTF-8 and saying so, with the inline parts it references
    // by Content-ID (taken out of the entity's attachments); none without an HTML part.
    std::shared_ptr<const automation::NotesMimeBody> htmlBody(MimeBody& body)
    {
        if (body.html.empty())
            return nullptr;
        auto out = std::make_shared<automation::NotesMimeBody>();
        out->html = withUtf8Charset(std::move(body.html));
        out->plain = body.plain;
        std::vector<MimeAttachment> rest;
        for (auto& a : body.attachments) {
            if (a.isInline && !a.contentId.empty() && a.objectName.empty() && a.data
                && out->html.find("cid:" + a.contentId) != std::string::npos)
                out->inlineParts.push_back({ a.contentId, a.contentType, a.fileName, std::move(a.data) });
            else
                rest.push_back(std::move(a));
        }
        body.attachments = std::move(rest);
        return out;
    }

    Item* find(ParsedDocument& document, std::string_view name)
    {
        for (auto& item : document.items)
            if (equalsIgnoreCase(item.name, name))
                return &item;
        return nullptr;
    }

    void addIfMissing(ParsedDocument& document, const char* name, int type, automation::VariantArray values)
    {
        if (values.empty() || find(document, name) != nullptr)
            return;
        Item item;
        item.name = name;
        item.type = type;
        item.size = sizeOf(values);
        item.values = std::move(values);
        document.items.push_back(std::move(item));
    }
} // namespace

void setRfc822Values(Item& item, std::string_view bytes, ReaderFindings& findings, std::string& headers)
{
    const auto parsed = parseRfc822Item(bytes);
    if (parsed && !parsed->name.empty()) {
        headers.append(parsed->name);
        headers.append(parsed->delimiter.empty() ? std::string_view(": ") : parsed->delimiter);
        std::string_view body = parsed->body;
        while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
            body.remove_suffix(1);
        headers.append(body);
        headers.append("\r\n");
    }
    if (!parsed || !parsed->complete)
        findings.damage(
            "item " + item.name + ": the RFC822 text item is cut short (" + std::to_string(bytes.size()) + " bytes)");
    if (!parsed)
        return;
    automation::VariantArray values;
    if (parsed->format == Rfc822Item::Format::Date) {
        auto date = parseTimeDate(parsed->native);
        if (!date)
            date = decodeHeaderDate(parsed->body);
        if (date)
            values.emplace_back(*date);
    } else {
        const bool native = plainAscii(parsed->native);
        std::string text = native ? std::string(parsed->native) : decodeHeaderText(parsed->body);
        if (parsed->format == Rfc822Item::Format::Address) {
            // One value per address, as Notes keeps recipients.
            const auto list = decodeHeaderAddresses(native ? parsed->native : parsed->body);
            if (list.size() > 1)
                values = textValues(list);
        }
        if (values.empty() && !text.empty())
            values.emplace_back(std::move(text));
    }
    item.size = sizeOf(values);
    item.values = std::move(values);
}

void applyNativeMime(ParsedDocument& document, const std::vector<MimePartBytes>& parts, std::string_view mimeText)
{
    std::vector<bool> dropped(document.items.size(), false);
    std::vector<std::size_t> done;
    for (const auto& first : parts) {
        if (first.item >= document.items.size() || dropped[first.item])
            continue;
        const std::string& name = document.items[first.item].name;
        if (std::any_of(done.begin(), done.end(),
                [&](std::size_t i) { return equalsIgnoreCase(document.items[i].name, name); }))
            continue;
        done.push_back(first.item);
        // The items of this name, in order: boundary, headers and body of each, one after another.
        std::string entity;
        for (const auto& p : parts) {
            if (p.item >= document.items.size() || !equalsIgnoreCase(document.items[p.item].name, name))
                continue;
            if (p.item != first.item)
                dropped[p.item] = true;
            const auto part = parseMimePart(p.bytes);
            if (!part || !part->complete)
                document.findings.damage(
                    "item " + name + ": a MIME part item is cut short (" + std::to_string(p.bytes.size()) + " bytes)");
            if (!part)
                continue;
            entity.append(part->boundary);
            if (part->bodyInObject()) {
                // The body is kept in a $FILE object that the part names: the part's attachment
                // is that object (see addAttachments), named by the header this adds.
                entity.append(withObjectHeader(part->headers, part->body));
            } else {
                entity.append(part->headers);
                entity.append(part->body);
            }
        }
        auto body = parseMimeBody(entity);
        if (!body.parsed)
            document.findings.damage("item " + name + ": its MIME parts do not form a MIME entity");
        Item& item = document.items[first.item];
        std::string text = bodyText(body);
        item.mime = htmlBody(body);
        item.size = text.size();
        item.values.clear();
        if (!text.empty())
            item.values.emplace_back(std::move(text));
        addAttachments(document, body.attachments);
    }
    if (std::find(dropped.begin(), dropped.end(), true) != dropped.end()) {
        std::vector<Item> kept;
        for (std::size_t i = 0; i < document.items.size(); ++i)
            if (i >= dropped.size() || !dropped[i])
                kept.push_back(std::move(document.items[i]));
        document.items = std::move(kept);
    }
    if (mimeText.empty())
        return;
    auto message = parseMimeBody(mimeText);
    if (!message.parsed) {
        document.findings.damage("the <mime> element does not hold a MIME message");
        return;
    }
    addIfMissing(document, "Subject", TypeText,
        message.subject.empty() ? automation::VariantArray {} : automation::VariantArray { message.subject });
    addIfMissing(document, "From", TypeText, textValues(message.from));
    addIfMissing(document, "SendTo", TypeText, textValues(message.to));
    addIfMissing(document, "CopyTo", TypeText, textValues(message.cc));
    addIfMissing(document, "BlindCopyTo", TypeText, textValues(message.bcc));
    if (message.date)
        addIfMissing(document, "PostedDate", TypeDateTimes, { automation::Variant(*message.date) });
    const std::string text = bodyText(message);
    auto html = htmlBody(message);
    if (Item* body = find(document, "Body"); body != nullptr && body->values.empty()) {
        body->values = { automation::Variant(text) };
        body->size = text.size();
        if (!body->mime)
            body->mime = std::move(html);
    } else if (body == nullptr) {
        addIfMissing(document, "Body", TypeText, { automation::Variant(text) });
        if (Item* added = find(document, "Body"))
            added->mime = std::move(html);
    }
    if (document.internetHeaders.empty()) {
        // The message's own header block, up to the blank line that ends it.
        std::size_t end = mimeText.find("\r\n\r\n");
        const std::size_t lf = mimeText.find("\n\n");
        if (lf < end)
            end = lf;
        // Each line ends in CRLF, as header lines do (XML gave the element's line ends as LF).
        const std::string_view block = mimeText.substr(0, end == std::string_view::npos ? mimeText.size() : end);
        for (std::size_t i = 0; i < block.size(); ++i)
            if (block[i] == '\n' && (i == 0 || block[i - 1] != '\r'))
                document.internetHeaders += "\r\n";
            else
                document.internetHeaders += block[i];
        if (!block.empty())
            document.internetHeaders += "\r\n";
    }
    addAttachments(document, message.attachments);
}

void writeAttachmentBytes(const std::string& data, const std::string& target)
{
    const char* object = "NotesEmbeddedObject";
    const char* member = "ExtractFile";
    if (target.empty())
        throw automation::AutomationError(object, member, "no target path given");
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw automation::AutomationError(object, member, target + ": cannot create the file: " + std::strerror(errno));
    std::size_t done = 0;
    std::string error;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && error.empty())
        error = std::strerror(errno);
    if (!error.empty()) {
        ::unlink(target.c_str());
        throw automation::AutomationError(object, member, target + ": cannot write the file: " + error);
    }
}

} // namespace notes::detail
