// The calendar blobs against the recurring appointment Outlook wrote into
// tests/data/pst/dist-list.pst (every Tuesday 8:00-8:30 AM Pacific time from 2 August 2016,
// no end; 9 August deleted, 23 August moved to 9:00, 30 August to 10:00), read by pypff: the
// same pattern, zone and exceptions must give the same fields.
#include "PstTestSupport.h"
#include "calendar_item.h"
#include "item_values.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {
// The reference appointment's named properties, and its attachments' properties.
QJsonObject referenceAppointment(QJsonArray* attachments = nullptr)
{
    const auto r = psttest::run(std::string(FERRYMARK_SYSTEM_PYTHON) + " " + FERRYMARK_SOURCE_DIR
        + "/tests/support/pst_readers.py " + psttest::quote((psttest::referenceDir() / "dist-list.pst").string())
        + " 2>/dev/null");
    const QJsonObject all = QJsonDocument::fromJson(QByteArray::fromStdString(r.output)).object();
    for (const auto& f : all.value("pypff").toObject().value("folders").toArray())
        for (const auto& i : f.toObject().value("items").toArray())
            if (i.toObject().value("subject").toString() == "Test appointment") {
                if (attachments)
                    *attachments = i.toObject().value("attachment_props").toArray();
                return i.toObject().value("named").toObject();
            }
    return {};
}

QByteArray bytes(const std::vector<std::uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}
automation::DateTime day(int d)
{
    automation::DateTime t;
    t.kind = automation::DateTime::Kind::DateOnly;
    t.year = 2016;
    t.month = 8;
    t.day = d;
    return t;
}
QString utc(std::int64_t fileTime)
{
    return QDateTime::fromMSecsSinceEpoch(outlook::FromFileTime(fileTime), Qt::UTC).toString("yyyy-MM-ddTHH:mm:ss");
}
} // namespace

