// Notes time zones: the zone strings Notes keeps on calendar entries ("Z=5$DO=1$DL=3 2 1 11 1
// 1$ZX=28$ZN=Eastern") and the Windows zones Outlook knows them by.
#pragma once

#include <QString>

#include <optional>

namespace pim {

struct NotesZone {
    int offsetMinutes = 0; // standard time, east of UTC
    bool daylight = false; // DO=1
    QString name; // ZN
};

// The parts of a Notes zone string, or nothing when it is none (Z missing or not a number).
std::optional<NotesZone> ParseNotesZone(const QString& text);

// The Windows zone key ("Eastern Standard Time") of a Notes zone string, or empty text when its
// name is not in the table or its offset or daylight saving does not match the Windows zone's.
QString WindowsZoneKey(const QString& notesZone);

// "UTC+01:00" for 60: the fixed zone of an offset, east of UTC.
QString FixedZoneKey(int offsetMinutes);

} // namespace pim
