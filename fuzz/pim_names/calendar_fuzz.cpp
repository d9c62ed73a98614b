// Feeds arbitrary bytes to the readers of a Notes calendar entry's repeat and zone items. The
// input is lines "Item: value;value", as the items would hold them; dates are DXL date-times
// read by the Notes stand-in's own reader, so they are only those a database can hold:
//   StartTimeZone: Z=5$DO=1$DL=3 2 1 11 1 1$ZX=28$ZN=Eastern
//   RepeatUnit: MP / RepeatInterval: 2 / RepeatAdjust: 2.1 / RepeatHow: U / RepeatUntil: 20091231
//   Instance: 20090105T100000,00-05;20090105T100000,00-05;20090105T110000,00-05 (original;start;end)
// Nothing may crash; a zone keeps to the offsets clocks have; no instance is lost from a series.
#include "notes/dxl_values.h"
#include "pim/recurrence.h"
#include "pim/time_zones.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <set>

namespace {
void check(bool holds)
{
    if (!holds)
        std::abort();
}

std::optional<automation::DateTime> date(const QByteArray& text)
{
    return notes::detail::parseDateTime(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    pim::RepeatRule rule;
    std::vector<pim::Instance> instances;
    for (const QByteArray& line : input.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray item = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        const QString text = QString::fromUtf8(value);
        if (item == "StartTimeZone") {
            const auto zone = pim::ParseNotesZone(text);
            const QString key = pim::WindowsZoneKey(text);
            check(zone || key.isEmpty());
            if (zone) {
                check(zone->offsetMinutes >= -14 * 60 && zone->offsetMinutes <= 14 * 60);
                check(pim::FixedZoneKey(zone->offsetMinutes).size() == 9);
            }
        } else if (item == "RepeatUnit") {
            rule.unit = text;
        } else if (item == "RepeatInterval") {
            rule.interval = text.isEmpty() ? 1 : text.toInt();
        } else if (item == "RepeatAdjust") {
            rule.adjust = text.split(QLatin1Char(';'));
        } else if (item == "RepeatHow") {
            rule.how = text;
        } else if (item == "RepeatUntil") {
            if (const auto until = date(value)) {
                rule.until = *until;
                rule.hasUntil = true;
            }
        } else if (item == "Instance") {
            const QList<QByteArray> when = value.split(';');
            const auto original = date(when.value(0)), start = date(when.value(1)), end = date(when.value(2));
            if (original && start && end)
                instances.push_back({ *original, *start, *end });
        }
    }
    const pim::SeriesPlan plan = pim::PlanSeries(instances, rule);
    if (!plan.recurring) {
        check(plan.singles.size() == instances.size());
        return 0;
    }
    // Every instance is an occurrence of the series the plan keeps, or one it marks deleted.
    check(plan.singles.empty() && plan.interval >= 1);
    check(plan.occurrences >= 1 && plan.occurrences <= pim::MaxOccurrences && plan.firstDay <= plan.lastDay);
    check(static_cast<std::size_t>(plan.occurrences) == instances.size() + plan.deletedDays.size());
    check(plan.moved.size() <= instances.size());
    const std::set<std::int64_t> deleted(plan.deletedDays.begin(), plan.deletedDays.end());
    check(deleted.size() == plan.deletedDays.size());
    for (std::int64_t day : deleted)
        check(day > plan.firstDay && day < plan.lastDay);
    return 0;
}
