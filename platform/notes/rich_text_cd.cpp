#include "rich_text_cd.h"

#include "dxl_database.h"
#include "rich_text_builder.h"
#include "utf8.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

namespace notes::detail {

namespace {
    // A little-endian field of size bytes at offset at, or nothing when the bytes end before it.
    std::optional<std::uint32_t> field(std::string_view bytes, std::size_t at, std::size_t size)
    {
        if (at > bytes.size() || bytes.size() - at < size)
            return std::nullopt;
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < size; ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        return v;
    }
    std::uint32_t u8(std::string_view b, std::size_t at) { return field(b, at, 1).value_or(0); }
    std::uint32_t u16(std::string_view b, std::size_t at) { return field(b, at, 2).value_or(0); }
    std::uint32_t u32(std::string_view b, std::size_t at) { return field(b, at, 4).value_or(0); }

    // The NUL-terminated string at at (up to the end when there is no NUL); at moves past it.
    std::string_view cString(std::string_view b, std::size_t& at)
    {
        if (at >= b.size())
            return {};
        auto end = b.find('\0', at);
        if (end == std::string_view::npos)
            end = b.size();
        const auto out = b.substr(at, end - at);
        at = end + 1;
        return out;
    }

    // The form of a record's header, from the signature's high byte.
    enum class Form : std::uint8_t { Byte, Word, Long };

    constexpr std::uint16_t key(Form form, std::uint8_t low)
    {
        return static_cast<std::uint16_t>(static_cast<int>(form) << 8 | low);
    }
    constexpr std::uint16_t B(std::uint8_t low) { return key(Form::Byte, low); }
    constexpr std::uint16_t W(std::uint8_t low) { return key(Form::Word, low); }
    constexpr std::uint16_t L(std::uint8_t low) { return key(Form::Long, low); }

    // Signatures (SIG_CD_xxx of editods.h), by header form and low byte.
    constexpr std::uint16_t SigParagraph = B(0x81);
    constexpr std::uint16_t SigPabDefinition = W(0x82);
    constexpr std::uint16_t SigPabReference = B(0x83);
    constexpr std::uint16_t SigText = W(0x85);
    constexpr std::uint16_t SigLargeParagraph = W(0x68);
    constexpr std::uint16_t SigFontTable = W(0x8B);
    constexpr std::uint16_t SigLink2 = W(0x91);
    constexpr std::uint16_t SigLinkExport2 = W(0x92);
    constexpr std::uint16_t SigGraphic = L(0x99);
    constexpr std::uint16_t SigImageHeader = L(0x7D);
    constexpr std::uint16_t SigImageSegment = L(0x7C);
    constexpr std::uint16_t SigBitmapHeader = L(0x95);
    constexpr std::uint16_t SigBitmapSegment = L(0x96);
    constexpr std::uint16_t SigColorTable = L(0x97);
    constexpr std::uint16_t SigPatternTable = L(0x98);
    constexpr std::uint16_t SigTableBegin = B(0xA3);
    constexpr std::uint16_t SigTableCell = B(0xA4);
    constexpr std::uint16_t SigTableEnd = B(0xA5);
    constexpr std::uint16_t SigNestedTableBegin = B(0xCF);
    constexpr std::uint16_t SigNestedTableCell = B(0xD0);
    constexpr std::uint16_t SigNestedTableEnd = B(0xD1);
    constexpr std::uint16_t SigHotspotBegin = W(0xA9);
    constexpr std::uint16_t SigV4HotspotBegin = W(0xAD);
    constexpr std::uint16_t SigV5HotspotBegin = W(0x7E);
    constexpr std::uint16_t SigHotspotEnd = B(0xAA);
    constexpr std::uint16_t SigV4HotspotEnd = B(0xAE);
    constexpr std::uint16_t SigV5HotspotEnd = B(0x7F);
    constexpr std::uint16_t SigHorizontalRule = W(0xC9);
    constexpr std::uint16_t SigBegin = B(0xDD);
    constexpr std::uint16_t SigEnd = B(0xDE);
    constexpr std::uint16_t SigColor = B(0xD2);

