package lotus.domino;

/** Compile-only stand-in for lotus.domino.ViewEntryCollection (Notes.jar); only the members Ferrymark uses. */
public interface ViewEntryCollection extends Base {
    ViewEntry getFirstEntry() throws NotesException;

    ViewEntry getNextEntry(ViewEntry entry) throws NotesException;
}
