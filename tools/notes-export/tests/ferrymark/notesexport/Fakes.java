package ferrymark.notesexport;

import java.lang.reflect.InvocationHandler;
import java.lang.reflect.Method;
import java.lang.reflect.Proxy;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
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

/** In-memory stand-ins for the Notes objects the exporter uses, behaving as the Javadoc describes. */
final class Fakes {
    private Fakes() {}

    static final class FakeSession implements Session {
        final Map<String, FakeDatabase> databases = new LinkedHashMap<>();
        final List<FakeExporter> exporters = new ArrayList<>();
        String lastServer;
        int failExportCall; // the exporter call (1-based, over the session) that throws; 0: none
        int exportCalls;

        FakeDatabase add(FakeDatabase db) {
            databases.put(db.path, db);
            return db;
        }

        @Override
        public Database getDatabase(String server, String db) {
            lastServer = server;
            final FakeDatabase found = databases.get(db);
            // Notes hands out an unopened Database for a path that names nothing; open() then fails.
            return found != null ? found : new FakeDatabase(db, "", "");
        }

        @Override
        public DbDirectory getDbDirectory(String server) {
            return new FakeDirectory(new ArrayList<>(databases.keySet()));
        }

        @Override
        public DxlExporter createDxlExporter() {
            final FakeExporter e = new FakeExporter(this);
            exporters.add(e);
            return (DxlExporter) Proxy.newProxyInstance(DxlExporter.class.getClassLoader(),
                    new Class<?>[] {DxlExporter.class}, e);
        }

        @Override
        public void recycle() {}
    }

    static final class FakeDirectory implements DbDirectory {
        private final List<String> paths;
        private int next;

        FakeDirectory(List<String> paths) {
            this.paths = paths;
        }

        @Override
        public Database getFirstDatabase(int type) {
            next = 0;
            return getNextDatabase();
        }

        @Override
        public Database getNextDatabase() {
            return next < paths.size() ? new FakeDatabase(paths.get(next++), "", "") : null;
        }

        @Override
        public void recycle() {}
    }

    static final class Note {
        final int id;
        final boolean document;
        final String dxl;

        Note(int id, boolean document, String dxl) {
            this.id = id;
            this.document = document;
            this.dxl = dxl;
        }
    }

    static final class FakeDatabase implements Database {
        final String path;
        final String title;
        final String replicaId;
        final Map<Integer, Note> notes = new LinkedHashMap<>();
        final List<FakeView> views = new ArrayList<>();
        boolean opened;
        boolean openable;

        FakeDatabase(String path, String title, String replicaId) {
            this.path = path;
            this.title = title;
            this.replicaId = replicaId;
            this.openable = !replicaId.isEmpty();
        }

        void note(int id, boolean document, String dxl) {
            notes.put(id, new Note(id, document, dxl));
        }

        FakeView view(FakeView v) {
            views.add(v);
            return v;
        }

        @Override
        public boolean isOpen() {
            return opened;
        }

        @Override
        public boolean open() throws NotesException {
            if (!openable) {
                throw new NotesException(4005, "File does not exist");
            }
            opened = true;
            return true;
        }

        @Override
        public String getFilePath() {
            return path;
        }

        @Override
        public Vector<View> getViews() throws NotesException {
            requireOpen();
            return new Vector<View>(views);
        }

        @Override
        public NoteCollection createNoteCollection(boolean selectAllFlag) throws NotesException {
            requireOpen();
            return new FakeNoteCollection(this, selectAllFlag);
        }

        private void requireOpen() throws NotesException {
            if (!opened) {
                throw new NotesException(4063, "Database has not been opened yet");
            }
        }

        @Override
        public void recycle() {}
    }

    static final class FakeNoteCollection implements NoteCollection {
        final FakeDatabase db;
        private boolean design;
        private boolean documents;
        final List<Integer> ids = new ArrayList<>();

        FakeNoteCollection(FakeDatabase db, boolean selectAll) {
            this.db = db;
            this.design = selectAll;
            this.documents = selectAll;
        }

        @Override
        public void setSelectDocuments(boolean flag) {
            documents = flag;
        }

        @Override
        public void buildCollection() {
            ids.clear();
            for (Note n : db.notes.values()) {
                if (n.document ? documents : design) {
                    ids.add(n.id);
                }
            }
        }

