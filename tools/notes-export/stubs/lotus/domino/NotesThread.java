package lotus.domino;

/** Compile-only stand-in for lotus.domino.NotesThread (Notes.jar). */
public class NotesThread extends Thread {
    public static void sinitThread() {
        throw new UnsupportedOperationException("put Notes.jar on the class path");
    }

    public static void stermThread() {
        throw new UnsupportedOperationException("put Notes.jar on the class path");
    }
}
