package lotus.domino;

/** Compile-only stand-in for lotus.domino.NoteCollection (Notes.jar); only the members Ferrymark uses. */
public interface NoteCollection extends Base {
    void setSelectDocuments(boolean flag) throws NotesException;

    void buildCollection() throws NotesException;

    /** Hexadecimal note ID; empty when the collection is empty. */
    String getFirstNoteID() throws NotesException;

    /** The note after noteid; empty after the last. */
    String getNextNoteID(String noteid) throws NotesException;

    void add(int noteid) throws NotesException;
}
