// Mail migration: the mail item writers, the per-document work of the mail phases, and the
// folders the custom-folder phase makes.
#pragma once

#include "automation/variant.h"
#include "export/frm_save.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace automation {
class NotesDocument;
class RDOFolder;
}
namespace names {
struct Addressee;
}

namespace mail {

// Writes one mail item into the folder at FolderName below the store's top ("Projects\2009").
// eFrom is the sender as the run's names resolved it.
void CreateEmailItem(exporting::frmSave& w, const QString& FolderName, const names::Addressee& eFrom,
    const QString& eSubject, const QString& eTo, const QString& eCC, const QString& eBCC,
    const automation::Variant& eDate, const QString& eBody, const QString& eAttachFileName);

// Writes one mail item into a default folder (6 Inbox, 5 Sent Items, 16 Drafts, 3 Deleted Items).
void CreateDefaultEmailItem(exporting::frmSave& w, const QString& storeID, std::int16_t FolderName,
    const names::Addressee& eFrom, const QString& eSubject, const QString& eTo, const QString& eCC, const QString& eBCC,
    const automation::Variant& eDate, const QString& eBody, const QString& eAttachFileName);

// The Outlook folder at a "\"-separated path from the top of the profile ("\Store\A\B"), or none.
std::shared_ptr<automation::RDOFolder> OpenMAPIFolder(QString szPath);

// Extracts the document's file attachments into numbered files of the run's temporary folder
// and returns their paths each preceded by "|" (empty when there are none). One that cannot be
// extracted is left out and counted as not written.
QString ExtractAttachments(exporting::frmSave& w, const automation::NotesDocument& doc);

// Attaches the files of such a list to the item being written, each under its attachment's
// name (a file that no extraction made, under its own), deleting each file afterwards; one
// that cannot be attached is counted as not written.
void AddAttachments(exporting::frmSave& w, const QString& eAttachFileName);

// Plugs the mail writers and the custom folder maker into a progress window.
void InstallMailWriters(exporting::frmSave& w);

} // namespace mail
