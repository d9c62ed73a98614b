package ferrymark.notesexport;

import java.io.BufferedWriter;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.PrintStream;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.Vector;

import lotus.domino.Database;
import lotus.domino.DbDirectory;
import lotus.domino.DxlExporter;
import lotus.domino.NoteCollection;
import lotus.domino.NotesException;
import lotus.domino.Session;
import lotus.domino.View;
import lotus.domino.ViewEntry;
import lotus.domino.ViewEntryCollection;

/**
 * Exports Notes databases to DXL files that Ferrymark reads with every view's and folder's
 * documents in view order.
 *
 * The Java DxlExporter returns its output as one String, which a mail file of gigabytes would not
 * fit in. So the design notes are exported first, then the documents in batches of note IDs, and
 * the pieces are joined into one database element as they are written ({@link DxlSplicer}).
 */
final class Exporter {
    private final Session session;
    private final String server;
    private final Path outDir;
    private final int batchSize;
    private final PrintStream out;
    private final PrintStream err;

    Exporter(Session session, String server, Path outDir, int batchSize, PrintStream out, PrintStream err) {
        this.session = session;
        this.server = server;
        this.outDir = outDir;
        this.batchSize = batchSize;
        this.out = out;
        this.err = err;
    }

    /**
     * Exports each database (as Notes names it: relative to the data directory, or a full path)
     * and every .nsf database directly in each folder. Returns how many could not be exported.
     */
    int run(List<String> databases, List<String> folders) {
        int failed = 0;
        final List<String> all = new ArrayList<>(databases);
        for (String folder : folders) {
            try {
                final List<String> found = databasesInFolder(folder);
                if (found.isEmpty()) {
                    err.println("warning: " + folder + ": no .nsf database in this folder");
                }
                all.addAll(found);
            } catch (NotesException e) {
                err.println("error: " + folder + ": the folder cannot be listed: " + reason(e));
                ++failed;
            }
        }
        final Set<String> taken = new HashSet<>();
        int exported = 0;
        for (String path : all) {
            final Path target = outDir.resolve(dxlName(path, taken));
            try {
                exportOne(path, target);
                out.println(path + " -> " + target);
                ++exported;
            } catch (NotesException e) {
                err.println("error: " + path + ": " + reason(e));
                ++failed;
            } catch (IOException | RuntimeException e) {
                err.println("error: " + path + ": " + e.getMessage());
                ++failed;
            }
        }
        out.println("exported " + exported + " of " + all.size() + " databases");
        return failed;
    }

    /**
     * The .nsf databases directly in a folder of the data directory, sorted by path. The path
     * separator may be / or \ in either.
     */
    List<String> databasesInFolder(String folder) throws NotesException {
        String prefix = folder.replace('\\', '/');
        while (prefix.endsWith("/")) {
            prefix = prefix.substring(0, prefix.length() - 1);
        }
        prefix = prefix.isEmpty() ? "" : prefix.toLowerCase(Locale.ROOT) + "/";
        final List<String> found = new ArrayList<>();
        final DbDirectory dir = session.getDbDirectory(server);
        for (Database db = dir.getFirstDatabase(DbDirectory.DATABASE); db != null;) {
            final String path = db.getFilePath();
            final String p = path.replace('\\', '/').toLowerCase(Locale.ROOT);
            if (p.startsWith(prefix) && p.indexOf('/', prefix.length()) < 0 && p.endsWith(".nsf")) {
                found.add(path);
            }
            final Database next = dir.getNextDatabase();
            db.recycle();
            db = next;
        }
        dir.recycle();
        Collections.sort(found, String.CASE_INSENSITIVE_ORDER);
        return found;
    }

    /**
     * The DXL file name for a database path: its file name with .dxl for its extension; names
     * already taken (in any case, as Windows and macOS compare them) get -2, -3, ...
     */
    static String dxlName(String databasePath, Set<String> taken) {
        String name = databasePath.substring(Math.max(databasePath.lastIndexOf('/'), databasePath.lastIndexOf('\\')) + 1);
        final int dot = name.lastIndexOf('.');
        if (dot >= 0) {
            name = name.substring(0, dot);
        }
        name = name.replaceAll("[<>:\"|?*\\x00-\\x1f]", "_");
        if (name.isEmpty()) {
            name = "database";
        }
        String candidate = name + ".dxl";
        for (int n = 2; !taken.add(candidate.toLowerCase(Locale.ROOT)); ++n) {
            candidate = name + "-" + n + ".dxl";
        }
        return candidate;
    }

    static void configure(DxlExporter exporter) throws NotesException {
        exporter.setMIMEOption(DxlExporter.DXLMIMEOPTION_RAW); // native MIME as its own bytes
        exporter.setRichTextOption(DxlExporter.DXLRICHTEXTOPTION_DXL);
        exporter.setConvertNotesBitmapsToGIF(true);
        exporter.setUncompressAttachments(true);
        exporter.setOutputDOCTYPE(false);
        exporter.setExitOnFirstFatalError(false); // a note it cannot convert does not end the export
    }

