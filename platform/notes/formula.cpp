// The Notes formula language evaluator for view selection formulas.
//
// Semantics follow the Notes formula language reference:
// - Operators, highest precedence first: unary + -; list concatenation ':' (binds tighter than
//   unary minus, so -1:2 is -1:-2); * / (and permuted ** */); + - (and *+ *-); comparisons
//   = != <> >< =! < > <= >= (and their permuted forms *= *!= ...); logical NOT !; & and |,
//   equal precedence, left to right.
// - Pair-wise list operations pair elements by position, the shorter list's last element
//   standing in for the missing ones; permuted operations pair every element with every other.
//   A comparison is true when any pair satisfies it (so "a":"b" != "a" is true).
// - Text comparisons with the operators ignore case (a collating order: "a" < "B"); @IsMember,
//   @IsNotMember, @Contains, @Begins and @Ends are case-sensitive.
// - A field that the document lacks is "". An empty value list is "".
// - Time-dates compare by their civil date and time as written (the UTC offset is not applied),
//   as constants such as [01/02/2009] (month/day/year) are written in local time.
// - Text in a logical context, or operands of different types, are an error: the document is
//   not selected, as Notes leaves out a document whose selection formula fails. The one
//   exception is = and != against "", which a value of another type never equals.
// - The @functions are those of the Functions table below; SELECT, DEFAULT, REM and temporary
//   variables are statements. FIELD, ENVIRONMENT, the [] subscript, time-date constants in
//   other forms ([6/15], the time first) and every other @function make the formula unsupported.
#include "formula.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace notes::formula {

namespace {
    constexpr int MaxDepth = 200; // nesting of the parsed expression
    constexpr std::size_t MaxList = 64 * 1024; // elements of a list value
    constexpr std::size_t MaxText = 1024 * 1024; // bytes of a text value made by the formula
    constexpr std::uint64_t MaxWork = 200ULL * 1000 * 1000; // per document evaluation
    constexpr std::int64_t DayMs = 86400000;

    char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

    std::string upperName(std::string_view s)
    {
        std::string out(s);
        for (auto& c : out)
            c = upperAscii(c);
        return out;
    }

    // ---------------------------------------------------------------------------------------
    // Values

    struct Time {
        std::int64_t ms = 0; // civil date and time counted as UTC
        bool hasDate = true;
        bool hasTime = true;
    };
    using Scalar = std::variant<double, std::string, Time>;
    using List = std::vector<Scalar>; // never empty

    struct EvalError {
        std::string what;
    };

    [[noreturn]] void failEval(std::string what) { throw EvalError { std::move(what) }; }

    // Years are kept within what a time-date can hold, so that no arithmetic overflows.
    bool validYear(std::int64_t y) { return y >= 1 && y <= 9999; }

    Time makeTime(std::int64_t y, std::int64_t mo, std::int64_t d, std::int64_t h, std::int64_t mi, std::int64_t s,
        bool hasDate, bool hasTime)
    {
        // Months, days and times roll over into the next unit, as @Date and @Adjust do.
        y += (mo - 1) >= 0 ? (mo - 1) / 12 : -((12 - mo) / 12);
        mo = ((mo - 1) % 12 + 12) % 12 + 1;
        if (!validYear(y) || std::llabs(d) > 4000000 || std::llabs(h) > 100000000 || std::llabs(mi) > 1000000000
            || std::llabs(s) > 100000000000LL)
            failEval("the time-date is out of range");
        const std::int64_t days = automation::DaysFromCivil(static_cast<int>(y), static_cast<int>(mo), 1) + d - 1;
        const std::int64_t ms = days * DayMs + ((h * 60 + mi) * 60 + s) * 1000;
        return Time { ms, hasDate, hasTime };
    }

    Time fromDateTime(const automation::DateTime& t)
    {
        using Kind = automation::DateTime::Kind;
        if (t.kind == Kind::TimeOnly)
            return Time { ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond, false, true };
        if (!validYear(t.year) || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31)
            failEval("a time-date item is out of range");
        const std::int64_t days = automation::DaysFromCivil(t.year, t.month, t.day);
        const std::int64_t ms = days * DayMs + ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000
            + (t.kind == Kind::DateOnly ? 0 : t.millisecond);
        return Time { ms, true, t.kind != Kind::DateOnly };
    }

    automation::DateTime toDateTime(const Time& t)
    {
        automation::DateTime out;
        std::int64_t days = t.ms >= 0 ? t.ms / DayMs : -((-t.ms + DayMs - 1) / DayMs);
        std::int64_t rest = t.ms - days * DayMs;
        automation::CivilFromDays(days, out.year, out.month, out.day);
        out.hour = static_cast<int>(rest / 3600000);
        out.minute = static_cast<int>(rest / 60000 % 60);
        out.second = static_cast<int>(rest / 1000 % 60);
        out.millisecond = static_cast<int>(rest % 1000);
        out.kind = !t.hasTime ? automation::DateTime::Kind::DateOnly
            : !t.hasDate      ? automation::DateTime::Kind::TimeOnly
                              : automation::DateTime::Kind::DateAndTime;
        if (!t.hasTime)
            out.hour = out.minute = out.second = out.millisecond = 0;
        return out;
    }

    // Case folding of ASCII and the Latin-1 letters of UTF-8 (C3 80 to C3 9E and C3 A0 to C3 BE).
    std::string fold(std::string_view s, bool toUpper)
    {
        std::string out(s);
        for (std::size_t i = 0; i < out.size(); ++i) {
            auto c = static_cast<unsigned char>(out[i]);
            if (c < 0x80) {
                if (toUpper && c >= 'a' && c <= 'z')
                    out[i] = static_cast<char>(c - 32);
                else if (!toUpper && c >= 'A' && c <= 'Z')
                    out[i] = static_cast<char>(c + 32);
            } else if (c == 0xC3 && i + 1 < out.size()) {
                auto n = static_cast<unsigned char>(out[i + 1]);
                if (toUpper && n >= 0xA0 && n <= 0xBE && n != 0xB7)
                    out[i + 1] = static_cast<char>(n - 0x20);
                else if (!toUpper && n >= 0x80 && n <= 0x9E && n != 0x97)
                    out[i + 1] = static_cast<char>(n + 0x20);
                ++i;
            }
        }
        return out;
    }

    // The operators' text order: letters without regard to case, then lower case first.
    int collate(const std::string& a, const std::string& b)
    {
        const std::string fa = fold(a, false);
        const std::string fb = fold(b, false);
        if (int c = fa.compare(fb); c != 0)
            return c < 0 ? -1 : 1;
        // Same letters: lower case sorts first ("a" before "A"), and lower case has the higher byte.
        if (int c = a.compare(b); c != 0)
            return c < 0 ? 1 : -1;
        return 0;
    }

    // Byte offset of the character n (UTF-8) of s, or s.size().
    std::size_t charOffset(std::string_view s, std::size_t n)
    {
        std::size_t i = 0;
        while (i < s.size() && n > 0) {
            ++i;
            while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
                ++i;
            --n;
        }
        return i;
    }

    std::size_t charCount(std::string_view s)
    {
        std::size_t n = 0;
        for (char c : s)
            n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        return n;
    }

