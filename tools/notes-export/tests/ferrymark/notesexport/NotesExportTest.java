package ferrymark.notesexport;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.io.StringWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashSet;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import javax.xml.parsers.DocumentBuilderFactory;

import org.w3c.dom.Element;
import org.w3c.dom.Node;

import lotus.domino.DxlExporter;

import ferrymark.notesexport.Fakes.FakeDatabase;
import ferrymark.notesexport.Fakes.FakeExporter;
import ferrymark.notesexport.Fakes.FakeSession;
import ferrymark.notesexport.Fakes.FakeView;

/**
 * Tests of the exporter over fakes of the Notes objects. Usage: NotesExportTest GOLDEN.dxl [--update]
 * (--update rewrites the golden file from this run's output).
 */
public final class NotesExportTest {
    private static int failures;
    private static Path scratch;

    public static void main(String[] args) throws Exception {
        if (args.length < 1) {
            System.err.println("usage: NotesExportTest GOLDEN.dxl [--update]");
            System.exit(2);
        }
        scratch = Files.createTempDirectory("ferrymark-notes-export");
        try {
            goldenMailDatabase(Paths.get(args[0]), args.length > 1 && args[1].equals("--update"));
            joinsPiecesWhateverTheirMarkup();
            namesFilesAndCollisions();
            exportsEveryDatabaseOfAFolderAndReportsFailures();
            keepsNoPartialFileWhenAnExportFails();
            rejectsWrongArguments();
        } finally {
            deleteTree(scratch);
        }
        if (failures > 0) {
            System.err.println(failures + " check(s) failed");
            System.exit(1);
        }
        System.out.println("notes-export tests passed");
    }

    // --- the mail database written to the golden file ---------------------------------------

    static final String REPLICA = "85257B3A00508D17";

    static String unid(int n) {
        return String.format("%s85257B3A%08X", REPLICA, n);
    }

    static String noteinfo(int id, String unid, String when) {
        return "<noteinfo noteid='" + Integer.toHexString(id) + "' unid='" + unid + "' sequence='2'>\n"
                + "<created><datetime dst='true'>" + when + "</datetime></created>\n"
                + "<modified><datetime dst='true'>" + when + "</datetime></modified></noteinfo>\n";
    }

    static String design(String element, String name, String alias, int id, int n, String selection) {
        return "<" + element + " name='" + name + "'" + (alias.isEmpty() ? "" : " alias='" + alias + "'")
                + " showinmenu='false' publicaccess='false' designerversion='8.5.3'>\n"
                + noteinfo(id, unid(n), "20090604T101500,12+02")
                + (selection.isEmpty() ? "" : "<code event='selection'><formula>" + selection + "</formula></code>\n")
                + "<column sort='descending' itemname='$3' width='10'><columnheader title='Date'/></column>\n"
                + "<column itemname='Subject' width='40'><columnheader title='Subject'/></column>\n"
                + "</" + element + ">\n";
    }

    static String memo(int id, int n, String subject, String from, String posted, String delivered, String body) {
        final String when = posted.isEmpty() ? "20091120T081500,00+01" : posted;
        return "<document form='Memo'>\n" + noteinfo(id, unid(n), when)
                + "<item name='Form' summary='true'><text>Memo</text></item>\n"
                + "<item name='Subject' summary='true'><text>" + subject + "</text></item>\n"
                + "<item name='From' summary='true' names='true'><text>" + from + "</text></item>\n"
                + "<item name='SendTo' names='true'><text>CN=Ann Lee/OU=Sales/O=Acme</text></item>\n"
                + (posted.isEmpty() ? "" : "<item name='PostedDate'><datetime dst='true'>" + posted + "</datetime></item>\n")
                + (delivered.isEmpty() ? ""
                        : "<item name='DeliveredDate'><datetime dst='true'>" + delivered + "</datetime></item>\n")
                + "<item name='Body'><richtext>\n<pardef id='1'/>\n<par def='1'>" + body + "</par>\n</richtext></item>\n"
                + "</document>\n";
    }

