package lotus.domino;

import java.util.Vector;

/** Compile-only stand-in for lotus.domino.Database (Notes.jar); only the members Ferrymark uses. */
public interface Database extends Base {
    boolean isOpen() throws NotesException;

    boolean open() throws NotesException;

    String getFilePath() throws NotesException;

    /** The views and folders, as View objects (a raw Vector, as Notes.jar declares it). */
    @SuppressWarnings("rawtypes")
    Vector getViews() throws NotesException;

    NoteCollection createNoteCollection(boolean selectAllFlag) throws NotesException;
}
