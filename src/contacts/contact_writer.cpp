#include "contacts/contact_writer.h"

#include "automation/notes.h"
#include "automation/outlook.h"
#include "common/program_state.h"
#include "common/value_text.h"
#include "export/item_writer.h"
#include "names/name_resolver.h"

namespace contacts {

using automation::NotesDocument;
using automation::Variant;
using exporting::frmSave;
using exporting::Phase;

namespace {
    // The Notes items of the 35 values, in order ("" for the e-mail, which has its own rule).
    constexpr const char* Items[35] = { "FirstName", "MiddleInitial", "LastName", "", "CompanyName", "JobTitle",
        "OfficeStreetAddress", "OfficeCity", "OfficeZip", "OfficeState", "OfficeCountry", "Location", "WebSite",
        "Department", "Manager", "Assistant", "OfficePhoneNumber", "OfficeFAXPhoneNumber", "CellPhoneNumber",
        "PersPager", "MiscPhone1", "MiscPhone2", "MiscPhone3", "StreetAddress", "City", "Zip", "State", "Country",
        "Spouse", "PhoneNumber", "HomeFAXPhoneNumber", "Birthday", "Anniversary", "Comment", "Categories" };

    // The contact's properties, in the order they are assigned, with the row (0-based) each takes.
    struct Assignment {
        const char* property;
        int row;
    };
    constexpr Assignment Assignments[] = { { "FirstName", 0 }, { "MiddleName", 1 }, { "LastName", 2 },
        { "JobTitle", 5 }, { "CompanyName", 4 }, { "BusinessTelephoneNumber", 16 }, { "BusinessFaxNumber", 17 },
        { "HomeTelephoneNumber", 29 }, { "HomeFaxNumber", 30 }, { "MobileTelephoneNumber", 18 }, { "PagerNumber", 19 },
        { "BusinessAddressStreet", 6 }, { "BusinessAddressCity", 7 }, { "BusinessAddressState", 9 },
        { "BusinessAddressPostalCode", 8 }, { "BusinessAddressCountry", 10 }, { "HomeAddressStreet", 23 },
        { "HomeAddressCity", 24 }, { "HomeAddressState", 26 }, { "HomeAddressPostalCode", 25 },
        { "HomeAddressCountry", 27 }, { "Email1Address", 3 }, { "WebPage", 12 }, { "IMAddress", -1 },
        { "Categories", 34 }, { "Department", 13 }, { "OfficeLocation", 11 }, { "Profession", 5 },
        { "ManagerName", 14 }, { "AssistantName", 15 }, { "Spouse", 28 }, { "Body", 33 } };

    // A Group document: a distribution list of its members, each resolved as senders and
    // recipients are (an Internet address as it is, a Notes name by the run's names).
    void writeGroupDocument(frmSave& w, const NotesDocument& doc, std::int32_t i)
    {
        const QString name = common::ItemText(doc, "ListName");
        w.ShowProgress(name, i);
        QStringList members;
        const Variant values = doc.GetItemValue("Members");
        for (const auto& v : values.isArray() ? values.array() : automation::VariantArray { values }) {
            const names::Addressee a = w.Names->Resolve(common::ValueText(v));
            if (!a.address.isEmpty())
                members << QLatin1Char('"')
                        + QString(a.displayName).remove(QLatin1Char('"')).replace(QLatin1Char(';'), QLatin1Char(','))
                        + QStringLiteral("\" <") + a.address + QLatin1Char('>');
        }
        CreateDistListItem(w, w.PstStoreId, 10, name, members, common::ItemText(doc, "ListDescription"));
    }

    void writeContactDocument(frmSave& w, Phase, std::int32_t i)
    {
        const NotesDocument& doc = *common::Program().NotesDoc;
        const QString form = common::ValueText(doc.GetItemValue("Form"));
        if (form == QLatin1String("Group")) {
            writeGroupDocument(w, doc, i);
            return;
        }
        if (form != QLatin1String("Person"))
            return;
        w.ShowProgress(common::ValueText(doc.GetItemValue("FullName")), i);
        QStringList values;
        for (const char* item : Items) {
            if (*item) {
                values << common::ItemText(doc, item);
                continue;
            }
            // The e-mail: the Person document's InternetAddress when it is an Internet address (a
            // mend: Outlook can write to that one), else the third FullName value when there are
            // exactly three, else MailAddress.
            const QString internet = common::ItemText(doc, "InternetAddress");
            if (names::IsInternetAddress(internet)) {
                values << internet;
                continue;
            }
            const Variant fullName = doc.GetItemValue("FullName");
            const bool three = fullName.isArray() && fullName.array().size() == 3;
            values << common::TrimBlanks(
                three ? common::ValueText(fullName.array()[2]) : common::ValueText(doc.GetItemValue("MailAddress")));
        }
        auto date = [&](const char* item) {
            const Variant v = doc.GetItemValue(item).first();
            if (v.type() == Variant::Type::Text)
                return Variant(common::TrimBlanks(QString::fromStdString(v.toText())).toStdString());
            return v;
        };
        CreateContactItem(w, w.PstStoreId, 10, values, date("Birthday"), date("Anniversary"));
    }
} // namespace

void CreateContactItem(frmSave& w, const QString& storeID, std::int16_t FolderName, const QStringList& values,
    const Variant& eBirthday, const Variant& eAnniversary)
{
    exporting::ItemWriter x(w);
    auto value = [&](int row) { return row < values.size() ? values[row] : QString(); };
    x.create(storeID, FolderName, automation::OlItemType::Contact);
    for (const auto& a : Assignments) {
        if (a.row < 0)
            x.set(a.property, value(20) + QLatin1Char(' ') + value(21) + QLatin1Char(' ') + value(22));
        else
            x.set(a.property, value(a.row));
    }
    if (!common::IsEmptyValue(eBirthday))
        x.set("Birthday", eBirthday);
    if (!common::IsEmptyValue(eAnniversary))
        x.set("Anniversary", eAnniversary);
    x.save();
}

void CreateDistListItem(frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& name,
    const QStringList& members, const QString& description)
{
    exporting::ItemWriter x(w);
    x.create(storeID, FolderName, automation::OlItemType::DistList);
    x.set("DLName", name);
    x.set("Body", description);
    for (const QString& member : members)
        x.step([&] { x.item().Recipients()->Add(member.toStdString()); });
    x.save();
}

void InstallContactWriter(frmSave& w) { w.setDocumentWriter(Phase::Contacts, writeContactDocument); }

} // namespace contacts
