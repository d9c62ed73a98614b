#include "program_state.h"

#include "automation/notes.h"

namespace common {

void ProgramState::releaseNotes()
{
    NotesDoc.reset();
    NotesView.reset();
    NotesDb.reset();
    NotesSession.reset();
}

ProgramState& Program()
{
    static ProgramState state;
    return state;
}

} // namespace common