    // Records that only format or mark what the records above give, and carry no content of
    // their own: passed over.
    constexpr std::uint16_t FormattingOnly[] = {
        B(0xA6), // CDSTYLENAME: the named style of a paragraph definition
        B(0x6F), B(0x6E), // CDSPANRECORD begin and end: a language span
        W(0xCB), // CDANCHOR: a named position
        W(0xFB), // CDPRETABLEBEGIN: table layout
        B(0xD3), // CDTABLECELL_COLOR
        W(0xFC), // CDBORDERINFO
        B(0x59), // CDIGNORE
        W(0x70), // CDTEXTPROPERTIESTABLE
        B(0xE2), // CDTABLEROWHEIGHT
        W(0xEE), // CDCELLBACKGROUNDDATA
        W(0x5C), // CDTABLEDATAEXTENSION
        B(0x57), // CDTABLECELL_DATAFLAGS
        B(0x62), // CDDATAFLAGS
        W(0x77), // CDLINKCOLORS
        W(0xBB), // CDPABHIDE: a paragraph's hide-when formula
        W(0x7A), W(0x7B), // CDIDNAME, CDTABLECELL_IDNAME
        B(0xDF), // CDVERTICALALIGN
    };

    struct Named {
        std::uint16_t key;
        const char* name;
    };
    constexpr Named Names[] = { { B(0x81), "CDPARAGRAPH" }, { W(0x82), "CDPABDEFINITION" },
        { B(0x83), "CDPABREFERENCE" }, { W(0x85), "CDTEXT" }, { W(0x86), "CDXML" }, { W(0x8E), "CDHEADER" },
        { W(0x91), "CDLINK2" }, { W(0x92), "CDLINKEXPORT2" }, { L(0x95), "CDBITMAPHEADER" },
        { L(0x96), "CDBITMAPSEGMENT" }, { L(0x97), "CDCOLORTABLE" }, { L(0x98), "CDPATTERNTABLE" },
        { L(0x99), "CDGRAPHIC" }, { L(0x9A), "CDPMMETASEG" }, { L(0x9B), "CDWINMETASEG" }, { L(0x9C), "CDMACMETASEG" },
        { L(0x9D), "CDCGMMETA" }, { L(0x9E), "CDPMMETAHEADER" }, { L(0x9F), "CDWINMETAHEADER" },
        { L(0xA0), "CDMACMETAHEADER" }, { W(0x8A), "CDFIELD" }, { W(0x8B), "CDFONTTABLE" }, { W(0xA7), "CDOLEBEGIN" },
        { W(0xA8), "CDOLEEND" }, { W(0xAB), "CDBUTTON" }, { W(0xAC), "CDBAR" }, { W(0xB0), "CDEXTFIELD" },
        { W(0xB1), "CDLSOBJECT" }, { W(0xB2), "CDHTMLHEADER" }, { W(0xB3), "CDHTMLSEGMENT" }, { W(0xB4), "CDOLEOBJPH" },
        { W(0xC1), "CDOLEOBJINFO" }, { W(0xC3), "CDTEXTEFFECT" }, { W(0xC4), "CDSTORAGELINK" },
        { L(0xC5), "CDTRANSPARENTTABLE" }, { W(0xCA), "CDALTTEXT" }, { W(0xCC), "CDHTMLBEGIN" },
        { W(0xCD), "CDHTMLEND" }, { W(0xCE), "CDHTMLFORMULA" }, { W(0xDC), "CDBLOBPART" }, { W(0xE6), "CDREGIONBEGIN" },
        { W(0xE7), "CDREGIONEND" }, { W(0xE9), "CDFIELDHINT" }, { W(0xEA), "CDPLACEHOLDER" }, { W(0xEB), "CDHTMLNAME" },
        { W(0xEC), "CDEMBEDDEDOUTLINE" }, { W(0xED), "CDEMBEDDEDVIEW" }, { L(0xF3), "CDNATIVEIMAGE" },
        { W(0xF4), "CDMAPELEMENT" }, { W(0xF5), "CDAREAELEMENT" }, { W(0xF6), "CDHREF" }, { W(0xF7), "CDEMBEDDEDCTL" },
        { W(0xF8), "CDHTML_ALTTEXT" }, { W(0xF9), "CDEVENT" }, { W(0xF2), "CDTARGET" }, { W(0x71), "CDHREF2" },
        { B(0x72), "CDBACKGROUNDCOLOR" }, { W(0x73), "CDINLINE" }, { W(0x76), "CDCAPTION" },
        { L(0x60), "CDFILESEGMENT" }, { L(0x61), "CDFILEHEADER" }, { B(0x63), "CDBACKGROUNDPROPERTIES" },
        { W(0x64), "CDEMBEDEXTRA_INFO" }, { B(0x6A), "CDBOXSIZE" }, { B(0x6B), "CDPOSITIONING" },
        { B(0x6C), "CDLAYER" }, { W(0x6D), "CDDECSFIELD" }, { W(0xBE), "CDACTION" }, { B(0xBD), "CDACTIONBAR" },
        { W(0xBF), "CDDOCAUTOLAUNCH" }, { B(0xE0), "CDFLOAT" }, { B(0xE1), "CDTIMERINFO" }, { W(0xE3), "CDTABLELABEL" },
        { W(0xE8), "CDTRANSITION" }, { W(0xFE), "CDEXT2FIELD" }, { W(0xFF), "CDEMBEDDEDEDITCTL" },
        { W(0xFD), "CDEMBEDDEDSCHEDCTL" }, { W(0x74), "CDHOTSPOTBEGIN continuation" }, { B(0x5A), "CDTABLECELL_HREF2" },
        { W(0x78), "CDTABLECELL_HREF" }, { W(0x79), "CDACTIONBAREXT" } };

