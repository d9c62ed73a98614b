// Writes a synthetic DXL mail database: messages spread over the standard mail folders and
// user folders (nested two levels), with attachments of chosen sizes, a calendar and to-do
// view, and an All Documents view. The design notes come first, as Domino and the Notes-side
// exporter write them; the documents are streamed through a file beside the output, so any size
// can be written.
//
// Usage: ferrymark_gen_dxl --out FILE [--messages N] [--folders F] [--attachment-size BYTES]
//                          [--attachment-every K] [--body-paragraphs P] [--seed S]
//                          [--body-format 0|1|2]
// Body formats: 0 rich text of plain paragraphs, 1 a plain text item, 2 formatted rich text (bold,
// italic and coloured runs, a bullet list, a two-by-two table, a link; a small picture on every
// tenth message).
#include "dxl_builder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string out;
    std::uint64_t messages = 10000;
    int folders = 6;
    std::uint64_t attachmentSize = 0;
    std::uint64_t attachmentEvery = 0; // every K-th message gets one; 0: none
    int bodyParagraphs = 4;
    std::uint32_t seed = 1;
    std::uint64_t viewFormulas = 0; // 1: ($Calendar) and ($ToDo) by selection formula, not entries
    std::uint64_t nativeMime = 0; // 1: mail as Internet mail keeps it, headers and body as MIME items
    std::uint64_t bodyFormat = 0;
};

[[noreturn]] void usage(const char* why)
{
    std::cerr << "ferrymark_gen_dxl: " << why
              << "\nusage: ferrymark_gen_dxl --out FILE [--messages N] [--folders F] [--attachment-size BYTES]"
                 " [--attachment-every K] [--body-paragraphs P] [--seed S] [--view-formulas 0|1]"
                 " [--native-mime 0|1] [--body-format 0|1|2]\n";
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            usage(("missing value for " + arg).c_str());
        const char* v = argv[++i];
        char* end = nullptr;
        const unsigned long long n = std::strtoull(v, &end, 10);
        const bool numeric = end != v && *end == 0;
        if (arg == "--out")
            o.out = v;
        else if (!numeric)
            usage(("not a number: " + std::string(v)).c_str());
        else if (arg == "--messages")
            o.messages = n;
        else if (arg == "--folders")
            o.folders = static_cast<int>(n);
        else if (arg == "--attachment-size")
            o.attachmentSize = n;
        else if (arg == "--attachment-every")
            o.attachmentEvery = n;
        else if (arg == "--body-paragraphs")
            o.bodyParagraphs = static_cast<int>(n);
        else if (arg == "--seed")
            o.seed = static_cast<std::uint32_t>(n);
        else if (arg == "--view-formulas")
            o.viewFormulas = n;
        else if (arg == "--native-mime")
            o.nativeMime = n;
        else if (arg == "--body-format")
            o.bodyFormat = n;
        else
            usage(("unknown option " + arg).c_str());
    }
    if (o.out.empty())
        usage("--out is required");
    return o;
}

// Rich text with the formatting mail bodies commonly carry, around the given paragraphs.
std::string styledBody(const std::vector<std::string>& paragraphs, bool picture)
{
    std::string x = "<item name='Body'><richtext><pardef id='1'/><pardef id='2' list='bullet'/>";
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        const std::string text = dxl::escape(paragraphs[i]);
        const auto space = text.find(' ');
        const std::string head = text.substr(0, space), tail = space == std::string::npos ? "" : text.substr(space);
        switch (i % 6) {
        case 0:
            x += "<par def='1'><run><font style='bold'/>" + head + "</run>" + tail + "</par>";
            break;
        case 1:
            x += "<par def='1'><run><font style='italic' color='#1f497d'/>" + head + "</run>" + tail + "</par>";
            break;
        case 2:
        case 3:
            x += "<par def='2'>" + text + "</par>";
            break;
        case 4:
            x += "<par def='1'><urllink href='https://example.com/" + head + "'>" + head + "</urllink>" + tail
                + "</par>";
            break;
        default:
            x += "<table><tablerow><tablecell><par def='1'>" + head + "</par></tablecell><tablecell><par def='1'>"
                + tail + "</par></tablecell></tablerow><tablerow><tablecell><par def='1'>1</par></tablecell>"
                + "<tablecell><par def='1'>2</par></tablecell></tablerow></table>";
        }
    }
    if (picture)
        x += "<par def='1'><picture width='16px' height='16px'><gif>"
            + dxl::base64(std::string("GIF89a\x10\0\x10\0\x80\0\0", 13) + std::string(2000, '\x2A'))
            + "</gif></picture></par>";
    return x + "</richtext></item>";
}