    std::string numberText(double v)
    {
        if (v == 0)
            return "0";
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.15g", v);
        return buffer;
    }

    std::string timeText(const Time& t)
    {
        const auto d = toDateTime(t);
        char date[32] = "";
        char clock[32] = "";
        if (t.hasDate)
            std::snprintf(date, sizeof date, "%02d/%02d/%04d", d.month, d.day, d.year);
        if (t.hasTime) {
            const int h12 = d.hour % 12 == 0 ? 12 : d.hour % 12;
            std::snprintf(clock, sizeof clock, "%02d:%02d:%02d %s", h12, d.minute, d.second, d.hour < 12 ? "AM" : "PM");
        }
        if (t.hasDate && t.hasTime)
            return std::string(date) + " " + clock;
        return t.hasDate ? date : clock;
    }

    // A time-date constant's text: [MM/DD/YYYY], [YYYY-MM-DD] or [MM-DD-YYYY], then or alone a
    // time HH:MM[:SS] with an optional AM or PM. Two-digit years 50 to 99 are 19xx, else 20xx.
    std::optional<Time> parseTimeConstant(std::string_view text)
    {
        std::size_t i = 0;
        auto skipBlanks = [&] {
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                ++i;
        };
        auto number = [&](int maxDigits, int& digits) -> std::optional<int> {
            int v = 0;
            digits = 0;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < maxDigits) {
                v = v * 10 + (text[i] - '0');
                ++i;
                ++digits;
            }
            if (digits == 0)
                return std::nullopt;
            return v;
        };
        skipBlanks();
        const std::size_t start = i;
        int digits = 0;
        bool hasDate = false;
        bool hasTime = false;
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        auto first = number(4, digits);
        if (!first)
            return std::nullopt;
        if (i < text.size() && (text[i] == '/' || text[i] == '-')) {
            const char sep = text[i++];
            int digits2 = 0;
            int digits3 = 0;
            auto second = number(2, digits2);
            if (!second || i >= text.size() || text[i] != sep)
                return std::nullopt;
            ++i;
            auto third = number(4, digits3);
            if (!third)
                return std::nullopt;
            if (digits == 4) {
                y = *first;
                mo = *second;
                d = *third;
            } else {
                mo = *first;
                d = *second;
                y = *third;
                if (digits3 <= 2)
                    y += y >= 50 ? 1900 : 2000;
            }
            if (mo < 1 || mo > 12 || d < 1 || d > 31 || !validYear(y))
                return std::nullopt;
            hasDate = true;
            skipBlanks();
            if (i < text.size()) {
                first = number(2, digits);
                if (!first)
                    return std::nullopt;
            }
        } else {
            i = start;
            first = number(2, digits);
        }
        if (i < text.size() || !hasDate) {
            if (!first || i >= text.size() || text[i] != ':')
                return std::nullopt;
            h = *first;
            ++i;
            auto minutes = number(2, digits);
            if (!minutes || digits != 2)
                return std::nullopt;
            mi = *minutes;
            if (i < text.size() && text[i] == ':') {
                ++i;
                auto seconds = number(2, digits);
                if (!seconds || digits != 2)
                    return std::nullopt;
                s = *seconds;
            }
            skipBlanks();
            const std::string rest = upperName(text.substr(i));
            if (rest == "AM" || rest == "PM") {
                if (h < 1 || h > 12)
                    return std::nullopt;
                h = h % 12 + (rest == "PM" ? 12 : 0);
            } else if (!rest.empty()) {
                return std::nullopt;
            }
            if (h > 23 || mi > 59 || s > 59)
                return std::nullopt;
            hasTime = true;
        }
        if (!hasDate)
            return Time { ((h * 60LL + mi) * 60 + s) * 1000, false, true };
        const std::int64_t days
            = automation::DaysFromCivil(static_cast<int>(y), static_cast<int>(mo), static_cast<int>(d));
        return Time { days * DayMs + ((h * 60LL + mi) * 60 + s) * 1000, true, hasTime };
    }

    // ---------------------------------------------------------------------------------------
    // The parsed program

    enum class Op : std::uint8_t {
        Eq,
        Ne,
        Lt,
        Gt,
        Le,
        Ge, // comparisons
        Add,
        Sub,
        Mul,
        Div, // arithmetic
        And,
        Or,
        Not,
        Neg,
        Concat
    };

    enum class Fn : std::uint8_t {
        All,
        IsAvailable,
        IsUnavailable,
        IsMember,
        IsNotMember,
        Contains,
        Begins,
        Ends,
        Lowercase,
        Uppercase,
        Trim,
        Text,
        TextToNumber,
        Elements,
        IsResponseDoc,
        AllDescendants,
        AllChildren,
        Created,
        Modified,
        Date,
        Now,
        Today,
        Adjust,
        Left,
        Right,
        Word,
        If,
        True,
        False,
        Year,
        Month,
        Day,
        Weekday,
        Hour,
        Minute,
        Second,
        Unsupported
    };

    struct FnInfo {
        const char* name;
        Fn fn;
        int minArgs;
        int maxArgs;
    };

    constexpr FnInfo Functions[] = {
        { "@ALL", Fn::All, 0, 0 },
        { "@ISAVAILABLE", Fn::IsAvailable, 1, 1 },
        { "@ISUNAVAILABLE", Fn::IsUnavailable, 1, 1 },
        { "@ISMEMBER", Fn::IsMember, 2, 2 },
        { "@ISNOTMEMBER", Fn::IsNotMember, 2, 2 },
        { "@CONTAINS", Fn::Contains, 2, 2 },
        { "@BEGINS", Fn::Begins, 2, 2 },
        { "@ENDS", Fn::Ends, 2, 2 },
        { "@LOWERCASE", Fn::Lowercase, 1, 1 },
        { "@UPPERCASE", Fn::Uppercase, 1, 1 },
        { "@TRIM", Fn::Trim, 1, 1 },
        { "@TEXT", Fn::Text, 1, 1 },
        { "@TEXTTONUMBER", Fn::TextToNumber, 1, 1 },
        { "@ELEMENTS", Fn::Elements, 1, 1 },
        { "@ISRESPONSEDOC", Fn::IsResponseDoc, 0, 0 },
        { "@ALLDESCENDANTS", Fn::AllDescendants, 0, 0 },
        { "@ALLCHILDREN", Fn::AllChildren, 0, 0 },
        { "@CREATED", Fn::Created, 0, 0 },
        { "@MODIFIED", Fn::Modified, 0, 0 },
        { "@DATE", Fn::Date, 1, 6 },
        { "@NOW", Fn::Now, 0, 0 },
        { "@TODAY", Fn::Today, 0, 0 },
        { "@ADJUST", Fn::Adjust, 7, 8 }, // the 8th, [InLocalTime] or [InGMT], only matters across DST changes
        { "@LEFT", Fn::Left, 2, 2 },
        { "@RIGHT", Fn::Right, 2, 2 },
        { "@WORD", Fn::Word, 3, 3 },
        { "@IF", Fn::If, 3, 199 },
        { "@TRUE", Fn::True, 0, 0 },
        { "@YES", Fn::True, 0, 0 },
        { "@FALSE", Fn::False, 0, 0 },
        { "@YEAR", Fn::Year, 1, 1 },
        { "@MONTH", Fn::Month, 1, 1 },
        { "@DAY", Fn::Day, 1, 1 },
        { "@WEEKDAY", Fn::Weekday, 1, 1 },
        { "@HOUR", Fn::Hour, 1, 1 },
        { "@MINUTE", Fn::Minute, 1, 1 },
        { "@SECOND", Fn::Second, 1, 1 },
        { "@NO", Fn::False, 0, 0 },
    };

    enum class Kind : std::uint8_t { Constant, Item, Variable, Unary, Binary, Call };

    struct Node {
        Kind kind = Kind::Constant;
        Op op = Op::Eq;
        bool permuted = false;
        Fn fn = Fn::Unsupported;
        int slot = -1; // variable slot
        std::string name; // item name (upper case)
        List constant;
        std::vector<int> children;
    };

    enum class StatementKind : std::uint8_t { Expression, Select, Assign, Default };

    struct Statement {
        StatementKind kind = StatementKind::Expression;
        int expression = -1;
        int slot = -1;
        std::string item; // DEFAULT's item
    };
} // namespace