TEST(CalendarBlobs, AWeeklySeriesAndItsZoneAreLaidOutAsOutlookWritesThem)
{
    QJsonArray refAttachments;
    const QJsonObject ref = referenceAppointment(&refAttachments);
    ASSERT_FALSE(ref.isEmpty()) << "the reference appointment is not readable";
    auto refBytes = [&](const char* lid) {
        return QByteArray::fromHex(ref.value(QString("PSETID_Appointment:") + lid).toString().toLatin1());
    };

    outlook::CalendarState state;
    state.zone = outlook::FindWindowsZone("Pacific Standard Time");
    ASSERT_TRUE(state.zone);
    state.recurrence = std::make_shared<outlook::RecurrenceState>();
    state.recurrence->type = 1;
    state.recurrence->dayOfWeekMask = 4; // Tuesday
    state.recurrence->startDay = automation::DaysFromCivil(2016, 8, 2);
    state.recurrence->noEndDate = true;
    auto at = [](int day, int hour) {
        return outlook::ToFileTime(QDateTime(QDate(2016, 8, day), QTime(hour, 0), Qt::UTC).toMSecsSinceEpoch());
    };
    const std::int64_t start = at(2, 15), end = start + 30LL * 600'000'000;
    // Through the object model: a deleted occurrence and two moved ones.
    const auto pattern = outlook::MakeRecurrencePattern(state.recurrence);
    pattern->DeleteOccurrence(day(9));
    auto move = [&](int d, int hour) {
        const auto occurrence = pattern->GetOccurrence(day(d));
        occurrence->Set(
            "Start", automation::Variant(automation::DateTime::fromUnixMillis(outlook::FromFileTime(at(d, hour)), 0)));
        occurrence->Set("End",
            automation::Variant(
                automation::DateTime::fromUnixMillis(outlook::FromFileTime(at(d, hour)) + 30 * 60'000, 0)));
        occurrence->Save();
    };
    move(30, 17);
    move(23, 16);
    const auto props = outlook::CalendarProperties(state, start, end);
    auto ours = [&](std::uint32_t lid) -> const pst::PropertyValue& {
        for (const auto& [key, value] : props)
            if (key.kind == outlook::PropertyKey::Kind::NamedId && key.lid == lid)
                return value;
        throw std::runtime_error("no property " + std::to_string(lid));
    };

    EXPECT_EQ(bytes(std::get<pst::Bytes>(ours(0x8233))).toHex().toStdString(),
        refBytes("0x8233").toHex().toStdString()); // PidLidTimeZoneStruct
    EXPECT_EQ(std::get<std::string>(ours(0x8234)), ref.value("PSETID_Appointment:0x8234").toString().toStdString());
    // The start display's definition: the same but for the rule's year (ours holds from 1601).
    QByteArray display = bytes(std::get<pst::Bytes>(ours(0x825E)));
    const QByteArray refDisplay = refBytes("0x825E");
    ASSERT_EQ(display.size(), refDisplay.size());
    display[58] = refDisplay[58];
    display[59] = refDisplay[59];
    EXPECT_EQ(display.toHex().toStdString(), refDisplay.toHex().toStdString());

    // The recurrence blob: byte for byte, deleted and modified instance dates, ExceptionInfo and
    // ExtendedException included, but for the two OverrideFlags: Outlook's exceptions also had
    // their bodies changed (ARO_EXCEPTIONAL_BODY, 0x200), ours change only the times.
    const QByteArray blob = bytes(std::get<pst::Bytes>(ours(0x8216)));
    QByteArray refBlob = refBytes("0x8216");
    ASSERT_EQ(refBlob.size(), 152);
    for (int flags : { 104, 118 })
        refBlob[flags] = refBlob[flags + 1] = 0;
    EXPECT_EQ(blob.toHex().toStdString(), refBlob.toHex().toStdString());

    // The exception attachments: hidden, afException, times in local time as Outlook's; the
    // embedded message with the new times and the replaced one in UTC (dist-list's first
    // exception holds 2016-08-23 16:00, 16:30 and 15:00).
    const auto exceptions = outlook::CalendarExceptions(state, start, end);
    ASSERT_EQ(exceptions.size(), 2u);
    ASSERT_EQ(refAttachments.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject refAttachment = refAttachments[i].toObject();
        for (const auto& p : exceptions[i].attachment) {
            const QString id = QString("0x%1").arg(p.id, 4, 16, QChar('0')).toUpper().replace("0X", "0x");
            if (p.type == 0x0040)
                EXPECT_EQ(utc(std::get<pst::FileTime>(p.value).ticks), refAttachment.value(id).toString()) << i;
            else if (p.type == 0x000B)
                EXPECT_EQ(std::get<bool>(p.value), refAttachment.value(id).toBool()) << i;
            else
                EXPECT_EQ(std::get<std::int32_t>(p.value), refAttachment.value(id).toInt()) << i;
        }
    }
    auto exceptionValue = [&](std::uint32_t lid) {
        for (const auto& [key, value] : exceptions[0].message)
            if (key.kind == outlook::PropertyKey::Kind::NamedId && key.lid == lid)
                return utc(std::get<pst::FileTime>(value).ticks);
        return QString();
    };
    EXPECT_EQ(exceptionValue(0x820D), "2016-08-23T16:00:00");
    EXPECT_EQ(exceptionValue(0x820E), "2016-08-23T16:30:00");
    EXPECT_EQ(exceptionValue(0x8228), "2016-08-23T15:00:00");

    // A changed subject and location: flagged, in Windows-1252 with both lengths in
    // ExceptionInfo, in UTF-16 after the times in ExtendedException, and in the message.
    {
        const auto occurrence = pattern->GetOccurrence(day(23));
        occurrence->Set("Subject", automation::Variant(std::string("Büro – neu")));
        occurrence->Set("Location", automation::Variant(std::string("Raum")));
        occurrence->Save();
        QByteArray renamed;
        for (const auto& [key, value] : outlook::CalendarProperties(state, start, end))
            if (key.kind == outlook::PropertyKey::Kind::NamedId && key.lid == 0x8216)
                renamed = bytes(std::get<pst::Bytes>(value));
        EXPECT_EQ(renamed.mid(104, 2).toHex().toStdString(), "1100"); // ARO_SUBJECT | ARO_LOCATION
        EXPECT_EQ(renamed.mid(106, 22).toHex().toStdString(),
            "0b000a00"
            "42fc726f2096206e6575"
            "05000400"
            "5261756d");
        const QByteArray wide = QByteArray::fromHex("0a00")
            + QByteArray(reinterpret_cast<const char*>(u"Büro – neu"), 20) + QByteArray::fromHex("0400")
            + QByteArray(reinterpret_cast<const char*>(u"Raum"), 8);
        EXPECT_TRUE(renamed.contains(refBlob.mid(92, 12) + wide)) << renamed.toHex().toStdString();
        EXPECT_EQ(renamed.size(), 152 + 22 + 12 + 22 + 10 + 4); // the strings, the times again, EE2 size
        const auto renamedExceptions = outlook::CalendarExceptions(state, start, end);
        bool subject = false;
        for (const auto& [key, value] : renamedExceptions[0].message)
            subject |= key.kind == outlook::PropertyKey::Kind::Tag && key.tagId == 0x0037
                && std::get<std::string>(value) == "Büro – neu";
        EXPECT_TRUE(subject);
    }

    // An occurrence the pattern does not have, or one also deleted, is refused at the Save.
    for (int d : { 10, 9 }) {
        const auto copy = std::make_shared<outlook::RecurrenceState>(*state.recurrence);
        outlook::MakeRecurrencePattern(copy)->GetOccurrence(day(d))->Save();
        outlook::CalendarState wrong = state;
        wrong.recurrence = copy;
        EXPECT_THROW(outlook::CalendarProperties(wrong, start, end), automation::AutomationError) << d;
    }
    EXPECT_EQ(utc(std::get<pst::FileTime>(ours(0x8235)).ticks), ref.value("PSETID_Appointment:0x8235").toString());
    EXPECT_EQ(utc(std::get<pst::FileTime>(ours(0x8236)).ticks), ref.value("PSETID_Appointment:0x8236").toString());
    EXPECT_EQ(std::get<std::string>(ours(0x8232)), ref.value("PSETID_Appointment:0x8232").toString().toStdString());
    EXPECT_EQ(std::get<std::int32_t>(ours(0x8231)), ref.value("PSETID_Appointment:0x8231").toInt());
}
