// Calendar, tasks, contacts and the journal end to end: builder databases converted through the
// real windows, the PST judged by pypff (properties by their [MS-OXPROPS] tags and named
// properties) and readpst (iCalendar and vCard).
#include "conversion_fixture.h"

#include <QLabel>

namespace {
const std::string AttachmentA = "agenda, first part\n";
const std::string AttachmentB = "minutes of the last meeting\n";

// The first item whose property key has that text value.
QJsonObject itemWith(const QJsonArray& items, const char* key, const QString& value)
{
    for (const auto& i : items)
        if (Prop(i.toObject(), key).toString() == value)
            return i.toObject();
    return {};
}

class PimMigration : public ConversionFixture { };
} // namespace

TEST_F(PimMigration, CalendarEntriesBecomeAppointmentsWithTheirAttachmentsLastFirst)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto& meeting = db.document("Appointment")
                        .text("Subject", "  Sales meeting ")
                        .dateTime("StartDateTime", "20091116T100000,00+01")
                        .dateTime("EndDateTime", "20091116T113000,00+01")
                        .text("Location", " Room 4.12 ")
                        .textList("Categories", { "Red", "Blue" })
                        .rawItem("<item name='Body'><richtext><par><run><font style='bold'/>Agenda</run> "
                                 "follows</par></richtext></item>")
                        .attachment("a.txt", AttachmentA)
                        .attachment("b.txt", AttachmentB);
    // Not an Appointment form, and without an end: still written, with the end the start gave
    // it (Outlook's default length of 30 minutes).
    auto& notice
        = db.document("Notice").text("Subject", "Invitation").dateTime("StartDateTime", "20091201T080000,00+00");
    db.view("($Calendar)").entries({ meeting.noteId(), notice.noteId() });

    const QString pst = convert(db, true, { c().SaveOptionCalendars });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    EXPECT_EQ(v.subjects("pypff", "Calendar"), QStringList({ "Invitation", "Sales meeting" }));
    EXPECT_EQ(v.subjects("readpst", "Calendar"), QStringList({ "Invitation", "Sales meeting" }));

    const QJsonObject m = v.item("pypff", "Calendar", "Sales meeting");
    EXPECT_EQ(m.value("message_class").toString(), "IPM.Appointment");
    EXPECT_EQ(Prop(m, "PSETID_Appointment:0x820D").toString(), "2009-11-16T09:00:00"); // start
    EXPECT_EQ(Prop(m, "PSETID_Appointment:0x820E").toString(), "2009-11-16T10:30:00"); // end
    EXPECT_EQ(Prop(m, "PSETID_Appointment:0x8208").toString(), "Room 4.12");
    EXPECT_EQ(Prop(m, "PS_PUBLIC_STRINGS:Keywords").toArray(), QJsonArray({ "Red" }));
    EXPECT_EQ(m.value("body").toString(), "Agenda follows");
    EXPECT_TRUE(m.value("html").toString().contains("<b>Agenda</b> follows"))
        << m.value("html").toString().toStdString();
    EXPECT_EQ(AttachmentsOf(m),
        QStringList({ AttachmentLine("b.txt", QByteArray::fromStdString(AttachmentB)),
            AttachmentLine("a.txt", QByteArray::fromStdString(AttachmentA)) }));

    const QJsonObject described
        = v.item("pffexport", "Calendar", "Sales meeting").value("fields").toObject().value("Appointment").toObject();
    EXPECT_EQ(described.value("Start time").toString(), "Nov 16, 2009 09:00:00.000000000 UTC");
    EXPECT_EQ(described.value("End time").toString(), "Nov 16, 2009 10:30:00.000000000 UTC");
    EXPECT_EQ(described.value("Location").toString(), "Room 4.12");
    EXPECT_EQ(AttachmentsOf(v.item("pffexport", "Calendar", "Sales meeting")), AttachmentsOf(m));

    const QJsonObject ical = v.item("readpst", "Calendar", "Sales meeting").value("ical").toObject();
    EXPECT_EQ(ical.value("DTSTART").toString(), "20091116T090000Z");
    EXPECT_EQ(ical.value("DTEND").toString(), "20091116T103000Z");
    EXPECT_EQ(ical.value("LOCATION").toString(), "Room 4.12");
    const QJsonObject noticeIcal = v.item("readpst", "Calendar", "Invitation").value("ical").toObject();
    EXPECT_EQ(noticeIcal.value("DTSTART").toString(), "20091201T080000Z");
    EXPECT_EQ(noticeIcal.value("DTEND").toString(), "20091201T083000Z");
    EXPECT_EQ(tempLeftovers(), QStringList());
}

