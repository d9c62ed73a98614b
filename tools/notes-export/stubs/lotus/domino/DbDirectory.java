package lotus.domino;

/** Compile-only stand-in for lotus.domino.DbDirectory (Notes.jar); only the members Ferrymark uses. */
public interface DbDirectory extends Base {
    int DATABASE = 1247;

    Database getFirstDatabase(int type) throws NotesException;

    Database getNextDatabase() throws NotesException;
}
