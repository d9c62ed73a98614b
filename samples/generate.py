#!/usr/bin/env python3
"""Writes the bundled sample Notes databases as Domino's DXL exporter writes them.

Usage: samples/generate.py [output-folder]   (default: the folder of this script)

mailfile.dxl         a mail database: standard folders and views, nested user folders,
                     mail with Notes and Internet addresses, attachments, calendar entries,
                     to-do entries, a People view with Person and Group documents.
personaljournal.dxl  a personal journal database with diary entries.

View and folder contents are written with the entries element of namespace
urn:ferrymark:view-entries where a real export would rely on the view index; some folders
instead rely on the $FolderRef items of their documents, and the All Documents view on its
selection formula, so that all three ways are exercised.
"""
import base64
import os
import sys
from xml.sax.saxutils import escape as _escape

DXL_HEADER = """<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE database SYSTEM 'xmlschemas/domino_9_0_1.dtd'>
<database xmlns='http://www.lotus.com/dxl' version='9.0' maintenanceversion='1.0' replicaid='{replica}'
 path='{path}' title='{title}' fromtemplate='{template}' type='{type}'>
<databaseinfo dbid='{replica}' odsversion='51' diskspace='2359296' percentused='93.5' numberofdocuments='{count}'><datamodified><datetime
 dst='true'>20091120T174512,33+01</datetime></datamodified><designmodified><datetime dst='true'>20090604T101500,12+02</datetime></designmodified></databaseinfo>
"""


def esc(text):
    return _escape(text, {"'": "&apos;", '"': "&quot;"})


class Db:
    def __init__(self, replica):
        self.replica = replica
        self.next_id = 0x8F6
        self.next_unid = 1
        self.notes = []

    def note_id(self):
        self.next_id += 4
        return format(self.next_id, "x")

    def unid(self):
        u = "%s%016X" % (self.replica, 0x85257B3A00000000 + self.next_unid)
        self.next_unid += 1
        return u


def noteinfo(note_id, unid, when):
    return (
        f"<noteinfo noteid='{note_id}' unid='{unid}' sequence='2'>\n"
        f"<created><datetime dst='true'>{when}</datetime></created>\n"
        f"<modified><datetime dst='true'>{when}</datetime></modified>\n"
        f"<revised><datetime dst='true'>{when}</datetime></revised>\n"
        f"<lastaccessed><datetime dst='true'>{when}</datetime></lastaccessed>\n"
        f"<addedtofile><datetime dst='true'>{when}</datetime></addedtofile></noteinfo>\n"
    )


def text(name, value, summary=True, names=False):
    attrs = " summary='true'" if summary else ""
    attrs += " names='true'" if names else ""
    return f"<item name='{esc(name)}'{attrs}><text>{esc(value)}</text></item>\n"


def textlist(name, values, names=False):
    attrs = " names='true'" if names else ""
    inner = "".join(f"<text>{esc(v)}</text>" for v in values)
    return f"<item name='{esc(name)}'{attrs}><textlist>{inner}</textlist></item>\n"


def number(name, value):
    return f"<item name='{esc(name)}'><number>{value}</number></item>\n"


def datetime(name, value):
    return f"<item name='{esc(name)}'><datetime dst='true'>{value}</datetime></item>\n"


def datetimelist(name, values):
    inner = "".join(f"<datetime dst='true'>{v}</datetime>" for v in values)
    return f"<item name='{esc(name)}'><datetimelist>{inner}</datetimelist></item>\n"


def richtext(name, paragraphs, attachments=()):
    out = f"<item name='{esc(name)}'><richtext>\n<pardef id='1' leftmargin='0.0000in' tabs='L0.5000in L1.0000in'/>\n"
    for p in paragraphs:
        out += f"<par def='1'>{esc(p)}</par>\n" if p else "<par def='1'/>\n"
    for file_name, _ in attachments:
        out += (
            f"<par def='1'><attachmentref name='{esc(file_name)}' displayname='{esc(file_name)}'>\n"
            "<picture height='34px' width='61px'><notesbitmap>lQAmAAAAAAAAAAAAAQABAAAAAAAAAAAA</notesbitmap>"
            f"<caption>{esc(file_name)}</caption></picture></attachmentref></par>\n"
        )
    return out + "</richtext></item>\n"


