package lotus.domino;

/** Compile-only stand-in for lotus.domino.ViewEntry (Notes.jar); only the members Ferrymark uses. */
public interface ViewEntry extends Base {
    boolean isDocument() throws NotesException;

    /** Hexadecimal note ID of the entry's document. */
    String getNoteID() throws NotesException;
}
