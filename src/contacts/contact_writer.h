// Contact migration: the Person documents of the People view become Outlook contacts, its Group
// documents distribution lists.
#pragma once

#include "automation/variant.h"
#include "export/frm_save.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace contacts {

// The 35 values of a contact, in the order of its Notes items: FirstName, MiddleInitial,
// LastName, e-mail, CompanyName, JobTitle, the office address (street, city, zip, state,
// country), Location, WebSite, Department, Manager, Assistant, the office, fax, cell and pager
// numbers, three misc phones, the home address (street, city, zip, state, country), Spouse,
// PhoneNumber, HomeFAXPhoneNumber, Birthday, Anniversary, Comment, Categories. Birthday and
// Anniversary travel as the date values themselves (eBirthday, eAnniversary), never as text in
// the locale's short form, whose two-digit year moved 2005 to 1905; rows 31 and 32 of values are
// not read.
void CreateContactItem(exporting::frmSave& w, const QString& storeID, std::int16_t FolderName,
    const QStringList& values, const automation::Variant& eBirthday = {}, const automation::Variant& eAnniversary = {});

// Writes one distribution list of that name: each member ("Name <address>", or an address) a
// one-off member.
void CreateDistListItem(exporting::frmSave& w, const QString& storeID, std::int16_t FolderName, const QString& name,
    const QStringList& members, const QString& description);

// Plugs the contact writer into a progress window.
void InstallContactWriter(exporting::frmSave& w);

} // namespace contacts
