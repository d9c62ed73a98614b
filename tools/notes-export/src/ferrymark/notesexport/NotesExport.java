package ferrymark.notesexport;

import java.io.Console;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;

import lotus.domino.NotesException;
import lotus.domino.NotesFactory;
import lotus.domino.NotesThread;
import lotus.domino.Session;

/**
 * Command-line program: exports Notes databases to DXL for Ferrymark, on a machine with a Notes
 * client or a Domino server (Notes.jar on the class path).
 */
public final class NotesExport {
    static final String PASSWORD_VARIABLE = "FERRYMARK_NOTES_PASSWORD";

    static final String USAGE = String.join("\n",
            "Usage: java -cp Notes.jar" + java.io.File.pathSeparator + "ferrymark-notes-export.jar "
                    + "ferrymark.notesexport.NotesExport [options] [DATABASE...]",
            "",
            "Exports each Notes database to DIR/NAME.dxl (mail/alee.nsf -> alee.dxl; a name already",
            "used in the run gets -2, -3, ...), with the documents of every view and folder listed in",
            "view order, for Ferrymark to convert to a PST.",
            "",
            "  DATABASE          a database path as Notes names it: relative to the data directory",
            "                    (mail/alee.nsf) or, on the local machine, a full path",
            "  --folder PATH     also export every .nsf database directly in this folder of the data",
            "                    directory (may be given more than once)",
            "  --out DIR         folder for the .dxl files (default: the current folder)",
            "  --server NAME     Domino server holding the databases (default: this machine)",
            "  --batch N         documents per call of the DXL exporter (default 200; lower it",
            "                    when documents carry very large attachments)",
            "  --ask-password    ask for the Notes ID password; or set " + PASSWORD_VARIABLE,
            "  --help            show this text",
            "",
            "A database that cannot be exported is reported and the others are still exported; the",
            "exit status is 1 when any failed, 2 on wrong arguments.",
            "");

    /** Makes the Notes session; the real one needs the Notes thread set up around it. */
    interface SessionSource {
        Session open(String password) throws NotesException;

        default void close() {}
    }

    static final class Options {
        final List<String> databases = new ArrayList<>();
        final List<String> folders = new ArrayList<>();
        Path out = Paths.get(".");
        String server = "";
        int batch = 200;
        boolean askPassword;
        boolean help;
    }

    private NotesExport() {}

    public static void main(String[] args) {
        System.exit(run(args, new SessionSource() {
            @Override
            public Session open(String password) throws NotesException {
                NotesThread.sinitThread();
                return password == null ? NotesFactory.createSession()
                        : NotesFactory.createSession((String) null, (String) null, password);
            }

            @Override
            public void close() {
                NotesThread.stermThread();
            }
        }, System.getenv(PASSWORD_VARIABLE), System.out, System.err));
    }

    static int run(String[] args, SessionSource sessions, String password, PrintStream out, PrintStream err) {
        final Options options;
        try {
            options = parse(args);
        } catch (IllegalArgumentException e) {
            err.println("error: " + e.getMessage());
            err.print(USAGE);
            return 2;
        }
        if (options.help) {
            out.print(USAGE);
            return 0;
        }
        if (options.askPassword) {
            final Console console = System.console();
            if (console == null) {
                err.println("error: --ask-password needs a console; set " + PASSWORD_VARIABLE + " instead");
                return 2;
            }
            password = new String(console.readPassword("Notes ID password: "));
        }
        try {
            Files.createDirectories(options.out);
        } catch (java.io.IOException e) {
            err.println("error: " + options.out + ": the folder cannot be created: " + e.getMessage());
            return 1;
        }
        Session session = null;
        try {
            session = sessions.open(password);
            final Exporter exporter = new Exporter(session, options.server, options.out, options.batch, out, err);
            return exporter.run(options.databases, options.folders) == 0 ? 0 : 1;
        } catch (NotesException e) {
            err.println("error: no Notes session: " + Exporter.reason(e));
            return 1;
        } finally {
            if (session != null) {
                try {
                    session.recycle();
                } catch (NotesException e) {
                    // the session is gone either way
                }
            }
            sessions.close();
        }
    }

    static Options parse(String[] args) {
        final Options o = new Options();
        for (int i = 0; i < args.length; ++i) {
            final String a = args[i];
            switch (a) {
            case "--help":
            case "-h":
                o.help = true;
                break;
            case "--ask-password":
                o.askPassword = true;
                break;
            case "--out":
                o.out = Paths.get(value(args, ++i, a));
                break;
            case "--server":
                o.server = value(args, ++i, a);
                break;
            case "--folder":
                o.folders.add(value(args, ++i, a));
                break;
            case "--batch":
                try {
                    o.batch = Integer.parseInt(value(args, ++i, a));
                } catch (NumberFormatException e) {
                    o.batch = 0;
                }
                if (o.batch < 1) {
                    throw new IllegalArgumentException("--batch needs a number of at least 1");
                }
                break;
            default:
                if (a.startsWith("--")) {
                    throw new IllegalArgumentException("unknown option " + a);
                }
                o.databases.add(a);
            }
        }
        if (!o.help && o.databases.isEmpty() && o.folders.isEmpty()) {
            throw new IllegalArgumentException("name a database or a --folder");
        }
        return o;
    }

    private static String value(String[] args, int i, String option) {
        if (i >= args.length) {
            throw new IllegalArgumentException(option + " needs a value");
        }
        return args[i];
    }
}