struct Formula::Program {
    std::vector<Node> nodes;
    std::vector<Statement> statements;
    std::vector<std::string> items;
    int variables = 0;
    std::string unsupported;
    bool allDescendants = false;
    bool allChildren = false;
};

namespace {
    // ---------------------------------------------------------------------------------------
    // Tokens

    enum class Tok : std::uint8_t { End, Number, Text, Bracket, Name, At, Op, LParen, RParen, Semi, Assign };

    struct Token {
        Tok type = Tok::End;
        std::size_t position = 0;
        std::string text; // name, @name (upper case), operator, text value, bracket content
        double number = 0;
    };

    struct SyntaxError {
        std::size_t position;
        std::string what;
    };

    bool nameStart(char c)
    {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$'
            || static_cast<unsigned char>(c) >= 0x80;
    }
    bool nameChar(char c) { return nameStart(c) || (c >= '0' && c <= '9'); }

    class Lexer {
    public:
        explicit Lexer(std::string_view text)
            : s_(text)
        {
        }

        Token next()
        {
            while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
                ++i_;
            Token t;
            t.position = i_;
            if (i_ >= s_.size())
                return t;
            const char c = s_[i_];
            if ((c >= '0' && c <= '9') || (c == '.' && i_ + 1 < s_.size() && s_[i_ + 1] >= '0' && s_[i_ + 1] <= '9'))
                return number(t);
            if (c == '"' || c == '{')
                return text(t, c == '"' ? '"' : '}');
            if (c == '[') {
                const std::size_t close = s_.find(']', i_ + 1);
                if (close == std::string_view::npos)
                    throw SyntaxError { i_, "\"[\" without \"]\"" };
                t.type = Tok::Bracket;
                t.text = std::string(s_.substr(i_ + 1, close - i_ - 1));
                i_ = close + 1;
                return t;
            }
            if (c == '@' || nameStart(c)) {
                std::size_t j = i_ + 1;
                while (j < s_.size() && nameChar(s_[j]))
                    ++j;
                if (c == '@' && j == i_ + 1)
                    throw SyntaxError { i_, "\"@\" without a function name" };
                t.type = c == '@' ? Tok::At : Tok::Name;
                t.text = std::string(s_.substr(i_, j - i_));
                i_ = j;
                return t;
            }
            if (c == '(' || c == ')' || c == ';') {
                t.type = c == '(' ? Tok::LParen : c == ')' ? Tok::RParen : Tok::Semi;
                ++i_;
                return t;
            }
            if (c == ':' && i_ + 1 < s_.size() && s_[i_ + 1] == '=') {
                t.type = Tok::Assign;
                i_ += 2;
                return t;
            }
            static constexpr std::string_view Ops[]
                = { "*!=", "*<>", "*><", "*=!", "*<=", "*>=", "!=", "<>", "><", "=!", "<=", ">=", "*=", "*<", "*>",
                      "*+", "*-", "**", "*/", "=", "<", ">", "+", "-", "*", "/", "&", "|", "!", ":" };
            for (auto op : Ops) {
                if (s_.substr(i_, op.size()) == op) {
                    t.type = Tok::Op;
                    t.text = std::string(op);
                    i_ += op.size();
                    return t;
                }
            }
            throw SyntaxError { i_, std::string("unexpected character \"") + c + "\"" };
        }

    private:
        Token number(Token& t)
        {
            std::size_t j = i_;
            while (j < s_.size() && ((s_[j] >= '0' && s_[j] <= '9') || s_[j] == '.'))
                ++j;
            if (j < s_.size() && (s_[j] == 'e' || s_[j] == 'E')) {
                std::size_t k = j + 1;
                if (k < s_.size() && (s_[k] == '+' || s_[k] == '-'))
                    ++k;
                if (k < s_.size() && s_[k] >= '0' && s_[k] <= '9') {
                    j = k;
                    while (j < s_.size() && s_[j] >= '0' && s_[j] <= '9')
                        ++j;
                }
            }
            const std::string text(s_.substr(i_, j - i_));
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (end != text.c_str() + text.size() || !std::isfinite(v))
                throw SyntaxError { i_, "\"" + text + "\" is not a number" };
            t.type = Tok::Number;
            t.number = v;
            i_ = j;
            return t;
        }

        Token text(Token& t, char close)
        {
            std::size_t j = i_ + 1;
            std::string value;
            for (;;) {
                if (j >= s_.size())
                    throw SyntaxError { i_, close == '"' ? "text without its closing quote" : "\"{\" without \"}\"" };
                const char c = s_[j];
                if (c == close)
                    break;
                if (c == '\\' && close == '"' && j + 1 < s_.size()) {
                    value += s_[j + 1];
                    j += 2;
                    continue;
                }
                value += c;
                ++j;
            }
            t.type = Tok::Text;
            t.text = std::move(value);
            i_ = j + 1;
            return t;
        }

        std::string_view s_;
        std::size_t i_ = 0;
    };

    // ---------------------------------------------------------------------------------------
    // Parser: recursive descent over the precedence levels, depth-limited.

    class Parser {
    public:
        Parser(std::string_view text, Formula::Program& program)
            : lexer_(text)
            , p_(program)
        {
            advance();
        }

        void parseFormula()
        {
            for (;;) {
                while (tok_.type == Tok::Semi)
                    advance();
                if (tok_.type == Tok::End)
                    break;
                statement();
                if (tok_.type != Tok::Semi && tok_.type != Tok::End)
                    throw SyntaxError { tok_.position,
                        "expected \";\" or the end of the formula, found " + describe() };
            }
            if (p_.statements.empty())
                throw SyntaxError { 0, "the formula is empty" };
        }

    private:
        void advance() { tok_ = lexer_.next(); }

        std::string describe() const
        {
            switch (tok_.type) {
            case Tok::End:
                return "the end of the formula";
            case Tok::Number:
                return "a number";
            case Tok::Text:
                return "text";
            case Tok::Bracket:
                return "\"[" + tok_.text + "]\"";
            case Tok::Name:
            case Tok::At:
            case Tok::Op:
                return "\"" + tok_.text + "\"";
            case Tok::LParen:
                return "\"(\"";
            case Tok::RParen:
                return "\")\"";
            case Tok::Semi:
                return "\";\"";
            case Tok::Assign:
                return "\":=\"";
            }
            return "?";
        }

