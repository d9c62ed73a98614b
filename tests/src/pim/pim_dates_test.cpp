// Dates of contacts, appointments and tasks end to end, run by CTest under several time zones
// and locales (TZ and LC_ALL set from outside): what Outlook shows must not depend on either.
#include "conversion_fixture.h"

#include "automation/notes.h"
#include "notes/notes_session.h"
#include "pim/calendar_entry.h"
#include "pim/recurrence.h"
#include "pim/time_zones.h"

#include <QFile>
#include <QTimeZone>

#include <clocale>
#include <cstdlib>
#include <limits>

namespace {
class PimDates : public ConversionFixture {
protected:
    void SetUp() override
    {
        // A locale the run asks for must exist, or the test would prove nothing about it.
        const char* wanted = std::getenv("LC_ALL");
        ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr)
            << "locale " << (wanted ? wanted : "") << " is not installed (scripts/setup.sh generates it)";
        ConversionFixture::SetUp();
    }
};

// A Notes date-time as DXL writes it, in the zone the entry was planned in: "20100215T100000,00-05".
std::string notesTime(QDate day, int hour, const char* zone)
{
    const QTimeZone z(zone);
    const int offset = z.offsetFromUtc(QDateTime(day, QTime(hour, 0), z)) / 3600;
    return day.toString(QStringLiteral("yyyyMMdd")).toStdString() + "T"
        + QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0')).toStdString() + "0000,00" + (offset < 0 ? "-" : "+")
        + QStringLiteral("%1").arg(std::abs(offset), 2, 10, QLatin1Char('0')).toStdString();
}
// UTC text of a local midnight, as pypff shows a PT_SYSTIME.
QString localMidnight(QDate day)
{
    return QDateTime(day, QTime(0, 0)).toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}
// The items of a folder with that subject.
std::vector<QJsonObject> itemsWith(const PstView& v, const char* reader, const char* folder, const char* subject)
{
    std::vector<QJsonObject> out;
    for (const auto& i : v.items(reader, QLatin1String(folder)))
        if (i.toObject().value("subject").toString() == QLatin1String(subject))
            out.push_back(i.toObject());
    return out;
}
// Little-endian fields of a binary property as pypff gives it (hex text).
struct Blob {
    QByteArray bytes;
    explicit Blob(const QJsonValue& hex)
        : bytes(QByteArray::fromHex(hex.toString().toLatin1()))
    {
    }
    quint32 at(int offset, int size) const
    {
        quint32 v = 0;
        for (int i = size - 1; i >= 0; --i)
            v = (v << 8) | (offset + i < bytes.size() ? static_cast<quint8>(bytes[offset + i]) : 0u);
        return v;
    }
};
quint32 minutes1601(QDate day) { return static_cast<quint32>(QDate(1601, 1, 1).daysTo(day) * 1440); }
} // namespace

