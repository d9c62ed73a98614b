package ferrymark.notesexport;

import java.io.IOException;
import java.io.Writer;
import java.util.HashSet;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * Joins the pieces the DXL exporter returns into one database export and writes, as the last
 * child of each view and folder design element, the element listing its documents:
 *
 * <pre>
 * &lt;fm:entries xmlns:fm='urn:ferrymark:view-entries'&gt;&lt;fm:entry noteid='936'/&gt;...&lt;/fm:entries&gt;
 * </pre>
 *
 * The first piece (the design notes) is copied whole except for the root end tag; of each later
 * piece only the document elements are copied, so the documents end up inside the first piece's
 * database element. Only the markup around elements is looked at; everything else is copied
 * character for character, so the text stays as the exporter wrote it.
 */
final class DxlSplicer {
    static final String ENTRIES_NAMESPACE = "urn:ferrymark:view-entries";

    private static final Pattern UNID = Pattern.compile("\\sunid\\s*=\\s*(['\"])([^'\"]*)\\1");

    private final Writer out;
    private final Map<String, int[]> entriesByUnid;
    private final Set<String> written = new HashSet<>();
    private String rootName;

    /** entriesByUnid: the note IDs of each view's documents, in view order, by upper-case UNID. */
    DxlSplicer(Writer out, Map<String, int[]> entriesByUnid) {
        this.out = out;
        this.entriesByUnid = entriesByUnid;
    }

    /** Copies the first piece: the prolog, the database element's start and its children. */
    void header(String dxl) throws IOException {
        splice(dxl, true);
        if (rootName == null) {
            throw new IOException("the DXL exporter wrote no database element");
        }
    }

    /** Copies the document elements of a later piece. */
    void documents(String dxl) throws IOException {
        splice(dxl, false);
    }

    /** Closes the database element. */
    void finish() throws IOException {
        out.write("</" + rootName + ">\n");
    }

    /** UNIDs of the views and folders whose entries were written. */
    Set<String> viewsWritten() {
        return written;
    }

    private void splice(String dxl, boolean header) throws IOException {
        final int n = dxl.length();
        int depth = 0;
        boolean rootClosed = false;
        String top = ""; // local name of the open child of the root
        boolean keep = false; // that child is copied
        String unid = null; // of that child, when it is a view or folder
        int i = 0;
        while (i < n) {
            final int lt = dxl.indexOf('<', i);
            final int textEnd = lt < 0 ? n : lt;
            final boolean copying = !rootClosed && (header || (depth >= 2 && keep));
            if (copying && textEnd > i) {
                out.write(dxl, i, textEnd - i);
            }
            if (lt < 0) {
                break;
            }
            final int end;
            if (dxl.startsWith("<!--", lt)) {
                end = after(dxl, "-->", lt + 4);
            } else if (dxl.startsWith("<![CDATA[", lt)) {
                end = after(dxl, "]]>", lt + 9);
            } else if (dxl.startsWith("<?", lt)) {
                end = after(dxl, "?>", lt + 2);
            } else if (dxl.startsWith("<!", lt)) {
                end = declarationEnd(dxl, lt);
            } else if (dxl.startsWith("</", lt)) {
                end = after(dxl, ">", lt + 2);
                if (depth == 0) {
                    throw malformed(lt, "an end tag without a start tag");
                }
                final int level = depth--;
                if (level == 1) {
                    rootClosed = true;
                    i = end;
                    continue;
                }
                if (level == 2 && keep && isViewOrFolder(top)) {
                    writeEntries(unid);
                }
                if (copying) {
                    out.write(dxl, lt, end - lt);
                    if (level == 2 && !header) {
                        out.write('\n');
                    }
                }
                i = end;
                continue;
            } else {
                end = startTagEnd(dxl, lt);
                final boolean empty = dxl.charAt(end - 2) == '/';
                final String local = localName(dxl, lt + 1);
                final int level = depth + 1;
                if (level == 1) {
                    if (rootClosed) {
                        throw malformed(lt, "a second root element");
                    }
                    if (header) {
                        rootName = qualifiedName(dxl, lt + 1);
                    }
                } else if (level == 2) {
                    top = local;
                    keep = header || local.equals("document") || local.equals("note");
                    unid = null;
                } else if (level == 3 && isViewOrFolder(top) && local.equals("noteinfo")) {
                    final Matcher m = UNID.matcher(dxl.substring(lt, end));
                    if (m.find()) {
                        unid = m.group(2).toUpperCase(Locale.ROOT);
                    }
                }
                if (header || (level >= 2 && keep)) {
                    out.write(dxl, lt, end - lt);
                    if (level == 2 && empty && !header) {
                        out.write('\n');
                    }
                }
                if (!empty) {
                    depth = level;
                }
                i = end;
                continue;
            }
            if (copying) {
                out.write(dxl, lt, end - lt);
            }
            i = end;
        }
        if (depth > 0 && !rootClosed) {
            throw malformed(n, "the output ends inside the database element");
        }
    }

    private void writeEntries(String unid) throws IOException {
        final int[] ids = unid == null ? null : entriesByUnid.get(unid);
        if (ids == null) {
            return;
        }
        written.add(unid);
        final StringBuilder s = new StringBuilder(64 + ids.length * 28);
        s.append("<fm:entries xmlns:fm='").append(ENTRIES_NAMESPACE).append('\'');
        if (ids.length == 0) {
            s.append("/>\n");
        } else {
            s.append('>');
            for (int id : ids) {
                s.append("<fm:entry noteid='").append(Integer.toHexString(id)).append("'/>");
            }
            s.append("</fm:entries>\n");
        }
        out.write(s.toString());
    }

    private static boolean isViewOrFolder(String local) {
        return local.equals("view") || local.equals("folder");
    }

    private static int after(String s, String terminator, int from) throws IOException {
        final int at = s.indexOf(terminator, from);
        if (at < 0) {
            throw malformed(from, "unterminated markup");
        }
        return at + terminator.length();
    }

    /** End of a start tag: the first '>' outside quoted attribute values. */
    private static int startTagEnd(String s, int lt) throws IOException {
        char quote = 0;
        for (int i = lt + 1; i < s.length(); ++i) {
            final char c = s.charAt(i);
            if (quote != 0) {
                if (c == quote) {
                    quote = 0;
                }
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == '>') {
                return i + 1;
            }
        }
        throw malformed(lt, "unterminated start tag");
    }

    /** End of a declaration such as DOCTYPE, with its internal subset in brackets. */
    private static int declarationEnd(String s, int lt) throws IOException {
        int brackets = 0;
        char quote = 0;
        for (int i = lt + 2; i < s.length(); ++i) {
            final char c = s.charAt(i);
            if (quote != 0) {
                if (c == quote) {
                    quote = 0;
                }
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == '[') {
                ++brackets;
            } else if (c == ']') {
                --brackets;
            } else if (c == '>' && brackets <= 0) {
                return i + 1;
            }
        }
        throw malformed(lt, "unterminated declaration");
    }

    private static String qualifiedName(String s, int from) {
        int i = from;
        while (i < s.length() && " \t\r\n/>".indexOf(s.charAt(i)) < 0) {
            ++i;
        }
        return s.substring(from, i);
    }

    private static String localName(String s, int from) {
        final String name = qualifiedName(s, from);
        return name.substring(name.indexOf(':') + 1);
    }

    private static IOException malformed(int offset, String what) {
        return new IOException("the DXL exporter's output is not well-formed at character " + offset + ": " + what);
    }
}
