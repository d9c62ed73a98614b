#include "messaging/Schema.h"

#include "ltp/Property.h"

namespace pst::messaging {

namespace {
    // Written with PT_UNICODE (0x001F) strings; ANSI stores get PT_STRING8 (0x001E).
    std::vector<std::uint32_t> forFormat(Format format, std::vector<std::uint32_t> tags)
    {
        if (format == Format::Ansi)
            for (auto& t : tags)
                if ((t & 0x0FFF) == ltp::kPtUnicode)
                    t = (t & ~0x0FFFu) | ltp::kPtString8;
        return tags;
    }
} // namespace

std::vector<std::uint32_t> hierarchyTableColumns(Format format)
{
    // [MS-PST] 2.4.4.4.1, with PidTagReplItemid as Outlook declares it in every file it writes
    // (PtypBinary, a 16-byte ID in its rows; [MS-PST] lists PtypInteger32).
    return forFormat(format,
        { 0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x3001001F, 0x36020003, 0x36030003, 0x360A000B, 0x3613001F,
            0x66350003, 0x66360003, 0x67F20003, 0x67F30003 });
}

std::vector<std::uint32_t> contentsTableColumns(Format format)
{
    // [MS-PST] 2.4.4.5.1 plus PidTagChangeKey, as in Outlook's template, and PidTagReplItemid
    // as PtypBinary, as Outlook declares it.
    return forFormat(format,
        { 0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x00390040, 0x0042001F, 0x0057000B, 0x0058000B, 0x0070001F,
            0x00710102, 0x0E03001F, 0x0E04001F, 0x0E060040, 0x0E070003, 0x0E080003, 0x0E170003, 0x0E300102, 0x0E330014,
            0x0E340102, 0x0E380003, 0x0E3C0102, 0x0E3D0102, 0x10970003, 0x30080040, 0x30130102, 0x65C60003, 0x67F20003,
            0x67F30003 });
}

std::vector<std::uint32_t> assocContentsTableColumns(Format format)
{
    // [MS-PST] 2.4.4.6.1, plus the string column 0x682F that every FAI table Outlook writes has.
    return forFormat(format,
        { 0x001A001F, 0x0E070003, 0x0E170003, 0x3001001F, 0x67F20003, 0x67F30003, 0x6800001F, 0x6803000B, 0x68051003,
            0x682F001F, 0x70030003, 0x70040102, 0x70050102, 0x7006001F, 0x70070003 });
}

std::vector<std::uint32_t> searchContentsTableColumns(Format format)
{
    // [MS-PST] 2.4.8.6.2.1.
    return forFormat(format,
        { 0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x0042001F, 0x0057000B, 0x0058000B, 0x0E03001F, 0x0E04001F,
            0x0E05001F, 0x0E060040, 0x0E070003, 0x0E080003, 0x0E170003, 0x0E2A000B, 0x30080040, 0x67F10003, 0x67F20003,
            0x67F30003 });
}

std::vector<std::uint32_t> attachmentTableColumns(Format format)
{
    // [MS-PST] 2.4.6.1.1.
    return forFormat(format, { 0x0E200003, 0x3704001F, 0x37050003, 0x370B0003, 0x67F20003, 0x67F30003 });
}

std::vector<std::uint32_t> recipientTableColumns(Format format)
{
    // [MS-PST] 2.4.5.3.1.
    return forFormat(format,
        { 0x0C150003, 0x0E0F000B, 0x0FF90102, 0x0FFE0003, 0x0FFF0102, 0x3001001F, 0x3002001F, 0x3003001F, 0x300B0102,
            0x39000003, 0x39FF001F, 0x3A40000B, 0x67F20003, 0x67F30003 });
}

std::vector<std::uint32_t> receiveFolderTableColumns(Format format)
{
    // PidTagMessageClass -> NID of the folder that receives that class.
    return forFormat(format, { 0x001A001F, 0x66050003, 0x67F20003, 0x67F30003 });
}

std::vector<std::uint32_t> outgoingQueueTableColumns(Format format)
{
    return forFormat(format, { 0x00390040, 0x0E100003, 0x0E140003, 0x67F20003, 0x67F30003 });
}

const std::vector<DefaultFolderInfo>& defaultFolders()
{
    static const std::vector<DefaultFolderInfo> list {
        { DefaultFolder::DeletedItems, "Deleted Items", "IPF.Note" },
        { DefaultFolder::Inbox, "Inbox", "IPF.Note" },
        { DefaultFolder::Outbox, "Outbox", "IPF.Note" },
        { DefaultFolder::SentItems, "Sent Items", "IPF.Note" },
        { DefaultFolder::Calendar, "Calendar", "IPF.Appointment" },
        { DefaultFolder::Contacts, "Contacts", "IPF.Contact" },
        { DefaultFolder::Journal, "Journal", "IPF.Journal" },
        { DefaultFolder::Notes, "Notes", "IPF.StickyNote" },
        { DefaultFolder::Tasks, "Tasks", "IPF.Task" },
        { DefaultFolder::Drafts, "Drafts", "IPF.Note" },
    };
    return list;
}

} // namespace pst::messaging
