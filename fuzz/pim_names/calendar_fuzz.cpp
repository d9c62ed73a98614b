// Feeds arbitrary bytes to the reader of a Notes calendar entry as the items of one document,
// then to the zone and series readers as the calendar writer calls them. The input is lines
// "Item: value;value"; a value that is a DXL date-time (read by the Notes stand-in's own reader,
// so only dates a database can hold) is a date, any other a text:
//   StartDateTime: 20090105T100000,00-05;20090112T100000,00-05
//   StartTimeZone: Z=5$DO=1$DL=3 2 1 11 1 1$ZX=28$ZN=Eastern
//   RepeatUnit: MP / RepeatInterval: 2 / RepeatAdjust: 2.1 / RepeatUntil: 20091231
// Nothing may crash; a zone keeps to the offsets clocks have; no instance is lost from a series.
#include "automation/notes.h"
#include "names/name_resolver.h"
#include "notes/dxl_values.h"
#include "pim/calendar_entry.h"
#include "pim/time_zones.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>

namespace {
void check(bool holds)
{
    if (!holds)
        std::abort();
}

class Document final : public automation::NotesDocument {
public:
    std::map<std::string, automation::VariantArray> items;

    std::string NoteID() const override { return "1F2E"; }
    std::int32_t Size() const override { return 0; }
    automation::Variant GetItemValue(const std::string& name) const override
    {
        const auto it = items.find(name);
        return it == items.end() ? automation::VariantArray { automation::Variant(std::string()) } : it->second;
    }
    bool HasItem(const std::string& name) const override { return items.count(name) > 0; }
    bool HasEmbedded() const override { return false; }
    std::vector<std::shared_ptr<automation::NotesItem>> Items() const override { return {}; }
    std::shared_ptr<automation::NotesEmbeddedObject> GetAttachment(const std::string&) const override
    {
        return nullptr;
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Document doc;
    for (const QByteArray& line : input.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        automation::VariantArray values;
        for (const QByteArray& value : line.mid(colon + 1).trimmed().split(';')) {
            const auto date = notes::detail::parseDateTime(
                std::string_view(value.constData(), static_cast<std::size_t>(value.size())));
            values.push_back(date ? automation::Variant(*date) : automation::Variant(value.toStdString()));
        }
        doc.items[line.left(colon).trimmed().toStdString()] = std::move(values);
    }
    names::NameResolver resolver;
    const pim::CalendarEntry e = pim::ReadCalendarEntry(doc, size % 2 ? &resolver : nullptr);
    check(!e.extras.reminderMinutes || *e.extras.reminderMinutes >= 0);

    const auto zone = pim::ParseNotesZone(e.zoneText);
    check(zone || pim::WindowsZoneKey(e.zoneText).isEmpty());
    if (zone) {
        check(zone->offsetMinutes >= -14 * 60 && zone->offsetMinutes <= 14 * 60);
        check(pim::FixedZoneKey(zone->offsetMinutes).size() == 9);
    }

    const pim::SeriesPlan plan = pim::PlanSeries(e.instances, e.rule);
    if (!plan.recurring) {
        check(plan.singles.size() == e.instances.size());
        return 0;
    }
    // Every instance is an occurrence of the series the plan keeps, or one it marks deleted.
    check(plan.singles.empty() && plan.interval >= 1);
    check(plan.occurrences >= 1 && plan.occurrences <= pim::MaxOccurrences && plan.firstDay <= plan.lastDay);
    check(static_cast<std::size_t>(plan.occurrences) == e.instances.size() + plan.deletedDays.size());
    check(plan.moved.size() <= e.instances.size());
    const std::set<std::int64_t> deleted(plan.deletedDays.begin(), plan.deletedDays.end());
    check(deleted.size() == plan.deletedDays.size());
    for (std::int64_t day : deleted)
        check(day > plan.firstDay && day < plan.lastDay);
    return 0;
}