def attachment(file_name, data, when):
    encoded = base64.encodebytes(data).decode("ascii")
    return (
        "<item name='$FILE' summary='true' sign='true' seal='true'><object><file hosttype='msdos' "
        f"compression='none' flags='storedindoc' encoding='none' name='{esc(file_name)}' size='{len(data)}'>"
        f"<created><datetime>{when}</datetime></created><modified><datetime>{when}</datetime></modified>"
        f"<filedata>\n{encoded}</filedata></file></object></item>\n"
    )


def sample_bytes(seed, size):
    # Deterministic file contents of any size.
    out = bytearray()
    x = seed
    while len(out) < size:
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((x >> 16) & 0xFF)
    return bytes(out)


def document(db, form, items, when, folder_refs=()):
    note_id = db.note_id()
    xml = f"<document form='{esc(form)}'>\n" + noteinfo(note_id, db.unid(), when)
    xml += "<updatedby><name>CN=Ann Lee/OU=Sales/O=Acme</name></updatedby>\n"
    xml += text("Form", form) + "".join(items)
    if folder_refs:
        xml += "<item name='$FolderRef' summary='false'><textlist>"
        xml += "".join(f"<text>{r}</text>" for r in folder_refs)
        xml += "</textlist></item>\n"
    xml += "</document>\n"
    db.notes.append(xml)
    return note_id


class Design:
    def __init__(self, db, element, name, alias=None, formula=None):
        self.db = db
        self.element = element
        self.name = name
        self.alias = alias
        self.formula = formula
        self.note_id = db.note_id()
        self.unid = db.unid()
        self.entries = None

    def xml(self):
        alias = f" alias='{esc(self.alias)}'" if self.alias else ""
        out = (
            f"<{self.element} name='{esc(self.name)}'{alias} showinmenu='false' publicaccess='false' "
            "designerversion='8.5.3' unreadmarks='standard' onopengoto='lastopened' onrefresh='displayindicator' "
            "headers='beveled' opencollapsed='false' showresponsehierarchy='true' showmargin='true'>\n"
        )
        out += noteinfo(self.note_id, self.unid, "20090604T101500,12+02")
        if self.formula:
            out += f"<code event='selection'><formula>{esc(self.formula)}</formula></code>\n"
        out += (
            "<column sort='descending' hidedetailrows='false' itemname='$3' width='10' resizable='true' "
            "separatemultiplevalues='false' sortnoaccent='false' sortnocase='true' showaslinks='false'>"
            "<columnheader title='Date'/></column>\n"
            "<column hidedetailrows='false' itemname='Subject' width='40' resizable='true' "
            "separatemultiplevalues='false' sortnoaccent='true' sortnocase='true' showaslinks='false'>"
            "<columnheader title='Subject'/></column>\n"
        )
        if self.entries is not None:
            out += "<fm:entries xmlns:fm='urn:ferrymark:view-entries'>"
            out += "".join(f"<fm:entry noteid='{e}'/>" for e in self.entries)
            out += "</fm:entries>\n"
        return out + f"</{self.element}>\n"


def memo(db, subject, sender, to, posted, body, cc=None, bcc=None, inet=None, files=(), folder_refs=(), form="Memo",
         received=True):
    """to/cc/bcc: Notes names; inet: dict of Internet items (placeholders written as ".").
    Received mail has a DeliveredDate; mail Ann sent has only its PostedDate."""
    items = [text("Subject", subject), text("From", sender, names=True), textlist("SendTo", to, names=True)]
    if cc:
        items.append(textlist("CopyTo", cc, names=True))
    if bcc:
        items.append(textlist("BlindCopyTo", bcc, names=True))
    for name, values in (inet or {}).items():
        items.append(textlist(name, values, names=True) if isinstance(values, list) else text(name, values, names=True))
    if posted:
        items.append(datetime("PostedDate", posted))
        if received:
            items.append(datetime("DeliveredDate", posted))
    items.append(text("Principal", sender, names=True))
    items.append(richtext("Body", body, files))
    for file_name, data in files:
        items.append(attachment(file_name, data, posted or "20091120T090000,00+01"))
    return document(db, form, items, posted or "20091120T090000,00+01", folder_refs)