class Random {
public:
    explicit Random(std::uint32_t seed)
        : x_(seed * 2654435761U + 1)
    {
    }
    std::uint32_t next()
    {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 17;
        x_ ^= x_ << 5;
        return x_;
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }

private:
    std::uint32_t x_;
};

const char* const Words[] = { "figures", "meeting", "catalogue", "offer", "budget", "review", "plan", "customer",
    "shipment", "invoice", "Grüße", "price", "project", "contract", "team", "report", "agenda", "travel" };
const char* const People[] = { "CN=Ann Lee/OU=Sales/O=Acme", "CN=Bo Yu/OU=Research/O=Acme", "CN=Carla Mendes/O=Acme",
    "CN=Dieter Müller/OU=Berlin/O=Acme", "CN=Erik Svensson/O=Partner" };
const char* const Internet[]
    = { "ann.lee@acme.example", "bo.yu@acme.example", "carla.mendes@acme.example", ".", "erik@partner.example" };

std::string words(Random& r, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            s += ' ';
        s += Words[r.below(std::size(Words))];
    }
    return s;
}

std::string date(Random& r)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "20%02u%02u%02uT%02u%02u%02u,%02u+01", 5 + r.below(5), 1 + r.below(12),
        1 + r.below(28), r.below(24), r.below(60), r.below(60), r.below(100));
    return buf;
}

// A DXL date-time ("20090604T101500,00+01") as an RFC 5322 date.
std::string rfcDate(const std::string& dxl)
{
    static const char* const Months[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    const int month = std::stoi(dxl.substr(4, 2));
    return dxl.substr(6, 2) + " " + Months[month - 1] + " " + dxl.substr(0, 4) + " " + dxl.substr(9, 2) + ":"
        + dxl.substr(11, 2) + ":" + dxl.substr(13, 2) + " +0100";
}

// A multipart/alternative message, plain text and HTML, as a mail client sends it.
std::string mimeMessage(int from, int to1, int to2, const std::string& subject, const std::string& posted,
    const std::vector<std::string>& paragraphs)
{
    auto address = [](int who) {
        const std::string a = Internet[who];
        return a == "." ? std::string("dieter.mueller@acme.example") : a;
    };
    std::string m = "From: " + address(from) + "\r\nTo: " + address(to1) + ", " + address(to2)
        + "\r\nSubject: " + subject + "\r\nDate: " + rfcDate(posted)
        + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"=_alt\"\r\n\r\n"
          "--=_alt\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    for (const auto& p : paragraphs)
        m += p + "\r\n\r\n";
    m += "--=_alt\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><body>";
    for (const auto& p : paragraphs)
        m += "<p>" + p + "</p>";
    return m + "</body></html>\r\n--=_alt--\r\n";
}

std::string noteId(std::uint64_t n)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(0x8FA + 4 * n));
    return buf;
}