        // Note IDs come back in upper case, as Notes writes them.
        @Override
        public String getFirstNoteID() {
            return ids.isEmpty() ? "" : Integer.toHexString(ids.get(0)).toUpperCase(Locale.ROOT);
        }

        @Override
        public String getNextNoteID(String noteid) {
            final int at = ids.indexOf(Integer.parseInt(noteid, 16));
            return at + 1 < ids.size() ? Integer.toHexString(ids.get(at + 1)).toUpperCase(Locale.ROOT) : "";
        }

        @Override
        public void add(int noteid) {
            ids.add(noteid);
        }

        @Override
        public void recycle() {}
    }

    /** The exporter: its set* calls are recorded as options; exportDxl writes as Domino does. */
    static final class FakeExporter implements InvocationHandler {
        private final FakeSession session;
        final Map<String, Object> options = new HashMap<>();
        final List<Integer> batchSizes = new ArrayList<>();

        FakeExporter(FakeSession session) {
            this.session = session;
        }

        @Override
        public Object invoke(Object proxy, Method method, Object[] args) throws NotesException {
            final String name = method.getName();
            if (name.startsWith("set")) {
                options.put(name.substring(3), args[0]);
            } else if (name.equals("getLog")) {
                return "";
            } else if (name.equals("exportDxl")) {
                return export((FakeNoteCollection) args[0]);
            }
            return null;
        }

        /** The database element with its information, then the notes. */
        private String export(FakeNoteCollection c) throws NotesException {
            if (++session.exportCalls == session.failExportCall) {
                throw new NotesException(4000, "Notes error: Insufficient memory");
            }
            batchSizes.add(c.ids.size());
            final StringBuilder s = new StringBuilder();
            s.append("<?xml version='1.0' encoding='utf-8'?>\n");
            if (Boolean.TRUE.equals(options.get("OutputDOCTYPE"))) {
                s.append("<!DOCTYPE database SYSTEM 'xmlschemas/domino_9_0_1.dtd'>\n");
            }
            s.append("<database xmlns='http://www.lotus.com/dxl' version='9.0' maintenanceversion='1.0' replicaid='")
                    .append(c.db.replicaId).append("' path='").append(c.db.path).append("' title='")
                    .append(c.db.title).append("' fromtemplate='StdR85Mail' type='mailfile'>\n");
            s.append("<databaseinfo dbid='").append(c.db.replicaId).append("' odsversion='51'")
                    .append(" numberofdocuments='").append(c.ids.size()).append("'/>\n");
            for (int id : c.ids) {
                s.append(c.db.notes.get(id).dxl);
            }
            s.append("</database>\n");
            return s.toString();
        }
    }

    /** A view entry: a document (its note ID), or a category or total row (id 0). */
    static final class FakeEntry implements ViewEntry {
        final boolean document;
        final int id;

        FakeEntry(boolean document, int id) {
            this.document = document;
            this.id = id;
        }

        @Override
        public boolean isDocument() {
            return document;
        }

        @Override
        public String getNoteID() {
            return document ? Integer.toHexString(id).toUpperCase(Locale.ROOT) : "0";
        }

        @Override
        public void recycle() {}
    }

    static final class FakeView implements View, ViewEntryCollection {
        final String name;
        final String unid;
        final List<FakeEntry> entries = new ArrayList<>();
        boolean autoUpdate = true;

        FakeView(String name, String unid) {
            this.name = name;
            this.unid = unid;
        }

        FakeView documents(int... ids) {
            for (int id : ids) {
                entries.add(new FakeEntry(true, id));
            }
            return this;
        }

        FakeView category() {
            entries.add(new FakeEntry(false, 0));
            return this;
        }

        @Override
        public String getName() {
            return name;
        }

        @Override
        public String getUniversalID() {
            return unid;
        }

        @Override
        public void setAutoUpdate(boolean flag) {
            autoUpdate = flag;
        }

        @Override
        public ViewEntryCollection getAllEntries() {
            return this;
        }

        @Override
        public ViewEntry getFirstEntry() {
            return entries.isEmpty() ? null : entries.get(0);
        }

        @Override
        public ViewEntry getNextEntry(ViewEntry entry) {
            final int at = entries.indexOf(entry);
            return at + 1 < entries.size() ? entries.get(at + 1) : null;
        }

        @Override
        public void recycle() {}
    }
}
