// The automation interface of Outlook and its MAPI helper library: session, stores, folders,
// items, recipients, attachments, and the one-property setter. A failing member throws
// AutomationError; "none" is an empty pointer.
#pragma once

#include "automation.h"
#include "variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace automation {

class RDOFolder;
class RDOMail;

// Default folder numbers of GetDefaultFolder.
enum class OlDefaultFolder : std::int16_t {
    DeletedItems = 3,
    SentMail = 5,
    Inbox = 6,
    Calendar = 9,
    Contacts = 10,
    Notes = 12,
    Tasks = 13,
    Drafts = 16,
};

// Item kinds of Items.Add.
enum class OlItemType : std::int16_t { Mail = 0, Appointment = 1, Contact = 2, Task = 3, Post = 6, DistList = 7 };

// Store formats of AddPSTStore.
enum class PstFormat : std::int16_t { Unicode = 2, Ansi = 3 };

class RDORecipient {
public:
    virtual ~RDORecipient() = default;
    virtual std::string Name() const = 0;
    virtual std::string Address() const = 0;
    virtual bool Resolve() = 0;
};

class RDORecipients {
public:
    virtual ~RDORecipients() = default;
    virtual std::int32_t Count() const = 0;
    virtual std::shared_ptr<RDORecipient> Add(const std::string& text) = 0;
};

class RDOAttachments {
public:
    virtual ~RDOAttachments() = default;
    virtual std::int32_t Count() const = 0;
    // Attaches the file at path by value, named displayName in the item (the file's own name
    // when empty); the file is read here and may be deleted afterwards.
    virtual void Add(const std::string& path, const std::string& displayName) = 0;
    void Add(const std::string& path) { Add(path, {}); }
    // Attaches the file at path as an inline part of the HTML body: hidden, of that MIME type,
    // referenced from the HTML by "cid:" + contentId.
    virtual void AddInline(const std::string& path, const std::string& displayName, const std::string& mimeType,
        const std::string& contentId)
    {
        (void)path, (void)displayName, (void)mimeType, (void)contentId;
        throw AutomationError("Attachments", "AddInline", "inline attachments are not offered");
    }
};

// The recurrence of an appointment (Outlook's RecurrencePattern). Members by object-model name:
// RecurrenceType (0 daily, 1 weekly, 2 monthly, 3 monthly on the n-th weekday, 5 yearly, 6 yearly
// on the n-th weekday), Interval, DayOfWeekMask (1 Sunday .. 64 Saturday), DayOfMonth, Instance
// (1..4, 5 the last), MonthOfYear, PatternStartDate, PatternEndDate (the day of the last
// occurrence), Occurrences, NoEndDate. Start and end time are the appointment's own.
class RDORecurrencePattern {
public:
    virtual ~RDORecurrencePattern() = default;
    virtual void Set(const std::string& property, const Variant& value) = 0;
    // The occurrence the pattern puts on that day (its civil date) is left out of the series.
    virtual void DeleteOccurrence(const DateTime& originalDate) = 0;
    // The occurrence the pattern puts on that day (its civil date), to change as an exception of
    // the series: Start, End, Subject and Location can be set; its Save keeps the change, which
    // the series writes at its own (next) Save.
    virtual std::shared_ptr<RDOMail> GetOccurrence(const DateTime& originalDate) = 0;
};

// The message under an item, for MAPIUtils.HrSetOneProp.
class MAPIMessage : public Object { };

// An unsaved or saved item of any kind (mail, appointment, contact, task, post).
class RDOMail {
public:
    virtual ~RDOMail() = default;
    // Property assignment and reading by Outlook object-model name ("Subject", "Body", "To",
    // "SentOn", "Start", "Email1Address", ...).
    virtual void Set(const std::string& property, const Variant& value) = 0;
    virtual Variant Get(const std::string& property) const = 0;
    virtual std::shared_ptr<RDORecipients> Recipients() = 0;
    virtual std::shared_ptr<RDOAttachments> Attachments() = 0;
    virtual std::shared_ptr<MAPIMessage> MAPIOBJECT() = 0;
    virtual void Save() = 0;
    // Makes the appointment recurring; an item that cannot recur throws.
    virtual std::shared_ptr<RDORecurrencePattern> GetRecurrencePattern()
    {
        throw AutomationError("Item", "GetRecurrencePattern", "this item cannot recur");
    }
};

