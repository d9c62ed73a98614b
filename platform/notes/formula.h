// The Notes formula language, as far as view selection formulas use it.
//
// A formula is parsed once (Formula::parse) and evaluated per document against a Document,
// which gives item values, the document's creation and modification times and whether it is a
// response. What is supported follows the Notes formula language reference: SELECT, fields
// and temporary variables (:=, DEFAULT), text, number and time-date constants, lists and the
// list operators (pair-wise and permuted), arithmetic, comparison and logical operators, and
// the @functions listed in formula.cpp. A formula that calls anything else parses, but names
// the first such function in unsupported() and is never evaluated: nothing is guessed.
//
// Parsing and evaluation are bounded (text size, nesting depth, list and text sizes, work per
// document), so hostile input fails with an error instead of crashing or hanging.
#pragma once

#include "automation/variant.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace notes::formula {

// What a formula is evaluated against. Item names are matched without regard to case.
class Document {
public:
    virtual ~Document() = default;
    // The values of the item, or nullptr when the document has no item of that name.
    virtual const automation::VariantArray* item(std::string_view name) = 0;
    virtual std::optional<automation::DateTime> created() = 0;
    virtual std::optional<automation::DateTime> modified() = 0;
    virtual bool isResponse() = 0;
};

struct ParseError {
    std::size_t position = 0; // byte offset into the formula text
    std::string what;

    std::string describe() const; // "at character N: what"
};

struct Result {
    automation::VariantArray values; // the formula's value: text, double or DateTime elements
    bool selected = false; // the SELECT statement's value (else the last statement's) is true
    std::string error; // set when evaluation failed: nothing is selected
};

class Formula {
public:
    static std::variant<Formula, ParseError> parse(std::string_view text);

    // The first @function (or construct) that is not supported, or empty.
    const std::string& unsupported() const;
    // Names of the document items the formula reads, in upper case.
    const std::vector<std::string>& itemNames() const;
    // Whether the formula uses @AllDescendants or @AllChildren: the caller then adds the
    // responses (all levels, or direct only) of the documents the formula selected.
    bool usesAllDescendants() const;
    bool usesAllChildren() const;

    // Evaluates the formula for one document. now is the current local civil time (for @Now and
    // @Today) in milliseconds since 1970 counted as UTC. A formula with unsupported() set
    // gives an error.
    Result evaluate(Document& document, std::int64_t now) const;

    struct Program;

private:
    explicit Formula(std::shared_ptr<const Program> program)
        : program_(std::move(program))
    {
    }
    std::shared_ptr<const Program> program_;
};

// The formula text's limit in bytes.
inline constexpr std::size_t MaxFormulaText = 64 * 1024;

} // namespace notes::formula
