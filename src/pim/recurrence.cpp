#include "pim/recurrence.h"

#include <algorithm>
#include <optional>
#include <set>

namespace pim {

using automation::DateTime;

namespace {
    std::int64_t dayOf(const DateTime& d) { return automation::DaysFromCivil(d.year, d.month, d.day); }
    int weekday(std::int64_t days) { return static_cast<int>(((days % 7) + 7 + 4) % 7); } // 0 Sunday
    int minuteOfDay(const DateTime& d) { return d.hour * 60 + d.minute; }
    std::int64_t lengthMinutes(const Instance& i) { return (i.end.toUnixMillis() - i.start.toUnixMillis()) / 60'000; }
    int monthLength(int year, int month)
    {
        const int ny = month == 12 ? year + 1 : year, nm = month == 12 ? 1 : month + 1;
        return static_cast<int>(automation::DaysFromCivil(ny, nm, 1) - automation::DaysFromCivil(year, month, 1));
    }
    QString dateText(std::int64_t day)
    {
        int y, m, d;
        automation::CivilFromDays(day, y, m, d);
        return QStringLiteral("%1-%2-%3").arg(y).arg(m, 2, 10, QLatin1Char('0')).arg(d, 2, 10, QLatin1Char('0'));
    }

    // Does the pattern put an occurrence on that day?
    bool occursOn(const SeriesPlan& p, std::int64_t day)
    {
        int y, m, d, y0, m0, d0;
        automation::CivilFromDays(day, y, m, d);
        automation::CivilFromDays(p.firstDay, y0, m0, d0);
        const int months = (y - y0) * 12 + (m - m0);
        const int last = monthLength(y, m);
        auto nthWeekday = [&] {
            if (!(p.dayOfWeekMask & (1 << weekday(day))))
                return false;
            return p.instance == 5 ? d + 7 > last : (d - 1) / 7 + 1 == p.instance;
        };
        switch (p.type) {
        case 0:
            return (day - p.firstDay) % p.interval == 0;
        case 1: {
            const std::int64_t weeks = ((day - weekday(day)) - (p.firstDay - weekday(p.firstDay))) / 7;
            return weeks % p.interval == 0 && (p.dayOfWeekMask & (1 << weekday(day)));
        }
        case 2:
            return months % p.interval == 0 && d == std::min(p.dayOfMonth, last);
        case 3:
            return months % p.interval == 0 && nthWeekday();
        case 5:
            return m == p.monthOfYear && (y - y0) % p.interval == 0 && d == std::min(p.dayOfMonth, last);
        case 6:
            return m == p.monthOfYear && (y - y0) % p.interval == 0 && nthWeekday();
        }
        return false;
    }

    // The pattern the rule names for a series starting at first; a problem text when it names none
    // Outlook has.
    QString patternOf(SeriesPlan& p, const RepeatRule& rule, const DateTime& first)
    {
        const QString unit = rule.unit.toUpper();
        const std::int64_t day = dayOf(first);
        p.interval = rule.interval;
        p.monthOfYear = first.month;
        auto numbers = [&](bool& ok) {
            std::vector<int> out;
            for (const QString& a : rule.adjust) {
                if (a.trimmed().isEmpty())
                    continue;
                bool one = false;
                out.push_back(a.trimmed().toInt(&one));
                ok = ok && one;
            }
            return out;
        };
        if (unit == QLatin1String("D")) {
            p.type = 0;
        } else if (unit == QLatin1String("W")) {
            p.type = 1;
            bool ok = true;
            for (int wd : numbers(ok)) {
                if (wd < 0 || wd > 6)
                    return QStringLiteral("weekday %1 in RepeatAdjust is no day of the week").arg(wd);
                p.dayOfWeekMask |= 1 << wd;
            }
            if (!ok)
                return QStringLiteral("RepeatAdjust \"%1\" names no weekdays").arg(rule.adjust.join(QLatin1Char(',')));
            if (!p.dayOfWeekMask)
                p.dayOfWeekMask = 1 << weekday(day);
        } else if (unit == QLatin1String("MD") || unit == QLatin1String("Y") || unit == QLatin1String("YD")) {
            p.type = unit == QLatin1String("MD") ? 2 : 5;
            bool ok = true;
            const auto days = numbers(ok);
            if (!ok || days.size() > 1 || (days.size() == 1 && (days[0] < 1 || days[0] > 31)))
                return QStringLiteral("the days of the month \"%1\" are no single day Outlook repeats on")
                    .arg(rule.adjust.join(QLatin1Char(',')));
            p.dayOfMonth = days.empty() || p.type == 5 ? first.day : days[0];
        } else if (unit == QLatin1String("MP")) {
            p.type = 3;
            // "n.d": the n-th (5 or -1 the last) weekday d (0 Sunday); the start's when missing.
            int n = (first.day - 1) / 7 + 1, wd = weekday(day);
            if (!rule.adjust.isEmpty() && !rule.adjust.front().trimmed().isEmpty()) {
                if (rule.adjust.size() > 1)
                    return QStringLiteral("more than one weekday of the month (\"%1\")")
                        .arg(rule.adjust.join(QLatin1Char(',')));
                const QStringList parts = rule.adjust.front().trimmed().split(QLatin1Char('.'));
                bool okN = false, okD = false;
                n = parts.value(0).toInt(&okN);
                wd = parts.value(1).toInt(&okD);
                if (!okN || !okD || parts.size() != 2 || wd < 0 || wd > 6 || n == 0 || n < -1 || n > 5)
                    return QStringLiteral("RepeatAdjust \"%1\" names no weekday of the month").arg(rule.adjust.front());
            }
            p.instance = n == -1 ? 5 : n;
            p.dayOfWeekMask = 1 << wd;
        } else if (unit == QLatin1String("C") || unit.isEmpty()) {
            return QString(); // custom dates: no pattern, and no fault
        } else {
            return QStringLiteral("repeat unit \"%1\" is unknown").arg(rule.unit);
        }
        if (p.interval < 1 || p.interval > 999)
            return QStringLiteral("repeat interval %1 is out of range").arg(rule.interval);
        return QString();
    }
} // namespace

SeriesPlan PlanSeries(std::vector<Instance> instances, const RepeatRule& rule)
{
    SeriesPlan p;
    std::stable_sort(instances.begin(), instances.end(),
        [](const Instance& a, const Instance& b) { return a.original.toUnixMillis() < b.original.toUnixMillis(); });
    auto allSingle = [&](QString problem) {
        p.recurring = false;
        p.singles = instances;
        p.problem = std::move(problem);
        return p;
    };
    if (instances.empty())
        return p;
    const QString unit = rule.unit.toUpper();
    if (unit == QLatin1String("C") || unit.isEmpty())
        return allSingle(instances.size() > 1
                ? QStringLiteral("custom repeat dates: %1 appointments").arg(instances.size())
                : QString());
    if (rule.how.toUpper() == QLatin1String("U") && rule.hasUntil
        && dayOf(rule.until) < dayOf(instances.front().original))
        return allSingle(QStringLiteral("the repeat ends (%1) before it starts (%2); %3 single appointments")
                             .arg(dateText(dayOf(rule.until)), dateText(dayOf(instances.front().original)))
                             .arg(instances.size()));
    if (instances.size() > static_cast<std::size_t>(MaxOccurrences))
        return allSingle(QStringLiteral("%1 instances, more than a series holds (%2); single appointments")
                             .arg(instances.size())
                             .arg(MaxOccurrences));

    // The instance that gives the series its time of day and length: the first one not moved.
    const Instance* reference = &instances.front();
    for (const auto& i : instances)
        if (i.start == i.original) {
            reference = &i;
            break;
        }
    const QString fault = patternOf(p, rule, instances.front().original);
    if (!fault.isEmpty())
        return allSingle(fault + QStringLiteral("; %1 single appointments").arg(instances.size()));

    p.firstDay = dayOf(instances.front().original);
    const std::int64_t lastOriginal = dayOf(instances.back().original);
    std::set<std::int64_t> originals;
    for (const auto& i : instances)
        originals.insert(dayOf(i.original));
    // Occurrences of the pattern up to the last instance (bounded: no more than the series may hold).
    std::vector<std::int64_t> expected;
    for (std::int64_t day = p.firstDay; day <= lastOriginal; ++day) {
        if (!occursOn(p, day))
            continue;
        expected.push_back(day);
        if (expected.size() > static_cast<std::size_t>(MaxOccurrences))
            return allSingle(QStringLiteral("the repeat rule gives more than %1 occurrences; %2 single appointments")
                                 .arg(MaxOccurrences)
                                 .arg(instances.size()));
    }
    const std::set<std::int64_t> fits(expected.begin(), expected.end());
    for (std::int64_t day : originals)
        if (!fits.count(day))
            return allSingle(
                QStringLiteral("the instance of %1 does not fit the repeat rule (%2); %3 single appointments")
                    .arg(dateText(day), rule.unit)
                    .arg(instances.size()));
    if (originals.size() != instances.size())
        return allSingle(QStringLiteral("two instances share one day; %1 single appointments").arg(instances.size()));

    p.recurring = true;
    p.lastDay = expected.back();
    p.occurrences = static_cast<int>(expected.size());
    p.start = instances.front().original;
    p.start.hour = reference->start.hour;
    p.start.minute = reference->start.minute;
    p.start.second = p.start.millisecond = 0;
    p.end = DateTime::fromUnixMillis(
        p.start.toUnixMillis() + lengthMinutes(*reference) * 60'000, p.start.offsetMinutes.value_or(0));
    if (!p.start.offsetMinutes)
        p.end.offsetMinutes.reset();
    for (std::int64_t day : expected)
        if (!originals.count(day))
            p.deletedDays.push_back(day);
    // An instance moved from where the rule put it, or with another time or length, is an
    // exception of the series.
    for (const auto& i : instances) {
        const bool moved = !(i.start == i.original) || minuteOfDay(i.start) != minuteOfDay(p.start)
            || lengthMinutes(i) != lengthMinutes(*reference);
        if (moved)
            p.moved.push_back(i);
    }
    std::sort(p.deletedDays.begin(), p.deletedDays.end());
    return p;
}

} // namespace pim
