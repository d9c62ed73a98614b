// Messages in ANSI and Unicode stores: mail with 0, 1 and 3 recipients of each type and 0, 1 and 2
// attachments (0 bytes, 5 KB, 20 MB), non-ASCII text, a long body, appointments, contacts, tasks,
// sticky notes and an updated message, judged by the verifier, pypff/pffexport (tests/support/pst_readers.py),
// pffexport's text files and readpst's mbox, vCard and iCalendar output.
#include "PstTestSupport.h"

#include "pst/Store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <regex>

using namespace psttest;

namespace {

const pst::Guid kAppointment = { 0x02, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46 };
const pst::Guid kTask = { 0x03, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46 };
const pst::Guid kAddress = { 0x04, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46 };
const pst::Guid kCommon = { 0x08, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46 };
const pst::Guid kNote = { 0x0E, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46 };
const pst::Guid kPublicStrings = { 0x29, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46 };

pst::Property text(std::uint16_t id, const std::string& s) { return { id, std::nullopt, 0x001F, s }; }
pst::Property time(std::uint16_t id, std::int64_t ticks)
{
    return { id, std::nullopt, 0x0040, pst::FileTime { ticks } };
}
pst::Property named(const pst::Guid& set, std::uint32_t lid, std::uint16_t type, pst::PropertyValue v)
{
    return { 0, pst::PropertyName { set, lid, {} }, type, std::move(v) };
}

// 2024-03-01 08:00:00 UTC in FILETIME ticks, and "YYYY-MM-DDTHH:MM:SS" as pst_readers.py prints it.
constexpr std::int64_t kBase = 133537536000000000LL;
constexpr std::int64_t kHour = 36000000000LL;
std::string isoOf(std::int64_t ticks)
{
    const std::time_t t = static_cast<std::time_t>(ticks / 10000000 - 11644473600LL);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", std::gmtime(&t));
    return buf;
}

std::string sha256(const std::filesystem::path& file)
{
    auto r = run("sha256sum " + quote(file.string()));
    return r.output.substr(0, 64);
}

void writeFile(const std::filesystem::path& p, std::size_t size, unsigned seed)
{
    std::ofstream out(p, std::ios::binary);
    std::mt19937 rng(seed);
    std::vector<char> buf(65536);
    for (std::size_t at = 0; at < size; at += buf.size()) {
        for (auto& c : buf)
            c = static_cast<char>(rng());
        out.write(buf.data(), static_cast<std::streamsize>(std::min(buf.size(), size - at)));
    }
}

struct Written {
    std::vector<std::string> items; // as list_items.py prints them
    int mail = 0, appointments = 0, contacts = 0, tasks = 0, notes = 0;
};

class PstMessageStore : public ::testing::TestWithParam<pst::Format> {
protected:
    static void SetUpTestSuite()
    {
        files_ = new ScratchDir;
        writeFile(*files_ / "empty.dat", 0, 1);
        writeFile(*files_ / "five.bin", 5 * 1024, 2);
        writeFile(*files_ / "twenty.bin", 20 * 1024 * 1024, 3);
    }
    static void TearDownTestSuite()
    {
        delete files_;
        files_ = nullptr;
    }
    bool ansi() const { return GetParam() == pst::Format::Ansi; }
    // What a reader gets back: Windows-1252 keeps Latin text, the rest becomes "?".
    std::string kept(const std::string& unicode, const std::string& inAnsi) const { return ansi() ? inAnsi : unicode; }