def mail_database():
    db = Db("85257B3A00508D17")
    design = []

    def folder(name, alias=None):
        d = Design(db, "folder", name, alias)
        design.append(d)
        return d

    def view(name, alias=None, formula=None):
        d = Design(db, "view", name, alias, formula)
        design.append(d)
        return d

    inbox = folder("($Inbox)", "$Inbox")
    sent = view("($Sent)", "$Sent", "SELECT DeliveredDate = \"\" & PostedDate != \"\" & !(@IsMember(\"S\"; ExcludeFromView))")
    drafts = view("($Drafts)", "$Drafts", "SELECT PostedDate = \"\" & Form = \"Memo\"")
    trash = folder("($Trash)", "$Trash")
    junk = folder("($JunkMail)", "$JunkMail")
    follow = folder("($Follow-Up)", "$Follow-Up")
    view("($All)", "$All|All Documents", "SELECT @All")
    calendar = view("($Calendar)", "Calendar", "SELECT @IsAvailable(CalendarDateTime) & (Form = \"Appointment\" : \"Notice\")")
    todo = view("($ToDo)", "ToDo", "SELECT Form = \"Task\" : \"TaskNotice\"")
    people = view("People", "$People|Contacts", "SELECT Form = \"Person\" : \"Group\"")
    projects = folder("Projects")
    projects2009 = folder("Projects\\2009")
    view("Archive", None, "SELECT Form = \"Memo\" & @Year(PostedDate) < 2008")
    archive_old = folder("Archive\\Old")
    receipts = folder("Receipts")

    ann = "CN=Ann Lee/OU=Sales/O=Acme"
    bo = "CN=Bo Yu/OU=Research/O=Acme"
    carla = "CN=Carla Mendes/O=Acme"
    dieter = "CN=Dieter Müller/OU=Berlin/O=Acme"

    inbox.entries = [
        memo(db, "Quarterly figures", bo, [ann, carla], "20091105T093012,45+01",
             ["Hello Ann,", "", "the figures for the third quarter are attached, the summary in the sheet.", "Bo"],
             cc=[carla, "erik@partner.example"], bcc=[dieter],
             inet={"INetFrom": "bo.yu@acme.example",
                   "InetSendTo": [".", "carla.mendes@acme.example"],
                   "InetCopyTo": ["carla.mendes@acme.example", "."],
                   "InetBlindCopyTo": ["."]},
             files=[("Q3 report.pdf", sample_bytes(1, 4200)), ("Übersicht März 2009.xlsx", sample_bytes(2, 1500))]),
        memo(db, "Lunch on Friday?", carla, [ann], "20091106T121500,00+01",
             ["Shall we try the new place on Friday?"]),
        memo(db, "Your order 4711 has shipped", "orders@shop.example", ["ann.lee@acme.example"], "20091107T070102,00-05",
             ["Your order 4711 has shipped.", "Track it on our web site."],
             inet={"INetFrom": "Shop Orders <orders@shop.example>", "InetSendTo": "ann.lee@acme.example"}),
        memo(db, "Reisekosten Oktober", dieter, [ann], "20091109T164500,00+01",
             ["Hallo Ann,", "anbei die Abrechnung für Oktober.", "Grüße, Dieter"],
             inet={"INetFrom": ".", "InetSendTo": "."}),
    ]
    sent.entries = [
        memo(db, "Re: Quarterly figures", ann, [bo], "20091105T101500,00+01",
             ["Thanks Bo, looks good."], cc=[carla], inet={"InetSendTo": ["bo.yu@acme.example"]}, received=False),
        memo(db, "Offer for the new catalogue", ann, ["erik@partner.example", carla], "20091110T080000,00+01",
             ["Dear Erik,", "please find our offer attached."],
             inet={"InetSendTo": ["erik@partner.example", "."], "InetCopyTo": ["."]},
             bcc=[bo], files=[("offer.doc", sample_bytes(3, 2500))], received=False),
    ]
    drafts.entries = [
        memo(db, "Holiday plans (draft)", ann, [carla], None, ["Carla, about the holidays in December:", ""]),
    ]
    memo(db, "Old newsletter", "news@acme.example", [ann], "20090301T080000,00+01",
         ["Newsletter of March."], folder_refs=[trash.unid])
    junk.entries = [
        memo(db, "You have won!!!", "winner@lottery.example", ["ann.lee@acme.example"], "20091111T031500,00+00",
             ["Claim your prize now."], inet={"INetFrom": "winner@lottery.example"}),
    ]
    memo(db, "Please review the contract", bo, [ann], "20091112T111100,00+01",
         ["Please review the contract by Monday."], folder_refs=[follow.unid])
    projects.entries = [
        memo(db, "Project kick-off", carla, [ann, bo], "20091001T090000,00+02", ["Kick-off is on Monday at nine."]),
        memo(db, "Project plan v2", bo, [ann], "20091002T140000,00+02", ["The new plan is attached."],
             files=[("plan.txt", b"Week 1: design\r\nWeek 2: build\r\nWeek 3: test\r\n")]),
    ]
    memo(db, "2009 budget", ann, [bo], "20090115T100000,00+01", ["Budget for 2009 agreed."],
         folder_refs=[projects2009.unid], received=False)
    archive_old.entries = [
        memo(db, "Welcome to Acme", "CN=Human Resources/O=Acme", [ann], "20070102T090000,00+01", ["Welcome aboard!"]),
    ]
    receipts.entries = []

    # Calendar entries
    calendar.entries = [
        document(db, "Appointment", [
            text("Subject", "Sales meeting"),
            text("AppointmentType", "3"),
            datetime("StartDateTime", "20091116T100000,00+01"),
            datetime("EndDateTime", "20091116T113000,00+01"),
            datetimelist("CalendarDateTime", ["20091116T100000,00+01"]),
            datetime("StartDate", "20091116"),
            datetime("StartTime", "T100000,00"),
            text("Location", "Room 4.12"),
            textlist("Categories", ["Sales", "Meetings"]),
            textlist("RequiredAttendees", [ann, bo], names=True),
            richtext("Body", ["Agenda:", "1. Figures", "2. Catalogue"], [("agenda.txt", b"1. Figures\n2. Catalogue\n")]),
            attachment("agenda.txt", b"1. Figures\n2. Catalogue\n", "20091112T090000,00+01"),
        ], "20091112T090000,00+01"),
        document(db, "Appointment", [
            text("Subject", "Dentist"),
            text("AppointmentType", "0"),
            datetime("StartDateTime", "20091118T083000,00+01"),
            datetime("EndDateTime", "20091118T090000,00+01"),
            datetimelist("CalendarDateTime", ["20091118T083000,00+01"]),
            text("Location", "Dr. Weiss"),
            richtext("Body", []),
        ], "20091101T090000,00+01"),
        document(db, "Appointment", [
            text("Subject", "Company anniversary"),
            text("AppointmentType", "1"),
            datetime("StartDateTime", "20091201"),
            datetime("EndDateTime", "20091201"),
            datetimelist("CalendarDateTime", ["20091201"]),
            textlist("Categories", ["Holiday"]),
        ], "20091101T090000,00+01"),
        document(db, "Notice", [
            text("Subject", "Invitation: Budget review"),
            text("NoticeType", "I"),
            datetime("StartDateTime", "20091120T140000,00+01"),
            datetime("EndDateTime", "20091120T150000,00+01"),
            datetimelist("CalendarDateTime", ["20091120T140000,00+01"]),
            text("Chair", bo, names=True),
        ], "20091113T090000,00+01"),
    ]

    # To-do entries
    todo.entries = [
        document(db, "Task", [
            text("Subject", "Send catalogue to print"),
            datetime("DueDate", "20091130"),
            datetime("StartDate", "20091116"),
            text("Priority", "1"),
            textlist("Categories", ["Catalogue"]),
            richtext("Body", ["Final check of the prices first."]),
        ], "20091110T090000,00+01"),
        document(db, "Task", [
            text("Subject", "Book flights"),
            datetime("DueDate", "20091204"),
            richtext("Body", []),
        ], "20091110T090000,00+01"),
        document(db, "TaskNotice", [
            text("Subject", "Assigned: update price list"),
            datetime("DueDate", "20091215"),
            text("Chair", carla, names=True),
        ], "20091111T090000,00+01"),
    ]

    # Contacts
    def person(first, last, full_name, mail, company, extra=()):
        return document(db, "Person", [
            text("Type", "Person"),
            text("FirstName", first),
            text("LastName", last),
            textlist("FullName", full_name, names=True),
            text("MailAddress", mail),
            text("CompanyName", company),
        ] + list(extra), "20090604T101500,00+02")

    people.entries = [
        person("Bo", "Yu", [bo, "Bo Yu", "bo.yu@acme.example"], "Bo Yu/Research/Acme@Acme", "acme corp", [
            text("JobTitle", "Researcher"),
            text("Department", "Research"),
            text("OfficePhoneNumber", "+49 30 1234-56"),
            text("CellPhoneNumber", "+49 170 1234567"),
            text("OfficeStreetAddress", "Hauptstraße 1"),
            text("OfficeCity", "Berlin"),
            text("OfficeZip", "10115"),
            text("OfficeCountry", "Germany"),
            datetime("Birthday", "19750412"),
            textlist("Categories", ["Colleagues"]),
            text("Comment", "Met at the 2008 fair."),
        ]),
        person("erik", "SVENSSON", ["erik SVENSSON"], "erik@partner.example", "PARTNER ab", [
            text("OfficePhoneNumber", "+46 8 123 45"),
            text("WebSite", "http://partner.example"),
            datetime("Anniversary", "20050601"),
        ]),
        person("Carla", "Mendes", [carla, "Carla Mendes"], "carla.mendes@acme.example", "Acme", [
            text("MiddleInitial", "R."),
            text("StreetAddress", "Rua Augusta 10"),
            text("City", "Lisboa"),
            text("PhoneNumber", "+351 21 000 000"),
        ]),
        document(db, "Group", [
            text("Type", "Group"),
            text("ListName", "Sales team"),
            text("GroupType", "0"),
            textlist("Members", [ann, bo, carla], names=True),
            text("ListDescription", "Everyone in sales"),
        ], "20090604T101500,00+02"),
    ]

    notes = [d.xml() for d in design] + db.notes
    return DXL_HEADER.format(replica=db.replica, path=esc("mail\\alee.nsf"), title=esc("Ann Lee"), template="StdR85Mail",
                             type="mailfile", count=len(db.notes)) + "".join(notes) + "</database>\n"


