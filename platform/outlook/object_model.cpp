#include "object_model.h"

namespace outlook {

std::array<std::uint8_t, 16> Guid::bytes() const
{
    std::array<std::uint8_t, 16> out {};
    for (int i = 0; i < 4; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(data1 >> (8 * i));
    out[4] = static_cast<std::uint8_t>(data2);
    out[5] = static_cast<std::uint8_t>(data2 >> 8);
    out[6] = static_cast<std::uint8_t>(data3);
    out[7] = static_cast<std::uint8_t>(data3 >> 8);
    for (std::size_t i = 0; i < 8; ++i)
        out[8 + i] = data4[i];
    return out;
}

namespace {
    using K = PropertyKey;
    using T = PropType;

    constexpr K tag(std::uint16_t id, T type = T::Unicode) { return K::tag(id, type); }
    constexpr K address(std::uint32_t lid, T type = T::Unicode) { return K::named(PSETID_Address, lid, type); }

    // Target lists. A value assigned by name is stored in every property of its list.
    constexpr K subject[] = { tag(tags::Subject) };
    constexpr K body[] = { tag(tags::Body) };
    constexpr K messageClass[] = { tag(tags::MessageClass) };
    constexpr K categories[] = { K::namedString(PS_PUBLIC_STRINGS, "Keywords", T::MultipleUnicode) };
    constexpr K sentOn[] = { tag(tags::ClientSubmitTime, T::Time) };
    constexpr K receivedTime[] = { tag(tags::MessageDeliveryTime, T::Time) };
    constexpr K creationTime[] = { tag(tags::CreationTime, T::Time) };
    constexpr K none[] = { tag(0, T::Unicode) };
    // Follow-up flags ([MS-OXOFLAG]): PidTagFlagStatus, PidTagFollowupIcon, PidLidFlagRequest.
    constexpr K flagStatus[] = { tag(0x1090, T::Integer32) };
    constexpr K importance[] = { tag(0x0017, T::Integer32) }; // PidTagImportance
    constexpr K flagIcon[] = { tag(0x1095, T::Integer32) };
    constexpr K flagRequest[] = { K::named(PSETID_Common, 0x8530, T::Unicode) };
    // Bodies and Internet identity ([MS-OXCMAIL], [MS-OXOMSG]).
    constexpr K htmlBody[] = { tag(0x1013, T::Binary) }; // PidTagHtml
    constexpr K messageId[] = { tag(0x1035) }; // PidTagInternetMessageId
    constexpr K inReplyTo[] = { tag(0x1042) }; // PidTagInReplyToId
    constexpr K references[] = { tag(0x1039) }; // PidTagInternetReferences
    constexpr K transportHeaders[] = { tag(0x007D) }; // PidTagTransportMessageHeaders
    constexpr K conversationTopic[] = { tag(tags::ConversationTopic) };
    constexpr K conversationIndex[] = { tag(0x0071, T::Binary) }; // PidTagConversationIndex

    constexpr K location[] = { K::named(PSETID_Appointment, lids::Location, T::Unicode) };
    constexpr K start[] = { K::named(PSETID_Appointment, lids::AppointmentStartWhole, T::Time),
        K::named(PSETID_Common, lids::CommonStart, T::Time), tag(tags::StartDate, T::Time) };
    constexpr K end[] = { K::named(PSETID_Appointment, lids::AppointmentEndWhole, T::Time),
        K::named(PSETID_Common, lids::CommonEnd, T::Time), tag(tags::EndDate, T::Time) };
    // Tasks ([MS-OXOTASK]): the due and start dates are local dates (the day at 00:00, no zone
    // conversion); PidLidCommonEnd and PidLidCommonStart hold the local midnights in UTC.
    constexpr K dueDate[]
        = { K::named(PSETID_Task, lids::TaskDueDate, T::Time), K::named(PSETID_Common, lids::CommonEnd, T::Time) };
    constexpr K taskStart[]
        = { K::named(PSETID_Task, lids::TaskStartDate, T::Time), K::named(PSETID_Common, lids::CommonStart, T::Time) };
    constexpr K taskComplete[] = { K::named(PSETID_Task, lids::TaskComplete, T::Boolean) };
    constexpr K taskStatus[] = { K::named(PSETID_Task, lids::TaskStatus, T::Integer32) };
    constexpr K percentComplete[] = { K::named(PSETID_Task, lids::PercentComplete, T::Floating64) };
    constexpr K dateCompleted[] = { K::named(PSETID_Task, 0x810F, T::Time) }; // PidLidTaskDateCompleted
    constexpr K reminderSet[] = { K::named(PSETID_Common, lids::ReminderSet, T::Boolean) };
    // PidLidReminderTime and PidLidReminderSignalTime.
    constexpr K reminderTime[] = { K::named(PSETID_Common, 0x8502, T::Time), K::named(PSETID_Common, 0x8560, T::Time) };
    // Appointments ([MS-OXOCAL]).
    constexpr K allDay[] = { K::named(PSETID_Appointment, lids::AppointmentSubType, T::Boolean) };
    constexpr K busyStatus[] = { K::named(PSETID_Appointment, lids::BusyStatus, T::Integer32) };
    constexpr K stateFlags[] = { K::named(PSETID_Appointment, 0x8217, T::Integer32) }; // PidLidAppointmentStateFlags
    constexpr K responseStatus[] = { K::named(PSETID_Appointment, 0x8218, T::Integer32) }; // PidLidResponseStatus
    // The organizer is who the meeting is sent as: PidTagSentRepresentingName, PidTagSenderName
    // (the item sets their addresses and address types beside them).
    constexpr K organizer[] = { tag(tags::SentRepresentingName), tag(tags::SenderName) };

    constexpr K noteColor[] = { K::named(PSETID_Note, lids::NoteColor, T::Integer32) };
    constexpr K noteX[] = { K::named(PSETID_Note, lids::NoteX, T::Integer32) };
    constexpr K noteY[] = { K::named(PSETID_Note, lids::NoteY, T::Integer32) };
    constexpr K noteWidth[] = { K::named(PSETID_Note, lids::NoteWidth, T::Integer32) };
    constexpr K noteHeight[] = { K::named(PSETID_Note, lids::NoteHeight, T::Integer32) };

    // Contacts ([MS-OXOCNTC]).
    constexpr K firstName[] = { tag(0x3A06) };
    constexpr K middleName[] = { tag(0x3A44) };
    constexpr K lastName[] = { tag(0x3A11) };
    constexpr K jobTitle[] = { tag(0x3A17) };
    constexpr K companyName[] = { tag(0x3A16) };
    constexpr K businessPhone[] = { tag(0x3A08) };
    constexpr K businessFax[] = { tag(0x3A24) };
    constexpr K homePhone[] = { tag(0x3A09) };
    constexpr K homeFax[] = { tag(0x3A25) };
    constexpr K mobilePhone[] = { tag(0x3A1C) };
    constexpr K pager[] = { tag(0x3A21) };
    // The work address is also the mailing address (PidTagStreetAddress, PidTagLocality, ...),
    // as Outlook makes it for a contact whose only address is the business one.
    constexpr K workStreet[] = { address(0x8045), tag(0x3A29) };
    constexpr K workCity[] = { address(0x8046), tag(0x3A27) };
    constexpr K workState[] = { address(0x8047), tag(0x3A28) };
    constexpr K workPostalCode[] = { address(0x8048), tag(0x3A2A) };
    constexpr K workCountry[] = { address(0x8049), tag(0x3A26) };
    constexpr K homeStreet[] = { tag(0x3A5D) };
    constexpr K homeCity[] = { tag(0x3A59) };
    constexpr K homeState[] = { tag(0x3A5C) };
    constexpr K homePostalCode[] = { tag(0x3A5B) };
    constexpr K homeCountry[] = { tag(0x3A5A) };
    constexpr K email1[] = { address(lids::Email1EmailAddress) };
    constexpr K webPage[] = { address(0x802B), tag(0x3A51) }; // PidLidHtml and PidTagBusinessHomePage
    constexpr K imAddress[] = { address(0x8062) };
    constexpr K department[] = { tag(0x3A18) };
    constexpr K officeLocation[] = { tag(0x3A19) };
    constexpr K profession[] = { tag(0x3A46) };
    constexpr K managerName[] = { tag(0x3A4E) };
    constexpr K assistantName[] = { tag(0x3A30) };
    constexpr K spouse[] = { tag(0x3A48) };
    // PidTagBirthday and PidLidBirthdayLocal, PidTagWeddingAnniversary and
    // PidLidWeddingAnniversaryLocal: the day at midnight, without time-zone conversion, so that
    // every reader in every zone sees the same day.
    constexpr K birthday[] = { tag(0x3A42, T::Time), address(0x80DE, T::Time) };
    constexpr K anniversary[] = { tag(0x3A41, T::Time), address(0x80DF, T::Time) };
    constexpr K fileAs[] = { address(lids::FileUnder) };
    // PidLidDistributionListName, the list's display name and file-as.
    constexpr K dlName[] = { address(0x8053), tag(0x3001), address(lids::FileUnder) };

    constexpr std::uint8_t Messages = KindMail | KindPost;

    constexpr ObjectModelProperty table[] = {
        { "Subject", KindAll, Conversion::Text, subject },
        { "Body", KindAll, Conversion::Special, body },
        { "HTMLBody", KindAll, Conversion::Special, htmlBody },
        { "BodyFormat", KindAll, Conversion::Special, none },
        { "ConversationTopic", KindAll, Conversion::Text, conversationTopic },
        { "ConversationIndex", KindAll, Conversion::Special, conversationIndex },
        { "MessageClass", KindAll, Conversion::Special, messageClass },
        { "Categories", KindAll, Conversion::Categories, categories },
        // Mail
        { "Sent", KindMail, Conversion::Special, none },
        { "To", KindMail, Conversion::Special, none },
        { "CC", KindMail, Conversion::Special, none },
        { "BCC", KindMail, Conversion::Special, none },
        { "InternetMessageId", Messages, Conversion::Text, messageId },
        { "InReplyToId", Messages, Conversion::Text, inReplyTo },
        { "InternetReferences", Messages, Conversion::Text, references },
        { "TransportMessageHeaders", Messages, Conversion::Text, transportHeaders },
        { "SentOn", Messages, Conversion::Time, sentOn },
        { "ReceivedTime", Messages, Conversion::Time, receivedTime },
        { "FlagStatus", Messages, Conversion::Integer, flagStatus },
        { "Importance", Messages | KindTask, Conversion::Integer, importance },
        { "FlagIcon", Messages, Conversion::Integer, flagIcon },
        { "FlagRequest", Messages, Conversion::Text, flagRequest },
        // Appointment; a post item keeps its start as the creation time.
        { "Start", KindAppointment, Conversion::Special, start },
        { "Start", KindPost, Conversion::Time, creationTime },
        { "End", KindAppointment, Conversion::Special, end },
        { "Location", KindAppointment, Conversion::Text, location },
        { "AllDayEvent", KindAppointment, Conversion::Boolean, allDay },
        { "BusyStatus", KindAppointment, Conversion::Integer, busyStatus },
        { "ReminderSet", KindAppointment, Conversion::Special, none },
        { "ReminderMinutesBeforeStart", KindAppointment, Conversion::Special, none },
        { "StartTimeZone", KindAppointment, Conversion::Special, none },
        { "RequiredAttendees", KindAppointment, Conversion::Special, none },
        { "OptionalAttendees", KindAppointment, Conversion::Special, none },
        { "MeetingStatus", KindAppointment, Conversion::Integer, stateFlags },
        { "ResponseStatus", KindAppointment, Conversion::Integer, responseStatus },
        { "Organizer", KindAppointment, Conversion::Special, organizer },
        // Task
        { "DueDate", KindTask, Conversion::Special, dueDate },
        { "StartDate", KindTask, Conversion::Special, taskStart },
        { "Complete", KindTask, Conversion::Boolean, taskComplete },
        { "Status", KindTask, Conversion::Integer, taskStatus },
        { "PercentComplete", KindTask, Conversion::Special, percentComplete },
        { "DateCompleted", KindTask, Conversion::Time, dateCompleted },
        { "ReminderSet", KindTask, Conversion::Boolean, reminderSet },
        { "ReminderTime", KindTask, Conversion::Time, reminderTime },
        // Sticky note (a post item turned into a note by its message class)
        { "Color", KindPost, Conversion::Integer, noteColor },
        { "Left", KindPost, Conversion::Integer, noteX },
        { "Top", KindPost, Conversion::Integer, noteY },
        { "Width", KindPost, Conversion::Integer, noteWidth },
        { "Height", KindPost, Conversion::Integer, noteHeight },
        // Contact
        { "FirstName", KindContact, Conversion::Text, firstName },
        { "MiddleName", KindContact, Conversion::Text, middleName },
        { "LastName", KindContact, Conversion::Text, lastName },
        { "JobTitle", KindContact, Conversion::Text, jobTitle },
        { "CompanyName", KindContact, Conversion::Text, companyName },
        { "BusinessTelephoneNumber", KindContact, Conversion::Text, businessPhone },
        { "BusinessFaxNumber", KindContact, Conversion::Text, businessFax },
        { "HomeTelephoneNumber", KindContact, Conversion::Text, homePhone },
        { "HomeFaxNumber", KindContact, Conversion::Text, homeFax },
        { "MobileTelephoneNumber", KindContact, Conversion::Text, mobilePhone },
        { "PagerNumber", KindContact, Conversion::Text, pager },
        { "BusinessAddressStreet", KindContact, Conversion::Text, workStreet },
        { "BusinessAddressCity", KindContact, Conversion::Text, workCity },
        { "BusinessAddressState", KindContact, Conversion::Text, workState },
        { "BusinessAddressPostalCode", KindContact, Conversion::Text, workPostalCode },
        { "BusinessAddressCountry", KindContact, Conversion::Text, workCountry },
        { "HomeAddressStreet", KindContact, Conversion::Text, homeStreet },
        { "HomeAddressCity", KindContact, Conversion::Text, homeCity },
        { "HomeAddressState", KindContact, Conversion::Text, homeState },
        { "HomeAddressPostalCode", KindContact, Conversion::Text, homePostalCode },
        { "HomeAddressCountry", KindContact, Conversion::Text, homeCountry },
        { "Email1Address", KindContact, Conversion::Special, email1 },
        { "WebPage", KindContact, Conversion::Text, webPage },
        { "IMAddress", KindContact, Conversion::Text, imAddress },
        { "Department", KindContact, Conversion::Text, department },
        { "OfficeLocation", KindContact, Conversion::Text, officeLocation },
        { "Profession", KindContact, Conversion::Text, profession },
        { "ManagerName", KindContact, Conversion::Text, managerName },
        { "AssistantName", KindContact, Conversion::Text, assistantName },
        { "Spouse", KindContact, Conversion::Text, spouse },
        { "Birthday", KindContact, Conversion::Day, birthday },
        { "Anniversary", KindContact, Conversion::Day, anniversary },
        { "FileAs", KindContact, Conversion::Text, fileAs },
        // Distribution list; its members are its recipients (Recipients.Add), as
        // DistListItem.AddMembers takes them.
        { "DLName", KindDistList, Conversion::Text, dlName },
    };
    static_assert(sizeof(table) / sizeof(table[0]) > 0);
} // namespace

const ObjectModelProperty* FindProperty(std::string_view name, ItemKindBits kind)
{
    for (const auto& p : table) {
        if ((p.kinds & kind) == 0 || p.name.size() != name.size())
            continue;
        // Object-model names are case-insensitive.
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) {
            auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
            same = lower(p.name[i]) == lower(name[i]);
        }
        if (same)
            return &p;
    }
    return nullptr;
}

std::span<const ObjectModelProperty> AllProperties() { return table; }

} // namespace outlook