std::string unid(std::uint64_t n)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "85257B3A00508D17%016llX", static_cast<unsigned long long>(n));
    return buf;
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    const std::string documentsPath = o.out + ".documents";
    std::ofstream out(documentsPath, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << "ferrymark_gen_dxl: cannot write " << documentsPath << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    Random r(o.seed);

    // Folders: the standard ones, then user folders, every third one nested below the one before.
    std::vector<std::string> folders
        = { "($Inbox)", "($Sent)", "($Drafts)", "($Trash)", "($JunkMail)", "($Follow-Up)" };
    for (int f = 0; f < o.folders; ++f)
        folders.push_back(f % 3 == 2 ? folders.back() + "\\Sub " + std::to_string(f) : "Folder " + std::to_string(f));
    std::vector<std::vector<std::string>> members(folders.size());
    std::vector<std::string> calendar;
    std::vector<std::string> todo;

    std::string attachmentBytes;
    for (std::uint64_t i = 0; i < o.attachmentSize; ++i)
        attachmentBytes += static_cast<char>(r.next() & 0xFF);

    const std::uint64_t extras = o.messages / 50; // a few calendar and to-do entries
    std::uint64_t n = 0;
    for (std::uint64_t m = 0; m < o.messages; ++m, ++n) {
        const std::string id = noteId(n);
        const std::size_t folder = r.below(10) < 6 ? 0 : r.below(static_cast<std::uint32_t>(folders.size()));
        members[folder].push_back(id);
        dxl::DocumentBuilder doc("Memo", id, unid(n + 1000));
        const auto from = r.below(5);
        const auto to1 = r.below(5);
        const auto to2 = r.below(5);
        if (o.nativeMime != 0) {
            const std::string subject = words(r, 2 + static_cast<int>(r.below(6)));
            const std::string posted = date(r);
            std::vector<std::string> body;
            for (int p = 0; p < o.bodyParagraphs; ++p)
                body.push_back(words(r, 6 + static_cast<int>(r.below(12))));
            doc.nativeMime(mimeMessage(
                static_cast<int>(from), static_cast<int>(to1), static_cast<int>(to2), subject, posted, body));
            if (folder != 2)
                doc.dateTime("DeliveredDate", posted);
            if (o.attachmentEvery != 0 && o.attachmentSize != 0 && m % o.attachmentEvery == 0)
                doc.attachment("attachment " + std::to_string(m) + ".bin", attachmentBytes);
            out << doc.xml();
            continue;
        }
        doc.text("Subject", words(r, 2 + static_cast<int>(r.below(6))))
            .names("From", { People[from] })
            .text("INetFrom", Internet[from])
            .names("SendTo", { People[to1], People[to2] })
            .names("InetSendTo", { Internet[to1], Internet[to2] });
        if (r.below(3) == 0)
            doc.names("CopyTo", { People[to2] }).names("InetCopyTo", { Internet[to2] });
        if (r.below(8) == 0)
            doc.names("BlindCopyTo", { People[to1] }).names("InetBlindCopyTo", { "." });
        const std::string posted = date(r);
        if (folder != 2)
            doc.dateTime("PostedDate", posted).dateTime("DeliveredDate", posted);
        std::vector<std::string> body;
        for (int p = 0; p < o.bodyParagraphs; ++p)
            body.push_back(words(r, 6 + static_cast<int>(r.below(12))));
        if (o.bodyFormat == 1) {
            std::string text;
            for (const auto& p : body)
                text += (text.empty() ? "" : "\n") + p;
            doc.text("Body", text);
        } else if (o.bodyFormat == 2) {
            doc.rawItem(styledBody(body, m % 10 == 0));
        } else {
            doc.richText("Body", body);
        }
        if (o.attachmentEvery != 0 && o.attachmentSize != 0 && m % o.attachmentEvery == 0)
            doc.attachment("attachment " + std::to_string(m) + ".bin", attachmentBytes);
        out << doc.xml();
    }
    for (std::uint64_t e = 0; e < extras; ++e, ++n) {
        const std::string id = noteId(n);
        dxl::DocumentBuilder doc(e % 2 == 0 ? "Appointment" : "Task", id, unid(n + 1000));
        doc.text("Subject", words(r, 3));
        if (e % 2 == 0) {
            const std::string start = date(r);
            doc.dateTime("StartDateTime", start).dateTime("EndDateTime", start).text("Location", "Room 1");
            calendar.push_back(id);
        } else {
            doc.dateTime("DueDate", date(r).substr(0, 8));
            todo.push_back(id);
        }
        out << doc.xml();
    }
    out.close();
    if (!out) {
        std::cerr << "ferrymark_gen_dxl: writing " << documentsPath << " failed\n";
        return 1;
    }
    out.open(o.out, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << "ferrymark_gen_dxl: cannot write " << o.out << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    out << dxl::DatabaseBuilder::header("Synthetic mail", "mailfile");
    std::uint64_t design = n;
    for (std::size_t f = 0; f < folders.size(); ++f) {
        dxl::ViewBuilder view(folders[f], true, noteId(design), unid(design + 1000));
        ++design;
        out << view.entries(members[f]).xml();
    }
    for (const auto& [name, ids] : { std::pair { "($Calendar)", &calendar }, std::pair { "($ToDo)", &todo } }) {
        dxl::ViewBuilder view(name, false, noteId(design), unid(design + 1000));
        ++design;
        if (o.viewFormulas != 0)
            out << view.formula(std::string("SELECT Form = \"") + (ids == &calendar ? "Appointment" : "Task") + "\"")
                       .xml();
        else
            out << view.entries(*ids).xml();
    }
    dxl::ViewBuilder all("($All)", false, noteId(design), unid(design + 1000));
    out << all.selectAll().xml();
    {
        std::ifstream documents(documentsPath, std::ios::binary);
        out << documents.rdbuf();
    }
    std::remove(documentsPath.c_str());
    out << dxl::DatabaseBuilder::footer();
    out.close();
    if (!out) {
        std::cerr << "ferrymark_gen_dxl: writing " << o.out << " failed\n";
        return 1;
    }
    return 0;
}