def journal_database():
    db = Db("85257B3A0051AA02")
    all_view = Design(db, "view", "($All)", "All", "SELECT @All")
    by_date = Design(db, "view", "By Date", "ByDate", "SELECT Form = \"JournalEntry\"")
    entries = [
        ("20091102", "20091102T213000,00+01", "A new start", ["Started the new job at Acme today.", "Nice team."],
         ["Work"]),
        ("20091108", "20091108T101500,00+01", "Sunday walk", ["Walked along the river.", "", "Cold but sunny."],
         ["Private"]),
        ("20091115", "20091115T224500,00+01", "Ideas for the catalogue",
         ["Bigger pictures.", "Fewer pages.", "Prices on a separate sheet."], ["Work", "Ideas"]),
    ]
    ids = []
    for diary, created, subject, body, categories in entries:
        ids.append(document(db, "JournalEntry", [
            text("Subject", subject),
            datetime("DiaryDate", diary),
            datetime("TimeCreated", created),
            textlist("Categories", categories),
            richtext("Body", body),
        ], created))
    by_date.entries = list(reversed(ids))
    document(db, "JournalProfile", [text("Owner", "CN=Ann Lee/OU=Sales/O=Acme", names=True)], "20091101T090000,00+01")
    notes = [all_view.xml(), by_date.xml()] + db.notes
    return DXL_HEADER.format(replica=db.replica, path=esc("journal.nsf"), title=esc("Ann Lee's Journal"), template="StdR8Journal",
                             type="personaljournal", count=len(db.notes)) + "".join(notes) + "</database>\n"


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for name, content in (("mailfile.dxl", mail_database()), ("personaljournal.dxl", journal_database())):
        with open(os.path.join(out, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(content)


if __name__ == "__main__":
    main()
