// The Notes client stand-in: reads Notes databases from their DXL export and offers them
// through the automation interface of automation/notes.h.
#pragma once

#include "automation/notes.h"

#include <memory>

namespace notes {

// A session of the stand-in. GetDatabase takes the path of a DXL file and the server "".
std::shared_ptr<automation::NotesSession> CreateNotesSession();

// Registers CreateNotesSession for the program identifier "Notes.NotesSession".
void RegisterNotesSession();

// Forgets every cached database index (the next GetDatabase reads its file again).
void ClearDatabaseCache();

} // namespace notes
