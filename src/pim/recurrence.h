// Notes repeating calendar entries as Outlook series: the repeat rule a Notes entry keeps
// (RepeatUnit, RepeatInterval, RepeatAdjust, RepeatHow, RepeatUntil) and its instances become
// one Outlook recurrence pattern with the instances it leaves out, when a pattern fits the
// instances; otherwise the instances are written one by one.
#pragma once

#include "automation/variant.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace pim {

// One instance of a repeating entry: where the rule put it (original) and where it is.
struct Instance {
    automation::DateTime original, start, end;
};

struct RepeatRule {
    QString unit; // RepeatUnit: D, W, MD, MP, Y (or YD), C
    int interval = 1; // RepeatInterval
    QStringList adjust; // RepeatAdjust: weekdays (0 Sunday), days of the month, or "n.d"
    QString how; // RepeatHow: U until, F for
    automation::DateTime until; // RepeatUntil
    bool hasUntil = false;
};

struct SeriesPlan {
    bool recurring = false; // one Outlook series; else every instance is written on its own
    // The pattern, as Outlook's RecurrencePattern takes it.
    int type = 0, interval = 1, dayOfWeekMask = 0, dayOfMonth = 0, instance = 0, monthOfYear = 0;
    std::int64_t firstDay = 0, lastDay = 0; // days since 1970
    int occurrences = 0;
    automation::DateTime start, end; // the first occurrence
    std::vector<std::int64_t> deletedDays; // occurrences the entry no longer has
    std::vector<Instance> moved; // instances changed from the pattern: exceptions of the series
    std::vector<Instance> singles; // instances written as appointments of their own
    QString problem; // why the rule could not be kept, for the report; empty when it was
};

// Outlook's end-after count goes no further.
inline constexpr int MaxOccurrences = 999;

SeriesPlan PlanSeries(std::vector<Instance> instances, const RepeatRule& rule);

} // namespace pim