    /** Ann Lee's mail file: received, sent and unsent memos, standard folders and views, one folder of hers. */
    static FakeDatabase annLee(String path) {
        final FakeDatabase db = new FakeDatabase(path, "Ann Lee", REPLICA);
        db.note(0x8fa, false, design("folder", "($Inbox)", "$Inbox", 0x8fa, 1, ""));
        db.note(0x8fe, false, design("view", "($Sent)", "$Sent", 0x8fe, 2,
                "SELECT DeliveredDate = &quot;&quot; &amp; PostedDate != &quot;&quot;"));
        db.note(0x902, false, design("view", "($Drafts)", "$Drafts", 0x902, 3, "SELECT PostedDate = &quot;&quot;"));
        db.note(0x906, false, design("folder", "($Trash)", "$Trash", 0x906, 4, ""));
        db.note(0x90a, false, design("folder", "Projects", "", 0x90a, 5, ""));
        db.note(0x90e, false, design("view", "By Category", "", 0x90e, 6, "SELECT @IsAvailable(Categories)"));
        db.note(0x936, true, memo(0x936, 0x10, "Quarterly figures", "CN=Bo Yu/OU=Research/O=Acme",
                "20091105T093012,45+01", "20091105T093012,45+01", "The figures for the third quarter."));
        db.note(0x93a, true, memo(0x93a, 0x11, "Lunch on Friday", "CN=Carla Mendes/O=Acme",
                "20091112T120000,00+01", "20091112T120001,00+01", "Shall we say one o&apos;clock?"));
        db.note(0x93e, true, memo(0x93e, 0x12, "Re: Offsite agenda", "CN=Bo Yu/OU=Research/O=Acme",
                "20091118T164500,00+01", "20091118T164502,00+01", "Agreed &amp; booked: room &lt;B2&gt;."));
        db.note(0x946, true, memo(0x946, 0x13, "Offsite agenda", "CN=Ann Lee/OU=Sales/O=Acme",
                "20091117T101000,00+01", "", "Draft agenda for the offsite."));
        db.note(0x94a, true, memo(0x94a, 0x14, "Travel plans", "CN=Ann Lee/OU=Sales/O=Acme",
                "20091119T090000,00+01", "", "Flights are booked."));
        db.note(0x94e, true, memo(0x94e, 0x15, "Notes for the review", "CN=Ann Lee/OU=Sales/O=Acme", "", "",
                "Not sent yet."));
        // View order is by date, newest first, not the order of the notes in the file.
        db.view(new FakeView("($Inbox)", unid(1)).documents(0x93e, 0x93a, 0x936));
        db.view(new FakeView("($Sent)", unid(2)).documents(0x94a, 0x946));
        db.view(new FakeView("($Drafts)", unid(3)).documents(0x94e));
        db.view(new FakeView("($Trash)", unid(4)));
        db.view(new FakeView("Projects", unid(5)).documents(0x936, 0x93e));
        // Categorized by a field of several values: 946 shows under two categories; a total row ends it.
        db.view(new FakeView("By Category", unid(6).toLowerCase()).category().documents(0x936).category()
                .documents(0x93e, 0x946).category().documents(0x94a, 0x946).category());
        return db;
    }

    static void goldenMailDatabase(Path golden, boolean update) throws Exception {
        final FakeSession session = new FakeSession();
        final FakeDatabase db = session.add(annLee("mail\\alee.nsf"));
        final Path out = Files.createDirectory(scratch.resolve("golden"));
        final Run run = run(session, "--out", out.toString(), "--batch", "2", "mail\\alee.nsf");
        check(run.status == 0, "the export succeeds: " + run.err);
        check(listing(out).equals(Collections.singletonList("alee.dxl")), "only alee.dxl is left: " + listing(out));

        final FakeExporter exporter = session.exporters.get(0);
        final Map<String, Object> expected = new LinkedHashMap<>();
        expected.put("MIMEOption", DxlExporter.DXLMIMEOPTION_RAW);
        expected.put("RichTextOption", DxlExporter.DXLRICHTEXTOPTION_DXL);
        expected.put("ConvertNotesBitmapsToGIF", true);
        expected.put("UncompressAttachments", true);
        expected.put("OutputDOCTYPE", false);
        expected.put("ExitOnFirstFatalError", false);
        check(exporter.options.equals(expected), "exporter options " + exporter.options);
        check(exporter.batchSizes.equals(Arrays.asList(6, 2, 2, 2)), "design, then documents two at a time: "
                + exporter.batchSizes);
        check(db.views.stream().noneMatch(v -> v.autoUpdate), "views are read without refreshing them");

        final byte[] written = Files.readAllBytes(out.resolve("alee.dxl"));
        final Map<String, List<String>> entries = viewEntries(written);
        final Map<String, List<String>> want = new LinkedHashMap<>();
        want.put("($Inbox)", Arrays.asList("93e", "93a", "936"));
        want.put("($Sent)", Arrays.asList("94a", "946"));
        want.put("($Drafts)", Arrays.asList("94e"));
        want.put("($Trash)", Collections.<String>emptyList());
        want.put("Projects", Arrays.asList("936", "93e"));
        want.put("By Category", Arrays.asList("936", "93e", "946", "94a"));
        check(entries.equals(want), "entries of every view, in view order: " + entries);

        if (update) {
            Files.write(golden, written);
            System.out.println("rewrote " + golden);
        } else {
            check(Arrays.equals(written, Files.readAllBytes(golden)),
                    "the export equals " + golden + " (rerun with --update after an intended change)");
        }
    }