        bool keyword(const char* word) const { return tok_.type == Tok::Name && upperName(tok_.text) == word; }

        void unsupported(const std::string& what)
        {
            if (p_.unsupported.empty())
                p_.unsupported = what;
        }

        void statement()
        {
            Statement s;
            if (keyword("SELECT")) {
                advance();
                s.kind = StatementKind::Select;
                s.expression = expression();
            } else if (keyword("REM")) {
                advance();
                if (tok_.type != Tok::Text)
                    throw SyntaxError { tok_.position, "REM needs text, found " + describe() };
                advance();
                return;
            } else if (keyword("FIELD") || keyword("ENVIRONMENT")) {
                unsupported(upperName(tok_.text));
                advance();
                s.expression = expression();
                if (tok_.type == Tok::Assign) {
                    advance();
                    s.expression = expression();
                }
            } else if (keyword("DEFAULT")) {
                advance();
                if (tok_.type != Tok::Name)
                    throw SyntaxError { tok_.position, "DEFAULT needs a field name, found " + describe() };
                const std::string name = tok_.text;
                advance();
                if (tok_.type != Tok::Assign)
                    throw SyntaxError { tok_.position,
                        "expected \":=\" after DEFAULT " + name + ", found " + describe() };
                advance();
                s.kind = StatementKind::Default;
                s.expression = expression();
                s.item = upperName(name);
                addItem(s.item);
                s.slot = slot(name);
            } else {
                // name := expression, or an expression.
                if (tok_.type == Tok::Name) {
                    Lexer saved = lexer_;
                    Token name = tok_;
                    advance();
                    if (tok_.type == Tok::Assign) {
                        advance();
                        s.kind = StatementKind::Assign;
                        s.expression = expression();
                        s.slot = slot(name.text);
                        p_.statements.push_back(std::move(s));
                        return;
                    }
                    lexer_ = saved;
                    tok_ = name;
                }
                s.expression = expression();
            }
            if (tok_.type == Tok::Assign)
                throw SyntaxError { tok_.position, "\":=\" must follow a name at the start of a statement" };
            p_.statements.push_back(std::move(s));
        }

        int slot(const std::string& name)
        {
            const std::string key = upperName(name);
            auto [it, added] = variables_.try_emplace(key, p_.variables);
            if (added)
                ++p_.variables;
            return it->second;
        }

        void addItem(const std::string& upper)
        {
            if (std::find(p_.items.begin(), p_.items.end(), upper) == p_.items.end())
                p_.items.push_back(upper);
        }

        struct Guard {
            explicit Guard(Parser& parser)
                : p(parser)
            {
                if (++p.depth_ > 2 * MaxDepth)
                    throw SyntaxError { p.tok_.position, "the formula is nested too deeply" };
            }
            ~Guard() { --p.depth_; }
            Parser& p;
        };

        int add(Node node, std::size_t position)
        {
            int depth = 1;
            for (int c : node.children)
                depth = std::max(depth, depths_[static_cast<std::size_t>(c)] + 1);
            if (depth > MaxDepth)
                throw SyntaxError { position, "the formula is nested too deeply" };
            p_.nodes.push_back(std::move(node));
            depths_.push_back(depth);
            return static_cast<int>(p_.nodes.size() - 1);
        }

        int binary(Op op, bool permuted, int left, int right, std::size_t position)
        {
            Node n;
            n.kind = Kind::Binary;
            n.op = op;
            n.permuted = permuted;
            n.children = { left, right };
            return add(std::move(n), position);
        }

        int expression()
        {
            Guard g(*this);
            int left = notExpression();
            while (tok_.type == Tok::Op && (tok_.text == "&" || tok_.text == "|")) {
                const Op op = tok_.text == "&" ? Op::And : Op::Or;
                const std::size_t at = tok_.position;
                advance();
                left = binary(op, false, left, notExpression(), at);
            }
            return left;
        }

        int notExpression()
        {
            Guard g(*this);
            if (tok_.type == Tok::Op && tok_.text == "!") {
                const std::size_t at = tok_.position;
                advance();
                Node n;
                n.kind = Kind::Unary;
                n.op = Op::Not;
                n.children = { notExpression() };
                return add(std::move(n), at);
            }
            return comparison();
        }

        static std::optional<Op> comparisonOp(std::string_view t)
        {
            if (t == "=")
                return Op::Eq;
            if (t == "!=" || t == "<>" || t == "><" || t == "=!")
                return Op::Ne;
            if (t == "<")
                return Op::Lt;
            if (t == ">")
                return Op::Gt;
            if (t == "<=")
                return Op::Le;
            if (t == ">=")
                return Op::Ge;
            return std::nullopt;
        }

        int comparison()
        {
            int left = additive();
            for (;;) {
                if (tok_.type != Tok::Op)
                    return left;
                const bool permuted = tok_.text.size() > 1 && tok_.text[0] == '*';
                const auto op = comparisonOp(permuted ? std::string_view(tok_.text).substr(1) : tok_.text);
                if (!op)
                    return left;
                const std::size_t at = tok_.position;
                advance();
                left = binary(*op, permuted, left, additive(), at);
            }
        }

        int additive()
        {
            int left = multiplicative();
            while (tok_.type == Tok::Op
                && (tok_.text == "+" || tok_.text == "-" || tok_.text == "*+" || tok_.text == "*-")) {
                const bool permuted = tok_.text[0] == '*';
                const Op op = tok_.text.back() == '+' ? Op::Add : Op::Sub;
                const std::size_t at = tok_.position;
                advance();
                left = binary(op, permuted, left, multiplicative(), at);
            }
            return left;
        }

        int multiplicative()
        {
            int left = unary();
            while (tok_.type == Tok::Op
                && (tok_.text == "*" || tok_.text == "/" || tok_.text == "**" || tok_.text == "*/")) {
                const bool permuted = tok_.text.size() == 2;
                const Op op = tok_.text.back() == '/' ? Op::Div : Op::Mul;
                const std::size_t at = tok_.position;
                advance();
                left = binary(op, permuted, left, unary(), at);
            }
            return left;
        }

        int unary()
        {
            Guard g(*this);
            if (tok_.type == Tok::Op && (tok_.text == "-" || tok_.text == "+")) {
                const bool negate = tok_.text == "-";
                const std::size_t at = tok_.position;
                advance();
                const int operand = unary();
                if (!negate)
                    return operand;
                Node n;
                n.kind = Kind::Unary;
                n.op = Op::Neg;
                n.children = { operand };
                return add(std::move(n), at);
            }
            return list();
        }

        int list()
        {
            int left = postfix();
            while (tok_.type == Tok::Op && tok_.text == ":") {
                const std::size_t at = tok_.position;
                advance();
                // A list element may carry its own sign: 1:-2.
                int right = -1;
                if (tok_.type == Tok::Op && (tok_.text == "-" || tok_.text == "+")) {
                    Guard g(*this);
                    const bool negate = tok_.text == "-";
                    const std::size_t signAt = tok_.position;
                    advance();
                    right = postfix();
                    if (negate) {
                        Node n;
                        n.kind = Kind::Unary;
                        n.op = Op::Neg;
                        n.children = { right };
                        right = add(std::move(n), signAt);
                    }
                } else {
                    right = postfix();
                }
                left = binary(Op::Concat, false, left, right, at);
            }
            return left;
        }

