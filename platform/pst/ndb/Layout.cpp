#include "ndb/Layout.h"

namespace pst::ndb {

const Layout& Layout::of(Format format)
{
    static const Layout ansi {
        .format = Format::Ansi,
        .unicode = false,
        .idWidth = 4,
        .pageTrailerSize = 12,
        .blockTrailerSize = 12,
        .btEntryArea = 496,
        .nbtEntrySize = 16,
        .bbtEntrySize = 12,
        .btEntrySize = 12,
        .maxBlockData = 8180,
        .headerSize = 512,
        .slEntrySize = 12,
        .siEntrySize = 8,
        .subnodeHeaderSize = 4,
        .rowIndexEntrySize = 2,
        .dlistEntryBytes = 480,
        .mapPadding = 4,
        .maxFileSize = 0x7FFFFFFFull, // IBs are signed 32-bit in practice: 2 GB
        .maxTableRows = 0xFFFF,
    };
    static const Layout unicode {
        .format = Format::Unicode,
        .unicode = true,
        .idWidth = 8,
        .pageTrailerSize = 16,
        .blockTrailerSize = 16,
        .btEntryArea = 488,
        .nbtEntrySize = 32,
        .bbtEntrySize = 24,
        .btEntrySize = 24,
        .maxBlockData = 8176,
        .headerSize = 564,
        .slEntrySize = 24,
        .siEntrySize = 16,
        .subnodeHeaderSize = 8,
        .rowIndexEntrySize = 4,
        .dlistEntryBytes = 476,
        .mapPadding = 0,
        .maxFileSize = 1ull << 50,
        .maxTableRows = 0xFFFFFFFFull,
    };
    return format == Format::Ansi ? ansi : unicode;
}

} // namespace pst::ndb
