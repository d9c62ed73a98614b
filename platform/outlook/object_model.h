// The Outlook object model's item properties, by name, and the MAPI properties each one is
// stored in. The item writers assign properties by their object-model names ("Subject",
// "Start", "Email1Address"); this table says which MAPI property (a tag, or a named property
// of a property set) receives the value and how the value is converted.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace outlook {

// A property set GUID in its in-memory field form.
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::array<std::uint8_t, 8> data4;
    // The 16 bytes as MAPI stores them (data1..data3 little-endian).
    std::array<std::uint8_t, 16> bytes() const;
    bool operator==(const Guid&) const = default;
};

// Property sets ([MS-OXPROPS] 1.3.2).
inline constexpr Guid PSETID_Appointment { 0x00062002, 0, 0, { 0xC0, 0, 0, 0, 0, 0, 0, 0x46 } };
inline constexpr Guid PSETID_Task { 0x00062003, 0, 0, { 0xC0, 0, 0, 0, 0, 0, 0, 0x46 } };
inline constexpr Guid PSETID_Address { 0x00062004, 0, 0, { 0xC0, 0, 0, 0, 0, 0, 0, 0x46 } };
inline constexpr Guid PSETID_Common { 0x00062008, 0, 0, { 0xC0, 0, 0, 0, 0, 0, 0, 0x46 } };
inline constexpr Guid PSETID_Note { 0x0006200E, 0, 0, { 0xC0, 0, 0, 0, 0, 0, 0, 0x46 } };
inline constexpr Guid PSETID_Meeting { 0x6ED8DA90, 0x450B, 0x101B, { 0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05 } };
inline constexpr Guid PS_PUBLIC_STRINGS { 0x00020329, 0, 0, { 0xC0, 0, 0, 0, 0, 0, 0, 0x46 } };

// MAPI property types.
enum class PropType : std::uint16_t {
    Integer16 = 0x0002,
    Integer32 = 0x0003,
    Floating64 = 0x0005,
    Boolean = 0x000B,
    String8 = 0x001E,
    Unicode = 0x001F,
    Time = 0x0040,
    Binary = 0x0102,
    MultipleInteger32 = 0x1003,
    MultipleUnicode = 0x101F,
};

// One MAPI property: a tag id, or a named property (set + numeric id, or set + name).
struct PropertyKey {
    enum class Kind : std::uint8_t { Tag, NamedId, NamedString };
    Kind kind;
    std::uint16_t tagId; // Tag
    const Guid* set; // NamedId, NamedString
    std::uint32_t lid; // NamedId
    std::string_view name; // NamedString
    PropType type;

    static constexpr PropertyKey tag(std::uint16_t id, PropType type)
    {
        return { Kind::Tag, id, nullptr, 0, {}, type };
    }
    static constexpr PropertyKey named(const Guid& set, std::uint32_t lid, PropType type)
    {
        return { Kind::NamedId, 0, &set, lid, {}, type };
    }
    static constexpr PropertyKey namedString(const Guid& set, std::string_view name, PropType type)
    {
        return { Kind::NamedString, 0, &set, 0, name, type };
    }
};

// Item kinds a property applies to, as a bit mask.
enum ItemKindBits : std::uint8_t {
    KindMail = 1,
    KindAppointment = 2,
    KindContact = 4,
    KindTask = 8,
    KindPost = 16,
    KindDistList = 32,
    KindAll = 63,
};

// How the assigned value is turned into the stored one.
enum class Conversion : std::uint8_t {
    Text, // text as given
    Time, // a date-time (or text that reads as one), stored as UTC
    Day, // a calendar day (the date as written, no time-zone conversion), stored at 00:00 UTC
    Integer, // a whole number
    Boolean,
    Categories, // text of comma- or semicolon-separated names -> multi-valued text
    Special, // handled by the item itself (Sent, To, CC, BCC, Start, End, MessageClass, Body, ...)
};

struct ObjectModelProperty {
    std::string_view name;
    std::uint8_t kinds; // ItemKindBits
    Conversion conversion;
    std::span<const PropertyKey> targets; // every MAPI property that receives the value
};

