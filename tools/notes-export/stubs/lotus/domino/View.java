package lotus.domino;

/** Compile-only stand-in for lotus.domino.View (Notes.jar); only the members Ferrymark uses. */
public interface View extends Base {
    String getName() throws NotesException;

    String getUniversalID() throws NotesException;

    void setAutoUpdate(boolean flag) throws NotesException;

    ViewEntryCollection getAllEntries() throws NotesException;
}
