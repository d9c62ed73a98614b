#include "pim/time_zones.h"

#include <QStringList>

#include <cstdlib>

namespace pim {

namespace {
    struct Known {
        const char* notesName; // ZN
        int offsetMinutes; // standard time, east of UTC
        bool daylight;
        const char* windowsKey;
    };
    // Notes names its zones after the Windows zones; these are the ones Outlook's stand-in knows.
    constexpr Known table[] = {
        { "Hawaiian", -600, false, "Hawaiian Standard Time" },
        { "Alaskan", -540, true, "Alaskan Standard Time" },
        { "Pacific", -480, true, "Pacific Standard Time" },
        { "Mountain", -420, true, "Mountain Standard Time" },
        { "Central", -360, true, "Central Standard Time" },
        { "Eastern", -300, true, "Eastern Standard Time" },
        { "Atlantic", -240, true, "Atlantic Standard Time" },
        { "UTC", 0, false, "UTC" },
        { "GMT", 0, true, "GMT Standard Time" },
        { "Greenwich", 0, false, "Greenwich Standard Time" },
        { "W. Europe", 60, true, "W. Europe Standard Time" },
        { "Romance", 60, true, "Romance Standard Time" },
        { "Central Europe", 60, true, "Central Europe Standard Time" },
        { "Central European", 60, true, "Central European Standard Time" },
        { "GTB", 120, true, "GTB Standard Time" },
        { "FLE", 120, true, "FLE Standard Time" },
        { "South Africa", 120, false, "South Africa Standard Time" },
        { "Arabian", 240, false, "Arabian Standard Time" },
        { "India", 330, false, "India Standard Time" },
        { "China", 480, false, "China Standard Time" },
        { "Singapore", 480, false, "Singapore Standard Time" },
        { "Tokyo", 540, false, "Tokyo Standard Time" },
        { "Korea", 540, false, "Korea Standard Time" },
        { "AUS Eastern", 600, true, "AUS Eastern Standard Time" },
        { "New Zealand", 720, true, "New Zealand Standard Time" },
    };
} // namespace

std::optional<NotesZone> ParseNotesZone(const QString& text)
{
    NotesZone zone;
    bool haveOffset = false;
    for (const QString& part : text.split(QLatin1Char('$'))) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = part.left(eq).trimmed().toUpper();
        const QString value = part.mid(eq + 1).trimmed();
        if (key == QLatin1String("Z")) {
            // Hours west of UTC; beyond 100 the hundreds are minutes ("-3005": 5 h 30 min east).
            bool ok = false;
            const int z = value.toInt(&ok);
            if (!ok || z < -6000 || z > 6000)
                return std::nullopt;
            const int magnitude = std::abs(z);
            const int minutes = magnitude >= 100 ? (magnitude % 100) * 60 + magnitude / 100 : magnitude * 60;
            if (minutes > 14 * 60)
                return std::nullopt;
            zone.offsetMinutes = z < 0 ? minutes : -minutes;
            haveOffset = true;
        } else if (key == QLatin1String("DO")) {
            zone.daylight = value == QLatin1String("1");
        } else if (key == QLatin1String("ZN")) {
            zone.name = value;
        }
    }
    if (!haveOffset)
        return std::nullopt;
    return zone;
}

QString WindowsZoneKey(const QString& notesZone)
{
    const auto zone = ParseNotesZone(notesZone);
    if (!zone)
        return {};
    for (const auto& k : table)
        if (zone->name == QLatin1String(k.notesName) && zone->offsetMinutes == k.offsetMinutes
            && zone->daylight == k.daylight)
            return QLatin1String(k.windowsKey);
    return {};
}

QString FixedZoneKey(int offsetMinutes)
{
    const int magnitude = std::abs(offsetMinutes);
    return QStringLiteral("UTC%1%2:%3")
        .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

} // namespace pim
