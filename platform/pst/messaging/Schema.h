// Fixed node IDs, property IDs and table column sets of the messaging layer ([MS-PST] 2.4 and
// 2.7), with the columns Outlook's own new files carry.
#pragma once

#include "pst/Store.h"

#include <cstdint>
#include <vector>

namespace pst::messaging {

// Special NIDs, [MS-PST] 2.4.1.
constexpr std::uint32_t kNidMessageStore = 0x21;
constexpr std::uint32_t kNidNameToIdMap = 0x61;
constexpr std::uint32_t kNidRootFolder = 0x122;
constexpr std::uint32_t kNidSearchManagementQueue = 0x1E1;
constexpr std::uint32_t kNidSearchActivityList = 0x201;
constexpr std::uint32_t kNidHierarchyTableTemplate = 0x60D;
constexpr std::uint32_t kNidContentsTableTemplate = 0x60E;
constexpr std::uint32_t kNidAssocContentsTableTemplate = 0x60F;
constexpr std::uint32_t kNidSearchContentsTableTemplate = 0x610;
constexpr std::uint32_t kNidReceiveFolderTable = 0x62B;
constexpr std::uint32_t kNidOutgoingQueueTable = 0x64C;
constexpr std::uint32_t kNidAttachmentTableTemplate = 0x671;
constexpr std::uint32_t kNidRecipientTableTemplate = 0x692;
constexpr std::uint32_t kNidSpamSearchFolder = 0x2223;

// Property IDs.
enum PropId : std::uint16_t {
    kPidNameidBucketCount = 0x0001,
    kPidNameidStreamGuid = 0x0002,
    kPidNameidStreamEntry = 0x0003,
    kPidNameidStreamString = 0x0004,
    kPidMessageClass = 0x001A,
    kPidRecordKey = 0x0FF9,
    kPidDisplayName = 0x3001,
    kPidValidFolderMask = 0x35DF,
    kPidIpmSubtreeEntryId = 0x35E0,
    kPidIpmOutboxEntryId = 0x35E2,
    kPidIpmWastebasketEntryId = 0x35E3,
    kPidIpmSentMailEntryId = 0x35E4,
    kPidFinderEntryId = 0x35E7,
    kPidContentCount = 0x3602,
    kPidContentUnreadCount = 0x3603,
    kPidSubfolders = 0x360A,
    kPidContainerClass = 0x3613,
    kPidIpmAppointmentEntryId = 0x36D0,
    kPidIpmContactEntryId = 0x36D1,
    kPidIpmJournalEntryId = 0x36D2,
    kPidIpmNoteEntryId = 0x36D3,
    kPidIpmTaskEntryId = 0x36D4,
    kPidIpmDraftsEntryId = 0x36D7,
    kPidReceiveFolderNid = 0x6605,
    kPidPstLrNoRestrictions = 0x6633,
    kPidPstPassword = 0x67FF,
};

// PidTagValidFolderMask bits.
constexpr std::uint32_t kFolderIpmSubtreeValid = 0x01, kFolderIpmInboxValid = 0x02, kFolderIpmOutboxValid = 0x04,
                        kFolderIpmWastebasketValid = 0x08, kFolderIpmSentMailValid = 0x10, kFolderFinderValid = 0x80;

constexpr std::uint32_t kNameidBucketCount = 251;

// Column sets; string columns take the format's string type.
std::vector<std::uint32_t> hierarchyTableColumns(Format format);
std::vector<std::uint32_t> contentsTableColumns(Format format);
std::vector<std::uint32_t> assocContentsTableColumns(Format format);
std::vector<std::uint32_t> searchContentsTableColumns(Format format);
std::vector<std::uint32_t> attachmentTableColumns(Format format);
std::vector<std::uint32_t> recipientTableColumns(Format format);
std::vector<std::uint32_t> receiveFolderTableColumns(Format format);
std::vector<std::uint32_t> outgoingQueueTableColumns(Format format);

struct DefaultFolderInfo {
    DefaultFolder which;
    const char* name;
    const char* containerClass;
};
const std::vector<DefaultFolderInfo>& defaultFolders(); // in Outlook's creation order

} // namespace pst::messaging
