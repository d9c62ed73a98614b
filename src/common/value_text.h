// The text form of a Notes or Outlook value as the user reads it: dates and times in the
// system's default form, numbers as the locale writes them.
#pragma once

#include <QString>

namespace automation {
class Variant;
struct DateTime;
class NotesDocument;
}

namespace common {

// Element 0 of an array; a date-time in the system's short date and long time form (a date
// alone shows only the date, a time alone only the time); empty stays empty.
QString ValueText(const automation::Variant& value);
QString DateTimeText(const automation::DateTime& value);

// True for an empty value and for empty text: what a missing or blank item gives.
bool IsEmptyValue(const automation::Variant& value);

// First letter of each word upper case, the rest lower case.
QString ProperCase(const QString& text);

// Trims blanks (spaces) at both ends, as the program trims item values.
QString TrimBlanks(const QString& text);

// An item's value as text, trimmed: what the writers take of a single-valued item.
QString ItemText(const automation::NotesDocument& doc, const char* item);

} // namespace common
