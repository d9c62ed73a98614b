// The names of people as Outlook knows them: a Notes name ("CN=Dan Ray/OU=Sales/O=Acme",
// "Dan Ray/Sales/Acme", "Dan Ray", a short name, each with or without "@Domain") becomes an
// SMTP address and a display name. Used by the mail writers for senders and recipients.
//
// Sources, most trusted first: the mapping file the user gives (CSV "notes name,smtp address
// [,display name]"), the Domino Directory export the user gives (Person documents), the
// database itself (its Person documents and the Notes name / Internet address pairs its mail
// carries), and last the address rule the user gives ("{first}.{last}@acme.example"), which is
// applied only when nothing else knows the name.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace automation {
class NotesDatabase;
}

namespace names {

// Bad input of the user's: the mapping file, the directory export or the rule. what() says
// which, where and why, for a person to read.
class NamesError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether a text is an Internet address rather than a Notes name, by the program's one rule
// (automation::IsInternetAddress): "dray@acme.example" is one; "Dan Ray/Acme", "Dan Ray@Acme"
// and "dray@acme" are not.
bool IsInternetAddress(const QString& text);

// The forms of one name. A Notes name has its abbreviated form ("Dan Ray/Sales/Acme", no
// component labels, no "@Domain") and its common name ("Dan Ray"); an Internet address keeps
// its text (and the phrase of "Name <address>" as its common name).
struct NameForms {
    bool internet = false;
    QString abbreviated; // Notes name; for an Internet address, the address
    QString common;
};
NameForms ParseName(const QString& text);

// What a sender or a recipient becomes.
struct Addressee {
    QString displayName;
    QString address;
    QString addressType; // "SMTP" or "NOTES"
    bool resolved = false; // false: a Notes name nothing knew
};

// "Name <address>" of a resolved person, as recipient lists and organizers travel to the Outlook
// items (the address type then follows from the address by the same rule); the name loses the
// characters that would end it or the entry. Empty for no address.
QString AddresseeEntry(const Addressee& a);

class NameResolver {
public:
    enum class Source : std::uint8_t { MappingFile, Directory, Database };

    // What a Person document (or a line of the mapping file) says of one person.
    struct Person {
        QStringList names; // FullName values, ShortName values, the mapping file's name
        QString internetAddress;
        QString displayName; // empty: the common name of the first Notes name
        QString firstName, lastName, shortName;
    };

    // Each throws NamesError, leaving the resolver as it was before the call.
    void LoadMappingFile(const QString& path);
    // The same, from the file's bytes; path names the file in the errors.
    void LoadMapping(const QByteArray& bytes, const QString& path);
    void LoadDirectory(const QString& path); // a DXL export, read through the Notes client
    void SetAddressRule(const QString& rule);

    // Person documents and mail name pairs of a database (the Database source). Reads only the
    // items it needs; documents that cannot be read are passed over.
    void LearnDatabase(const automation::NotesDatabase& db);
    // The same, put off until a name is met that the user's sources and the document's own
    // address leave unknown: then learn is called once (it calls LearnDatabase) and the name is
    // looked up again. A run whose names all resolve without the database reads it not at all.
    void LearnDatabaseWhenNeeded(std::function<void(NameResolver&)> learn) { learnLater_ = std::move(learn); }

    void AddPerson(Source source, const Person& person);
    // A Notes name and the Internet address a mail document gives at the same position.
    void AddPair(const QString& notesName, const QString& internetAddress);

    // The addressee for a Notes name and the Internet address beside it (empty, or "." for
    // none). An unresolved Notes name is counted.
    Addressee Resolve(const QString& notesName, const QString& internetAddress = QString());

    // Names that stayed unresolved, with how often, most frequent first.
    std::vector<std::pair<QString, int>> Unresolved() const;

    bool HasRule() const { return !rule_.isEmpty(); }

private:
    struct Entry {
        Source source;
        QString address; // empty: the person is known, the address not
        QString displayName;
        QString firstName, lastName, shortName;
    };
    // Adds a key for an entry, where no more trusted entry holds it already.
    void key(QHash<QString, int>& map, const QString& key, int entry);
    const Entry* lookup(const QHash<QString, int>& map, const NameForms& forms) const;
    QString applyRule(const NameForms& forms, const Entry* known) const;

    std::vector<Entry> entries_;
    // Lower-case abbreviated forms, common and short names, of entries with an address and of
    // those without (known for their display name and the rule's placeholders).
    QHash<QString, int> byName_;
    QHash<QString, int> knownOnly_;
    QHash<QString, int> byAddress_; // lower-case Internet address, for its display name
    QString rule_;
    QHash<QString, int> unresolved_;
    std::function<void(NameResolver&)> learnLater_;
};

} // namespace names