    /** Each view's and folder's fm:entries, which must be its last child element. */
    static Map<String, List<String>> viewEntries(byte[] dxl) throws Exception {
        final DocumentBuilderFactory f = DocumentBuilderFactory.newInstance();
        f.setNamespaceAware(true);
        final Element root = f.newDocumentBuilder().parse(new java.io.ByteArrayInputStream(dxl)).getDocumentElement();
        final Map<String, List<String>> out = new LinkedHashMap<>();
        for (Node n = root.getFirstChild(); n != null; n = n.getNextSibling()) {
            if (!(n instanceof Element) || !Arrays.asList("view", "folder").contains(n.getLocalName())) {
                continue;
            }
            Node last = n.getLastChild();
            while (last != null && !(last instanceof Element)) {
                last = last.getPreviousSibling();
            }
            final String name = ((Element) n).getAttribute("name");
            if (last == null || !"entries".equals(last.getLocalName())
                    || !DxlSplicer.ENTRIES_NAMESPACE.equals(last.getNamespaceURI())) {
                out.put(name, null);
                continue;
            }
            final List<String> ids = new ArrayList<>();
            for (Node e = last.getFirstChild(); e != null; e = e.getNextSibling()) {
                ids.add(((Element) e).getAttribute("noteid"));
            }
            out.put(name, ids);
        }
        return out;
    }

    // --- joining the exporter's pieces --------------------------------------------------------

    static void joinsPiecesWhateverTheirMarkup() throws Exception {
        final Map<String, int[]> entries = new LinkedHashMap<>();
        entries.put("AB12", new int[] {0x20, 0x1f});
        final StringWriter w = new StringWriter();
        final DxlSplicer s = new DxlSplicer(w, entries);
        s.header("<?xml version='1.0'?>\n<!-- </view> --><database xmlns='http://www.lotus.com/dxl' title='a &gt; b'>\n"
                + "<view name='x>y'><noteinfo noteid='8' unid='ab12'/><code><![CDATA[</view></database>]]></code>\n"
                + "<!-- </view> --></view>\n<folder name='f'><noteinfo noteid='c' unid='FF'/></folder>\n</database>\n");
        s.documents("<?xml version='1.0'?>\n<!DOCTYPE database [<!ENTITY a '>'>]>\n<database title='t'>\n"
                + "<databaseinfo numberofdocuments='2'/>\n<document><item><text>&lt;/document&gt;</text></item></document>"
                + "<document form='Empty'/>\n</database>\n");
        s.finish();
        final String want = "<?xml version='1.0'?>\n<!-- </view> --><database xmlns='http://www.lotus.com/dxl' "
                + "title='a &gt; b'>\n<view name='x>y'><noteinfo noteid='8' unid='ab12'/><code><![CDATA[</view>"
                + "</database>]]></code>\n<!-- </view> --><fm:entries xmlns:fm='urn:ferrymark:view-entries'>"
                + "<fm:entry noteid='20'/><fm:entry noteid='1f'/></fm:entries>\n</view>\n"
                + "<folder name='f'><noteinfo noteid='c' unid='FF'/></folder>\n"
                + "<document><item><text>&lt;/document&gt;</text></item></document>\n<document form='Empty'/>\n"
                + "</database>\n";
        check(w.toString().equals(want), "pieces joined, entries inserted only in the view they belong to:\n" + w);
        check(s.viewsWritten().equals(Collections.singleton("AB12")), "views written " + s.viewsWritten());

        for (String bad : Arrays.asList("", "<database><view>", "<database><view name='a></database>",
                "<database><!-- x</database>")) {
            try {
                new DxlSplicer(new StringWriter(), entries).header(bad);
                check(false, "malformed output is refused: " + bad);
            } catch (IOException expectedFailure) {
                // refused, as it should be
            }
        }
    }

    // --- file names -------------------------------------------------------------------------

    static void namesFilesAndCollisions() {
        final Set<String> taken = new HashSet<>();
        final List<String> names = Stream.of("mail/alee.nsf", "mail\\Alee.NSF", "archive/alee.nsf", "C:\\Notes\\Data\\bo",
                "odd:na?me.nsf", "mail/alee-2.nsf", ".nsf").map(p -> Exporter.dxlName(p, taken)).collect(Collectors.toList());
        check(names.equals(Arrays.asList("alee.dxl", "Alee-2.dxl", "alee-3.dxl", "bo.dxl", "odd_na_me.dxl",
                "alee-2-2.dxl", "database.dxl")), "file names " + names);
    }