    std::string describeRecord(std::uint16_t signature, std::uint16_t k)
    {
        char text[80];
        const unsigned shown = (k >> 8) == static_cast<int>(Form::Byte) ? (signature & 0xFFU) : signature;
        const char* name = nullptr;
        for (const auto& n : Names)
            if (n.key == k)
                name = n.name;
        if (name != nullptr)
            std::snprintf(text, sizeof text, "CD record 0x%04X (%s)", shown, name);
        else
            std::snprintf(text, sizeof text, "CD record 0x%04X", shown);
        return text;
    }

    // NOTES_COLOR_xxx (colorid.h): the 16 standard colours of a FONTID.
    constexpr std::uint32_t StandardColors[16] = { 0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF00FF, 0xFFFF00,
        0x00FFFF, 0x800000, 0x008000, 0x000080, 0x800080, 0x808000, 0x008080, 0x808080, 0xC0C0C0 };

    // FONT_FACE_xxx (fontid.h) under the generic names DXL uses for them.
    constexpr const char* StandardFaces[5] = { "serif", "sans-serif", "multilingual", "user-interface", "monospace" };

    // Code page 850, the code page of LMBCS group 1, for the bytes 0x80 to 0xFF.
    constexpr std::array<std::uint16_t, 128> Cp850 = { 0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
        0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
        0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
        0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592,
        0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
        0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
        0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588,
        0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA,
        0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
        0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0 };

    std::string hexId(std::uint32_t high, std::uint32_t low)
    {
        char text[17];
        std::snprintf(text, sizeof text, "%08X%08X", high, low);
        return text;
    }

    // NOTELINK: File (the replica ID, a TIMEDATE), View and Note (UNIDs, each two TIMEDATEs; the
    // note's is zero in a view link, both are in a database link), as a notes:// URL.
    std::string noteLinkUrl(std::string_view link)
    {
        const auto unid = [&](std::size_t at) {
            const std::string id
                = hexId(u32(link, at + 4), u32(link, at)) + hexId(u32(link, at + 12), u32(link, at + 8));
            return id == std::string(32, '0') ? std::string() : id;
        };
        return notesUrl(hexId(u32(link, 4), u32(link, 0)), unid(8), unid(24));
    }

    // HOTSPOTREC_TYPE_xxx and HOTSPOTREC_RUNFLAG_xxx of editods.h.
    constexpr std::uint32_t HotspotFile = 4;
    constexpr std::uint32_t HotspotSection = 7;
    constexpr std::uint32_t HotspotHotlink = 11;
    constexpr std::uint32_t HotspotBundle = 12;
    constexpr std::uint32_t HotspotV4Section = 13;
    constexpr std::uint32_t HotspotFlagInNotes = 0x1000; // the hotspot is a URL

    class CompositeReader {
    public:
        CompositeReader(const FontTable& fonts, std::string_view links, ReaderFindings& findings,
            const std::string& item, std::uint64_t maxBytes)
            : builder_(maxBytes)
            , fonts_(fonts)
            , links_(links)
            , findings_(findings)
            , item_(item)
        {
        }

        // One item of the body; part: which of its items it is (1-based), for the findings.
        void read(std::string_view bytes, std::size_t part, std::size_t parts)
        {
            part_ = parts > 1 ? " (item " + std::to_string(part) + " of " + std::to_string(parts) + ")" : "";
            read(bytes);
        }