        int postfix()
        {
            int value = primary();
            while (tok_.type == Tok::Bracket) {
                // The list subscript operator: value[n].
                unsupported("[] (list subscript)");
                const std::size_t at = tok_.position;
                advance();
                Node n;
                n.kind = Kind::Unary;
                n.op = Op::Not;
                n.children = { value };
                value = add(std::move(n), at);
            }
            return value;
        }

        int primary()
        {
            Guard g(*this);
            const std::size_t at = tok_.position;
            Node n;
            switch (tok_.type) {
            case Tok::Number:
                n.constant = { tok_.number };
                advance();
                return add(std::move(n), at);
            case Tok::Text:
                n.constant = { tok_.text };
                advance();
                return add(std::move(n), at);
            case Tok::Bracket:
                if (auto t = parseTimeConstant(tok_.text)) {
                    n.constant = { *t };
                } else if (const auto first = tok_.text.find_first_not_of(" \t");
                           first != std::string::npos && tok_.text[first] >= '0' && tok_.text[first] <= '9') {
                    // A time-date in a form not read here ([6/15] without its year, the time first).
                    unsupported("the time-date constant [" + tok_.text + "]");
                    n.constant = { tok_.text };
                } else {
                    // A keyword such as [EditDocument], only meaningful to functions not supported here.
                    n.constant = { tok_.text };
                }
                advance();
                return add(std::move(n), at);
            case Tok::LParen: {
                advance();
                const int inner = expression();
                if (tok_.type != Tok::RParen)
                    throw SyntaxError { tok_.position, "expected \")\", found " + describe() };
                advance();
                return inner;
            }
            case Tok::Name: {
                const std::string key = upperName(tok_.text);
                if (key == "SELECT" || key == "FIELD" || key == "DEFAULT" || key == "REM" || key == "ENVIRONMENT")
                    throw SyntaxError { at, key + " may only start a statement" };
                if (auto v = variables_.find(key); v != variables_.end()) {
                    n.kind = Kind::Variable;
                    n.slot = v->second;
                } else {
                    n.kind = Kind::Item;
                    n.name = key;
                    addItem(key);
                }
                advance();
                return add(std::move(n), at);
            }
            case Tok::At:
                return call();
            default:
                throw SyntaxError { at, "expected a value, found " + describe() };
            }
        }

        int call()
        {
            const std::size_t at = tok_.position;
            const std::string name = upperName(tok_.text);
            const std::string written = tok_.text;
            advance();
            Node n;
            n.kind = Kind::Call;
            const FnInfo* info = nullptr;
            for (const auto& f : Functions)
                if (name == f.name)
                    info = &f;
            if (info == nullptr)
                unsupported(written);
            n.fn = info != nullptr ? info->fn : Fn::Unsupported;
            if (tok_.type == Tok::LParen) {
                advance();
                if (tok_.type != Tok::RParen) {
                    for (;;) {
                        if (n.fn == Fn::IsAvailable || n.fn == Fn::IsUnavailable) {
                            if (tok_.type != Tok::Name)
                                throw SyntaxError { tok_.position,
                                    written + " needs a field name, found " + describe() };
                            n.name = upperName(tok_.text);
                            addItem(n.name);
                            advance();
                            n.children.push_back(-1);
                        } else {
                            n.children.push_back(expression());
                        }
                        if (n.children.size() > 200)
                            throw SyntaxError { tok_.position, "too many arguments to " + written };
                        if (tok_.type == Tok::Semi) {
                            advance();
                            continue;
                        }
                        if (tok_.type != Tok::RParen)
                            throw SyntaxError { tok_.position,
                                "expected \";\" or \")\" in the arguments of " + written + ", found " + describe() };
                        break;
                    }
                }
                advance();
            }
            if (info != nullptr) {
                const auto count = static_cast<int>(n.children.size());
                bool ok = count >= info->minArgs && count <= info->maxArgs;
                if (n.fn == Fn::If && count % 2 == 0)
                    ok = false;
                if (n.fn == Fn::Date && count != 1 && count != 3 && count != 6)
                    ok = false;
                if (!ok)
                    throw SyntaxError { at, written + " does not take " + std::to_string(count) + " argument(s)" };
                if (n.fn == Fn::AllDescendants)
                    p_.allDescendants = true;
                if (n.fn == Fn::AllChildren)
                    p_.allChildren = true;
            }
            std::erase(n.children, -1);
            return add(std::move(n), at);
        }

        Lexer lexer_;
        Formula::Program& p_;
        Token tok_;
        int depth_ = 0;
        std::vector<int> depths_;
        std::unordered_map<std::string, int> variables_;
    };

    // ---------------------------------------------------------------------------------------
    // Evaluation

    class Evaluator {
    public:
        Evaluator(const Formula::Program& program, Document& document, std::int64_t now)
            : p_(program)
            , doc_(document)
            , now_(now)
            , variables_(static_cast<std::size_t>(program.variables))
        {
        }

        Result run()
        {
            Result result;
            try {
                std::optional<List> selection;
                List last;
                for (const auto& s : p_.statements) {
                    List value = eval(s.expression);
                    switch (s.kind) {
                    case StatementKind::Select:
                        selection = value;
                        break;
                    case StatementKind::Assign:
                        variables_[static_cast<std::size_t>(s.slot)] = value;
                        break;
                    case StatementKind::Default:
                        variables_[static_cast<std::size_t>(s.slot)]
                            = doc_.item(s.item) != nullptr ? itemValue(s.item) : value;
                        break;
                    case StatementKind::Expression:
                        break;
                    }
                    last = std::move(value);
                }
                const List& chosen = selection ? *selection : last;
                for (const auto& v : chosen) {
                    if (const auto* d = std::get_if<double>(&v))
                        result.values.emplace_back(*d);
                    else if (const auto* t = std::get_if<std::string>(&v))
                        result.values.emplace_back(*t);
                    else
                        result.values.emplace_back(toDateTime(std::get<Time>(v)));
                }
                if (selection)
                    result.selected = truth(chosen);
                else if (const auto* d = std::get_if<double>(&chosen.front()))
                    result.selected = *d != 0;
            } catch (const EvalError& e) {
                result.values.clear();
                result.selected = false;
                result.error = e.what;
            }
            return result;
        }

    private:
        void charge(std::uint64_t units)
        {
            work_ += units;
            if (work_ > MaxWork)
                failEval("the formula takes too long for this document");
        }

        static const char* typeName(const Scalar& v)
        {
            return std::holds_alternative<double>(v)     ? "number"
                : std::holds_alternative<std::string>(v) ? "text"
                                                         : "time-date";
        }

        static bool truth(const List& v)
        {
            const auto* d = std::get_if<double>(&v.front());
            if (d == nullptr)
                failEval(std::string("a logical value is needed, not ") + typeName(v.front()));
            return *d != 0;
        }