// The property of that object-model name for an item kind, or null when the kind has none
// (assigning it then fails, as Outlook's object model refuses an unknown member).
const ObjectModelProperty* FindProperty(std::string_view name, ItemKindBits kind);

// The whole table, for documentation and tests.
std::span<const ObjectModelProperty> AllProperties();

// Frequently used tag ids ([MS-OXPROPS]).
namespace tags {
    inline constexpr std::uint16_t MessageClass = 0x001A;
    inline constexpr std::uint16_t Subject = 0x0037;
    inline constexpr std::uint16_t ClientSubmitTime = 0x0039;
    inline constexpr std::uint16_t SentRepresentingName = 0x0042;
    inline constexpr std::uint16_t SentRepresentingEmailAddress = 0x0065;
    inline constexpr std::uint16_t SentRepresentingAddressType = 0x0064;
    inline constexpr std::uint16_t ConversationTopic = 0x0070;
    inline constexpr std::uint16_t SenderName = 0x0C1A;
    inline constexpr std::uint16_t SenderEmailAddress = 0x0C1F;
    inline constexpr std::uint16_t SenderAddressType = 0x0C1E;
    inline constexpr std::uint16_t DisplayBcc = 0x0E02;
    inline constexpr std::uint16_t DisplayCc = 0x0E03;
    inline constexpr std::uint16_t DisplayTo = 0x0E04;
    inline constexpr std::uint16_t MessageDeliveryTime = 0x0E06;
    inline constexpr std::uint16_t MessageFlags = 0x0E07;
    inline constexpr std::uint16_t MessageSize = 0x0E08;
    inline constexpr std::uint16_t NormalizedSubject = 0x0E1D;
    inline constexpr std::uint16_t Body = 0x1000;
    inline constexpr std::uint16_t CreationTime = 0x3007;
    inline constexpr std::uint16_t LastModificationTime = 0x3008;
    inline constexpr std::uint16_t DisplayName = 0x3001;
    inline constexpr std::uint16_t StartDate = 0x0060;
    inline constexpr std::uint16_t EndDate = 0x0061;
} // namespace tags

// Frequently used named property ids.
namespace lids {
    inline constexpr std::uint32_t AppointmentStartWhole = 0x820D; // PSETID_Appointment
    inline constexpr std::uint32_t AppointmentEndWhole = 0x820E;
    inline constexpr std::uint32_t AppointmentDuration = 0x8213;
    inline constexpr std::uint32_t Location = 0x8208;
    inline constexpr std::uint32_t BusyStatus = 0x8205;
    inline constexpr std::uint32_t AppointmentSubType = 0x8215;
    inline constexpr std::uint32_t CommonStart = 0x8516; // PSETID_Common
    inline constexpr std::uint32_t CommonEnd = 0x8517;
    inline constexpr std::uint32_t ReminderSet = 0x8503;
    inline constexpr std::uint32_t TaskDueDate = 0x8105; // PSETID_Task
    inline constexpr std::uint32_t TaskStartDate = 0x8104;
    inline constexpr std::uint32_t TaskStatus = 0x8101;
    inline constexpr std::uint32_t PercentComplete = 0x8102;
    inline constexpr std::uint32_t TaskComplete = 0x811C;
    inline constexpr std::uint32_t NoteColor = 0x8B00; // PSETID_Note
    inline constexpr std::uint32_t NoteWidth = 0x8B02;
    inline constexpr std::uint32_t NoteHeight = 0x8B03;
    inline constexpr std::uint32_t NoteX = 0x8B04;
    inline constexpr std::uint32_t NoteY = 0x8B05;
    inline constexpr std::uint32_t FileUnder = 0x8005; // PSETID_Address
    inline constexpr std::uint32_t FileUnderId = 0x8006;
    inline constexpr std::uint32_t Email1DisplayName = 0x8080;
    inline constexpr std::uint32_t Email1AddressType = 0x8082;
    inline constexpr std::uint32_t Email1EmailAddress = 0x8083;
    inline constexpr std::uint32_t Email1OriginalDisplayName = 0x8084;
    inline constexpr std::uint32_t AddressBookProviderEmailList = 0x8028;
    inline constexpr std::uint32_t AddressBookProviderArrayType = 0x8029;
} // namespace lids

} // namespace outlook