TEST_F(PimDates, RepeatsAllDayEventsZonesAndMeetingsAsOutlookShowsThem)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    const char* const NewYork = "America/New_York";
    const std::string eastern = "Z=5$DO=1$DL=3 2 1 11 1 1$ZX=28$ZN=Eastern";
    // Monday and Wednesday at 10:00 in New York for ten weeks, across the start of daylight
    // saving time (14 March 2010); 24 February removed, 8 March moved to 9 March 14:00.
    std::vector<std::string> starts, ends, originals;
    for (QDate d(2010, 2, 15); d < QDate(2010, 4, 26); d = d.addDays(1)) {
        if (d.dayOfWeek() != 1 && d.dayOfWeek() != 3)
            continue;
        if (d == QDate(2010, 2, 24))
            continue;
        const int hour = d == QDate(2010, 3, 8) ? 14 : 10;
        originals.push_back(notesTime(d, 10, NewYork));
        const QDate at = d == QDate(2010, 3, 8) ? d.addDays(1) : d;
        starts.push_back(notesTime(at, hour, NewYork));
        ends.push_back(notesTime(at, hour + 1, NewYork));
    }
    auto& weekly = db.document("Appointment")
                       .text("Subject", "Weekly sync")
                       .text("AppointmentType", "3")
                       .dateTimeList("StartDateTime", starts)
                       .dateTimeList("EndDateTime", ends)
                       .dateTimeList("RepeatInstanceDates", originals)
                       .text("Repeats", "1")
                       .text("RepeatUnit", "W")
                       .text("RepeatInterval", "1")
                       .textList("RepeatAdjust", { "1", "3" })
                       .text("RepeatHow", "U")
                       .dateTime("RepeatUntil", "20100421")
                       .text("StartTimeZone", eastern)
                       .text("Chair", "CN=Ann Lee/O=Acme")
                       .textList("RequiredAttendees", { "CN=Ann Lee/O=Acme", "CN=Bo Yu/O=Acme", "cy@example.com" })
                       .textList("OptionalAttendees", { "CN=Di Fox/O=Acme" });
    // Attendees are resolved as mail's people are: Bo Yu through the database's Person document.
    db.document("Person")
        .textList("FullName", { "CN=Bo Yu/O=Acme", "Bo Yu" })
        .text("InternetAddress", "bo@acme.example");
    // The second Tuesday of each month, January to June, 09:00 in Berlin.
    std::vector<std::string> monthly, monthlyEnds;
    for (int m = 1; m <= 6; ++m) {
        QDate d(2010, m, 1);
        d = d.addDays((2 - d.dayOfWeek() + 7) % 7 + 7);
        monthly.push_back(notesTime(d, 9, "Europe/Berlin"));
        monthlyEnds.push_back(notesTime(d, 10, "Europe/Berlin"));
    }
    auto& board = db.document("Appointment")
                      .text("Subject", "Board")
                      .text("AppointmentType", "0")
                      .dateTimeList("StartDateTime", monthly)
                      .dateTimeList("EndDateTime", monthlyEnds)
                      .text("Repeats", "1")
                      .text("RepeatUnit", "MP")
                      .textList("RepeatAdjust", { "2.2" })
                      .text("StartTimeZone", "Z=-1$DO=1$DL=3 -1 1 10 -1 1$ZX=70$ZN=W. Europe");
    auto& anniversary
        = db.document("Appointment")
              .text("Subject", "Wedding day")
              .text("AppointmentType", "1")
              .dateTimeList("StartDateTime", { "20080601", "20090601", "20100601", "20110601", "20120601" })
              .text("Repeats", "1")
              .text("RepeatUnit", "YD");
    auto& custom = db.document("Appointment")
                       .text("Subject", "Visits")
                       .dateTimeList("StartDateTime",
                           { "20100105T140000,00+01", "20100119T140000,00+01", "20100301T140000,00+01" })
                       .dateTimeList(
                           "EndDateTime", { "20100105T150000,00+01", "20100119T150000,00+01", "20100301T150000,00+01" })
                       .text("Repeats", "1")
                       .text("RepeatUnit", "C");
    auto& fair = db.document("Appointment")
                     .text("Subject", "Trade fair")
                     .text("AppointmentType", "2")
                     .dateTime("StartDateTime", "20091116")
                     .dateTime("EndDateTime", "20091117");
    auto& call = db.document("Appointment")
                     .text("Subject", "Call Bo")
                     .text("AppointmentType", "4")
                     .dateTime("StartDateTime", "20091120T090000,00+01")
                     .text("$Alarm", "1");
    // An invitation not yet answered.
    auto& invite = db.document("Notice")
                       .text("Subject", "Budget review")
                       .text("NoticeType", "I")
                       .dateTime("StartDateTime", "20091120T140000,00+01")
                       .dateTime("EndDateTime", "20091120T150000,00+01")
                       .text("Chair", "CN=Eve Ray/O=Acme")
                       .textList("SendTo", { "CN=Ann Lee/O=Acme" });
    // Bad input: an instance on a day the rule does not give, an end before the start, an
    // unknown zone.
    auto& stray = db.document("Appointment")
                      .text("Subject", "Stray")
                      .dateTimeList("StartDateTime", { "20100104T090000,00+01", "20100112T090000,00+01" })
                      .dateTimeList("EndDateTime", { "20100104T100000,00+01", "20100112T100000,00+01" })
                      .text("Repeats", "1")
                      .text("RepeatUnit", "W")
                      .textList("RepeatAdjust", { "1" });
    auto& backwards = db.document("Appointment")
                          .text("Subject", "Backwards")
                          .dateTimeList("StartDateTime", { "20100104T090000,00+01", "20100105T090000,00+01" })
                          .text("Repeats", "1")
                          .text("RepeatUnit", "D")
                          .text("RepeatHow", "U")
                          .dateTime("RepeatUntil", "20091231");
    auto& atlantis = db.document("Appointment")
                         .text("Subject", "Atlantis")
                         .dateTime("StartDateTime", "20100104T090000,00+03")
                         .dateTime("EndDateTime", "20100104T100000,00+03")
                         .text("StartTimeZone", "Z=-3$DO=0$ZX=99$ZN=Atlantis");
    db.view("($Calendar)")
        .entries({ weekly.noteId(), board.noteId(), anniversary.noteId(), custom.noteId(), fair.noteId(), call.noteId(),
            invite.noteId(), stray.noteId(), backwards.noteId(), atlantis.noteId() });

    const QString pst = convert(db, true, { c().SaveOptionCalendars });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);

    // The weekly meeting: one series; the moved instance is its exception.
    const auto sync = itemsWith(v, "pypff", "Calendar", "Weekly sync");
    ASSERT_EQ(sync.size(), 1u);
    const QJsonObject& series = sync[0];
    EXPECT_EQ(Prop(series, "PSETID_Appointment:0x820D").toString(), "2010-02-15T15:00:00");
    EXPECT_EQ(Prop(series, "PSETID_Appointment:0x820E").toString(), "2010-02-15T16:00:00");
    EXPECT_EQ(Prop(series, "PSETID_Appointment:0x8231").toInt(), 2); // weekly
    EXPECT_EQ(Prop(series, "PSETID_Appointment:0x8234").toString(), "(UTC-05:00) Eastern Time (US & Canada)");
    EXPECT_EQ(
        Prop(series, "PSETID_Appointment:0x8232").toString(), "every Monday and Wednesday from 10:00 AM to 11:00 AM");
    // The blob, field by field ([MS-OXOCAL] 2.2.1.44.1, .44.2, .44.3, .44.5).
    const Blob recur(Prop(series, "PSETID_Appointment:0x8216"));
    EXPECT_EQ(recur.at(0, 2), 0x3004u);
    EXPECT_EQ(recur.at(4, 2), 0x200Bu); // weekly
    EXPECT_EQ(recur.at(6, 2), 1u); // week pattern
    EXPECT_EQ(recur.at(14, 4), 1u); // every week
    EXPECT_EQ(recur.at(22, 4), 0x0Au); // Monday and Wednesday
    EXPECT_EQ(recur.at(26, 4), 0x2022u); // ends after
    EXPECT_EQ(recur.at(30, 4), 20u); // occurrences
    EXPECT_EQ(recur.at(38, 4), 2u); // deleted: the removed one and the moved one's place
    EXPECT_EQ(recur.at(42, 4), minutes1601(QDate(2010, 2, 24)));
    EXPECT_EQ(recur.at(46, 4), minutes1601(QDate(2010, 3, 8)));
    EXPECT_EQ(recur.at(50, 4), 1u); // modified: the moved one, on the day it moved to
    EXPECT_EQ(recur.at(54, 4), minutes1601(QDate(2010, 3, 9)));
    EXPECT_EQ(recur.at(58, 4), minutes1601(QDate(2010, 2, 15)));
    EXPECT_EQ(recur.at(62, 4), minutes1601(QDate(2010, 4, 21)));
    EXPECT_EQ(recur.at(74, 4), 600u); // 10:00 New York time
    EXPECT_EQ(recur.at(78, 4), 660u);
    EXPECT_EQ(recur.at(82, 2), 1u); // ExceptionCount
    EXPECT_EQ(recur.at(84, 4), minutes1601(QDate(2010, 3, 9)) + 840); // now 9 March 14:00-15:00
    EXPECT_EQ(recur.at(88, 4), minutes1601(QDate(2010, 3, 9)) + 900);
    EXPECT_EQ(recur.at(92, 4), minutes1601(QDate(2010, 3, 8)) + 600); // was 8 March 10:00
    EXPECT_EQ(recur.at(96, 2), 0u); // nothing but the times overridden
    EXPECT_EQ(recur.at(102, 4), 4u); // ExtendedException: ChangeHighlightSize
    EXPECT_EQ(recur.bytes.size(), 118);
    // Its attachment: an embedded message, hidden, an exception, the times in New York time.
    const QJsonArray attachments = series.value("attachment_props").toArray();
    ASSERT_EQ(attachments.size(), 1);
    const QJsonObject exception = attachments[0].toObject();
    EXPECT_EQ(exception.value("0x3705").toInt(), 5);
    EXPECT_TRUE(exception.value("0x7FFE").toBool());
    EXPECT_EQ(exception.value("0x7FFD").toInt(), 2);
    EXPECT_EQ(exception.value("0x7FF9").toString(), "2010-03-08T10:00:00");
    EXPECT_EQ(exception.value("0x7FFB").toString(), "2010-03-09T14:00:00");
    EXPECT_EQ(exception.value("0x7FFC").toString(), "2010-03-09T15:00:00");
    // The embedded message as pffexport reads it.
    const auto exported = itemsWith(v, "pffexport", "Calendar", "Weekly sync");
    ASSERT_EQ(exported.size(), 1u);
    // The organizer once (the chair is also among the required attendees), first; the
    // exception has the series' attendees.
    auto names = [](const QJsonObject& item) {
        QStringList out;
        for (const auto& r : item.value("to").toArray())
            out << r.toObject().value("name").toString() + " " + r.toObject().value("email").toString();
        return out;
    };
    EXPECT_EQ(names(exported[0]),
        QStringList({ "Ann Lee Ann Lee/Acme", "Bo Yu bo@acme.example", "cy@example.com cy@example.com" }));
    const QJsonArray embedded = exported[0].value("embedded").toArray();
    ASSERT_EQ(embedded.size(), 1);
    EXPECT_EQ(names(embedded[0].toObject()), names(exported[0]));
    const QJsonObject times = embedded[0].toObject().value("fields").toObject().value("Appointment").toObject();
    EXPECT_EQ(times.value("Start time").toString(), "Mar 09, 2010 19:00:00.000000000 UTC");
    EXPECT_EQ(times.value("End time").toString(), "Mar 09, 2010 20:00:00.000000000 UTC");
    const Blob zone(Prop(series, "PSETID_Appointment:0x8233"));
    EXPECT_EQ(static_cast<qint32>(zone.at(0, 4)), 300);
    EXPECT_EQ(static_cast<qint32>(zone.at(8, 4)), -60);
    EXPECT_EQ(zone.at(16, 2), 11u); // back to standard time in November
    EXPECT_TRUE(Prop(series, "PSETID_Appointment:0x8260").isString());
    // The chair organizes (a required recipient, first), the attendees are required (To) and
    // optional (CC).
    // Names nothing resolves show as their common names, typed NOTES.
    EXPECT_EQ(Prop(series, "0x0042").toString(), "Ann Lee");
    EXPECT_EQ(Prop(series, "0x0065").toString(), "Ann Lee/Acme");
    EXPECT_EQ(Prop(series, "0x0064").toString(), "NOTES");
    EXPECT_EQ(Prop(series, "0x0E04").toString(), "Ann Lee; Bo Yu; cy@example.com");
    EXPECT_EQ(Prop(series, "0x0E03").toString(), "Di Fox");
    EXPECT_EQ(Prop(series, "PSETID_Appointment:0x8217").toInt(), 1); // a meeting
    EXPECT_EQ(Prop(series, "PSETID_Appointment:0x8218").toInt(), 1); // organized

    const QJsonObject invitation = v.item("pypff", "Calendar", "Budget review");
    EXPECT_EQ(Prop(invitation, "0x0042").toString(), "Eve Ray");
    EXPECT_EQ(Prop(invitation, "0x0E04").toString(), "Eve Ray; Ann Lee");
    EXPECT_EQ(Prop(invitation, "PSETID_Appointment:0x8217").toInt(), 3); // a meeting, received
    EXPECT_EQ(Prop(invitation, "PSETID_Appointment:0x8218").toInt(), 5); // not answered
    EXPECT_EQ(Prop(invitation, "PSETID_Appointment:0x8205").toInt(), 1); // tentative

    const QJsonObject boardItem = v.item("pypff", "Calendar", "Board");
    EXPECT_EQ(Prop(boardItem, "PSETID_Appointment:0x8231").toInt(), 3); // monthly
    const Blob boardRecur(Prop(boardItem, "PSETID_Appointment:0x8216"));
    EXPECT_EQ(boardRecur.at(6, 2), 3u); // the n-th weekday of the month
    EXPECT_EQ(boardRecur.at(22, 4), 0x04u); // Tuesday
    EXPECT_EQ(boardRecur.at(26, 4), 2u); // the second
    EXPECT_EQ(Prop(boardItem, "PSETID_Appointment:0x820D").toString(), "2010-01-12T08:00:00");

    // The anniversary: a yearly all-day series from local midnight to local midnight, free.
    const QJsonObject wedding = v.item("pypff", "Calendar", "Wedding day");
    EXPECT_TRUE(Prop(wedding, "PSETID_Appointment:0x8215").toBool());
    EXPECT_EQ(Prop(wedding, "PSETID_Appointment:0x8205").toInt(), 0);
    EXPECT_EQ(Prop(wedding, "PSETID_Appointment:0x8231").toInt(), 4);
    EXPECT_EQ(Prop(wedding, "PSETID_Appointment:0x820D").toString(), localMidnight(QDate(2008, 6, 1)));
    EXPECT_EQ(Prop(wedding, "PSETID_Appointment:0x820E").toString(), localMidnight(QDate(2008, 6, 2)));
    EXPECT_EQ(Blob(Prop(wedding, "PSETID_Appointment:0x8216")).at(70, 4), 0u); // starts at midnight

    EXPECT_EQ(itemsWith(v, "pypff", "Calendar", "Visits").size(), 3u);
    const QJsonObject fairItem = v.item("pypff", "Calendar", "Trade fair");
    EXPECT_TRUE(Prop(fairItem, "PSETID_Appointment:0x8215").toBool());
    EXPECT_EQ(Prop(fairItem, "PSETID_Appointment:0x820D").toString(), localMidnight(QDate(2009, 11, 16)));
    EXPECT_EQ(Prop(fairItem, "PSETID_Appointment:0x820E").toString(), localMidnight(QDate(2009, 11, 18)));
    EXPECT_EQ(Prop(fairItem, "PSETID_Appointment:0x8205").toInt(), 0);
    const QJsonObject callItem = v.item("pypff", "Calendar", "Call Bo");
    EXPECT_EQ(Prop(callItem, "PSETID_Appointment:0x820D").toString(), "2009-11-20T08:00:00");
    EXPECT_EQ(Prop(callItem, "PSETID_Appointment:0x820E").toString(), "2009-11-20T08:00:00");
    EXPECT_TRUE(Prop(callItem, "PSETID_Common:0x8503").toBool());

    // Bad input arrives as single appointments, and the report says why.
    EXPECT_EQ(itemsWith(v, "pypff", "Calendar", "Stray").size(), 2u);
    EXPECT_EQ(itemsWith(v, "pypff", "Calendar", "Backwards").size(), 2u);
    EXPECT_EQ(
        Prop(v.item("pypff", "Calendar", "Atlantis"), "PSETID_Appointment:0x820D").toString(), "2010-01-04T06:00:00");
    EXPECT_TRUE(ReportLine(pst, "Stray").contains("does not fit the repeat rule"))
        << ReportLine(pst, "Stray").toStdString();
    EXPECT_TRUE(ReportLine(pst, "Backwards").contains("before it starts"))
        << ReportLine(pst, "Backwards").toStdString();
    EXPECT_TRUE(ReportLine(pst, "Atlantis").contains("is unknown")) << ReportLine(pst, "Atlantis").toStdString();

    // readpst's iCalendar: the series' rules (readpst separates BYDAY's days with ";"), the
    // all-day event from local midnight (this readpst writes UTC date-times only: no
    // VALUE=DATE, TZID, EXDATE or RECURRENCE-ID, which the blob checks above stand for; it
    // writes the series alone, not its exceptions).
    const auto syncIcal = itemsWith(v, "readpst", "Calendar", "Weekly sync");
    ASSERT_EQ(syncIcal.size(), 1u);
    EXPECT_EQ(syncIcal[0].value("ical").toObject().value("RRULE").toString(), "FREQ=WEEKLY;COUNT=20;BYDAY=MO;WE");
    EXPECT_EQ(v.item("readpst", "Calendar", "Board").value("ical").toObject().value("RRULE").toString(),
        "FREQ=MONTHLY;COUNT=6;BYSETPOS=2;BYDAY=TU");
    EXPECT_EQ(v.item("readpst", "Calendar", "Trade fair").value("ical").toObject().value("DTSTART").toString(),
        QDateTime(QDate(2009, 11, 16), QTime(0, 0)).toUTC().toString(QStringLiteral("yyyyMMddTHHmmssZ")));
}

