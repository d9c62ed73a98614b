// The Notes client stand-in: reads Notes databases from their DXL export and offers them
// through the automation interface of automation/notes.h.
#pragma once

#include "automation/notes.h"

#include <memory>
#include <string>

namespace notes {

// A session of the stand-in. GetDatabase takes the path of a DXL file and the server "".
std::shared_ptr<automation::NotesSession> CreateNotesSession();

// Registers CreateNotesSession for the program identifier "Notes.NotesSession".
void RegisterNotesSession();

// Why a view of this stand-in lists no documents although its selection formula might select
// some: the formula does not parse, names an unsupported @function (e.g. "its selection formula
// uses @DbLookup, which is not supported") or is missing. Empty when the view was evaluated,
// or for views of other providers.
std::string UnevaluatedReason(const automation::NotesView& view);

// Forgets every cached database index (the next GetDatabase reads its file again).
void ClearDatabaseCache();

} // namespace notes
