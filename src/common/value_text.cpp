#include "value_text.h"

#include "automation/notes.h"
#include "automation/variant.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

namespace common {

namespace {
    QString timeFormat(const QLocale& locale)
    {
        // The long time form has seconds; leave out the zone name it may carry.
        QString format = locale.timeFormat(QLocale::LongFormat);
        format.remove(QLatin1Char('t'));
        return format.trimmed();
    }
} // namespace

QString DateTimeText(const automation::DateTime& value)
{
    using Kind = automation::DateTime::Kind;
    const QLocale locale = QLocale::system();
    QDate date(value.year, value.month, value.day);
    QTime time(value.hour, value.minute, value.second, value.millisecond);
    if (value.kind == Kind::DateAndTime && value.offsetMinutes) {
        // Shown in the user's own time zone.
        const QDateTime written(date, time, QTimeZone(*value.offsetMinutes * 60));
        const QDateTime local = written.toLocalTime();
        date = local.date();
        time = local.time();
    }
    switch (value.kind) {
    case Kind::DateOnly:
        return locale.toString(date, QLocale::ShortFormat);
    case Kind::TimeOnly:
        return locale.toString(time, timeFormat(locale));
    case Kind::DateAndTime:
        break;
    }
    return locale.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') + locale.toString(time, timeFormat(locale));
}

bool IsEmptyValue(const automation::Variant& value)
{
    return value.isEmpty() || (value.type() == automation::Variant::Type::Text && value.toText().empty());
}

QString ValueText(const automation::Variant& value)
{
    using Type = automation::Variant::Type;
    const automation::Variant v = value.first();
    switch (v.type()) {
    case Type::Date:
        return DateTimeText(v.toDate());
    case Type::Double:
        return QLocale::system().toString(v.toDouble(), 'g', 15);
    default:
        return QString::fromStdString(v.toText());
    }
}

QString ProperCase(const QString& text)
{
    QString out = text;
    bool startOfWord = true;
    for (auto& ch : out) {
        if (ch.isSpace()) {
            startOfWord = true;
            continue;
        }
        ch = startOfWord ? ch.toUpper() : ch.toLower();
        startOfWord = false;
    }
    return out;
}

QString TrimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString ItemText(const automation::NotesDocument& doc, const char* item)
{
    return TrimBlanks(ValueText(doc.GetItemValue(item)));
}

} // namespace common
