// Writes DXL databases for tests in a few lines, in the shapes Domino's exporter uses:
//
//     dxl::DatabaseBuilder db("Mail of Ann Lee", "mailfile");
//     auto& memo = db.document("Memo").text("Subject", "Hello").names("SendTo", {"CN=Bo Yu/O=Acme"});
//     memo.attachment("notes.txt", "file bytes");
//     db.folder("($Inbox)").entries({memo.noteId()});
//     db.view("($All)").selectAll();
//     const std::string path = db.write(dir / "mail.dxl");
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace dxl {

// Text escaped for an XML attribute value or element content.
std::string escape(std::string_view text);
// Base64 in lines of 76 characters, as the exporter writes file data.
std::string base64(std::string_view bytes);

// Raw item data of native MIME mail, in the layouts of the Notes C API reference (mimeods.h).
// TYPE_RFC822_TEXT: RFC822ITEMDESC, then the Notes native value, header name, ": ", body.
std::string rfc822ItemBytes(std::uint32_t flags, std::string_view native, std::string_view name, std::string_view body);
// TYPE_MIME_PART: MIME_PART, then boundary, headers, body.
std::string mimePartBytes(int partType, std::string_view boundary, std::string_view headers, std::string_view body);

class DocumentBuilder {
public:
    DocumentBuilder(std::string form, std::string noteId, std::string unid);

    DocumentBuilder& text(const std::string& name, const std::string& value);
    DocumentBuilder& textList(const std::string& name, const std::vector<std::string>& values);
    // A names item (names='true'): Notes or Internet addresses.
    DocumentBuilder& names(const std::string& name, const std::vector<std::string>& values);
    DocumentBuilder& number(const std::string& name, double value);
    DocumentBuilder& numberList(const std::string& name, const std::vector<double>& values);
    // Values in DXL's own form: "20100105T113000,00+01", "20100105", "T113000,00".
    DocumentBuilder& dateTime(const std::string& name, const std::string& value);
    DocumentBuilder& dateTimeList(const std::string& name, const std::vector<std::string>& values);
    // Rich text of plain paragraphs; attachment names get an attachment icon reference.
    DocumentBuilder& richText(const std::string& name, const std::vector<std::string>& paragraphs);
    // A $FILE item holding the file; withSize=false leaves out the size attribute.
    DocumentBuilder& attachment(const std::string& fileName, std::string_view bytes, bool withSize = true);
    // A $FILE item whose file data is written as given (for broken data).
    DocumentBuilder& rawAttachment(const std::string& fileName, const std::string& fileData, std::uint64_t size);
    // Files this document into the folder of that UNID through $FolderRef.
    DocumentBuilder& folderRef(const std::string& folderUnid);
    // An item written verbatim.
    DocumentBuilder& rawItem(const std::string& xml);
    // An item of <rawitemdata type='TYPE'> (hexadecimal) holding bytes.
    DocumentBuilder& rawData(const std::string& name, int type, std::string_view bytes);
    // An RFC 5322 message stored as Domino stores native MIME: each header field an RFC822
    // text item (To as SendTo, Cc as CopyTo, Date as PostedDate, "-" as "_"), the Content-*
    // fields and the body split at every boundary line into MIME part items of Body, in order.
    // Native values are kept for plain ASCII text only; dates are left to the header text.
    DocumentBuilder& nativeMime(std::string_view message);
    // The same message as the exporter's MIME option writes it: a <mime> element.
    DocumentBuilder& mimeElement(std::string_view message);

    const std::string& noteId() const { return noteId_; }
    const std::string& unid() const { return unid_; }
    std::string xml() const;

private:
    std::string form_;
    std::string noteId_;
    std::string unid_;
    std::vector<std::string> folderRefs_;
    std::string items_;
};

class ViewBuilder {
public:
    ViewBuilder(std::string name, bool folder, std::string noteId, std::string unid);

    ViewBuilder& alias(const std::string& alias);
    // Our entries element: the view's documents in this order.
    ViewBuilder& entries(const std::vector<std::string>& noteIds);
    // The selection formula SELECT @All.
    ViewBuilder& selectAll() { return formula("SELECT @All"); }
    ViewBuilder& formula(const std::string& formula);

    const std::string& unid() const { return unid_; }
    std::string xml() const;

private:
    std::string name_;
    bool folder_;
    std::string noteId_;
    std::string unid_;
    std::vector<std::string> aliases_;
    std::string formula_;
    bool hasEntries_ = false;
    std::vector<std::string> entries_;
};

class DatabaseBuilder {
public:
    // type: "mailfile", "personaljournal", "addressbook", "standard".
    explicit DatabaseBuilder(std::string title = "Test Database", std::string type = "mailfile");

    // A document with the next free note ID.
    DocumentBuilder& document(const std::string& form);
    DocumentBuilder& document(const std::string& form, const std::string& noteId);
    ViewBuilder& view(const std::string& name);
    ViewBuilder& folder(const std::string& name);
    // Verbatim XML placed among the notes.
    DatabaseBuilder& raw(const std::string& xml);

    std::string xml() const;
    // Writes xml() to path and returns the path as text.
    std::string write(const std::filesystem::path& path) const;

    // The header and footer of a database file, for writers that stream their notes.
    static std::string header(const std::string& title, const std::string& type);
    static std::string footer();

private:
    std::string nextNoteId();
    std::string nextUnid();

    std::string title_;
    std::string type_;
    std::uint32_t nextId_ = 0x8F6;
    std::uint32_t nextUnid_ = 1;
    std::deque<ViewBuilder> views_;
    std::deque<DocumentBuilder> documents_;
    std::vector<std::string> raw_;
};

} // namespace dxl