    Written writeStore(const std::filesystem::path& path);
    static ScratchDir* files_;
};
ScratchDir* PstMessageStore::files_ = nullptr;

Written PstMessageStore::writeStore(const std::filesystem::path& path)
{
    Written w;
    auto store = pst::Store::create(path, GetParam(), "Messages");
    auto inbox = store.defaultFolder(pst::DefaultFolder::Inbox);
    const std::string inboxPath = "Top of Personal Folders/Inbox";
    const std::filesystem::path empty = *files_ / "empty.dat", five = *files_ / "five.bin",
                                twenty = *files_ / "twenty.bin";
    const std::string shaEmpty = sha256(empty), shaFive = sha256(five), shaTwenty = sha256(twenty);

    // Mail: recipients 0, 1 and 3 of each type; attachments 0, 1 and 2.
    const std::pair<int, std::vector<std::pair<std::string, std::filesystem::path>>> shapes[] = {
        { 0, {} },
        { 1, { { "leer.dat", empty } } },
        { 3, { { "Grüße – 日本.bin", five }, { "twenty megabytes.bin", twenty } } },
    };
    int n = 0;
    for (const auto& [recipientsPerType, attachments] : shapes) {
        ++n;
        pst::MessageData m;
        const std::string subject = "RE: Grüße Nr. " + std::to_string(n) + " – 日本 ✓";
        const std::string body = "Hallo Jürgen,\r\n€ 5 – 日本語 ✓\r\nMessage " + std::to_string(n);
        m.properties
            = { text(0x0037, subject), text(0x1000, body), text(0x0C1A, "Sénder Ö"), text(0x0C1F, "sender@example.com"),
                  text(0x0C1E, "SMTP"), text(0x0042, "Sénder Ö"), text(0x0065, "sender@example.com"),
                  text(0x0064, "SMTP"), time(0x0039, kBase + n * kHour), time(0x0E06, kBase + n * kHour + 600000000) };
        std::string recipients;
        for (int type = 1; type <= 3; ++type)
            for (int i = 0; i < recipientsPerType; ++i) {
                const std::string name = "Empfänger " + std::to_string(type) + "." + std::to_string(i) + " 日";
                const std::string address = "r" + std::to_string(type) + std::to_string(i) + "@example.com";
                m.recipients.push_back({ name, address, "SMTP", type });
            }
        for (const auto& r : m.recipients) {
            static const char* types[] = { "", "To", "CC", "BCC" };
            recipients += (recipients.empty() ? "" : ", ") + std::string(types[r.type]) + ":"
                + kept(r.displayName, r.displayName.substr(0, r.displayName.size() - 3) + "?") + " <" + r.address + ">";
        }
        std::string listed;
        for (const auto& [name, file] : attachments) {
            m.attachments.push_back({ name, file });
            const auto size = std::filesystem::file_size(file);
            const std::string sha = file == empty ? shaEmpty : file == five ? shaFive : shaTwenty;
            listed += (listed.empty() ? "" : ", ") + kept(name, name == "Grüße – 日本.bin" ? "Grüße – ??.bin" : name)
                + " " + std::to_string(size) + " " + sha;
        }
        m.read = n != 2;
        inbox.addMessage(m);
        const int flags = (m.read ? 1 : 0) | (attachments.empty() ? 0 : 16);
        w.items.push_back(inboxPath + " | " + kept(subject, "RE: Grüße Nr. " + std::to_string(n) + " – ?? ?")
            + " | IPM.Note | " + "Sénder Ö <sender@example.com> | " + isoOf(kBase + n * kHour) + " | "
            + isoOf(kBase + n * kHour + 600000000) + " | " + std::to_string(flags) + " | "
            + kept("Hallo Jürgen,\\n€ 5 – 日本語 ✓\\nMessage ", "Hallo Jürgen,\\n€ 5 – ??? ?\\nMessage ")
            + std::to_string(n) + " | " + recipients + " | " + listed);
        ++w.mail;
    }
    // A long body (a data tree), an unsent draft, and a message updated after it was written.
    {
        std::string body;
        for (int i = 0; i < 4000; ++i)
            body += "Zeile " + std::to_string(i) + " ä\r\n";
        body += "Ende des langen Textes.";
        pst::MessageData m;
        m.properties = { text(0x0037, "Long body"), text(0x1000, body), time(0x0E06, kBase) };
        auto drafts = store.defaultFolder(pst::DefaultFolder::Drafts);
        m.unsent = true;
        drafts.addMessage(m);
        w.items.push_back("Top of Personal Folders/Drafts | Long body | IPM.Note | None <None> |  | " + isoOf(kBase)
            + " | 9 | " + std::to_string(body.size() - 4000)
            + " chars Zeile 0 ä\\nZeile 1 ä...e des langen Textes. |  | ");
        ++w.mail;

        pst::MessageData first;
        first.properties = { text(0x0037, "Before update"), time(0x0E06, kBase) };
        auto sent = store.defaultFolder(pst::DefaultFolder::SentItems);
        auto msg = sent.addMessage(first);
        store.flush();
        pst::MessageData second = first;
        second.properties = { text(0x0037, "After update"), text(0x1000, "Updated"), time(0x0E06, kBase) };
        second.recipients = { { "Zoë", "zoe@example.com", "SMTP", 1 } };
        msg.update(second);
        EXPECT_EQ(msg.folder(), sent);
        EXPECT_EQ(sent.contentCount(), 1u);
        w.items.push_back("Top of Personal Folders/Sent Items | After update | IPM.Note | None <None> |  | "
            + isoOf(kBase) + " | 1 | Updated | To:Zoë <zoe@example.com> | ");
        ++w.mail;
    }
    EXPECT_EQ(inbox.contentCount(), 3u);
    EXPECT_EQ(inbox.unreadCount(), 1u);

    // Appointment: start, end, location in PSETID_Appointment; common start/end are derived.
    {
        pst::MessageData a;
        a.messageClass = "IPM.Appointment";
        a.properties = { text(0x0037, "Besprechung – Q1"), text(0x1000, "Agenda: Büro"), time(0x0E06, kBase),
            named(kAppointment, 0x820D, 0x0040, pst::FileTime { kBase + 2 * kHour }),
            named(kAppointment, 0x820E, 0x0040, pst::FileTime { kBase + 3 * kHour }),
            named(kAppointment, 0x8208, 0x001F, std::string("Raum Zürich")),
            named(kAppointment, 0x8213, 0x0003, std::int32_t(60)) };
        store.defaultFolder(pst::DefaultFolder::Calendar).addMessage(a);
        w.items.push_back("Top of Personal Folders/Calendar | Besprechung – Q1 | IPM.Appointment | None <None> |  | "
            + isoOf(kBase) + " | 1 | Agenda: Büro |  | ");
        ++w.appointments;
    }
    // Contact: tagged name, company, phone and address properties, e-mail 1, file-as, work
    // address, web page and IM address in PSETID_Address.
    {
        pst::MessageData c;
        c.messageClass = "IPM.Contact";
        c.properties = { text(0x3001, "Jürgen Müller"), text(0x3A06, "Jürgen"), text(0x3A11, "Müller"),
            text(0x3A44, "K."), text(0x3A45, "Dr."), text(0x3A05, "Jr."), text(0x3A16, "Müller & Söhne GmbH"),
            text(0x3A17, "Leiter"), text(0x3A18, "Vertrieb"), text(0x3A08, "+49 30 1234"), text(0x3A09, "+49 30 5678"),
            text(0x3A1C, "+49 170 1234"), text(0x3A24, "+49 30 9999"), text(0x3A4F, "Jürgi"),
            text(0x3A29, "Hauptstraße 1"), text(0x3A27, "Berlin"), text(0x3A2A, "10115"), text(0x3A26, "Deutschland"),
            text(0x3A28, "BE"), time(0x3A42, kBase - 1000 * 24 * kHour), text(0x1000, "Notiz zum Kontakt"),
            time(0x0E06, kBase), named(kAddress, 0x8083, 0x001F, std::string("juergen@example.com")),
            named(kAddress, 0x8080, 0x001F, std::string("Jürgen Müller (juergen@example.com)")),
            named(kAddress, 0x8082, 0x001F, std::string("SMTP")),
            named(kAddress, 0x8005, 0x001F, std::string("Müller, Jürgen")),
            named(kAddress, 0x8045, 0x001F, std::string("Werkstraße 5")),
            named(kAddress, 0x8046, 0x001F, std::string("Hamburg")), named(kAddress, 0x8047, 0x001F, std::string("HH")),
            named(kAddress, 0x8048, 0x001F, std::string("20095")),
            named(kAddress, 0x8049, 0x001F, std::string("Deutschland")),
            named(kAddress, 0x802B, 0x001F, std::string("https://example.com/jm")),
            named(kAddress, 0x8062, 0x001F, std::string("jm@im.example.com")),
            { 0, pst::PropertyName { kPublicStrings, std::nullopt, "Keywords" }, 0x101F,
                std::vector<std::string> { "Kunde", "Berlin" } } };
        store.defaultFolder(pst::DefaultFolder::Contacts).addMessage(c);
        w.items.push_back("Top of Personal Folders/Contacts | Jürgen Müller | IPM.Contact | None <None> |  | "
            + isoOf(kBase) + " | 1 | Notiz zum Kontakt |  | ");
        ++w.contacts;
    }
    // Task with a due date, status and percent complete.
    {
        pst::MessageData t;
        t.messageClass = "IPM.Task";
        t.properties = { text(0x0037, "Bericht schreiben"), text(0x1000, "Bis Freitag"), time(0x0E06, kBase),
            named(kTask, 0x8105, 0x0040, pst::FileTime { kBase + 48 * kHour }),
            named(kTask, 0x8104, 0x0040, pst::FileTime { kBase }), named(kTask, 0x8101, 0x0003, std::int32_t(1)),
            named(kTask, 0x8102, 0x0005, 0.25) };
        store.defaultFolder(pst::DefaultFolder::Tasks).addMessage(t);
        w.items.push_back("Top of Personal Folders/Tasks | Bericht schreiben | IPM.Task | None <None> |  | "
            + isoOf(kBase) + " | 1 | Bis Freitag |  | ");
        ++w.tasks;
    }
    // Sticky note: colour, size and position; its subject is the first line of its body.
    {
        pst::MessageData s;
        s.messageClass = "IPM.StickyNote";
        s.properties = { text(0x1000, "Milch kaufen\r\nund Brot"), time(0x0E06, kBase),
            named(kNote, 0x8B00, 0x0003, std::int32_t(1)), named(kNote, 0x8B02, 0x0003, std::int32_t(300)),
            named(kNote, 0x8B03, 0x0003, std::int32_t(200)), named(kNote, 0x8B04, 0x0003, std::int32_t(40)),
            named(kNote, 0x8B05, 0x0003, std::int32_t(50)) };
        store.defaultFolder(pst::DefaultFolder::Notes).addMessage(s);
        w.items.push_back("Top of Personal Folders/Notes | Milch kaufen | IPM.StickyNote | None <None> |  | "
            + isoOf(kBase) + " | 1 | Milch kaufen\\nund Brot |  | ");
        ++w.notes;
    }
    store.close();
    return w;
}

std::string readersArg() { return quote(std::string(PST_TEST_SOURCE_DIR) + "/../../support/pst_readers.py"); }

void expectSameLines(std::vector<std::string> seen, std::vector<std::string> want)
{
    std::sort(seen.begin(), seen.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(seen, want);
}

std::string readAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Text of every file under root whose path contains part, joined.
std::string filesUnder(const std::filesystem::path& root, const std::string& part)
{
    std::string out;
    if (!std::filesystem::exists(root))
        return out;
    for (auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().string().find(part) != std::string::npos)
            out += readAll(e.path()) + "\n";
    return out;
}

TEST_P(PstMessageStore, ReadersSeeEveryItemAsWritten)
{
    ScratchDir dir;
    const auto path = dir / "messages.pst";
    const Written w = writeStore(path);

    auto check = verify(path);
    EXPECT_TRUE(check.ok) << check.output;

    // pypff and pffexport through pst_readers.py: subjects, senders, times, flags, bodies,
    // recipients and byte-exact attachments.
    auto listed = script("list_items.py", readersArg() + " " + quote(path.string()));
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    expectSameLines(lines(listed.output), w.items);

    // pffexport: every item exported, nothing skipped; the kinds with their own fields.
    const auto px = dir / "px";
    auto r = run("pffexport -m all -f text -t " + quote(px.string()) + " " + quote(path.string()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output.find("kipp"), std::string::npos) << r.output;
    const auto root = std::filesystem::path(px.string() + ".export");
    const std::string appointment = filesUnder(root, "Appointment.txt");
    EXPECT_NE(appointment.find("Start time:\t\t\t\tMar 01, 2024 10:00:00"), std::string::npos) << appointment;
    EXPECT_NE(appointment.find("End time:\t\t\t\tMar 01, 2024 11:00:00"), std::string::npos) << appointment;
    EXPECT_NE(appointment.find("Raum Zürich"), std::string::npos) << appointment;
    const std::string contact = filesUnder(root, "Contact.txt");
    for (const char* field : { "Jürgen Müller", "juergen@example.com", "Müller, Jürgen", "Müller & Söhne GmbH" })
        EXPECT_NE(contact.find(field), std::string::npos) << field << "\n" << contact;
    const std::string task = filesUnder(root, "Task.txt");
    EXPECT_NE(task.find("Mar 03, 2024 08:00:00"), std::string::npos) << task;
    EXPECT_NE(filesUnder(root / "Top of Personal Folders" / "Notes", ".txt").find("Milch kaufen"), std::string::npos);

    // readpst: mbox for mail, vCard for contacts, iCalendar for appointments and tasks.
    const auto rp = dir / "rp";
    std::filesystem::create_directories(rp);
    r = run("readpst -o " + quote(rp.string()) + " -r -D -cv " + quote(path.string()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    // readpst 0.6.76 counts every task and sticky note as skipped (it has no output for them, also
    // for Outlook's own files); everything else must be written.
    static const std::regex skipped("\"(.*)\" - ([0-9]+) items done, ([0-9]+) items skipped");
    for (const auto& l : lines(r.output)) {
        std::smatch m;
        if (std::regex_search(l, m, skipped)) {
            const std::string folder = m[1];
            const std::string expectSkipped = folder == "Tasks" ? std::to_string(w.tasks)
                : folder == "Notes"                             ? std::to_string(w.notes)
                                                                : "0";
            EXPECT_EQ(m[3], expectSkipped) << l;
        }
    }
    const std::string all = filesUnder(rp, "");
    for (const char* needle : { "Subject: =?utf-8?", "twenty megabytes.bin", "FN:Müller\\, Jürgen",
             "N:Müller;Jürgen;K.;Dr.;Jr.", "EMAIL:juergen@example.com", "ORG:Müller & Söhne GmbH",
             "<sender@example.com>", "Content-Type: text/plain; charset=", "SUMMARY:Besprechung – Q1",
             "LOCATION:Raum Zürich", "DTSTART;VALUE=DATE-TIME:20240301T100000Z",
             "DTEND;VALUE=DATE-TIME:20240301T110000Z", "DESCRIPTION:Agenda: Büro" })
        EXPECT_NE(all.find(needle), std::string::npos) << needle << "\n" << r.output << "\n" << all.substr(0, 3000);
}

// Embedded messages ([MS-PST] 2.4.6.2.2): a mail forwarding a message that carries a 20 MB file
// and a message of its own, and a meeting with a hidden exception attachment as Outlook keeps
// moved occurrences (and its organizer's recipient row). Stored as in Outlook's submessage.pst, sizes checked by the
// verifier, read back by pypff, pffexport and readpst.
TEST_P(PstMessageStore, EmbeddedMessagesAsOutlookStoresThem)
{
    ScratchDir dir;
    const auto path = dir / "embedded.pst";
    const std::filesystem::path five = *files_ / "five.bin", twenty = *files_ / "twenty.bin";
    const std::string longBody(6000, 'x');
    {
        auto store = pst::Store::create(path, GetParam(), "Embedded");
        auto innermost = std::make_shared<pst::MessageData>();
        innermost->properties = { text(0x0037, "Ganz innen"), text(0x1000, "Kurz.") };
        auto inner = std::make_shared<pst::MessageData>();
        inner->properties = { text(0x0037, "Innen – Grüße"), text(0x1000, longBody) };
        inner->recipients = { { "Anna", "anna@example.com", "SMTP", 1 } };
        inner->attachments = { { "twenty megabytes.bin", twenty }, { "", {}, innermost } };
        pst::MessageData outer;
        outer.properties = { text(0x0037, "Weitergeleitet"), text(0x1000, "Siehe Anlage.") };
        outer.attachments = { { "five.bin", five }, { "", {}, inner } };
        // Written, flushed and rewritten: the first copy's nested blocks are released (the
        // verifier counts every reference).
        pst::Message forwarded = store.defaultFolder(pst::DefaultFolder::Inbox).addMessage(outer);
        store.flush();
        forwarded.update(outer);
        // An embedded message with more attachments than one subnode block holds (SIBLOCK).
        auto many = std::make_shared<pst::MessageData>();
        many->properties = { text(0x0037, "Innen viele") };
        for (int i = 0; i < 700; ++i)
            many->attachments.push_back({ "five.bin", five });
        pst::MessageData crowded;
        crowded.properties = { text(0x0037, "Viele") };
        crowded.attachments = { { "", {}, many } };
        store.defaultFolder(pst::DefaultFolder::Inbox).addMessage(crowded);

        auto exception = std::make_shared<pst::MessageData>();
        exception->messageClass = "IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}";
        exception->properties
            = { text(0x0037, "Verschoben"), named(kAppointment, 0x820D, 0x0040, pst::FileTime { kBase + 3 * kHour }),
                  named(kAppointment, 0x820E, 0x0040, pst::FileTime { kBase + 4 * kHour }) };
        pst::MessageData series;
        series.messageClass = "IPM.Appointment";
        series.properties = { text(0x0037, "Serie"), named(kAppointment, 0x820D, 0x0040, pst::FileTime { kBase }),
            named(kAppointment, 0x820E, 0x0040, pst::FileTime { kBase + kHour }) };
        pst::Attachment hidden { "", {}, exception,
            { { 0x7FFE, std::nullopt, 0x000B, true }, { 0x7FFD, std::nullopt, 0x0003, std::int32_t(2) },
                time(0x7FF9, kBase), time(0x7FFB, kBase + 3 * kHour), time(0x7FFC, kBase + 4 * kHour) } };
        series.attachments = { hidden };
        series.recipients
            = { { "Ann Lee", "ann@example.com", "SMTP", 1, 3 }, { "Bo Yu", "bo@example.com", "SMTP", 1 } };
        store.defaultFolder(pst::DefaultFolder::Calendar).addMessage(series);
        store.close();
    }
    auto check = verify(path);
    EXPECT_TRUE(check.ok) << check.output;

    // Node by node: method 5, the object's NID a message NID in the attachment's subnodes, its
    // size the embedded PidTagMessageSize, tables below it; Outlook's file the same way.
    auto shape = script("message_parts.py", quote(path.string()));
    ASSERT_EQ(shape.exitCode, 0) << shape.output;
    const std::string oleClass = "IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}";
    expectSameLines(lines(shape.output),
        { "1 | 5 | 0 | 0 | 0x4 | True | 0x671,0x692 +2 | IPM.Note | Innen – Grüße",
            "2 | 5 | 0 | 0 | 0x4 | True | 0x692 | IPM.Note | Ganz innen",
            "1 | 5 | 1 | 2 | 0x4 | True | 0x692 | " + oleClass + " | Verschoben",
            "1 | 5 | 0 | 0 | 0x4 | True | 0x671,0x692 +700 | IPM.Note | Innen viele" });
    auto outlook
        = script("message_parts.py", quote(std::string(PST_TEST_SOURCE_DIR) + "/../../data/pst/submessage.pst"));
    EXPECT_EQ(outlook.output, "1 | 5 | 0 | 0 | 0x4 | True | 0x692 | IPM.Note | This is an embedded message\n");

    // pypff: the attachments' methods and exception flags; pffexport: the embedded messages with
    // their bodies and byte-exact attachments.
    auto readers = script("message_parts.py", "--readers " + readersArg() + " " + quote(path.string()));
    ASSERT_EQ(readers.exitCode, 0) << readers.output;
    const std::string inner = "Innen – Grüße";
    std::vector<std::string> want = { "pypff | Weitergeleitet | attachment 1 | 1 | False | 0 | None",
        "pypff | Weitergeleitet | attachment 2 | 5 | False | 0 | None",
        "pypff | Serie | attachment 1 | 5 | True | 2 | " + isoOf(kBase + 3 * kHour),
        "pffexport | Weitergeleitet > " + inner + " | 6000 | twenty megabytes.bin " + sha256(twenty),
        "pffexport | Weitergeleitet > " + inner + " > Ganz innen | 5 | ", "pffexport | Serie > Verschoben | 0 | ",
        "pypff | Viele | attachment 1 | 5 | False | 0 | None" };
    std::string crowded = "pffexport | Viele > Innen viele | 0 | ";
    for (int i = 0; i < 700; ++i)
        crowded += (i ? ", five.bin " : "five.bin ") + sha256(five);
    want.push_back(crowded);
    expectSameLines(lines(readers.output), want);

    // The series' organizer: a required row flagged recipOrganizer, first.
    auto rows = script("message_parts.py", "--recipients " + quote(path.string()));
    EXPECT_EQ(rows.output, "Serie | 1 | 3 | Ann Lee\nSerie | 1 | 1 | Bo Yu\n");

    // readpst: the forwarded messages as message/rfc822 parts, the big file inside them.
    const auto rp = dir / "rp";
    std::filesystem::create_directories(rp);
    auto r = run("readpst -o " + quote(rp.string()) + " -r -D -cv " + quote(path.string()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const std::string all = filesUnder(rp, "Inbox");
    for (const char* needle :
        { "Content-Type: message/rfc822", "Subject: Ganz innen", "twenty megabytes.bin", "Subject: Weitergeleitet" })
        EXPECT_NE(all.find(needle), std::string::npos) << needle << "\n" << r.output;
}

INSTANTIATE_TEST_SUITE_P(Formats, PstMessageStore, ::testing::Values(pst::Format::Ansi, pst::Format::Unicode),
    [](const auto& info) { return info.param == pst::Format::Ansi ? "Ansi" : "Unicode"; });

// Refusals come before anything is written: the store stays usable and the file valid.
TEST(PstMessageErrors, RefusedMessagesLeaveTheStoreUsable)
{
    ScratchDir dir;
    const auto path = dir / "refused.pst";
    auto store = pst::Store::create(path, pst::Format::Unicode, "Refused");
    auto inbox = store.defaultFolder(pst::DefaultFolder::Inbox);
    auto expectRefused = [&](const pst::MessageData& m, pst::ErrorKind kind, const char* what) {
        try {
            inbox.addMessage(m);
            ADD_FAILURE() << what << ": accepted";
        } catch (const pst::Error& e) {
            EXPECT_EQ(e.kind(), kind) << what << ": " << e.what();
        }
    };
    pst::MessageData m;
    m.properties = { { 0x0037, std::nullopt, 0x0003, std::string("text in a PT_LONG") } };
    expectRefused(m, pst::ErrorKind::InvalidArgument, "value of the wrong type");
    m.properties = { { 0x0037, std::nullopt, 0x00FB, std::string("x") } };
    expectRefused(m, pst::ErrorKind::InvalidArgument, "unknown type");
    m.properties = { { 0x8001, std::nullopt, 0x0003, std::int32_t(1) } };
    expectRefused(m, pst::ErrorKind::InvalidArgument, "tagged ID in the named range");
    m.properties = { { 0, pst::PropertyName { kCommon, std::nullopt, "" }, 0x0003, std::int32_t(1) } };
    expectRefused(m, pst::ErrorKind::InvalidArgument, "named property without LID or name");
    m.properties = { { 0x0037, std::nullopt, 0x001F, std::string("bad \xC3 UTF-8") } };
    expectRefused(m, pst::ErrorKind::InvalidArgument, "invalid UTF-8");
    m.properties = {};
    m.recipients = { { "X", "x@example.com", "SMTP", 4 } };
    expectRefused(m, pst::ErrorKind::InvalidArgument, "recipient type 4");
    m.recipients = {};
    m.attachments = { { "missing.txt", dir / "missing.txt" } };
    expectRefused(m, pst::ErrorKind::Io, "missing attachment file");
    auto nested = std::make_shared<pst::MessageData>();
    for (int depth = 0; depth < 4; ++depth) {
        auto up = std::make_shared<pst::MessageData>();
        up->attachments = { { "", {}, nested } };
        nested = up;
    }
    m.attachments = { { "", {}, nested } };
    expectRefused(m, pst::ErrorKind::LimitExceeded, "embedded messages five deep");
    m.attachments
        = { { "", {}, std::make_shared<pst::MessageData>(), { { 0x3701, std::nullopt, 0x0102, pst::Bytes { 1 } } } } };
    expectRefused(m, pst::ErrorKind::InvalidArgument, "attachment data as an attachment property");
    try {
        store.rootFolder().findSubfolder("SPAM Search Folder 2")->addMessage(pst::MessageData {});
        ADD_FAILURE() << "message in a search folder accepted";
    } catch (const pst::Error& e) {
        EXPECT_EQ(e.kind(), pst::ErrorKind::InvalidArgument) << e.what();
    }

    pst::MessageData ok;
    ok.properties = { { 0x0037, std::nullopt, 0x001E, std::string("Angenommen") } };
    inbox.addMessage(ok);
    EXPECT_EQ(inbox.contentCount(), 1u);
    store.close();
    auto check = verify(path);
    EXPECT_TRUE(check.ok) << check.output;
    auto listed = script("list_items.py", readersArg() + " " + quote(path.string()));
    EXPECT_EQ(lines(listed.output).size(), 1u) << listed.output;
    EXPECT_NE(listed.output.find("Inbox | Angenommen | IPM.Note"), std::string::npos) << listed.output;
}

} // namespace
