// The formula language evaluator against expectations taken from the Notes formula language
// reference (operators and precedence, operations on lists, the @function pages).
#include "notes/formula.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using automation::DateTime;
using automation::Variant;
using automation::VariantArray;
using notes::formula::Formula;
using notes::formula::ParseError;

class FakeDocument final : public notes::formula::Document {
public:
    std::map<std::string, VariantArray> items; // keys in upper case
    std::optional<DateTime> createdAt;
    std::optional<DateTime> modifiedAt;
    bool response = false;

    FakeDocument& set(const std::string& name, VariantArray values)
    {
        std::string key = name;
        for (auto& c : key)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        items[key] = std::move(values);
        return *this;
    }
    const VariantArray* item(std::string_view name) override
    {
        std::string key(name);
        for (auto& c : key)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        auto it = items.find(key);
        return it == items.end() ? nullptr : &it->second;
    }
    std::optional<DateTime> created() override { return createdAt; }
    std::optional<DateTime> modified() override { return modifiedAt; }
    bool isResponse() override { return response; }
};

DateTime date(int y, int m, int d, int h = -1, int mi = 0, int s = 0)
{
    DateTime t;
    t.year = y;
    t.month = m;
    t.day = d;
    if (h < 0) {
        t.kind = DateTime::Kind::DateOnly;
    } else {
        t.hour = h;
        t.minute = mi;
        t.second = s;
    }
    return t;
}

// 2009-01-02 12:00 as the evaluation's "now".
const std::int64_t Now = date(2009, 1, 2, 12).toUnixMillis();

Formula parse(const std::string& text)
{
    auto parsed = Formula::parse(text);
    if (auto* e = std::get_if<ParseError>(&parsed)) {
        ADD_FAILURE() << text << ": " << e->describe();
        return std::get<Formula>(Formula::parse("0"));
    }
    return std::get<Formula>(std::move(parsed));
}

notes::formula::Result run(const std::string& text, FakeDocument& doc)
{
    auto result = parse(text).evaluate(doc, Now);
    return result;
}

bool selects(const std::string& text, FakeDocument& doc)
{
    auto r = run(text, doc);
    EXPECT_TRUE(r.error.empty()) << text << ": " << r.error;
    return r.selected;
}

bool selects(const std::string& text)
{
    FakeDocument doc;
    return selects(text, doc);
}

VariantArray value(const std::string& text)
{
    FakeDocument doc;
    auto r = run(text, doc);
    EXPECT_TRUE(r.error.empty()) << text << ": " << r.error;
    return r.values;
}

std::string errorOf(const std::string& text, FakeDocument doc = {})
{
    auto r = run(text, doc);
    EXPECT_FALSE(r.selected) << text;
    return r.error;
}

ParseError parseError(const std::string& text)
{
    auto parsed = Formula::parse(text);
    if (auto* e = std::get_if<ParseError>(&parsed))
        return *e;
    ADD_FAILURE() << text << " parsed";
    return {};
}

TEST(FormulaLanguage, ListComparisonsArePairwiseAndTrueWhenAnyPairMatches)
{
    // Pair-wise: element by element, the shorter list's last element repeated.
    EXPECT_TRUE(selects(R"(SELECT "a":"b":"c" = "x":"b")"));
    EXPECT_FALSE(selects(R"(SELECT "a":"b" = "b":"a")"));
    EXPECT_TRUE(selects(R"(SELECT "a":"b":"c" = "x":"c")")); // c pairs with the repeated c
    // != is true when any pair differs; it is no negation of =.
    EXPECT_TRUE(selects(R"(SELECT "a":"b" != "a")"));
    EXPECT_TRUE(selects(R"(SELECT "a":"b" = "a")"));
    EXPECT_FALSE(selects(R"(SELECT "a":"a" != "a")"));
    EXPECT_TRUE(selects("SELECT 1:5 > 4"));
    EXPECT_FALSE(selects("SELECT 1:2 >= 3"));
    // Permuted: every element against every element.
    EXPECT_TRUE(selects(R"(SELECT "a":"b" *= "b":"a")"));
    EXPECT_FALSE(selects(R"(SELECT "a":"b" *= "c":"d")"));
    EXPECT_TRUE(selects("SELECT 1:9 *> 8:20"));
    EXPECT_FALSE(selects(R"(SELECT "a" *!= "a":"a")"));
    // Text comparison with the operators ignores case; ordering is alphabetic.
    EXPECT_TRUE(selects(R"(SELECT "Memo" = "memo")"));
    EXPECT_TRUE(selects(R"(SELECT "apple" < "Banana")"));
    EXPECT_TRUE(selects(R"(SELECT "a" <> "b" & "a" >< "b" & "a" =! "b")"));
}

