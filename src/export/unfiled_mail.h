// Where documents go that no exported Notes folder or view gave to a phase of the run: mail
// that was removed from every folder (Notes keeps it in All Documents), mail of an export that
// holds no folder membership at all, junk mail, and documents of other forms (a discussion
// topic, a single note exported on its own), which arrive as messages.
#pragma once

#include <QString>

#include <cstdint>

namespace automation {
class NotesDocument;
}

namespace exporting {

enum class UnfiledTarget : std::uint8_t {
    Left, // a profile document, or a calendar, to-do, contact or journal document: left to its
          // category's phase (which may not have been chosen) and listed in the report
    Inbox,
    SentItems,
    Drafts,
    AllDocuments, // the user folder "All Documents"
    JunkMail, // the user folder "Junk E-mail"
};

struct UnfiledPlacement {
    UnfiledTarget target = UnfiledTarget::Left;
    QString why; // for the report
};

// The user folders unfiled mail may go to.
inline constexpr const char* AllDocumentsFolder = "All Documents";
inline constexpr const char* JunkMailFolder = "Junk E-mail";

// Where one document goes. inJunkFolder: it is in Notes' ($JunkMail) folder. noMembership:
// why the database holds no folder membership for its Inbox (empty when it does): its mail
// then goes by its own fields, received mail to the Inbox, sent mail to Sent Items, the rest
// to Drafts; otherwise mail in no exported folder goes to "All Documents". Documents of
// other forms go to "All Documents" either way.
UnfiledPlacement PlaceUnfiledDocument(
    const automation::NotesDocument& doc, bool inJunkFolder, const QString& noMembership);

} // namespace exporting