    private:
        void read(std::string_view bytes)
        {
            std::size_t at = 0;
            while (at < bytes.size() && !builder_.full()) {
                const std::size_t left = bytes.size() - at;
                const auto signature = field(bytes, at, 2);
                if (!signature) {
                    damage("a CD record header at byte " + std::to_string(at) + " is cut short, " + std::to_string(left)
                        + " bytes remain");
                    return;
                }
                const std::uint32_t high = *signature >> 8;
                const Form form = high == 0xFF ? Form::Word : high == 0 ? Form::Long : Form::Byte;
                const std::size_t headerSize = form == Form::Word ? 4 : form == Form::Long ? 6 : 2;
                const auto length = form == Form::Word ? field(bytes, at + 2, 2)
                    : form == Form::Long               ? field(bytes, at + 2, 4)
                                                       : std::optional<std::uint32_t>(high);
                const std::uint16_t k = key(form, static_cast<std::uint8_t>(*signature & 0xFF));
                if (!length || *length < headerSize || *length > left) {
                    char text[32];
                    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(*signature));
                    damage(std::string("CD record ") + text + " at byte " + std::to_string(at) + " claims "
                        + (length ? std::to_string(*length) : std::string("more")) + " bytes, " + std::to_string(left)
                        + " remain");
                    return;
                }
                whole_ = bytes.substr(at, *length);
                record(k, static_cast<std::uint16_t>(*signature), bytes.substr(at + headerSize, *length - headerSize));
                at += *length + (*length & 1U);
            }
            if (builder_.full() && !fullReported_) {
                fullReported_ = true;
                damage("more than " + std::to_string(RichTextBuilder::MaxParts)
                    + " paragraphs and parts, or more bytes than the document may hold; the rest is left out");
            }
        }

    public:
        std::uint64_t bytes() const { return builder_.bytes(); }

        std::shared_ptr<RichText> finish()
        {
            endPicture();
            if (unconverted_)
                findings_.damage(
                    "item " + item_ + ": text in an LMBCS character set that is not converted, shown as U+FFFD");
            return builder_.finish();
        }

    private:
        struct Hotspot {
            std::uint32_t type = 0;
            std::string href;
        };
        struct Format {
            Alignment align = Alignment::Left;
            ListStyle list = ListStyle::None;
        };

        void damage(const std::string& what) { findings_.damage("item " + item_ + part_ + ": " + what); }
        void ignore(std::uint16_t signature, std::uint16_t k) { findings_.ignore(describeRecord(signature, k)); }

        // Inside a file hotspot the records draw its icon: the attachment reference stands for them.
        bool inFileHotspot() const
        {
            for (const auto& h : hotspots_)
                if (h.type == HotspotFile)
                    return true;
            return false;
        }

        const std::string& href() const
        {
            static const std::string none;
            for (auto it = hotspots_.rbegin(); it != hotspots_.rend(); ++it)
                if (!it->href.empty())
                    return it->href;
            return none;
        }

        void ensureParagraph()
        {
            if (builder_.paragraph() == nullptr) {
                builder_.startParagraph(format_.align, format_.list);
                started_ = false;
            }
        }

