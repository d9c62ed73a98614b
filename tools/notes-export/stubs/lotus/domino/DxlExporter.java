package lotus.domino;

/** Compile-only stand-in for lotus.domino.DxlExporter (Notes.jar); only the members Ferrymark uses. */
public interface DxlExporter extends Base {
    int DXLMIMEOPTION_DXL = 0;
    int DXLMIMEOPTION_RAW = 1;
    int DXLRICHTEXTOPTION_DXL = 0;
    int DXLRICHTEXTOPTION_RAW = 1;

    void setMIMEOption(int option) throws NotesException;

    void setRichTextOption(int option) throws NotesException;

    void setConvertNotesBitmapsToGIF(boolean flag) throws NotesException;

    void setUncompressAttachments(boolean flag) throws NotesException;

    void setOutputDOCTYPE(boolean flag) throws NotesException;

    void setExitOnFirstFatalError(boolean flag) throws NotesException;

    String getLog() throws NotesException;

    String exportDxl(NoteCollection notes) throws NotesException;
}
