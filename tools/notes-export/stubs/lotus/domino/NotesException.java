package lotus.domino;

/**
 * Compile-only stand-in for lotus.domino.NotesException (Notes.jar), which carries the Notes error
 * number in {@code id} and its message in {@code text}.
 */
public class NotesException extends Exception {
    private static final long serialVersionUID = 1L;

    public int id;
    public String text;

    public NotesException() {}

    public NotesException(int id, String text) {
        super(text);
        this.id = id;
        this.text = text;
    }
}