TEST_F(PimDates, ContactAndTaskDatesKeepTheirDayInEveryZoneAndLocale)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    // As Notes writes them: a date alone, and a date-time at midnight in Tokyo.
    auto& bo = db.document("Person")
                   .text("FullName", "Bo Yu")
                   .text("LastName", "Yu")
                   .dateTime("Birthday", "20050601")
                   .dateTime("Anniversary", "20100315T000000,00+09");
    auto& cy
        = db.document("Person").text("FullName", "Cy Ott").text("LastName", "Ott").dateTime("Birthday", "19991231");
    db.view("People").entries({ bo.noteId(), cy.noteId() });
    auto& done = db.document("Task")
                     .text("Subject", "Print catalogue")
                     .dateTime("DueDate", "20091130")
                     .dateTime("StartDate", "20091125")
                     .text("Importance", "1")
                     .dateTime("CompletedDateTime", "20091128T170000,00+01")
                     .text("$Alarm", "1")
                     .dateTime("$AlarmTime", "20091129T090000,00+01");
    auto& open
        = db.document("Task").text("Subject", "Plan fair").dateTime("DueDate", "20100301").text("Importance", "3");
    db.view("($ToDo)").entries({ done.noteId(), open.noteId() });

    const QString pst = convert(db, true, { c().SaveOptionContacts, c().SaveOptionToDo });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    QJsonObject b, o;
    for (const auto& i : v.items("pypff", "Contacts"))
        (Prop(i.toObject(), "0x3A11").toString() == "Yu" ? b : o) = i.toObject();
    EXPECT_EQ(Prop(b, "0x3A42").toString(), "2005-06-01T00:00:00"); // PidTagBirthday
    EXPECT_EQ(Prop(b, "PSETID_Address:0x80DE").toString(), "2005-06-01T00:00:00"); // PidLidBirthdayLocal
    EXPECT_EQ(Prop(b, "0x3A41").toString(), "2010-03-15T00:00:00"); // PidTagWeddingAnniversary
    EXPECT_EQ(Prop(b, "PSETID_Address:0x80DF").toString(), "2010-03-15T00:00:00");
    EXPECT_EQ(Prop(o, "0x3A42").toString(), "1999-12-31T00:00:00");
    QStringList birthdays;
    for (const auto& i : v.items("readpst", "Contacts"))
        birthdays << i.toObject().value("vcard").toObject().value("BDAY").toString();
    birthdays.sort();
    EXPECT_EQ(birthdays, QStringList({ "1999-12-31T00:00:00Z", "2005-06-01T00:00:00Z" }));

    const QJsonObject t = v.item("pypff", "Tasks", "Print catalogue");
    EXPECT_EQ(Prop(t, "PSETID_Task:0x8105").toString(), "2009-11-30T00:00:00"); // due, a local date
    EXPECT_EQ(Prop(t, "PSETID_Task:0x8104").toString(), "2009-11-25T00:00:00"); // start
    EXPECT_EQ(Prop(t, "PSETID_Common:0x8517").toString(), localMidnight(QDate(2009, 11, 30))); // in UTC
    EXPECT_EQ(Prop(t, "PSETID_Common:0x8516").toString(), localMidnight(QDate(2009, 11, 25)));
    EXPECT_EQ(Prop(t, "0x0017").toInt(), 2); // high
    EXPECT_TRUE(Prop(t, "PSETID_Task:0x811C").toBool()); // complete
    EXPECT_EQ(Prop(t, "PSETID_Task:0x8101").toInt(), 2);
    EXPECT_EQ(Prop(t, "PSETID_Task:0x8102").toDouble(), 1.0);
    EXPECT_EQ(Prop(t, "PSETID_Task:0x810F").toString(), "2009-11-28T16:00:00");
    EXPECT_TRUE(Prop(t, "PSETID_Common:0x8503").toBool());
    EXPECT_EQ(Prop(t, "PSETID_Common:0x8502").toString(), "2009-11-29T08:00:00");
    const QJsonObject plan = v.item("pypff", "Tasks", "Plan fair");
    EXPECT_EQ(Prop(plan, "PSETID_Task:0x8105").toString(), "2010-03-01T00:00:00");
    EXPECT_EQ(Prop(plan, "0x0017").toInt(), 0); // low
    EXPECT_FALSE(Prop(plan, "PSETID_Task:0x811C").toBool());
}