        List itemValue(const std::string& name)
        {
            const auto* values = doc_.item(name);
            List out;
            if (values != nullptr)
                flatten(*values, out, 0);
            if (out.empty())
                out.emplace_back(std::string());
            return out;
        }

        void flatten(const automation::VariantArray& values, List& out, int depth)
        {
            using T = automation::Variant::Type;
            for (const auto& v : values) {
                charge(1);
                if (out.size() >= MaxList)
                    failEval("a list has more than " + std::to_string(MaxList) + " elements");
                switch (v.type()) {
                case T::Empty:
                    out.emplace_back(std::string());
                    break;
                case T::Bool:
                case T::Int16:
                case T::Int32:
                case T::Double:
                    out.emplace_back(v.toDouble());
                    break;
                case T::Text: {
                    std::string t = v.toText();
                    charge(t.size() / 64);
                    out.emplace_back(std::move(t));
                    break;
                }
                case T::Date:
                    out.emplace_back(fromDateTime(v.toDate()));
                    break;
                case T::Array:
                    if (depth < 2)
                        flatten(v.array(), out, depth + 1);
                    break;
                }
            }
        }

        static List number(double v) { return List { v }; }
        static List boolean(bool v) { return List { v ? 1.0 : 0.0 }; }

        std::string textOf(const Scalar& v, const char* what)
        {
            const auto* t = std::get_if<std::string>(&v);
            if (t == nullptr)
                failEval(std::string(what) + " needs text, not " + typeName(v));
            return *t;
        }

        double numberOf(const Scalar& v, const char* what)
        {
            const auto* d = std::get_if<double>(&v);
            if (d == nullptr)
                failEval(std::string(what) + " needs a number, not " + typeName(v));
            return *d;
        }

        Time timeOf(const Scalar& v, const char* what)
        {
            const auto* t = std::get_if<Time>(&v);
            if (t == nullptr)
                failEval(std::string(what) + " needs a time-date, not " + typeName(v));
            return *t;
        }

        void checkText(const std::string& t)
        {
            charge(t.size() / 64 + 1);
            if (t.size() > MaxText)
                failEval("a text value is longer than " + std::to_string(MaxText) + " bytes");
        }

        List eval(int index)
        {
            const Node& n = p_.nodes[static_cast<std::size_t>(index)];
            charge(1);
            switch (n.kind) {
            case Kind::Constant:
                return n.constant;
            case Kind::Item:
                return itemValue(n.name);
            case Kind::Variable: {
                const auto& v = variables_[static_cast<std::size_t>(n.slot)];
                if (!v)
                    failEval("a temporary variable is used before it has a value");
                return *v;
            }
            case Kind::Unary:
                return unary(n);
            case Kind::Binary:
                return binary(n);
            case Kind::Call:
                return call(n);
            }
            return List { 0.0 };
        }

        List unary(const Node& n)
        {
            if (n.op == Op::Not)
                return boolean(!truth(eval(n.children[0])));
            List v = eval(n.children[0]);
            for (auto& e : v)
                e = -numberOf(e, "\"-\"");
            return v;
        }

        template <class F> List combine(const List& a, const List& b, bool permuted, F&& f)
        {
            List out;
            if (permuted) {
                const std::uint64_t size = std::uint64_t { a.size() } * b.size();
                if (size > MaxList)
                    failEval("a list has more than " + std::to_string(MaxList) + " elements");
                charge(size);
                out.reserve(static_cast<std::size_t>(size));
                for (const auto& x : a)
                    for (const auto& y : b)
                        out.push_back(f(x, y));
            } else {
                const std::size_t size = std::max(a.size(), b.size());
                charge(size);
                out.reserve(size);
                for (std::size_t i = 0; i < size; ++i)
                    out.push_back(f(a[std::min(i, a.size() - 1)], b[std::min(i, b.size() - 1)]));
            }
            return out;
        }

        // Any pair satisfying the comparison makes it true.
        bool compareAny(Op op, const List& a, const List& b, bool permuted)
        {
            auto test = [&](const Scalar& x, const Scalar& y) {
                if (x.index() != y.index()) {
                    // A value of another type is no empty text: mail templates select drafts with
                    // PostedDate = "", which Notes evaluates for time-date items too.
                    const auto* tx = std::get_if<std::string>(&x);
                    const auto* ty = std::get_if<std::string>(&y);
                    const bool empty = (tx != nullptr && tx->empty()) || (ty != nullptr && ty->empty());
                    if (!empty || (op != Op::Eq && op != Op::Ne))
                        failEval(std::string("cannot compare ") + typeName(x) + " with " + typeName(y));
                    return op == Op::Ne;
                }
                int c = 0;
                if (const auto* d = std::get_if<double>(&x)) {
                    const double e = std::get<double>(y);
                    c = *d < e ? -1 : *d > e ? 1 : 0;
                } else if (const auto* t = std::get_if<std::string>(&x)) {
                    const auto& u = std::get<std::string>(y);
                    charge((t->size() + u.size()) / 16 + 1);
                    c = op == Op::Eq || op == Op::Ne ? fold(*t, false).compare(fold(u, false)) : collate(*t, u);
                } else {
                    const auto& s = std::get<Time>(x);
                    const auto& u = std::get<Time>(y);
                    c = s.ms < u.ms ? -1 : s.ms > u.ms ? 1 : 0;
                }
                switch (op) {
                case Op::Eq:
                    return c == 0;
                case Op::Ne:
                    return c != 0;
                case Op::Lt:
                    return c < 0;
                case Op::Gt:
                    return c > 0;
                case Op::Le:
                    return c <= 0;
                default:
                    return c >= 0;
                }
            };
            if (permuted) {
                charge(std::uint64_t { a.size() } * b.size());
                for (const auto& x : a)
                    for (const auto& y : b)
                        if (test(x, y))
                            return true;
                return false;
            }
            const std::size_t size = std::max(a.size(), b.size());
            charge(size);
            for (std::size_t i = 0; i < size; ++i)
                if (test(a[std::min(i, a.size() - 1)], b[std::min(i, b.size() - 1)]))
                    return true;
            return false;
        }

        Scalar arithmetic(Op op, const Scalar& x, const Scalar& y)
        {
            if (const auto* t = std::get_if<std::string>(&x)) {
                if (op != Op::Add || !std::holds_alternative<std::string>(y))
                    failEval(std::string("text cannot be combined with ") + typeName(y) + " this way");
                std::string joined = *t + std::get<std::string>(y);
                checkText(joined);
                return joined;
            }
            if (const auto* tx = std::get_if<Time>(&x)) {
                // time + seconds, time - seconds, time - time (seconds between).
                if (const auto* d = std::get_if<double>(&y); d != nullptr && (op == Op::Add || op == Op::Sub)) {
                    if (std::fabs(*d) > 1e12)
                        failEval("the time-date is out of range");
                    const auto delta = static_cast<std::int64_t>(std::llround(*d * 1000));
                    const Time sum { tx->ms + (op == Op::Add ? delta : -delta), tx->hasDate, tx->hasTime };
                    // Within the years 1 to 9999 (and a little around them), so sums never overflow.
                    if (std::llabs(sum.ms) > 400000000000000LL)
                        failEval("the time-date is out of range");
                    return sum;
                }
                if (const auto* ty = std::get_if<Time>(&y); ty != nullptr && op == Op::Sub)
                    return static_cast<double>(tx->ms - ty->ms) / 1000.0;
                failEval("a time-date cannot be combined with " + std::string(typeName(y)) + " this way");
            }
            const double a = std::get<double>(x);
            if (const auto* ty = std::get_if<Time>(&y); ty != nullptr && op == Op::Add)
                return arithmetic(op, y, x);
            const double b = numberOf(y, "arithmetic");
            switch (op) {
            case Op::Add:
                return a + b;
            case Op::Sub:
                return a - b;
            case Op::Mul:
                return a * b;
            default:
                if (b == 0)
                    failEval("division by zero");
                return a / b;
            }
        }

