// The calendar blobs against the recurring appointment Outlook wrote into
// tests/data/pst/dist-list.pst (every Tuesday 8:00-8:30 AM Pacific time from 2 August 2016,
// no end), read by pypff: the same pattern and zone must give the same fields.
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
QJsonObject referenceAppointment()
{
    const auto r = psttest::run(std::string(FERRYMARK_SYSTEM_PYTHON) + " " + FERRYMARK_SOURCE_DIR
        + "/tests/support/pst_readers.py " + psttest::quote((psttest::referenceDir() / "dist-list.pst").string())
        + " 2>/dev/null");
    const QJsonObject all = QJsonDocument::fromJson(QByteArray::fromStdString(r.output)).object();
    for (const auto& f : all.value("pypff").toObject().value("folders").toArray())
        for (const auto& i : f.toObject().value("items").toArray())
            if (i.toObject().value("subject").toString() == "Test appointment")
                return i.toObject().value("named").toObject();
    return {};
}

QByteArray bytes(const std::vector<std::uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}
QString utc(std::int64_t fileTime)
{
    return QDateTime::fromMSecsSinceEpoch(outlook::FromFileTime(fileTime), Qt::UTC).toString("yyyy-MM-ddTHH:mm:ss");
}
} // namespace

TEST(CalendarBlobs, AWeeklySeriesAndItsZoneAreLaidOutAsOutlookWritesThem)
{
    const QJsonObject ref = referenceAppointment();
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
    const std::int64_t start
        = outlook::ToFileTime(QDateTime(QDate(2016, 8, 2), QTime(15, 0), Qt::UTC).toMSecsSinceEpoch());
    const auto props = outlook::CalendarProperties(state, start, start + 30LL * 600'000'000);
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

    // The recurrence blob: identical up to the deleted instances (Outlook's has three deleted
    // and two modified ones, ours none), then the same dates and times of day.
    const QByteArray blob = bytes(std::get<pst::Bytes>(ours(0x8216)));
    const QByteArray refBlob = refBytes("0x8216");
    EXPECT_EQ(blob.left(38).toHex().toStdString(), refBlob.left(38).toHex().toStdString()); // up to FirstDOW
    const int refTail = 38 + 4 + 3 * 4 + 4 + 2 * 4; // StartDate in Outlook's blob
    EXPECT_EQ(blob.mid(46, 24).toHex().toStdString(),
        refBlob.mid(refTail, 24).toHex().toStdString()); // StartDate .. EndTimeOffset
    EXPECT_EQ(utc(std::get<pst::FileTime>(ours(0x8235)).ticks), ref.value("PSETID_Appointment:0x8235").toString());
    EXPECT_EQ(utc(std::get<pst::FileTime>(ours(0x8236)).ticks), ref.value("PSETID_Appointment:0x8236").toString());
    EXPECT_EQ(std::get<std::string>(ours(0x8232)), ref.value("PSETID_Appointment:0x8232").toString().toStdString());
    EXPECT_EQ(std::get<std::int32_t>(ours(0x8231)), ref.value("PSETID_Appointment:0x8231").toInt());
}
