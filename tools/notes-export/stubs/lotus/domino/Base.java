package lotus.domino;

/** Compile-only stand-in for lotus.domino.Base (Notes.jar); only the members Ferrymark uses. */
public interface Base {
    void recycle() throws NotesException;
}