        List binary(const Node& n)
        {
            if (n.op == Op::And || n.op == Op::Or) {
                const bool left = truth(eval(n.children[0]));
                if (n.op == Op::And && !left)
                    return boolean(false);
                if (n.op == Op::Or && left)
                    return boolean(true);
                return boolean(truth(eval(n.children[1])));
            }
            List a = eval(n.children[0]);
            List b = eval(n.children[1]);
            switch (n.op) {
            case Op::Concat: {
                if (a.size() + b.size() > MaxList)
                    failEval("a list has more than " + std::to_string(MaxList) + " elements");
                charge(a.size() + b.size());
                a.insert(a.end(), std::make_move_iterator(b.begin()), std::make_move_iterator(b.end()));
                return a;
            }
            case Op::Eq:
            case Op::Ne:
            case Op::Lt:
            case Op::Gt:
            case Op::Le:
            case Op::Ge:
                return boolean(compareAny(n.op, a, b, n.permuted));
            default:
                return combine(
                    a, b, n.permuted, [&](const Scalar& x, const Scalar& y) { return arithmetic(n.op, x, y); });
            }
        }

        // Applies f to each text element of a list.
        template <class F> List eachText(const List& v, const char* what, F&& f)
        {
            List out;
            out.reserve(v.size());
            for (const auto& e : v) {
                std::string t = f(textOf(e, what));
                checkText(t);
                out.emplace_back(std::move(t));
            }
            return out;
        }

        // True when any element of a, any element of b, satisfy f (case-sensitive text tests).
        template <class F> List anyText(const List& a, const List& b, const char* what, F&& f)
        {
            charge(std::uint64_t { a.size() } * b.size());
            for (const auto& x : a) {
                const std::string& s = std::get_if<std::string>(&x) ? std::get<std::string>(x) : textOf(x, what);
                for (const auto& y : b) {
                    const std::string& sub = std::get_if<std::string>(&y) ? std::get<std::string>(y) : textOf(y, what);
                    charge(std::uint64_t { s.size() / 16 + 1 } * (sub.size() / 16 + 1));
                    if (f(s, sub))
                        return boolean(true);
                }
            }
            return boolean(false);
        }

        static bool sameScalar(const Scalar& x, const Scalar& y)
        {
            if (x.index() != y.index())
                return false;
            if (const auto* t = std::get_if<Time>(&x))
                return t->ms == std::get<Time>(y).ms;
            if (const auto* d = std::get_if<double>(&x))
                return *d == std::get<double>(y);
            return std::get<std::string>(x) == std::get<std::string>(y);
        }

        bool member(const Scalar& x, const List& list)
        {
            charge(list.size());
            return std::any_of(list.begin(), list.end(), [&](const Scalar& y) { return sameScalar(x, y); });
        }

        Time today() const
        {
            const std::int64_t days = now_ >= 0 ? now_ / DayMs : -((-now_ + DayMs - 1) / DayMs);
            return Time { days * DayMs, true, false };
        }

        List documentTime(std::optional<automation::DateTime> t, const char* what)
        {
            if (!t)
                failEval(std::string("the document has no ") + what + " time");
            return List { fromDateTime(*t) };
        }