TEST(FormulaLanguage, ArithmeticIsPairwiseOrPermuted)
{
    EXPECT_EQ(value("1:2:3 + 10:20"), (VariantArray { 11.0, 22.0, 23.0 }));
    EXPECT_EQ(value("1:2 *+ 10:20"), (VariantArray { 11.0, 21.0, 12.0, 22.0 }));
    EXPECT_EQ(value(R"("a":"b" + "x")"), (VariantArray { "ax", "bx" }));
    EXPECT_EQ(value("7 - 2 * 3"), (VariantArray { 1.0 }));
    EXPECT_EQ(value("(7 - 2) * 3 / 5"), (VariantArray { 3.0 }));
    // List concatenation binds tighter than unary minus.
    EXPECT_EQ(value("-1:2"), (VariantArray { -1.0, -2.0 }));
    EXPECT_EQ(value("1:-2"), (VariantArray { 1.0, -2.0 }));
    EXPECT_NE(errorOf("SELECT 1/0"), "");
    EXPECT_NE(errorOf(R"(SELECT "a" - "b")"), "");
}

TEST(FormulaLanguage, LogicalOperatorsAndPrecedence)
{
    // & and | have equal precedence and go left to right: (1 | 0) & 0.
    EXPECT_FALSE(selects("SELECT 1 | 0 & 0"));
    EXPECT_TRUE(selects("SELECT 0 & 0 | 1"));
    // ! applies to the whole comparison.
    EXPECT_TRUE(selects(R"(SELECT !"a" = "b")"));
    EXPECT_TRUE(selects("SELECT 1 + 1 = 2 & 2 * 3 = 6"));
    // Text where a logical value is needed is an error: not selected.
    EXPECT_NE(errorOf(R"(SELECT "yes")"), "");
    EXPECT_NE(errorOf(R"(SELECT !"yes")"), "");
}

