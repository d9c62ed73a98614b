package lotus.domino;

/** Compile-only stand-in for lotus.domino.NotesFactory (Notes.jar). */
public class NotesFactory {
    public static Session createSession() throws NotesException {
        throw new UnsupportedOperationException("put Notes.jar on the class path");
    }

    public static Session createSession(String host, String user, String passwd) throws NotesException {
        throw new UnsupportedOperationException("put Notes.jar on the class path");
    }
}
