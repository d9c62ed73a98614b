#include "names/name_resolver.h"

#include "automation/automation.h"
#include "automation/internet_address.h"
#include "automation/notes.h"
#include "automation/notes_item_values.h"
#include "common/value_text.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <optional>

namespace names {

using automation::AutomationError;
using automation::Variant;

namespace {
    QString unquoted(QString s)
    {
        s = s.trimmed();
        if (s.size() >= 2 && s.front() == QLatin1Char('"') && s.back() == QLatin1Char('"'))
            s = s.mid(1, s.size() - 2).trimmed();
        return s;
    }

    QStringList texts(const Variant& v)
    {
        QStringList out;
        if (v.isArray()) {
            for (const auto& e : v.array())
                if (const QString t = common::ValueText(e).trimmed(); !t.isEmpty())
                    out << t;
        } else if (const QString t = common::ValueText(v).trimmed(); !t.isEmpty()) {
            out << t;
        }
        return out;
    }

    QString firstText(const Variant& v)
    {
        const QStringList t = texts(v);
        return t.isEmpty() ? QString() : t.front();
    }

    // One line of the mapping file split at its commas; a field in double quotes may hold commas
    // and doubled quotes. Empty optional: an unterminated quote.
    std::optional<QStringList> csvFields(const QString& line)
    {
        QStringList fields;
        QString field;
        bool quoted = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (quoted) {
                if (c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else if (c == QLatin1Char('"')) {
                    quoted = false;
                } else {
                    field += c;
                }
            } else if (c == QLatin1Char('"') && field.trimmed().isEmpty()) {
                quoted = true;
                field.clear();
            } else if (c == QLatin1Char(',')) {
                fields << field.trimmed();
                field.clear();
            } else {
                field += c;
            }
        }
        if (quoted)
            return std::nullopt;
        fields << field.trimmed();
        return fields;
    }

    // The placeholders of the address rule and what each takes.
    constexpr std::array<const char*, 5> Placeholders { "first", "last", "short", "initial", "common" };

    // A placeholder's value as it may stand in an address: lower case, without blanks and the
    // characters an address cannot hold unquoted.
    QString addressPart(const QString& s)
    {
        QString out;
        for (QChar c : s.toLower())
            if (!c.isSpace() && !QStringLiteral("()<>@,;:\\\"[]/").contains(c))
                out += c;
        return out;
    }

    // The items LearnDatabase and LoadDirectory read of each document.
    const std::vector<std::string> PersonItems { "Form", "FullName", "InternetAddress", "ShortName", "FirstName",
        "LastName" };
    const std::vector<std::string> DatabaseItems { "Form", "FullName", "InternetAddress", "ShortName", "FirstName",
        "LastName", "From", "INetFrom", "SendTo", "InetSendTo", "CopyTo", "InetCopyTo", "BlindCopyTo",
        "InetBlindCopyTo" };

    // The values of the named items of every document: through the client's own walk where it
    // offers one, else document by document. A document that cannot be read gives no row.
    template <typename Row>
    void eachDocument(const automation::NotesDatabase& db, const std::vector<std::string>& items, Row&& row)
    {
        if (const auto* walk = dynamic_cast<const automation::NotesItemValues*>(&db)) {
            walk->EachItemValues(items, row);
            return;
        }
        for (const std::string& id : db.AllDocumentIDs()) {
            try {
                const auto doc = db.GetDocumentByID(id);
                std::vector<Variant> values;
                for (const auto& name : items)
                    values.push_back(doc->HasItem(name) ? doc->GetItemValue(name) : Variant());
                row(values);
            } catch (const AutomationError&) {
            }
        }
    }