        List call(const Node& n)
        {
            auto arg = [&](std::size_t i) { return eval(n.children[i]); };
            auto intArg = [&](std::size_t i, const char* what) {
                const double d = numberOf(arg(i).front(), what);
                if (!(d > -1e9 && d < 1e9))
                    failEval(std::string(what) + ": the number is out of range");
                return static_cast<std::int64_t>(d >= 0 ? std::floor(d) : std::ceil(d));
            };
            switch (n.fn) {
            case Fn::All:
            case Fn::True:
                return boolean(true);
            case Fn::False:
            case Fn::AllDescendants:
            case Fn::AllChildren:
                // Responses of selected documents are added by the caller after the scan.
                return boolean(false);
            case Fn::IsAvailable:
                return boolean(doc_.item(n.name) != nullptr);
            case Fn::IsUnavailable:
                return boolean(doc_.item(n.name) == nullptr);
            case Fn::IsMember:
            case Fn::IsNotMember: {
                const List a = arg(0);
                const List b = arg(1);
                if (n.fn == Fn::IsMember)
                    return boolean(std::all_of(a.begin(), a.end(), [&](const Scalar& x) { return member(x, b); }));
                return boolean(std::none_of(a.begin(), a.end(), [&](const Scalar& x) { return member(x, b); }));
            }
            case Fn::Contains:
                return anyText(arg(0), arg(1), "@Contains",
                    [](const std::string& s, const std::string& sub) { return s.find(sub) != std::string::npos; });
            case Fn::Begins:
                return anyText(arg(0), arg(1), "@Begins",
                    [](const std::string& s, const std::string& sub) { return s.starts_with(sub); });
            case Fn::Ends:
                return anyText(arg(0), arg(1), "@Ends",
                    [](const std::string& s, const std::string& sub) { return s.ends_with(sub); });
            case Fn::Lowercase:
                return eachText(arg(0), "@LowerCase", [](const std::string& s) { return fold(s, false); });
            case Fn::Uppercase:
                return eachText(arg(0), "@UpperCase", [](const std::string& s) { return fold(s, true); });
            case Fn::Trim: {
                List out = eachText(arg(0), "@Trim", [](const std::string& s) {
                    std::string t;
                    for (char c : s) {
                        if (c == ' ' && (t.empty() || t.back() == ' '))
                            continue;
                        t += c;
                    }
                    if (!t.empty() && t.back() == ' ')
                        t.pop_back();
                    return t;
                });
                std::erase_if(out, [](const Scalar& v) { return std::get<std::string>(v).empty(); });
                if (out.empty())
                    out.emplace_back(std::string());
                return out;
            }
            case Fn::Text: {
                List v = arg(0);
                for (auto& e : v) {
                    if (const auto* d = std::get_if<double>(&e))
                        e = numberText(*d);
                    else if (const auto* t = std::get_if<Time>(&e))
                        e = timeText(*t);
                }
                return v;
            }
            case Fn::TextToNumber: {
                List v = arg(0);
                for (auto& e : v) {
                    if (const auto* t = std::get_if<std::string>(&e)) {
                        const char* begin = t->c_str();
                        char* end = nullptr;
                        const double d = std::strtod(begin, &end);
                        while (*end == ' ')
                            ++end;
                        if (end == begin || *end != 0 || !std::isfinite(d))
                            failEval("@TextToNumber: \"" + *t + "\" is not a number");
                        e = d;
                    } else if (!std::holds_alternative<double>(e)) {
                        failEval("@TextToNumber needs text, not a time-date");
                    }
                }
                return v;
            }
            case Fn::Elements: {
                const List v = arg(0);
                if (v.size() == 1)
                    if (const auto* t = std::get_if<std::string>(&v.front()); t != nullptr && t->empty())
                        return number(0);
                return number(static_cast<double>(v.size()));
            }
            case Fn::IsResponseDoc:
                return boolean(doc_.isResponse());
            case Fn::Created:
                return documentTime(doc_.created(), "creation");
            case Fn::Modified:
                return documentTime(doc_.modified(), "modification");
            case Fn::Now:
                return List { Time { now_, true, true } };
            case Fn::Today:
                return List { today() };
            case Fn::Date: {
                if (n.children.size() == 1) {
                    List v = arg(0);
                    for (auto& e : v) {
                        Time t = timeOf(e, "@Date");
                        if (!t.hasDate)
                            failEval("@Date: the time-date has no date");
                        t.ms -= ((t.ms % DayMs) + DayMs) % DayMs;
                        t.hasTime = false;
                        e = t;
                    }
                    return v;
                }
                std::int64_t f[6] = {};
                for (std::size_t i = 0; i < n.children.size(); ++i)
                    f[i] = intArg(i, "@Date");
                return List { makeTime(f[0], f[1], f[2], f[3], f[4], f[5], true, n.children.size() == 6) };
            }
            case Fn::Adjust: {
                List v = arg(0);
                std::int64_t f[6] = {};
                for (std::size_t i = 0; i < 6; ++i)
                    f[i] = intArg(i + 1, "@Adjust");
                for (auto& e : v) {
                    const Time t = timeOf(e, "@Adjust");
                    const auto d = toDateTime(t);
                    if (!t.hasDate) {
                        const std::int64_t ms = t.ms + ((f[3] * 60 + f[4]) * 60 + f[5]) * 1000;
                        e = Time { ((ms % DayMs) + DayMs) % DayMs, false, true };
                        continue;
                    }
                    Time r = makeTime(d.year + f[0], d.month + f[1], d.day + f[2], d.hour + f[3], d.minute + f[4],
                        d.second + f[5], true, t.hasTime);
                    r.ms += d.millisecond;
                    e = r;
                }
                return v;
            }
            case Fn::Left:
            case Fn::Right: {
                const bool left = n.fn == Fn::Left;
                const char* what = left ? "@Left" : "@Right";
                List v = arg(0);
                const Scalar how = arg(1).front();
                return eachText(v, what, [&](const std::string& s) -> std::string {
                    if (const auto* d = std::get_if<double>(&how)) {
                        const std::size_t count = !(*d > 0) ? 0 : *d >= 1e9 ? s.size() : static_cast<std::size_t>(*d);
                        if (left)
                            return s.substr(0, charOffset(s, count));
                        const std::size_t total = charCount(s);
                        return count >= total ? s : s.substr(charOffset(s, total - count));
                    }
                    const std::string sub = textOf(how, what);
                    const std::size_t at = s.find(sub);
                    if (at == std::string::npos)
                        return std::string();
                    return left ? s.substr(0, at) : s.substr(at + sub.size());
                });
            }
            case Fn::Word: {
                List v = arg(0);
                const std::string sep = textOf(arg(1).front(), "@Word");
                const std::int64_t which = intArg(2, "@Word");
                return eachText(v, "@Word", [&](const std::string& s) -> std::string {
                    if (sep.empty())
                        return which == 1 || which == -1 ? s : std::string();
                    std::vector<std::string_view> words;
                    std::string_view rest(s);
                    for (;;) {
                        const std::size_t at = rest.find(sep);
                        words.push_back(rest.substr(0, at));
                        if (at == std::string_view::npos)
                            break;
                        rest.remove_prefix(at + sep.size());
                    }
                    charge(words.size());
                    const auto count = static_cast<std::int64_t>(words.size());
                    const std::int64_t i = which > 0 ? which - 1 : count + which;
                    if (which == 0 || i < 0 || i >= count)
                        return std::string();
                    return std::string(words[static_cast<std::size_t>(i)]);
                });
            }
            case Fn::If: {
                const std::size_t last = n.children.size() - 1;
                for (std::size_t i = 0; i < last; i += 2)
                    if (truth(arg(i)))
                        return arg(i + 1);
                return arg(last);
            }
            case Fn::Year:
            case Fn::Month:
            case Fn::Day:
            case Fn::Weekday:
            case Fn::Hour:
            case Fn::Minute:
            case Fn::Second: {
                // A part of each time-date; -1 for a part the value does not hold.
                List v = arg(0);
                for (auto& e : v) {
                    const Time t = timeOf(e, "a time-date @function");
                    const auto d = toDateTime(t);
                    const bool datePart
                        = n.fn == Fn::Year || n.fn == Fn::Month || n.fn == Fn::Day || n.fn == Fn::Weekday;
                    if (datePart ? !t.hasDate : !t.hasTime) {
                        e = -1.0;
                        continue;
                    }
                    const std::int64_t days = (t.ms >= 0 ? t.ms / DayMs : -((-t.ms + DayMs - 1) / DayMs));
                    // 1970-01-01 was a Thursday; @Weekday counts Sunday as 1.
                    const int weekday = static_cast<int>(((days + 4) % 7 + 7) % 7) + 1;
                    const int part = n.fn == Fn::Year ? d.year
                        : n.fn == Fn::Month           ? d.month
                        : n.fn == Fn::Day             ? d.day
                        : n.fn == Fn::Weekday         ? weekday
                        : n.fn == Fn::Hour            ? d.hour
                        : n.fn == Fn::Minute          ? d.minute
                                                      : d.second;
                    e = static_cast<double>(part);
                }
                return v;
            }
            case Fn::Unsupported:
                break;
            }
            failEval("unsupported function");
        }

        const Formula::Program& p_;
        Document& doc_;
        std::int64_t now_;
        std::vector<std::optional<List>> variables_;
        std::uint64_t work_ = 0;
    };
} // namespace

std::string ParseError::describe() const { return "at character " + std::to_string(position + 1) + ": " + what; }

std::variant<Formula, ParseError> Formula::parse(std::string_view text)
{
    if (text.size() > MaxFormulaText)
        return ParseError { MaxFormulaText, "the formula is longer than " + std::to_string(MaxFormulaText) + " bytes" };
    auto program = std::make_shared<Program>();
    try {
        Parser parser(text, *program);
        parser.parseFormula();
    } catch (const SyntaxError& e) {
        return ParseError { e.position, e.what };
    }
    return Formula(std::move(program));
}

const std::string& Formula::unsupported() const { return program_->unsupported; }
const std::vector<std::string>& Formula::itemNames() const { return program_->items; }
bool Formula::usesAllDescendants() const { return program_->allDescendants; }
bool Formula::usesAllChildren() const { return program_->allChildren; }

Result Formula::evaluate(Document& document, std::int64_t now) const
{
    if (!program_->unsupported.empty()) {
        Result r;
        r.error = "unsupported: " + program_->unsupported;
        return r;
    }
    return Evaluator(*program_, document, now).run();
}

} // namespace notes::formula
