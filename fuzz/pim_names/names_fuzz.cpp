// Feeds arbitrary bytes to the name resolver as the user's input. The input is up to three
// sections split at form feeds: the names file, the address rule, then names to resolve, one a
// line ("Notes name" or "Notes name<TAB>Internet address"). Bad input may only be refused with
// NamesError; every addressee is either unknown (empty), an SMTP address or a Notes name.
#include "names/name_resolver.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

namespace {
void check(bool holds)
{
    if (!holds)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> sections = input.split('\f');
    names::NameResolver resolver;
    try {
        resolver.LoadMapping(sections.value(0), QStringLiteral("names.csv"));
    } catch (const names::NamesError&) {
    }
    try {
        resolver.SetAddressRule(QString::fromUtf8(sections.value(1)));
    } catch (const names::NamesError&) {
    }
    for (const QByteArray& line : sections.value(2).split('\n')) {
        const QList<QByteArray> parts = line.split('\t');
        const names::Addressee a
            = resolver.Resolve(QString::fromUtf8(parts.value(0)), QString::fromUtf8(parts.value(1)));
        if (a.address.isEmpty()) {
            check(!a.resolved && a.addressType.isEmpty());
        } else if (a.addressType == QLatin1String("SMTP")) {
            check(a.resolved && a.address.contains(QLatin1Char('@')));
        } else {
            check(!a.resolved && a.addressType == QLatin1String("NOTES"));
        }
        (void)names::AddresseeEntry(a);
    }
    (void)resolver.Unresolved();
    return 0;
}
