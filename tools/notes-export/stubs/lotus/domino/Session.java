package lotus.domino;

/** Compile-only stand-in for lotus.domino.Session (Notes.jar); only the members Ferrymark uses. */
public interface Session extends Base {
    Database getDatabase(String server, String db) throws NotesException;

    DbDirectory getDbDirectory(String server) throws NotesException;

    DxlExporter createDxlExporter() throws NotesException;
}