TEST_F(PimMigration, ToDoEntriesBecomeTasksAndOnlyTheFirstFailingTaskEndsThePhase)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto& print = db.document("Task")
                      .text("Subject", " Send catalogue to print ")
                      .dateTime("DueDate", "20091130")
                      .textList("Categories", { "Catalogue", "Print" })
                      .text("Body", "Prices first. ");
    auto& undated = db.document("Task").text("Subject", "Some day");
    // A due date that is no date fails the writer: this task is not saved, the next one is.
    auto& broken = db.document("Task").text("Subject", "Broken date").text("DueDate", "next Tuesday");
    auto& other = db.document("Reminder").text("Subject", "Call Bo");
    db.view("($ToDo)").entries({ print.noteId(), undated.noteId(), broken.noteId(), other.noteId() });

    const QString pst = convert(db, true, { c().SaveOptionToDo });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Incomplete");
    EXPECT_TRUE(ui.messages().back().text.contains("1 item(s) could not be written"))
        << ui.messages().back().text.toStdString();
    const PstView v = read(pst);
    EXPECT_EQ(v.subjects("pypff", "Tasks"), QStringList({ "Call Bo", "Send catalogue to print", "Some day" }));
    const QJsonObject t = v.item("pypff", "Tasks", "Send catalogue to print");
    EXPECT_EQ(t.value("message_class").toString(), "IPM.Task");
    EXPECT_EQ(Prop(t, "PSETID_Task:0x8105").toString(), "2009-11-30T00:00:00"); // due date
    EXPECT_EQ(Prop(t, "PS_PUBLIC_STRINGS:Keywords").toArray(), QJsonArray({ "Catalogue" }));
    EXPECT_EQ(t.value("body").toString(), "Prices first.");
    EXPECT_TRUE(Prop(v.item("pypff", "Tasks", "Some day"), "PSETID_Task:0x8105").isUndefined());
    EXPECT_EQ(v.subjects("pffexport", "Tasks"), v.subjects("pypff", "Tasks"));
    EXPECT_EQ(v.item("pffexport", "Tasks", "Send catalogue to print")
                  .value("fields")
                  .toObject()
                  .value("Task")
                  .toObject()
                  .value("Due date")
                  .toString(),
        "Nov 30, 2009 00:00:00.000000000 UTC");

    // A failing first task ends the tasks; the run still completes with its message.
    dxl::DatabaseBuilder first("Mail (Ann Lee)", "mailfile");
    auto& failing = first.document("Task").text("Subject", "Broken date").text("DueDate", "next Tuesday");
    auto& fine = first.document("Task").text("Subject", "Fine");
    first.view("($ToDo)").entries({ failing.noteId(), fine.noteId() });
    const QString second = convert(first, true, { c().SaveOptionToDo });
    ASSERT_FALSE(second.isEmpty()) << "the completion message follows";
    EXPECT_EQ(endTitle(), "Export Incomplete");
    EXPECT_EQ(read(second).subjects("pypff", "Tasks"), QStringList());
}