TEST(SeriesPlans, OversizedRulesEndAsSingleInstancesWithTheirReason)
{
    // 10,000 daily instances: more than a series holds.
    std::vector<pim::Instance> many;
    for (int i = 0; i < 10'000; ++i) {
        auto at = automation::DateTime::fromUnixMillis((1'262'304'000LL + i * 86'400LL) * 1000, 60);
        auto end = automation::DateTime::fromUnixMillis((1'262'307'600LL + i * 86'400LL) * 1000, 60);
        many.push_back({ at, at, end });
    }
    pim::RepeatRule daily;
    daily.unit = "D";
    const auto plan = pim::PlanSeries(many, daily);
    EXPECT_FALSE(plan.recurring);
    EXPECT_EQ(plan.singles.size(), 10'000u);
    EXPECT_TRUE(plan.problem.contains("10000 instances")) << plan.problem.toStdString();

    // Two yearly instances 7,000 years apart: the expansion stops at the series' limit.
    auto year = [](int y) {
        automation::DateTime d;
        d.year = y;
        d.month = 6;
        d.day = 1;
        d.hour = 9;
        d.offsetMinutes = 0;
        return pim::Instance { d, d, d };
    };
    pim::RepeatRule yearly;
    yearly.unit = "YD";
    const auto far = pim::PlanSeries({ year(2000), year(9000) }, yearly);
    EXPECT_FALSE(far.recurring);
    EXPECT_EQ(far.singles.size(), 2u);
    EXPECT_TRUE(far.problem.contains("more than 999 occurrences")) << far.problem.toStdString();
}

// Numbers no clock or reminder has: a zone string's offset makes no zone, however large;
// an alarm offset beyond the largest reminder is that reminder.
TEST(CalendarItems, NumbersBeyondAnyClockStayInRange)
{
    for (const char* text : { "Z=-2147483648$DO=0$ZN=Eastern", "Z=2147483647", "Z=-6001", "Z=15$ZN=Eastern" })
        EXPECT_FALSE(pim::ParseNotesZone(text)) << text;
    EXPECT_EQ(pim::ParseNotesZone("Z=-3005$DO=0$ZN=India")->offsetMinutes, 330);
    EXPECT_EQ(pim::WindowsZoneKey("Z=-2147483648$DO=1$ZN=Eastern"), QString());

    QTemporaryDir dir;
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    db.document("Appointment")
        .text("AppointmentType", "4")
        .dateTime("StartDateTime", "20091130T090000,00+01")
        .text("$AlarmOffset", "-2147483648");
    notes::RegisterNotesSession();
    auto session = automation::CreateObjectAs<automation::NotesSession>("Notes.NotesSession");
    const auto database = session->GetDatabase("", db.write(dir.filePath("cal.dxl").toStdString()));
    const auto doc = database->GetDocumentByID(database->AllDocumentIDs().front());
    EXPECT_EQ(pim::ReadCalendarEntry(*doc).extras.reminderMinutes, std::numeric_limits<int>::max());
}