        void record(std::uint16_t k, std::uint16_t signature, std::string_view body)
        {
            if (bitmap(k))
                return;
            if (k != SigImageSegment)
                endPicture();
            if (k != SigImageHeader && k != SigGraphic && k != SigBitmapHeader)
                graphic_ = false; // a CDGRAPHIC and then no image: a bitmap or metafile, counted below
            switch (k) {
            case SigParagraph:
                // CDPARAGRAPH starts a paragraph; Domino may leave it out before the first one.
                // Inside a CDLARGEPARAGRAPH pair the pieces of one long paragraph follow.
                if (largeParagraph_)
                    break;
                if (auto* p = builder_.paragraph(); p == nullptr || started_ || !p->inlines.empty())
                    builder_.startParagraph(format_.align, format_.list);
                started_ = true;
                break;
            case SigLargeParagraph: {
                const std::uint32_t flags = u16(body, 2); // CDLARGEPARAGRAPH: Version, Flags
                if (flags & 0x1)
                    largeParagraph_ = true;
                if (flags & 0x2)
                    largeParagraph_ = false;
                break;
            }
            case SigPabDefinition:
                pabDefinition(body);
                break;
            case SigPabReference:
                // CDPABREFERENCE: PABID, the definition of the paragraph it starts.
                if (auto it = pabs_.find(u16(body, 0)); it != pabs_.end()) {
                    format_ = it->second;
                    if (auto* p = builder_.paragraph()) {
                        p->align = format_.align;
                        p->list = format_.list;
                    }
                }
                break;
            case SigText:
                text(body);
                break;
            case SigColor:
                color(body);
                break;
            case SigBegin:
                // CDBEGINRECORD: Version, Signature of the record the block extends.
                textBlock_ = u16(body, 2) == 0xFF85;
                textInBlock_ = false;
                break;
            case SigEnd:
                textBlock_ = false;
                blockColor_.reset();
                break;
            case SigHotspotBegin:
            case SigV4HotspotBegin:
            case SigV5HotspotBegin:
                hotspotBegin(body);
                break;
            case SigHotspotEnd:
            case SigV4HotspotEnd:
            case SigV5HotspotEnd:
                if (!hotspots_.empty())
                    hotspots_.pop_back();
                break;
            case SigLinkExport2:
                linkExport(body);
                break;
            case SigLink2: {
                // CDLINK2: LinkID, the index of its NOTELINK in the document's $Links item, then
                // the display comment. Without that entry the link keeps its comment only.
                const std::uint32_t id = u16(body, 0);
                std::size_t at = 2;
                const auto comment = cString(body, at);
                const std::size_t entry = 2 + std::size_t { id } * 40;
                std::string url;
                if (body.size() >= 2 && id < u16(links_, 0) && entry + 40 <= links_.size())
                    url = noteLinkUrl(links_.substr(entry, 40));
                else
                    findings_.ignore("CDLINK2 without its $Links entry");
                addInline(makeInline(Inline::Kind::Link, url, convert(comment)));
                break;
            }
            case SigTableBegin:
            case SigNestedTableBegin:
                if (builder_.startTable()) {
                    ++tables_;
                } else {
                    ++tablesPassed_;
                    findings_.ignore(
                        "CD table nested more than " + std::to_string(RichTextBuilder::MaxTableDepth) + " deep");
                }
                started_ = false;
                break;
            case SigTableCell:
            case SigNestedTableCell:
                // CDTABLECELL: Row, Column (BYTEs), LeftMargin, RightMargin, FractionalWidth
                // (WORDs), Border, Flags (BYTEs), v42Border (WORD), RowSpan, ColumnSpan (BYTEs).
                if (tablesPassed_ == 0 && tables_ > 0) {
                    const auto rowSpan = field(body, 12, 1);
                    const auto columnSpan = field(body, 13, 1);
                    builder_.startCell(static_cast<int>(u8(body, 0)), rowSpan ? static_cast<int>(*rowSpan) : 1,
                        columnSpan ? static_cast<int>(*columnSpan) : 1);
                    started_ = false;
                }
                break;
            case SigTableEnd:
            case SigNestedTableEnd:
                if (tablesPassed_ > 0) {
                    --tablesPassed_;
                } else if (tables_ > 0) {
                    --tables_;
                    builder_.endTable();
                }
                started_ = false;
                break;
            case SigGraphic:
                graphic_ = true;
                break;
            case SigImageHeader:
                imageHeader(body);
                break;
            case SigImageSegment:
                imageSegment(body);
                break;
            case SigHorizontalRule:
                addInline(makeInline(Inline::Kind::Rule, href(), {}));
                break;
            case SigFontTable:
                break; // read on its own by readFontTable
            default:
                if (std::find(std::begin(FormattingOnly), std::end(FormattingOnly), k) == std::end(FormattingOnly))
                    ignore(signature, k);
                break;
            }
        }

        void addInline(Inline part)
        {
            if (inFileHotspot())
                return;
            ensureParagraph();
            builder_.add(std::move(part));
        }

        std::string convert(std::string_view lmbcs)
        {
            bool unconverted = false;
            std::string out = lmbcsToUtf8(lmbcs, unconverted);
            unconverted_ = unconverted_ || unconverted;
            return out;
        }

        // CDPABDEFINITION: PABID, JustifyMode, LineSpacing, ParagraphSpacingBefore,
        // ParagraphSpacingAfter, LeftMargin, RightMargin, FirstLineLeftMargin, Tabs (WORDs),
        // Tab[20] (SWORDs), Flags (WORD), TabTypes (DWORD), Flags2 (WORD), later fields unused.
        void pabDefinition(std::string_view body)
        {
            const auto id = field(body, 0, 2);
            if (!id)
                return;
            Format format;
            switch (u16(body, 2)) { // JUSTIFY_xxx
            case 1:
                format.align = Alignment::Right;
                break;
            case 2:
                format.align = Alignment::Full;
                break;
            case 3:
                format.align = Alignment::Center;
                break;
            case 4:
                format.align = Alignment::None;
                break;
            default:
                break;
            }
            const std::uint32_t flags = u16(body, 58);
            if (flags & 0x0400) // PABFLAG_BULLET
                format.list = ListStyle::Bullet;
            else if (flags & 0x1000) // PABFLAG_NUMBEREDLIST
                format.list = ListStyle::Number;
            if (pabs_.size() < 65536)
                pabs_[*id] = format;
        }