    // --- several databases ------------------------------------------------------------------

    static void exportsEveryDatabaseOfAFolderAndReportsFailures() throws Exception {
        final FakeSession session = new FakeSession();
        session.add(annLee("mail/alee.nsf"));
        session.add(new FakeDatabase("mail/broken.nsf", "", "")); // listed, but does not open
        session.add(annLee("mail/byu.nsf"));
        session.add(annLee("mail/old/alee.nsf")); // in a subfolder: not taken
        session.add(annLee("mail/mail85.ntf")); // a template
        session.add(annLee("apps/alee.nsf")); // named on the command line: gets alee-2.dxl
        final Path out = scratch.resolve("folder");
        final Run run = run(session, "--out", out.toString(), "--server", "Mail01/Acme", "--folder", "Mail\\",
                "apps/alee.nsf");
        check(run.status == 1, "a database that failed makes the status 1, not " + run.status);
        check(run.err.contains("error: mail/broken.nsf: File does not exist (Notes error 4005)"),
                "the failed database is named with the reason: " + run.err);
        check(listing(out).equals(Arrays.asList("alee-2.dxl", "alee.dxl", "byu.dxl")), "files " + listing(out));
        check(run.out.contains("mail/alee.nsf -> ") && run.out.contains("exported 3 of 4 databases"),
                "progress and summary: " + run.out);
        check("Mail01/Acme".equals(session.lastServer), "databases are opened on the server given");
        check(new String(Files.readAllBytes(out.resolve("alee.dxl")), StandardCharsets.UTF_8)
                .contains("path='apps/alee.nsf'"), "the database named first gets alee.dxl");
    }

    static void keepsNoPartialFileWhenAnExportFails() throws Exception {
        final FakeSession session = new FakeSession();
        session.add(annLee("alee.nsf"));
        session.failExportCall = 3; // the second batch of documents
        final Path out = Files.createDirectory(scratch.resolve("partial"));
        Files.write(out.resolve("alee.dxl"), "earlier export".getBytes(StandardCharsets.UTF_8));
        final Run run = run(session, "--out", out.toString(), "--batch", "2", "alee.nsf");
        check(run.status == 1 && run.err.contains("error: alee.nsf: Notes error: Insufficient memory"),
                "the failure is reported: " + run.err);
        check(listing(out).equals(Collections.singletonList("alee.dxl")), "no .partial is left: " + listing(out));
        check(new String(Files.readAllBytes(out.resolve("alee.dxl")), StandardCharsets.UTF_8).equals("earlier export"),
                "an earlier complete export is kept");
    }

    static void rejectsWrongArguments() throws Exception {
        final FakeSession session = new FakeSession();
        check(run(session).status == 2, "nothing to export is a usage error");
        check(run(session, "--batch", "0", "a.nsf").status == 2, "--batch 0 is a usage error");
        check(run(session, "--colour", "a.nsf").status == 2, "an unknown option is a usage error");
        final Run help = run(session, "--help");
        check(help.status == 0 && help.out.contains("--folder PATH"), "--help shows the options");
    }

    // --- helpers ----------------------------------------------------------------------------

    static final class Run {
        int status;
        String out;
        String err;
    }

    static Run run(FakeSession session, String... args) {
        final ByteArrayOutputStream out = new ByteArrayOutputStream();
        final ByteArrayOutputStream err = new ByteArrayOutputStream();
        final Run r = new Run();
        try (PrintStream o = new PrintStream(out, true, "UTF-8"); PrintStream e = new PrintStream(err, true, "UTF-8")) {
            r.status = NotesExport.run(args, password -> session, null, o, e);
            r.out = new String(out.toByteArray(), StandardCharsets.UTF_8);
            r.err = new String(err.toByteArray(), StandardCharsets.UTF_8);
        } catch (java.io.UnsupportedEncodingException e) {
            throw new AssertionError(e);
        }
        return r;
    }

    static List<String> listing(Path dir) throws IOException {
        try (Stream<Path> s = Files.list(dir)) {
            return s.map(p -> p.getFileName().toString()).sorted().collect(Collectors.toList());
        }
    }

    static void deleteTree(Path dir) throws IOException {
        try (Stream<Path> s = Files.walk(dir)) {
            for (Path p : s.sorted(Collections.reverseOrder()).collect(Collectors.toList())) {
                Files.delete(p);
            }
        }
    }

    static void check(boolean ok, String what) {
        if (!ok) {
            ++failures;
            System.err.println("FAILED: " + what);
        }
    }
}