    /** Writes target.partial and renames it to target once complete; removes it on failure. */
    private void exportOne(String path, Path target) throws NotesException, IOException {
        final Database db = session.getDatabase(server, path);
        if (db == null) {
            throw new IOException("the database does not exist");
        }
        try {
            if (!db.isOpen() && !db.open()) {
                throw new IOException("the database cannot be opened");
            }
            final Map<String, int[]> entries = new HashMap<>();
            final Map<String, String> names = new HashMap<>();
            collectEntries(db, entries, names);
            final Path partial = target.resolveSibling(target.getFileName() + ".partial");
            boolean done = false;
            try {
                final Set<String> written = writeDxl(db, partial, entries);
                for (Map.Entry<String, String> view : names.entrySet()) {
                    if (!written.contains(view.getKey())) {
                        err.println("warning: " + path + ": view " + view.getValue()
                                + " is not in the DXL; its documents are listed nowhere");
                    }
                }
                move(partial, target);
                done = true;
            } finally {
                if (!done) {
                    Files.deleteIfExists(partial);
                }
            }
        } finally {
            db.recycle();
        }
    }

    private Set<String> writeDxl(Database db, Path partial, Map<String, int[]> entries)
            throws NotesException, IOException {
        final DxlExporter exporter = session.createDxlExporter();
        try (Writer w = new BufferedWriter(
                new OutputStreamWriter(Files.newOutputStream(partial), StandardCharsets.UTF_8), 1 << 16)) {
            configure(exporter);
            final DxlSplicer splicer = new DxlSplicer(w, entries);

            final NoteCollection design = db.createNoteCollection(true);
            design.setSelectDocuments(false);
            design.buildCollection();
            splicer.header(exporter.exportDxl(design));
            design.recycle();

            final NoteCollection documents = db.createNoteCollection(false);
            documents.setSelectDocuments(true);
            documents.buildCollection();
            String id = documents.getFirstNoteID();
            while (!id.isEmpty()) {
                final NoteCollection batch = db.createNoteCollection(false);
                for (int n = 0; n < batchSize && !id.isEmpty(); ++n) {
                    batch.add(Integer.parseUnsignedInt(id, 16));
                    id = documents.getNextNoteID(id);
                }
                splicer.documents(exporter.exportDxl(batch));
                batch.recycle();
            }
            documents.recycle();
            splicer.finish();
            final String log = exporter.getLog();
            if (log != null && !log.trim().isEmpty()) {
                err.println("warning: the DXL exporter reported: " + log.trim());
            }
            return splicer.viewsWritten();
        } finally {
            exporter.recycle();
        }
    }

    /** Note IDs of the documents of every view and folder, in view order, by the view's UNID. */
    private static void collectEntries(Database db, Map<String, int[]> entries, Map<String, String> names)
            throws NotesException {
        final Vector<?> views = db.getViews();
        if (views == null) {
            return;
        }
        for (Object o : views) {
            final View view = (View) o;
            final String unid = view.getUniversalID().toUpperCase(Locale.ROOT);
            names.put(unid, view.getName());
            entries.put(unid, documentIds(view));
            view.recycle();
        }
    }

    /**
     * The note IDs of a view's documents in view order. Categories and totals are no documents;
     * a document shown more than once (categorized by a field of several values) is listed once.
     */
    static int[] documentIds(View view) throws NotesException {
        view.setAutoUpdate(false);
        final ViewEntryCollection all = view.getAllEntries();
        int[] ids = new int[64];
        int count = 0;
        final Set<Integer> seen = new HashSet<>();
        ViewEntry entry = all.getFirstEntry();
        while (entry != null) {
            if (entry.isDocument()) {
                final int id = Integer.parseUnsignedInt(entry.getNoteID(), 16);
                if (seen.add(id)) {
                    if (count == ids.length) {
                        ids = Arrays.copyOf(ids, count * 2);
                    }
                    ids[count++] = id;
                }
            }
            final ViewEntry next = all.getNextEntry(entry);
            entry.recycle();
            entry = next;
        }
        all.recycle();
        return Arrays.copyOf(ids, count);
    }

    private static void move(Path from, Path to) throws IOException {
        try {
            Files.move(from, to, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
        } catch (AtomicMoveNotSupportedException e) {
            Files.move(from, to, StandardCopyOption.REPLACE_EXISTING);
        }
    }

    static String reason(NotesException e) {
        final String text = e.text != null && !e.text.isEmpty() ? e.text : String.valueOf(e.getMessage());
        return e.id != 0 ? text + " (Notes error " + e.id + ")" : text;
    }
}