        // CDTEXT: FONTID (Face, Attrib, Color, PointSize: BYTEs), then the LMBCS text. A NUL in the
        // text is a line break inside the paragraph.
        void text(std::string_view body)
        {
            if (body.size() < 4 || inFileHotspot())
                return;
            TextStyle style;
            const std::uint32_t face = u8(body, 0);
            const std::uint32_t attrib = u8(body, 1); // ISxxx of fontid.h
            const std::uint32_t color = u8(body, 2);
            const std::uint32_t size = u8(body, 3);
            if (face < 5) {
                style.font = StandardFaces[face];
            } else if (auto it = fonts_.find(static_cast<int>(face)); it != fonts_.end()) {
                style.font = it->second;
            }
            style.bold = (attrib & 0x01) != 0;
            style.italic = (attrib & 0x02) != 0;
            style.underline = (attrib & 0x04) != 0;
            style.strikethrough = (attrib & 0x08) != 0;
            style.superscript = (attrib & 0x10) != 0;
            style.subscript = (attrib & 0x20) != 0;
            if (color < 16)
                style.color = StandardColors[color];
            // Larger indexes name entries of the 240-colour palette of Notes; the CDCOLOR that
            // follows in a CDBEGIN block gives the true colour.
            if (blockColor_)
                style.color = blockColor_;
            style.size = size;
            const std::string_view chars = body.substr(4);
            ensureParagraph();
            std::size_t from = 0;
            while (from <= chars.size()) {
                auto nul = chars.find('\0', from);
                if (nul == std::string_view::npos)
                    nul = chars.size();
                builder_.text(convert(chars.substr(from, nul - from)), style, href());
                if (nul == chars.size())
                    break;
                builder_.add(makeInline(Inline::Kind::Break, href(), {}, style));
                from = nul + 1;
            }
            if (textBlock_)
                textInBlock_ = true;
        }

        // CDCOLOR: COLOR_VALUE (Flags WORD, then red, green, blue BYTEs); in a CDBEGIN block of a
        // CDTEXT it is the colour of that text.
        void color(std::string_view body)
        {
            if (!textBlock_ || !(u16(body, 0) & 0x0001) || body.size() < 5) // COLOR_VALUE_FLAGS_ISRGB
                return;
            blockColor_ = u8(body, 2) << 16 | u8(body, 3) << 8 | u8(body, 4);
            if (auto* p = builder_.paragraph();
                p != nullptr && textInBlock_ && !p->inlines.empty() && p->inlines.back().kind == Inline::Kind::Text)
                p->inlines.back().style.color = blockColor_;
        }

        // CDHOTSPOTBEGIN: Type (WORD), Flags (DWORD), DataLength (WORD), then the data.
        void hotspotBegin(std::string_view body)
        {
            Hotspot h;
            h.type = u16(body, 0);
            const std::uint32_t flags = u32(body, 2);
            const std::uint32_t length = u16(body, 6);
            const std::string_view data = body.substr(std::min<std::size_t>(8, body.size()), length);
            if (h.type == HotspotHotlink && (flags & HotspotFlagInNotes)) {
                std::size_t at = 0;
                h.href = convert(cString(data, at));
            } else if (h.type == HotspotFile) {
                // Two strings: the $FILE name Domino gave the file, and its original name.
                std::size_t at = 0;
                Inline part = makeInline(Inline::Kind::Attachment, href());
                part.text = convert(cString(data, at));
                const std::string original = convert(cString(data, at));
                if (std::string_view(original) != part.text)
                    part.title = original;
                addInline(std::move(part));
            } else if (h.type != HotspotSection && h.type != HotspotBundle && h.type != HotspotV4Section) {
                // Buttons, popups, formulas, embedded objects: their text is kept, not what they do.
                findings_.ignore("CD hotspot of type " + std::to_string(h.type));
            }
            if (hotspots_.size() < 64)
                hotspots_.push_back(std::move(h));
        }