    NameResolver::Person personOf(const std::vector<Variant>& v)
    {
        NameResolver::Person p;
        p.names = texts(v[1]);
        p.internetAddress = firstText(v[2]);
        const QStringList shortNames = texts(v[3]);
        p.names << shortNames;
        p.shortName = shortNames.isEmpty() ? QString() : shortNames.front();
        p.firstName = firstText(v[4]);
        p.lastName = firstText(v[5]);
        return p;
    }
} // namespace

bool IsInternetAddress(const QString& text)
{
    return automation::IsInternetAddress(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

NameForms ParseName(const QString& text)
{
    NameForms f;
    QString t = text.trimmed();
    const auto open = t.lastIndexOf(QLatin1Char('<'));
    if (open >= 0 && t.endsWith(QLatin1Char('>'))) {
        const QString inside = t.mid(open + 1, t.size() - open - 2).trimmed();
        const QString phrase = unquoted(t.left(open));
        if (IsInternetAddress(inside)) {
            f.internet = true;
            f.abbreviated = inside;
            f.common = phrase;
            return f;
        }
        t = inside;
    }
    if (IsInternetAddress(t)) {
        f.internet = true;
        f.abbreviated = t;
        return f;
    }
    // "@Domain" names the Notes domain, not the person.
    if (const auto at = t.lastIndexOf(QLatin1Char('@')); at > 0) {
        const QString domain = t.mid(at + 1);
        if (!domain.contains(QLatin1Char('/')) && !domain.contains(QLatin1Char('=')))
            t = t.left(at).trimmed();
        // An Internet address routed through a Notes domain ("ann@shop.example@Internet").
        if (IsInternetAddress(t)) {
            f.internet = true;
            f.abbreviated = t;
            return f;
        }
    }
    static const QRegularExpression label(QStringLiteral("^[A-Za-z]{1,2}\\s*="));
    QStringList parts = t.split(QLatin1Char('/'));
    for (QString& p : parts) {
        p = p.trimmed();
        if (const auto m = label.match(p); m.hasMatch())
            p = p.mid(m.capturedLength()).trimmed();
    }
    f.abbreviated = parts.join(QLatin1Char('/'));
    f.common = parts.front();
    return f;
}

void NameResolver::key(QHash<QString, int>& map, const QString& k, int entry)
{
    if (k.isEmpty())
        return;
    const QString lower = k.toLower();
    const auto it = map.constFind(lower);
    if (it == map.constEnd() || entries_[static_cast<std::size_t>(*it)].source > entries_[entry].source)
        map.insert(lower, entry);
}

void NameResolver::AddPerson(Source source, const Person& person)
{
    Entry e { source, person.internetAddress.trimmed(), person.displayName.trimmed(), person.firstName.trimmed(),
        person.lastName.trimmed(), person.shortName.trimmed() };
    std::vector<NameForms> forms;
    for (const QString& name : person.names) {
        NameForms f = ParseName(name);
        if (f.internet) {
            // A FullName value may be the person's Internet address.
            if (e.address.isEmpty())
                e.address = f.abbreviated;
            continue;
        }
        if (!f.abbreviated.isEmpty())
            forms.push_back(std::move(f));
    }
    if (!IsInternetAddress(e.address))
        e.address.clear();
    if (forms.empty())
        return;
    if (e.displayName.isEmpty())
        e.displayName = forms.front().common;
    const int index = static_cast<int>(entries_.size());
    entries_.push_back(std::move(e));
    auto& map = entries_.back().address.isEmpty() ? knownOnly_ : byName_;
    for (const auto& f : forms) {
        key(map, f.abbreviated, index);
        key(map, f.common, index);
    }
    if (!entries_.back().address.isEmpty())
        key(byAddress_, entries_.back().address, index);
}

void NameResolver::AddPair(const QString& notesName, const QString& internetAddress)
{
    const NameForms f = ParseName(notesName);
    const QString address = ParseName(internetAddress).internet ? ParseName(internetAddress).abbreviated : QString();
    if (f.internet || f.abbreviated.isEmpty() || address.isEmpty())
        return;
    // Mail carries the same pairs again and again: a name known already adds nothing but the
    // name its address is shown with.
    if (const auto it = byName_.constFind(f.abbreviated.toLower()); it != byName_.constEnd()) {
        if (!byAddress_.contains(address.toLower()))
            byAddress_.insert(address.toLower(), *it);
        return;
    }
    AddPerson(Source::Database, Person { { notesName }, address, {}, {}, {}, {} });
}

void NameResolver::LoadMappingFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw NamesError(
            QStringLiteral("The names file %1 cannot be read: %2.").arg(path, file.errorString()).toStdString());
    LoadMapping(file.readAll(), path);
}

void NameResolver::LoadMapping(const QByteArray& bytes, const QString& path)
{
    QStringDecoder decode(QStringDecoder::Utf8);
    QString text = decode(bytes);
    if (decode.hasError())
        throw NamesError(QStringLiteral("The names file %1 is not UTF-8 text.").arg(path).toStdString());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    std::vector<Person> people;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        auto bad = [&](const QString& why) {
            return NamesError(QStringLiteral("The names file %1 has a malformed line %2: %3. Each line is: notes "
                                             "name,smtp address[,display name].")
                                  .arg(path)
                                  .arg(n + 1)
                                  .arg(why)
                                  .toStdString());
        };
        const auto fields = csvFields(line);
        if (!fields)
            throw bad(QStringLiteral("a quote is not closed"));
        if (fields->size() < 2 || fields->size() > 3)
            throw bad(QStringLiteral("%1 fields instead of 2 or 3").arg(fields->size()));
        const NameForms name = ParseName((*fields)[0]);
        if (name.abbreviated.isEmpty())
            throw bad(QStringLiteral("no Notes name"));
        if (!IsInternetAddress((*fields)[1]))
            throw bad(QStringLiteral("\"%1\" is no Internet address").arg((*fields)[1]));
        people.push_back(
            Person { { (*fields)[0] }, (*fields)[1], fields->size() == 3 ? (*fields)[2] : QString(), {}, {}, {} });
    }
    for (const auto& p : people)
        AddPerson(Source::MappingFile, p);
}

void NameResolver::LoadDirectory(const QString& path)
{
    std::vector<Person> people;
    try {
        auto session = automation::CreateObjectAs<automation::NotesSession>("Notes.NotesSession");
        auto db = session->GetDatabase("", path.toStdString());
        if (!db)
            throw AutomationError("NotesSession", "GetDatabase", "no database");
        eachDocument(*db, PersonItems, [&](const std::vector<Variant>& v) {
            if (firstText(v[0]) == QLatin1String("Person"))
                people.push_back(personOf(v));
        });
    } catch (const AutomationError& e) {
        throw NamesError(QStringLiteral("The Domino Directory export %1 cannot be read: %2.")
                             .arg(path, QString::fromUtf8(e.what()))
                             .toStdString());
    }
    if (people.empty())
        throw NamesError(
            QStringLiteral("The Domino Directory export %1 holds no Person documents.").arg(path).toStdString());
    for (const auto& p : people)
        AddPerson(Source::Directory, p);
}

void NameResolver::SetAddressRule(const QString& rule)
{
    const QString r = rule.trimmed();
    if (r.isEmpty()) {
        rule_.clear();
        return;
    }
    static const QRegularExpression placeholder(QStringLiteral("\\{([^{}]*)\\}"));
    bool any = false;
    for (auto it = placeholder.globalMatch(r); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (std::none_of(
                Placeholders.begin(), Placeholders.end(), [&](const char* p) { return name == QLatin1String(p); }))
            throw NamesError(QStringLiteral("The address rule %1 has an unknown placeholder {%2}; it may use {first}, "
                                            "{last}, {short}, {initial} and {common}.")
                                 .arg(r, name)
                                 .toStdString());
        any = true;
    }
    QString rest = r;
    rest.remove(placeholder);
    if (rest.contains(QLatin1Char('{')) || rest.contains(QLatin1Char('}')))
        throw NamesError(
            QStringLiteral("The address rule %1 has a brace that closes no placeholder.").arg(r).toStdString());
    if (!any || !r.contains(QLatin1Char('@')))
        throw NamesError(QStringLiteral("The address rule %1 makes no address: it needs placeholders, \"@\" and a "
                                        "domain, as in {first}.{last}@acme.example.")
                             .arg(r)
                             .toStdString());
    rule_ = r;
}

void NameResolver::LearnDatabase(const automation::NotesDatabase& db)
{
    eachDocument(db, DatabaseItems, [&](const std::vector<Variant>& v) {
        if (firstText(v[0]) == QLatin1String("Person")) {
            AddPerson(Source::Database, personOf(v));
            return;
        }
        const QString from = firstText(v[6]);
        if (!from.isEmpty())
            AddPair(from, firstText(v[7]));
        for (std::size_t k = 8; k + 1 < DatabaseItems.size(); k += 2) {
            const auto notes = v[k].isArray() ? v[k].array() : automation::VariantArray { v[k] };
            const auto inet = v[k + 1].isArray() ? v[k + 1].array() : automation::VariantArray { v[k + 1] };
            for (std::size_t j = 0; j < notes.size() && j < inet.size(); ++j)
                AddPair(common::ValueText(notes[j]), common::ValueText(inet[j]));
        }
    });
}

const NameResolver::Entry* NameResolver::lookup(const QHash<QString, int>& map, const NameForms& f) const
{
    const Entry* best = nullptr;
    for (const QString& k : { f.abbreviated, f.common }) {
        const auto it = map.constFind(k.toLower());
        if (it == map.constEnd())
            continue;
        const Entry* e = &entries_[static_cast<std::size_t>(*it)];
        if (!best || e->source < best->source)
            best = e;
    }
    return best;
}

QString NameResolver::applyRule(const NameForms& f, const Entry* known) const
{
    const QStringList words = f.common.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString first = known ? known->firstName : QString();
    QString last = known ? known->lastName : QString();
    if (first.isEmpty() && last.isEmpty() && words.size() >= 2) {
        first = words.front();
        last = words.back();
    }
    const QString values[] = { first, last, known ? known->shortName : QString(), first.left(1), f.common };
    // One pass over the rule: a value holding a placeholder's text stays as it is.
    QString out;
    for (qsizetype i = 0; i < rule_.size();) {
        const qsizetype open = rule_.indexOf(QLatin1Char('{'), i);
        const qsizetype close = open < 0 ? -1 : rule_.indexOf(QLatin1Char('}'), open);
        if (close < 0) {
            out += QStringView(rule_).mid(i);
            break;
        }
        out += QStringView(rule_).mid(i, open - i);
        const QStringView name = QStringView(rule_).mid(open + 1, close - open - 1);
        const auto k
            = static_cast<std::size_t>(std::find_if(Placeholders.begin(), Placeholders.end(), [&](const char* p) {
                  return name == QLatin1String(p);
              }) - Placeholders.begin());
        const QString value = k >= Placeholders.size() ? QString()
            : k == 4 ? addressPart(QString(values[k]).replace(QLatin1Char(' '), QLatin1Char('.')))
                     : addressPart(values[k]);
        if (value.isEmpty())
            return QString();
        out += value;
        i = close + 1;
    }
    return IsInternetAddress(out) ? out : QString();
}

QString AddresseeEntry(const Addressee& a)
{
    if (a.address.isEmpty())
        return QString();
    QString name = a.displayName;
    name.replace(QLatin1Char(';'), QLatin1Char(',')).replace(QLatin1Char('"'), QLatin1Char('\''));
    name.replace(QLatin1Char('<'), QLatin1Char('(')).replace(QLatin1Char('>'), QLatin1Char(')'));
    return QLatin1Char('"') + name + QStringLiteral("\" <") + a.address + QLatin1Char('>');
}

Addressee NameResolver::Resolve(const QString& notesName, const QString& internetAddress)
{
    Addressee a;
    const NameForms f = ParseName(notesName);
    const NameForms inet = ParseName(internetAddress);
    auto displayOf = [&](const NameForms& forms) {
        if (const Entry* e = lookup(byName_, forms))
            return e->displayName;
        if (const Entry* e = lookup(knownOnly_, forms))
            return e->displayName;
        return forms.common;
    };
    auto internet = [&](const NameForms& addr, const NameForms& person) {
        a.address = addr.abbreviated;
        a.addressType = QStringLiteral("SMTP");
        a.resolved = true;
        a.displayName = !person.abbreviated.isEmpty() && !person.internet ? displayOf(person) : addr.common;
        if (a.displayName.isEmpty())
            if (const auto it = byAddress_.constFind(addr.abbreviated.toLower()); it != byAddress_.constEnd())
                a.displayName = entries_[static_cast<std::size_t>(*it)].displayName;
        if (a.displayName.isEmpty())
            a.displayName = a.address;
        return a;
    };
    if (f.internet)
        return internet(f, NameForms {});
    // The user's own sources come before the address the document gives beside the name.
    const Entry* e = f.abbreviated.isEmpty() ? nullptr : lookup(byName_, f);
    if (inet.internet && (!e || e->source >= Source::Database))
        return internet(inet, f);
    if (e)
        return Addressee { e->displayName, e->address, QStringLiteral("SMTP"), true };
    if (f.abbreviated.isEmpty())
        return a;
    if (learnLater_) {
        const auto learn = std::move(learnLater_);
        learnLater_ = nullptr;
        learn(*this);
        return Resolve(notesName, internetAddress);
    }
    const Entry* known = lookup(knownOnly_, f);
    a.displayName = known ? known->displayName : f.common;
    if (!rule_.isEmpty())
        if (const QString address = applyRule(f, known); !address.isEmpty()) {
            a.address = address;
            a.addressType = QStringLiteral("SMTP");
            a.resolved = true;
            return a;
        }
    a.address = f.abbreviated;
    a.addressType = QStringLiteral("NOTES");
    ++unresolved_[f.abbreviated];
    return a;
}

std::vector<std::pair<QString, int>> NameResolver::Unresolved() const
{
    std::vector<std::pair<QString, int>> out;
    for (auto it = unresolved_.constBegin(); it != unresolved_.constEnd(); ++it)
        out.emplace_back(it.key(), it.value());
    std::sort(out.begin(), out.end(),
        [](const auto& x, const auto& y) { return x.second != y.second ? x.second > y.second : x.first < y.first; });
    return out;
}

} // namespace names
