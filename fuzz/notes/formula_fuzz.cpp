// Feeds arbitrary bytes to the formula evaluator as a selection formula: parses it and, when it
// parses, evaluates it against a document holding items of every kind. Nothing may crash, hang
// or throw.
#include "notes/formula.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {
class Document final : public notes::formula::Document {
public:
    Document()
    {
        automation::DateTime when;
        when.year = 2009;
        when.month = 1;
        when.day = 2;
        when.hour = 10;
        automation::DateTime day = when;
        day.kind = automation::DateTime::Kind::DateOnly;
        form_ = { "Memo" };
        subject_ = { "Budget review \xC3\x84nderung" };
        categories_ = { "Work", "", "Travel" };
        numbers_ = { 1.0, -2.5, 1e300 };
        dates_ = { when, day };
        empty_ = {};
        mixed_ = { automation::Variant(), automation::Variant(true), automation::Variant(std::int32_t { 7 }),
            automation::Variant(automation::VariantArray { "nested" }) };
    }
    const automation::VariantArray* item(std::string_view name) override
    {
        if (name == "FORM")
            return &form_;
        if (name == "SUBJECT")
            return &subject_;
        if (name == "CATEGORIES")
            return &categories_;
        if (name == "NUMBERS")
            return &numbers_;
        if (name == "DATES")
            return &dates_;
        if (name == "EMPTY")
            return &empty_;
        if (name == "MIXED")
            return &mixed_;
        return nullptr;
    }
    std::optional<automation::DateTime> created() override { return dates_.front().toDate(); }
    std::optional<automation::DateTime> modified() override { return std::nullopt; }
    bool isResponse() override { return true; }

private:
    automation::VariantArray form_, subject_, categories_, numbers_, dates_, empty_, mixed_;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = notes::formula::Formula::parse(text);
    if (const auto* error = std::get_if<notes::formula::ParseError>(&parsed)) {
        (void)error->describe();
        return 0;
    }
    const auto& formula = std::get<notes::formula::Formula>(parsed);
    (void)formula.itemNames();
    Document document;
    (void)formula.evaluate(document, 1230890400000);
    return 0;
}