        // CDLINKEXPORT2: NOTELINK (File: the replica ID as a TIMEDATE; View and Note: UNIDs, each
        // two TIMEDATEs), then the display comment, the server hint and the anchor text.
        void linkExport(std::string_view body)
        {
            if (body.size() < 40) {
                damage(
                    "a CDLINKEXPORT2 record holds " + std::to_string(body.size()) + " bytes, fewer than its NOTELINK");
                return;
            }
            std::size_t at = 40;
            const auto comment = cString(body, at);
            addInline(makeInline(Inline::Kind::Link, noteLinkUrl(body.substr(0, 40)), convert(comment)));
        }

        // CDIMAGEHEADER: ImageType, Width, Height (WORDs), ImageDataSize, SegCount, Flags (DWORDs).
        void imageHeader(std::string_view body)
        {
            if (!graphic_ || inFileHotspot())
                return;
            graphic_ = false;
            Picture picture;
            switch (u16(body, 0)) { // CDIMAGETYPE_xxx
            case 1:
                picture.format = Picture::Format::Gif;
                break;
            case 2:
                picture.format = Picture::Format::Jpeg;
                break;
            case 3:
                picture.format = Picture::Format::Bmp;
                break;
            case 4:
                picture.format = Picture::Format::Png;
                break;
            default:
                break;
            }
            picture.width = static_cast<int>(u16(body, 2));
            picture.height = static_cast<int>(u16(body, 4));
            imageSize_ = u32(body, 6);
            ensureParagraph();
            picture_ = builder_.picture(std::move(picture), href());
        }

        // A Notes bitmap after a CDGRAPHIC: CDBITMAPHEADER, then CDBITMAPSEGMENTs, a CDCOLORTABLE
        // and a CDPATTERNTABLE. Kept as those records, whole, as DXL's <notesbitmap> holds them.
        bool bitmap(std::uint16_t k)
        {
            if (k == SigBitmapHeader && graphic_ && !inFileHotspot()) {
                endPicture();
                graphic_ = false;
                Picture picture;
                picture.format = Picture::Format::NotesBitmap;
                // CDBITMAPHEADER: LSIG, Dest, Crop (RECTSIZEs), Flags, wReserved (WORDs), lReserved
                // (DWORD), Width, Height (WORDs, pixels), ...
                picture.width = static_cast<int>(u16(whole_, 22));
                picture.height = static_cast<int>(u16(whole_, 24));
                picture.bytes = std::string(whole_);
                ensureParagraph();
                bitmap_ = builder_.picture(std::move(picture), href());
                return true;
            }
            if ((k == SigBitmapSegment || k == SigColorTable || k == SigPatternTable) && bitmap_ >= 0) {
                builder_.appendToPicture(bitmap_, whole_);
                return true;
            }
            bitmap_ = -1;
            return false;
        }

        // CDIMAGESEGMENT: DataSize, SegSize (WORDs), then SegSize bytes of which DataSize are image.
        void imageSegment(std::string_view body)
        {
            auto* picture = builder_.pictureAt(picture_);
            if (picture == nullptr)
                return;
            const std::size_t size = std::min<std::size_t>(u16(body, 0), body.size() >= 4 ? body.size() - 4 : 0);
            const std::size_t room = imageSize_ > picture->bytes.size() ? imageSize_ - picture->bytes.size() : 0;
            builder_.appendToPicture(
                picture_, body.substr(std::min<std::size_t>(4, body.size()), std::min(size, room)));
        }

        void endPicture()
        {
            auto* picture = builder_.pictureAt(picture_);
            picture_ = -1;
            if (picture == nullptr)
                return;
            if (picture->bytes.size() < imageSize_)
                damage("a picture holds " + std::to_string(picture->bytes.size()) + " of its "
                    + std::to_string(imageSize_) + " bytes");
            picture->format = sniffPicture(picture->bytes, picture->format);
        }

        RichTextBuilder builder_;
        const FontTable& fonts_;
        std::string_view links_; // the $Links item: LIST (ListEntries WORD), then NOTELINKs
        ReaderFindings& findings_;
        const std::string& item_;
        std::map<std::uint32_t, Format> pabs_;
        Format format_;
        bool started_ = false; // the open paragraph was started by a CDPARAGRAPH
        bool largeParagraph_ = false;
        std::vector<Hotspot> hotspots_;
        int tables_ = 0;
        int tablesPassed_ = 0;
        bool graphic_ = false;
        int picture_ = -1;
        int bitmap_ = -1; // the Notes bitmap whose records are being read
        std::string_view whole_; // the record being read, header included
        std::uint32_t imageSize_ = 0;
        bool textBlock_ = false;
        bool textInBlock_ = false;
        std::optional<std::uint32_t> blockColor_;
        bool unconverted_ = false;
        bool fullReported_ = false;
        std::string part_;
    };
} // namespace