TEST_F(PimMigration, PersonDocumentsBecomeContactsWithEveryMappedField)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto& bo = db.document("Person")
                   .textList("FullName", { "CN=Bo Yu/OU=Research/O=Acme", "Bo Yu", "bo.yu@acme.example" })
                   .text("MailAddress", "not.this@acme.example")
                   .text("FirstName", " Bo ")
                   .text("MiddleInitial", "K")
                   .text("LastName", "Yu")
                   .text("CompanyName", "Acme Corp")
                   .text("JobTitle", "Researcher")
                   .text("OfficeStreetAddress", "Hauptstrasse 1")
                   .text("OfficeCity", "Berlin")
                   .text("OfficeZip", "10115")
                   .text("OfficeState", "BE")
                   .text("OfficeCountry", "Germany")
                   .text("Location", "Building 4")
                   .text("WebSite", "https://acme.example/bo")
                   .text("Department", "Research")
                   .text("Manager", "Carla Mendes")
                   .text("Assistant", "Dan Fox")
                   .text("OfficePhoneNumber", "+49 30 1234-56")
                   .text("OfficeFAXPhoneNumber", "+49 30 1234-99")
                   .text("CellPhoneNumber", "+49 170 1234567")
                   .text("PersPager", "555-PAGE")
                   .text("MiscPhone1", "bo-im")
                   .text("MiscPhone2", "")
                   .text("MiscPhone3", "yu-im")
                   .text("StreetAddress", "Gartenweg 2")
                   .text("City", "Potsdam")
                   .text("Zip", "14467")
                   .text("State", "BB")
                   .text("Country", "Germany")
                   .text("Spouse", "Lin Yu")
                   .text("PhoneNumber", "+49 331 222")
                   .text("HomeFAXPhoneNumber", "+49 331 223")
                   .dateTime("Birthday", "19750412")
                   .dateTime("Anniversary", "20010630")
                   .text("Comment", "Met at the 2008 fair.")
                   .textList("Categories", { "Colleagues", "Berlin" });
    // The Internet address wins over a Notes mail address; no birthday is set.
    auto& ann = db.document("Person")
                    .text("FullName", "Ann Lee")
                    .text("LastName", "Lee")
                    .text("MailAddress", "Ann Lee/Sales/Acme@Acme")
                    .text("InternetAddress", "ann.lee@acme.example")
                    .text("Birthday", "");
    // A birthday that is no date is left out; the rest of the contact is saved. A Notes mail
    // address alone is typed NOTES, not SMTP.
    auto& carl = db.document("Person")
                     .text("FullName", "Carl Ott")
                     .text("LastName", "Ott")
                     .text("MailAddress", "Carl Ott/Acme@Acme")
                     .text("Birthday", "sometime in May");
    // A group of three: two people of this database and an Internet address.
    auto& team = db.document("Group")
                     .text("ListName", "Sales team")
                     .names("Members", { "CN=Bo Yu/OU=Research/O=Acme", "Ann Lee", "zed@ext.example" });
    db.view("People").entries({ bo.noteId(), ann.noteId(), team.noteId(), carl.noteId() });

    const QString pst = convert(db, true, { c().SaveOptionContacts });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    const QJsonArray contacts = v.items("pypff", "Contacts");
    const QJsonObject b = itemWith(contacts, "0x3A11", "Yu");
    EXPECT_EQ(contacts.size(), 4);
    // The group: a distribution list whose members are one-off entry IDs of their addresses.
    const QJsonObject list = itemWith(contacts, "0x3001", "Sales team");
    EXPECT_EQ(list.value("message_class").toString(), "IPM.DistList");
    EXPECT_EQ(Prop(list, "PSETID_Address:0x8053").toString(), "Sales team");
    const QJsonArray members = Prop(list, "PSETID_Address:0x8055").toArray();
    EXPECT_EQ(Prop(list, "PSETID_Address:0x8054").toArray(), members);
    ASSERT_EQ(members.size(), 3);
    const char* addresses[] = { "bo.yu@acme.example", "ann.lee@acme.example", "zed@ext.example" };
    for (int k = 0; k < 3; ++k) {
        const QByteArray member = QByteArray::fromHex(members[k].toString().toLatin1());
        EXPECT_EQ(member.mid(4, 16).toHex(), "812b1fa4bea310199d6e00dd010f5402") << k;
        QByteArray utf16;
        for (const char* c = addresses[k]; *c; ++c)
            utf16 += QByteArray(1, *c) + QByteArray(1, '\0');
        EXPECT_TRUE(member.contains(utf16)) << addresses[k];
    }
    EXPECT_EQ(b.value("message_class").toString(), "IPM.Contact");
    const std::pair<const char*, const char*> expected[] = {
        { "0x3A06", "Bo" },
        { "0x3A44", "K" },
        { "0x3A11", "Yu" },
        { "PSETID_Address:0x8083", "bo.yu@acme.example" },
        { "0x3A16", "Acme Corp" },
        { "0x3A17", "Researcher" },
        { "0x3A46", "Researcher" }, // profession
        { "PSETID_Address:0x8045", "Hauptstrasse 1" },
        { "PSETID_Address:0x8046", "Berlin" },
        { "PSETID_Address:0x8048", "10115" },
        { "PSETID_Address:0x8047", "BE" },
        { "PSETID_Address:0x8049", "Germany" },
        { "0x3A19", "Building 4" },
        { "PSETID_Address:0x802B", "https://acme.example/bo" },
        { "0x3A18", "Research" },
        { "0x3A4E", "Carla Mendes" },
        { "0x3A30", "Dan Fox" },
        { "0x3A08", "+49 30 1234-56" },
        { "0x3A24", "+49 30 1234-99" },
        { "0x3A1C", "+49 170 1234567" },
        { "0x3A21", "555-PAGE" },
        { "PSETID_Address:0x8062", "bo-im  yu-im" },
        { "0x3A5D", "Gartenweg 2" },
        { "0x3A59", "Potsdam" },
        { "0x3A5B", "14467" },
        { "0x3A5C", "BB" },
        { "0x3A5A", "Germany" },
        { "0x3A48", "Lin Yu" },
        { "0x3A09", "+49 331 222" },
        { "0x3A25", "+49 331 223" },
        { "0x3A42", "1975-04-12T00:00:00" },
        { "0x3A41", "2001-06-30T00:00:00" },
    };
    for (const auto& [key, value] : expected)
        EXPECT_EQ(Prop(b, key).toString(), QString::fromUtf8(value)) << key;
    EXPECT_EQ(b.value("body").toString(), "Met at the 2008 fair.");
    EXPECT_EQ(Prop(b, "PS_PUBLIC_STRINGS:Keywords").toArray(), QJsonArray({ "Colleagues" }));
    // Which address slots are set, as Outlook writes them: the email list a multi-valued
    // integer (read the same way as in Outlook's own dist-list.pst), the array type 1 (Email1).
    EXPECT_TRUE(Prop(b, "PSETID_Address:0x8028").isArray());
    EXPECT_EQ(Prop(b, "PSETID_Address:0x8029").toInt(), 1);
    // Outlook's "Name (address)" and the one-off entry ID of the address (name, type, address).
    EXPECT_EQ(Prop(b, "PSETID_Address:0x8080").toString(), "Bo K Yu (bo.yu@acme.example)");
    const QByteArray oneOff = QByteArray::fromHex(Prop(b, "PSETID_Address:0x8085").toString().toLatin1());
    EXPECT_EQ(oneOff.mid(4, 16).toHex(), "812b1fa4bea310199d6e00dd010f5402");
    EXPECT_TRUE(oneOff.contains(QByteArray("S\0M\0T\0P\0\0\0b\0o\0.\0y\0u\0@", 22)));

    const QJsonObject annItem = itemWith(contacts, "0x3A11", "Lee");
    const QJsonObject carlItem = itemWith(contacts, "0x3A11", "Ott");
    EXPECT_EQ(Prop(annItem, "PSETID_Address:0x8083").toString(), "ann.lee@acme.example");
    EXPECT_EQ(Prop(annItem, "PSETID_Address:0x8082").toString(), "SMTP");
    EXPECT_EQ(Prop(carlItem, "PSETID_Address:0x8083").toString(), "Carl Ott/Acme@Acme");
    EXPECT_EQ(Prop(carlItem, "PSETID_Address:0x8082").toString(), "NOTES");
    EXPECT_TRUE(Prop(annItem, "0x3A42").isUndefined());
    EXPECT_FALSE(carlItem.isEmpty()) << "the contact with a bad birthday is saved";
    EXPECT_TRUE(Prop(carlItem, "0x3A42").isUndefined());

    // pffexport's and readpst's views say the same.
    QJsonObject described;
    for (const auto& i : v.items("pffexport", "Contacts")) {
        const QJsonObject fields = i.toObject().value("fields").toObject().value("Contact").toObject();
        if (fields.value("Surname").toString() == "Yu")
            described = fields;
    }
    EXPECT_EQ(described.value("Given name").toString(), "Bo");
    EXPECT_EQ(described.value("Email address 1").toString(), "bo.yu@acme.example");
    EXPECT_EQ(described.value("Company name").toString(), "Acme Corp");
    EXPECT_EQ(described.value("Job title").toString(), "Researcher");
    EXPECT_EQ(described.value("Mobile phone number").toString(), "+49 170 1234567");
    EXPECT_EQ(described.value("Home phone number").toString(), "+49 331 222");

    QJsonObject card;
    for (const auto& i : v.items("readpst", "Contacts"))
        if (i.toObject().value("vcard").toObject().value("EMAIL").toString() == "bo.yu@acme.example")
            card = i.toObject().value("vcard").toObject();
    EXPECT_EQ(card.value("TITLE").toString(), "Researcher");
    EXPECT_EQ(card.value("ORG").toString(), "Acme Corp");
    EXPECT_EQ(card.value("TEL;TYPE=work,voice").toString(), "+49 30 1234-56");
    EXPECT_EQ(card.value("BDAY").toString(), "1975-04-12T00:00:00Z");
    EXPECT_EQ(card.value("NOTE").toString(), "Met at the 2008 fair.");
    EXPECT_EQ(v.items("readpst", "Contacts").size(), 3);
}