class RDOItems {
public:
    virtual ~RDOItems() = default;
    virtual std::int32_t Count() const = 0;
    virtual std::shared_ptr<RDOMail> Add(OlItemType kind) = 0;
};

class RDOFolders {
public:
    virtual ~RDOFolders() = default;
    virtual std::int32_t Count() const = 0;
    // 1-based, as automation collections are.
    virtual std::shared_ptr<RDOFolder> Item(std::int32_t index) const = 0;
    // The subfolder of that name, or none.
    virtual std::shared_ptr<RDOFolder> Item(const std::string& name) const = 0;
    // Throws when a subfolder of that name exists already.
    virtual std::shared_ptr<RDOFolder> Add(const std::string& name, std::int16_t kind = 6) = 0;
};

class RDOFolder {
public:
    virtual ~RDOFolder() = default;
    virtual std::string Name() const = 0;
    virtual std::string EntryID() const = 0;
    virtual std::shared_ptr<RDOFolders> Folders() = 0;
    virtual std::shared_ptr<RDOItems> Items() = 0;
};

class RDOStore {
public:
    virtual ~RDOStore() = default;
    virtual std::string EntryID() const = 0;
    virtual std::string Name() const = 0;
    // The folder that holds the default folders (Top of Personal Folders).
    virtual std::shared_ptr<RDOFolder> IPMRootFolder() = 0;
    virtual std::shared_ptr<RDOFolder> GetDefaultFolder(std::int16_t folder) = 0;
};

class RDOStores {
public:
    virtual ~RDOStores() = default;
    virtual std::shared_ptr<RDOStore> AddPSTStore(
        const std::string& path, std::int16_t format, const std::string& displayName)
        = 0;
    virtual std::shared_ptr<RDOStore> GetStoreFromID(const std::string& entryId) = 0;
};

// Registered as "Redemption.RDOSession".
class RDOSession : public Object {
public:
    virtual void Logon() = 0;
    virtual void Logoff() = 0;
    virtual std::string OutlookVersion() const = 0;
    virtual std::shared_ptr<RDOStores> Stores() = 0;
    virtual std::shared_ptr<RDOStore> GetStoreFromID(const std::string& entryId) = 0;
    // "\\Store display name\Folder\Subfolder"
    virtual std::shared_ptr<RDOFolder> GetFolderFromPath(const std::string& path) = 0;
};

// What reading a written PST file back found: every broken rule of the format (for people),
// and how many messages each folder holds, by path below the top of the store ("\Inbox",
// "\Projects\2009"). Not an Outlook member: the stand-in's own proof of what it wrote.
struct PstReadBack {
    std::vector<std::string> findings; // the first ones, one line each
    std::size_t findingCount = 0; // all of them
    std::vector<std::pair<std::string, std::int32_t>> messagesByFolder;
    // Why what the open store still held could not be written first; the file was read as it
    // was left (its last flushed state).
    std::string writeProblem;
};

// Registered as "Ferrymark.PstReadBack".
class PstFileCheck : public Object {
public:
    // Writes what an open store still holds in memory, then reads the file at path back.
    // Throws AutomationError when the file cannot be written or read at all.
    virtual PstReadBack ReadBack(const std::string& path) = 0;
};

// Registered as "Redemption.MAPIUtils".
class MAPIUtils : public Object {
public:
    // Sets one property by tag on the message and saves it when save is true.
    virtual void HrSetOneProp(MAPIMessage& message, std::uint32_t tag, const Variant& value, bool save) = 0;
};

// The "MAPI" namespace of Outlook: the top-level folders are the stores of the profile.
class OutlookNamespace {
public:
    virtual ~OutlookNamespace() = default;
    virtual std::shared_ptr<RDOFolder> Folders(const std::string& name) = 0;
};

// Registered as "Outlook.Application".
class OutlookApplication : public Object {
public:
    virtual std::shared_ptr<OutlookNamespace> GetNamespace(const std::string& type) = 0;
};

} // namespace automation