// LMBCS (Lotus Multi-Byte Character Set): bytes below 0x80 are ASCII; bytes from 0x80 up
// belong to the optimisation group, group 1 (code page 850) in Notes rich text. A byte 0x01
// to 0x1F is a group prefix for the character that follows: 0x01 group 1 (one byte, code page
// 850), 0x14 group 0x14 (two bytes, a UTF-16 code unit big-endian, surrogate pairs joined),
// 0x0F control characters (one byte). The other groups (0x02-0x08 and 0x0B: Greek, Hebrew,
// Arabic, Cyrillic, Latin-2, Turkish and Thai code pages, one byte each; 0x10-0x13: Japanese,
// Korean and Chinese, two bytes each) are not converted: each of their characters becomes
// U+FFFD and unconverted is set: the reader then notes the body as damaged.
std::string lmbcsToUtf8(std::string_view text, bool& unconverted)
{
    std::string out;
    out.reserve(text.size());
    std::uint32_t highSurrogate = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            appendUtf8(out, Cp850[c - 0x80]);
            ++i;
        } else if (c == 0x01 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            appendUtf8(out, next >= 0x80 ? Cp850[next - 0x80] : next);
            i += 2;
        } else if (c == 0x14 && i + 2 < text.size()) {
            const std::uint32_t unit
                = static_cast<unsigned char>(text[i + 1]) << 8 | static_cast<unsigned char>(text[i + 2]);
            i += 3;
            if (unit >= 0xD800 && unit < 0xDC00) {
                highSurrogate = unit;
                continue;
            }
            if (unit >= 0xDC00 && unit < 0xE000)
                appendUtf8(
                    out, highSurrogate != 0 ? 0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00) : 0xFFFD);
            else
                appendUtf8(out, highSurrogate != 0 ? 0xFFFD : unit);
            highSurrogate = 0;
            continue;
        } else if (c == 0x0F && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            appendUtf8(out, next == '\t' || next == '\n' || next >= 0x20 ? next : 0xFFFD);
            i += 2;
        } else if ((c >= 0x02 && c <= 0x08 && c != 0x07) || c == 0x0B || (c >= 0x10 && c <= 0x13)) {
            unconverted = true;
            appendUtf8(out, 0xFFFD);
            i += c >= 0x10 ? 3 : 2;
        } else {
            // ASCII; a control character other than tab and line feed cannot be shown.
            if (c >= 0x20 || c == '\t' || c == '\n')
                out += static_cast<char>(c);
            ++i;
        }
        if (highSurrogate != 0) {
            appendUtf8(out, 0xFFFD); // a high surrogate without its low one
            highSurrogate = 0;
        }
    }
    return out;
}

// CDFONTTABLE: WSIG, Fonts (WORD); then that many CDFACE: Face, Family (BYTEs), Name[32].
FontTable readFontTable(std::string_view bytes)
{
    FontTable fonts;
    if (u16(bytes, 0) != 0xFF8B)
        return fonts;
    const std::size_t length = std::min<std::size_t>(u16(bytes, 2), bytes.size());
    const std::uint32_t count = u16(bytes, 4);
    constexpr std::size_t FaceSize = 2 + 32; // MAXFACESIZE
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + i * FaceSize;
        if (at + FaceSize > length)
            break;
        std::size_t name = at + 2;
        const auto text = cString(bytes.substr(0, at + FaceSize), name);
        bool unconverted = false;
        fonts[static_cast<int>(u8(bytes, at))] = lmbcsToUtf8(text, unconverted);
    }
    return fonts;
}

std::shared_ptr<RichText> readComposite(const std::vector<std::string_view>& items, const FontTable& fonts,
    ReaderFindings& findings, const std::string& item, std::string_view links, std::uint64_t* budget)
{
    CompositeReader reader(fonts, links, findings, item, budget != nullptr ? *budget : std::uint64_t { 64 } << 20);
    for (std::size_t i = 0; i < items.size(); ++i)
        reader.read(items[i], i + 1, items.size());
    if (budget != nullptr)
        *budget -= std::min(*budget, reader.bytes());
    return reader.finish();
}

} // namespace notes::detail