TEST_F(PimMigration, JournalEntriesBecomeStickyNotesAndEveryJournalRunEndsWithTheJournalMessage)
{
    dxl::DatabaseBuilder db("My Journal", "personaljournal");
    std::vector<std::string> all;
    all.push_back(db.document("JournalEntry")
                      .text("Subject", " A new start ")
                      .rawItem("<item name='Body'><richtext><par><run><font style='italic'/>First</run> "
                               "day.</par></richtext></item>")
                      .dateTime("TimeCreated", "20090101T090000,00+00")
                      .noteId());
    all.push_back(db.document("Other").text("Subject", "not an entry").noteId());
    all.push_back(db.document("JournalEntry").text("Subject", "Second").text("Body", "More.").noteId());
    all.push_back(db.document("JournalEntry").text("Subject", "Third").noteId());
    db.view("($All)").entries(all);
    QStringList positions;
    onEvents = [&] {
        if (progress && !progress->LblCurrent->text().isEmpty() && !positions.contains(progress->LblCurrent->text()))
            positions << progress->LblCurrent->text();
    };

    const QString pst = convert(db);
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    EXPECT_TRUE(ui.messages().back().text.startsWith("Journals Migration Completed Successfully !\n"));
    EXPECT_EQ(positions, QStringList({ "0/4", "2/4", "3/4" }));
    const PstView v = read(pst);
    EXPECT_EQ(v.subjects("pypff", "Notes"), QStringList({ "A new start", "Second", "Third" }));
    for (const auto& i : v.items("pypff", "Notes")) {
        const QJsonObject note = i.toObject();
        EXPECT_EQ(note.value("message_class").toString(), "IPM.StickyNote");
        EXPECT_EQ(Prop(note, "PSETID_Note:0x8B00").toInt(), 1); // colour
        EXPECT_EQ(Prop(note, "PSETID_Note:0x8B04").toInt(), 300); // left
        EXPECT_EQ(Prop(note, "PSETID_Note:0x8B05").toInt(), 400); // top
    }
    EXPECT_EQ(v.item("pypff", "Notes", "A new start").value("body").toString(), "First day.");
    EXPECT_TRUE(v.item("pypff", "Notes", "A new start").value("html").toString().contains("<i>First</i> day."));
    EXPECT_EQ(v.items("pypff", "Inbox").size(), 0);

    // An empty journal with mail ticked is still a journal run.
    dxl::DatabaseBuilder empty("My Journal", "personaljournal");
    empty.view("($All)").entries({});
    onEvents = nullptr;
    const QString second = convert(empty, true, { c().SaveOptionEmails });
    ASSERT_FALSE(second.isEmpty()) << ui.messages().back().title.toStdString() << ": "
                                   << ui.messages().back().text.toStdString();
    EXPECT_EQ(endTitle(), "Export Complete");
    EXPECT_TRUE(ui.messages().back().text.startsWith("Journals Migration Completed Successfully !\n"));
    EXPECT_EQ(read(second).items("pypff", "Notes").size(), 0);
}