TEST(FormulaLanguage, FieldsVariablesAndStatements)
{
    FakeDocument doc;
    doc.set("Form", { "Memo" }).set("Categories", { "Work", "Travel" }).set("Amount", { 12.5 });
    EXPECT_TRUE(selects(R"(SELECT form = "Memo")", doc)); // item names ignore case
    EXPECT_TRUE(selects(R"(SELECT Missing = "")", doc));
    EXPECT_TRUE(selects(R"(SELECT Categories = "Travel")", doc));
    EXPECT_TRUE(selects("SELECT Amount > 10", doc));
    EXPECT_TRUE(selects(R"(limit := 12; kind := "Me" + "mo"; SELECT Amount > limit & Form = kind)", doc));
    EXPECT_TRUE(selects(R"(REM {a comment}; DEFAULT Status := "Open"; SELECT Status = "Open")", doc));
    doc.set("Status", { "Closed" });
    EXPECT_FALSE(selects(R"(DEFAULT Status := "Open"; SELECT Status = "Open")", doc));
    // A number field compared with text is an error, as is a missing number field: not selected.
    EXPECT_NE(errorOf(R"(SELECT Amount = "12.5")", doc), "");
    // Without SELECT the last statement's value decides.
    EXPECT_TRUE(selects("x := 0; 1", doc));
    // Escapes and brace text.
    EXPECT_EQ(value(R"("say \"hi\" \\ " + {a "b"})"), (VariantArray { R"(say "hi" \ a "b")" }));
    EXPECT_EQ(parse(R"(SELECT Form = "Memo" & @Contains(Subject; "x") | @IsAvailable($Ref))").itemNames(),
        (std::vector<std::string> { "FORM", "SUBJECT", "$REF" }));
}

TEST(FormulaLanguage, MembershipAndSubstringFunctions)
{
    FakeDocument doc;
    doc.set("Dept", { "Sales", "R&D" });
    // The reference's examples.
    EXPECT_TRUE(selects(R"(SELECT @IsMember("computer"; "printer":"computer":"monitor"))"));
    EXPECT_FALSE(selects(R"(SELECT @IsMember("computer":"Notes"; "Notes":"printer":"monitor"))"));
    EXPECT_FALSE(selects(R"(SELECT @IsNotMember("computer"; "printer":"computer":"monitor"))"));
    EXPECT_TRUE(selects(R"(SELECT @IsNotMember("a":"b"; "c":"d"))"));
    EXPECT_FALSE(selects(R"(SELECT @IsNotMember("a":"c"; "c":"d"))"));
    EXPECT_TRUE(selects(R"(SELECT @IsMember("R&D"; Dept))", doc));
    EXPECT_FALSE(selects(R"(SELECT @IsMember("r&d"; Dept))", doc)); // case-sensitive
    // @Contains, @Begins, @Ends: any element of the first with any of the second.
    EXPECT_TRUE(selects(R"(SELECT @Contains(Dept; "xyz":"&"))", doc));
    EXPECT_FALSE(selects(R"(SELECT @Contains(Dept; "sales"))", doc));
    EXPECT_TRUE(selects(R"(SELECT @Begins(Dept; "Sa"))", doc));
    EXPECT_TRUE(selects(R"(SELECT @Ends(Dept; "x":"D"))", doc));
    EXPECT_FALSE(selects(R"(SELECT @Ends(Dept; "S"))", doc));
}

TEST(FormulaLanguage, TextFunctions)
{
    EXPECT_EQ(value(R"(@LowerCase("ÄBC":"Déf"))"), (VariantArray { "äbc", "déf" }));
    EXPECT_EQ(value(R"(@UPPERCASE("straße"))"), (VariantArray { "STRAßE" }));
    EXPECT_EQ(value(R"(@Trim("  a   b  ":"":"   ":"c"))"), (VariantArray { "a b", "c" }));
    EXPECT_EQ(value(R"(@Trim("   "))"), (VariantArray { "" }));
    EXPECT_EQ(value("@Text(3:1.5)"), (VariantArray { "3", "1.5" }));
    EXPECT_EQ(value("@Text([01/02/2009])"), (VariantArray { "01/02/2009" }));
    EXPECT_EQ(value(R"(@TextToNumber(" 42":"1.5E1"))"), (VariantArray { 42.0, 15.0 }));
    EXPECT_NE(errorOf(R"(SELECT @TextToNumber("4x") = 4)"), "");
    EXPECT_EQ(value(R"(@Elements(""))"), (VariantArray { 0.0 }));
    EXPECT_EQ(value(R"(@Elements("a":"":"c"))"), (VariantArray { 3.0 }));
    EXPECT_EQ(value(R"(@Left("Lotus Notes"; 5):@Left("Lotus Notes"; " "):@Left("abc"; "z"))"),
        (VariantArray { "Lotus", "Lotus", "" }));
    EXPECT_EQ(value(R"(@Right("Lotus Notes"; 5):@Right("Lotus Notes"; "us "):@Right("héé"; 2))"),
        (VariantArray { "Notes", "Notes", "éé" }));
    EXPECT_EQ(value(R"(@Word("Larson, Collins, Jones"; ", "; 2):@Word("a b c"; " "; -1):@Word("a b"; " "; 3))"),
        (VariantArray { "Collins", "c", "" }));
}

TEST(FormulaLanguage, IfAndAvailability)
{
    FakeDocument doc;
    doc.set("Priority", { "High" });
    EXPECT_EQ(value(R"(@If(1 = 2; "a"; 2 = 2; "b"; "c"))"), (VariantArray { "b" }));
    EXPECT_EQ(value(R"(@If(0; "a"; "c"))"), (VariantArray { "c" }));
    // Branches not taken are not evaluated.
    EXPECT_TRUE(selects("SELECT @If(1; 1; 1/0)"));
    EXPECT_TRUE(selects(R"(SELECT @If(@IsAvailable(Priority); Priority = "High"; @False))", doc));
    EXPECT_TRUE(selects("SELECT @IsUnavailable(Due)", doc));
    EXPECT_FALSE(selects("SELECT @IsAvailable(due)", doc));
    EXPECT_TRUE(selects("SELECT @All"));
    doc.response = true;
    EXPECT_TRUE(selects("SELECT @IsResponseDoc", doc));
    EXPECT_FALSE(selects("SELECT !@IsResponseDoc", doc));
}

TEST(FormulaLanguage, DatesAndTimes)
{
    FakeDocument doc;
    doc.createdAt = date(2008, 12, 31, 23, 59);
    doc.modifiedAt = date(2009, 1, 2, 8);
    doc.set("Due", { date(2009, 3, 1) });
    EXPECT_TRUE(selects("SELECT @Created < [01/01/2009]", doc));
    EXPECT_TRUE(selects("SELECT @Modified >= [01/02/2009] & @Modified < [01/02/2009 08:00:01]", doc));
    EXPECT_TRUE(selects("SELECT @Date(@Modified) = @Today", doc));
    EXPECT_TRUE(selects("SELECT @Date(@Modified) = [2009-01-02]", doc));
    EXPECT_TRUE(selects("SELECT @Modified > @Adjust(@Now; 0; 0; -1; 0; 0; 0)", doc));
    EXPECT_TRUE(selects("SELECT Due = @Date(2009; 3; 1)", doc));
    EXPECT_TRUE(selects("SELECT Due = @Adjust([01/02/2009]; 0; 1; 27; 0; 0; 0)", doc));
    EXPECT_TRUE(selects("SELECT @Date(2009; 1; 2; 13; 30; 0) = [01/02/2009 01:30 PM]"));
    EXPECT_TRUE(selects("SELECT @Date(2008; 14; 1) = [02/01/2009]"));
    // Time-date arithmetic counts seconds.
    EXPECT_EQ(value("[01/02/2009] - [01/01/2009]"), (VariantArray { 86400.0 }));
    EXPECT_TRUE(selects("SELECT [01/01/2009] + 86400 = [01/02/2009]"));
    EXPECT_EQ(value("@Text([01/02/09 10:05])"), (VariantArray { "01/02/2009 10:05:00 AM" }));
    EXPECT_NE(errorOf("SELECT @Created > [01/01/2009]"), ""); // no creation time known
    EXPECT_NE(errorOf("SELECT Due > 5", doc), "");
    EXPECT_NE(errorOf(R"(SELECT Due < "")", doc), "");
    // A time-date item is no empty text (the mail templates' PostedDate = "" for drafts).
    EXPECT_FALSE(selects(R"(SELECT Due = "")", doc));
    EXPECT_TRUE(selects(R"(SELECT Due != "" & Missing = "")", doc));
    // Parts of time-dates: 2009-01-02 was a Friday (Sunday is 1); a date has no hour.
    EXPECT_EQ(value("@Year([01/02/2009 10:20:30]):@Month([01/02/2009]):@Day([01/02/2009]):@Weekday([01/02/2009])"),
        (VariantArray { 2009.0, 1.0, 2.0, 6.0 }));
    EXPECT_EQ(value("@Hour([01/02/2009 10:20:30]):@Minute([10:20:30]):@Second([10:20:30]):@Hour([01/02/2009])"),
        (VariantArray { 10.0, 20.0, 30.0, -1.0 }));
}

TEST(FormulaLanguage, UnsupportedFunctionsAreNamedNotGuessed)
{
    const auto f = parse(R"(SELECT Form = "Memo" | @DbLookup(""; ""; "v"; "k"; 1) = "x")");
    EXPECT_EQ(f.unsupported(), "@DbLookup");
    FakeDocument doc;
    doc.set("Form", { "Memo" });
    const auto r = f.evaluate(doc, Now);
    EXPECT_FALSE(r.selected);
    EXPECT_NE(r.error.find("@DbLookup"), std::string::npos);
    EXPECT_EQ(parse("FIELD x := 1; SELECT @All").unsupported(), "FIELD");
    EXPECT_EQ(parse("SELECT x[1] = 2").unsupported(), "[] (list subscript)");
    EXPECT_EQ(parse("@Command([EditDocument])").unsupported(), "@Command");
    EXPECT_EQ(parse("SELECT @Created > [6/15]").unsupported(), "the time-date constant [6/15]");
    EXPECT_EQ(parse(R"(SELECT @Contains(Subject; "x"))").unsupported(), "");
}

TEST(FormulaLanguage, BadFormulasGiveTheirPosition)
{
    struct Case {
        const char* text;
        std::size_t position;
        const char* what;
    };
    const Case cases[] = {
        { R"(SELECT Form = "Memo)", 14, "closing quote" },
        { "SELECT (1 = 1", 13, "expected \")\"" },
        { "SELECT 1 = ", 11, "expected a value" },
        { "SELECT @If(1; 2)", 7, "does not take 2" },
        { "SELECT @IsAvailable(\"x\")", 20, "needs a field name" },
        { "SELECT 1 2", 9, "expected \";\"" },
        { "SELECT a # b", 9, "unexpected character" },
        { "SELECT [01/02/2009", 7, "\"[\" without" },
        { "x := SELECT 1", 5, "may only start a statement" },
        { "", 0, "empty" },
        { "SELECT {abc", 7, "without \"}\"" },
    };
    for (const auto& c : cases) {
        const auto e = parseError(c.text);
        EXPECT_EQ(e.position, c.position) << c.text << ": " << e.describe();
        EXPECT_NE(e.what.find(c.what), std::string::npos) << c.text << ": " << e.what;
    }
}

TEST(FormulaLanguage, HostileInputIsBounded)
{
    // Deep nesting is refused at parse time, not by running out of stack.
    EXPECT_NE(parseError("SELECT " + std::string(5000, '(') + "1" + std::string(5000, ')')).what.find("nested"),
        std::string::npos);
    std::string sum = "SELECT 1";
    for (int i = 0; i < 20000; ++i)
        sum += "+1";
    EXPECT_NE(parseError(sum).what.find("nested"), std::string::npos);
    EXPECT_NE(parseError(std::string(notes::formula::MaxFormulaText + 1, ' ')).what.find("longer"), std::string::npos);
    // Lists and texts that would grow without bound fail the document instead.
    std::string big = "x := \"aaaaaaaaaaaaaaaa\"";
    for (int i = 0; i < 20; ++i)
        big += "; x := x + x";
    EXPECT_NE(errorOf(big + "; SELECT x = \"\""), "");
    std::string list = "x := 1:2:3:4:5:6:7:8";
    for (int i = 0; i < 6; ++i)
        list += "; x := x *+ x";
    EXPECT_NE(errorOf(list + "; SELECT x = 0"), "");
    // Numbers and times out of range are errors, not undefined behaviour.
    EXPECT_EQ(value(R"(@Left("abc"; (1e300 * 1e300) - (1e300 * 1e300)))"), (VariantArray { "" }));
    std::string later = "x := [01/01/2009]";
    for (int i = 0; i < 400; ++i)
        later += "; x := x + 1e12";
    EXPECT_NE(errorOf(later + "; SELECT x > [01/01/2009]"), "");
    FakeDocument doc;
    VariantArray many(60000, Variant("v"));
    doc.set("A", many).set("B", many);
    EXPECT_NE(errorOf("SELECT A *= B:\"w\"", doc), "");
}

} // namespace
