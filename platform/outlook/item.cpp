#include "item.h"

#include "calendar_item.h"
#include "item_values.h"
#include "object_model.h"

#include "automation/internet_address.h"
#include "automation/private_folder.h"
#include "pst/Message.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

namespace outlook {

using automation::AutomationError;
using automation::Variant;

namespace {
    // A stored value before it reaches the PST.
    using Stored = std::variant<bool, std::int32_t, double, std::string, std::int64_t /*FILETIME*/,
        std::vector<std::string>, pst::Bytes>;

    // An attached file kept in the spool until the item is saved.
    struct KeptFile {
        std::string name;
        std::filesystem::path path;
        std::string mimeType, contentId; // of an inline part of the HTML body
    };

    // Text with every line end as CRLF, as PidTagBody holds it.
    std::string withCrlf(const std::string& text)
    {
        std::string out;
        out.reserve(text.size() + text.size() / 32);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r') {
                out += "\r\n";
                if (i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
            } else if (text[i] == '\n') {
                out += "\r\n";
            } else {
                out += text[i];
            }
        }
        return out;
    }

    pst::Bytes fromHex(const std::string& hex)
    {
        auto digit = [](char c) -> int {
            return c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f'  ? c - 'a' + 10
                : c >= 'A' && c <= 'F'  ? c - 'A' + 10
                                        : -1;
        };
        pst::Bytes out;
        if (hex.size() % 2 != 0)
            throw AutomationError("Item", "ConversationIndex", "hex text of odd length");
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
            if (hi < 0 || lo < 0)
                throw AutomationError("Item", "ConversationIndex", "no hex text: " + hex);
            out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        }
        return out;
    }

    struct KeyLess {
        bool operator()(const PropertyKey& a, const PropertyKey& b) const
        {
            auto tie = [](const PropertyKey& k) {
                return std::tuple(static_cast<int>(k.kind), k.tagId, k.set ? k.set->data1 : 0u, k.lid, k.name);
            };
            return tie(a) < tie(b);
        }
    };

    ItemKindBits kindBits(automation::OlItemType kind)
    {
        switch (kind) {
        case automation::OlItemType::Mail:
            return KindMail;
        case automation::OlItemType::Appointment:
            return KindAppointment;
        case automation::OlItemType::Contact:
            return KindContact;
        case automation::OlItemType::Task:
            return KindTask;
        case automation::OlItemType::Post:
            return KindPost;
        case automation::OlItemType::DistList:
            return KindDistList;
        }
        throw AutomationError("Items", "Add", "no item kind " + std::to_string(static_cast<int>(kind)));
    }

    const char* messageClass(automation::OlItemType kind)
    {
        switch (kind) {
        case automation::OlItemType::Appointment:
            return "IPM.Appointment";
        case automation::OlItemType::Contact:
            return "IPM.Contact";
        case automation::OlItemType::Task:
            return "IPM.Task";
        case automation::OlItemType::Post:
            return "IPM.Post";
        case automation::OlItemType::DistList:
            return "IPM.DistList";
        case automation::OlItemType::Mail:
            break;
        }
        return "IPM.Note";
    }

    // Attached files are kept (hard-linked, or copied across file systems) in a spool folder of
    // the process until the item is saved, since the caller deletes its file right after adding.
    // The folder is private (made by mkdtemp, files made in it relative to its descriptor) and
    // its files are numbered, never named after the attachment. It is made for the first file
    // and goes as soon as no item holds a file there.
    class Spool {
    public:
        // Never destroyed, so that an item released during the program's exit still finds it;
        // its folder goes with the last file it holds.
        static Spool& instance()
        {
            static auto* spool = new Spool;
            return *spool;
        }

        // Keeps the regular file open at fd; returns the path of the kept file.
        std::filesystem::path keep(int fd, const std::string& source)
        {
            const std::lock_guard lock(mutex_);
            if (!folder_ || !folder_->intact())
                folder_ = std::make_unique<automation::PrivateFolder>(automation::TemporaryBase(), "attachments-");
            const std::string name = std::to_string(counter_++);
            try {
                if (!folder_->linkFile(fd, name))
                    copy(fd, name, source);
            } catch (const AutomationError&) {
                if (held_ == 0)
                    folder_.reset();
                throw;
            }
            ++held_;
            return std::filesystem::path(folder_->path()) / name;
        }

        void release(const std::filesystem::path& file)
        {
            const std::lock_guard lock(mutex_);
            if (!folder_ || file.parent_path() != folder_->path())
                return;
            folder_->removeFile(file.filename().string());
            if (--held_ == 0)
                folder_.reset();
        }

    private:
        void copy(int fd, const std::string& name, const std::string& source)
        {
            const int out = folder_->createFile(name);
            std::vector<char> buffer(1 << 16);
            std::string problem;
            for (off_t at = 0;;) {
                const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
                if (n < 0) {
                    problem = "cannot read " + source + ": " + std::strerror(errno);
                    break;
                }
                if (n == 0)
                    break;
                at += n;
                for (ssize_t done = 0; done < n && problem.empty();) {
                    const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
                    if (w < 0)
                        problem = "cannot write " + folder_->path() + "/" + name + ": " + std::strerror(errno);
                    else
                        done += w;
                }
                if (!problem.empty())
                    break;
            }
            if (::close(out) != 0 && problem.empty())
                problem = "cannot write " + folder_->path() + "/" + name + ": " + std::strerror(errno);
            if (!problem.empty()) {
                folder_->removeFile(name);
                throw AutomationError("Attachments", "Add", problem);
            }
        }

        std::mutex mutex_;
        std::unique_ptr<automation::PrivateFolder> folder_;
        std::size_t held_ = 0;
        unsigned counter_ = 0;
    };

    class StandInRecipient : public automation::RDORecipient {
    public:
        explicit StandInRecipient(Recipient r)
            : r_(std::move(r))
        {
        }
        std::string Name() const override { return r_.displayName; }
        std::string Address() const override { return r_.address; }
        bool Resolve() override { return true; }

    private:
        Recipient r_;
    };

    class StandInItem;

    class ItemMessage : public automation::MAPIMessage {
    public:
        explicit ItemMessage(std::shared_ptr<StandInItem> item)
            : item(std::move(item))
        {
        }
        std::shared_ptr<StandInItem> item;
    };

    class StandInItem : public automation::RDOMail, public std::enable_shared_from_this<StandInItem> {
    public:
        StandInItem(std::shared_ptr<OpenStore> store, pst::Folder folder, automation::OlItemType kind)
            : store_(std::move(store))
            , folder_(folder)
            , kind_(kind)
            , bits_(kindBits(kind))
            , messageClass_(messageClass(kind))
        {
        }
        ~StandInItem() override
        {
            // A change saved "at once" through HrSetOneProp and not followed by Save.
            if (saveDue_) {
                try {
                    Save();
                } catch (const std::exception&) {
                    // A destructor reports to no one; the item stays as last saved.
                }
            }
            for (const auto& a : attachments_)
                Spool::instance().release(a.path);
        }

        void Set(const std::string& property, const Variant& value) override
        {
            const ObjectModelProperty* p = FindProperty(property, bits_);
            if (!p)
                throw AutomationError("Item", property, "this kind of item has no such property");
            switch (p->conversion) {
            case Conversion::Text:
                store(*p, value.toText());
                break;
            case Conversion::Integer:
                store(*p, value.toInt());
                break;
            case Conversion::Boolean:
                store(*p, value.toBool());
                break;
            case Conversion::Time:
                if (auto at = ToInstant(value, property))
                    store(*p, ToFileTime(*at));
                else
                    clear(*p);
                break;
            case Conversion::Day:
                if (auto at = ToDay(value, property))
                    store(*p, ToFileTime(*at));
                else
                    clear(*p);
                break;
            case Conversion::Categories:
                store(*p, splitCategories(value.toText()));
                break;
            case Conversion::Special:
                special(*p, value);
                break;
            }
        }

        Variant Get(const std::string& property) const override
        {
            const ObjectModelProperty* p = FindProperty(property, bits_);
            if (!p)
                throw AutomationError("Item", property, "this kind of item has no such property");
            if (p->name == "End" && end_)
                return Variant(automation::DateTime::fromUnixMillis(FromFileTime(*end_), 0));
            if (p->name == "Start" && start_)
                return Variant(automation::DateTime::fromUnixMillis(FromFileTime(*start_), 0));
            if (p->name == "MessageClass")
                return Variant(messageClass_);
            if (p->name == "HTMLBody")
                return Variant(html_);
            auto it = values_.find(p->targets.front());
            if (it == values_.end())
                return Variant();
            return std::visit(
                [](const auto& v) -> Variant {
                    using T = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<T, std::int64_t>)
                        return Variant(automation::DateTime::fromUnixMillis(FromFileTime(v), 0));
                    else if constexpr (std::is_same_v<T, pst::Bytes>) {
                        static constexpr char Digits[] = "0123456789ABCDEF";
                        std::string hex;
                        for (const auto b : v)
                            hex += { Digits[b >> 4], Digits[b & 15] };
                        return Variant(hex);
                    } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                        std::string joined;
                        for (const auto& s : v)
                            joined += (joined.empty() ? "" : ", ") + s;
                        return Variant(joined);
                    } else
                        return Variant(v);
                },
                it->second);
        }

        std::shared_ptr<automation::RDORecipients> Recipients() override;
        std::shared_ptr<automation::RDOAttachments> Attachments() override;

        std::shared_ptr<automation::RDORecurrencePattern> GetRecurrencePattern() override
        {
            if (kind_ != automation::OlItemType::Appointment)
                return RDOMail::GetRecurrencePattern();
            if (!calendar_.recurrence)
                calendar_.recurrence = std::make_shared<RecurrenceState>();
            return MakeRecurrencePattern(calendar_.recurrence);
        }

        std::shared_ptr<automation::MAPIMessage> MAPIOBJECT() override
        {
            return std::make_shared<ItemMessage>(shared_from_this());
        }

        void Save() override;
        // HrSetOneProp's "save at once": the message is written at the item's next Save, or
        // when the item is released, so that a writer that sets several properties this way and
        // then saves writes the message once.
        void saveSoon() { saveDue_ = true; }

        void setTag(std::uint16_t id, PropType type, const Variant& value)
        {
            const PropertyKey key = PropertyKey::tag(id, type == PropType::String8 ? PropType::Unicode : type);
            switch (key.type) {
            case PropType::Unicode:
                values_[key] = value.toText();
                break;
            case PropType::Integer32:
            case PropType::Integer16:
                values_[key] = value.toInt();
                break;
            case PropType::Boolean:
                values_[key] = value.toBool();
                break;
            case PropType::Time:
                if (auto at = ToInstant(value, "HrSetOneProp"))
                    values_[key] = ToFileTime(*at);
                break;
            default:
                throw AutomationError("MAPIUtils", "HrSetOneProp", "this property type cannot be set here");
            }
        }

        void addRecipient(Recipient r) { recipients_.push_back(std::move(r)); }
        void addAttachment(const std::string& path, const std::string& displayName, const std::string& mimeType = {},
            const std::string& contentId = {})
        {
            // Non-blocking, so that a named pipe given as the file does not hang the run.
            const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                throw AutomationError("Attachments", "Add", "cannot read " + path + ": " + std::strerror(errno));
            struct stat st { };
            if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                ::close(fd);
                throw AutomationError("Attachments", "Add", "no such file: " + path);
            }
            std::filesystem::path spooled;
            try {
                spooled = Spool::instance().keep(fd, path);
            } catch (...) {
                ::close(fd);
                throw;
            }
            ::close(fd);
            attachments_.push_back(
                { displayName.empty() ? std::filesystem::path(path).filename().string() : displayName, spooled,
                    mimeType, contentId });
        }
        int recipientCount() const { return static_cast<int>(recipients_.size()); }
        int attachmentCount() const { return static_cast<int>(attachments_.size()); }

    private:
        static std::vector<std::string> splitCategories(const std::string& text)
        {
            std::vector<std::string> out;
            std::string current;
            auto flush = [&] {
                auto b = current.find_first_not_of(' ');
                auto e = current.find_last_not_of(' ');
                if (b != std::string::npos)
                    out.push_back(current.substr(b, e - b + 1));
                current.clear();
            };
            for (char c : text) {
                if (c == ',' || c == ';')
                    flush();
                else
                    current += c;
            }
            flush();
            return out;
        }

        void store(const ObjectModelProperty& p, const Stored& value)
        {
            for (const auto& key : p.targets)
                values_[key] = value;
        }
        void clear(const ObjectModelProperty& p)
        {
            for (const auto& key : p.targets)
                values_.erase(key);
        }

        void special(const ObjectModelProperty& p, const Variant& value)
        {
            if (p.name == "Organizer") {
                // "Name <address>" or a name alone: the sender and sent-representing sender's
                // name, address and address type.
                const Recipient r = ParseRecipient(value.toText(), RecipientType::To);
                for (const auto& [tag, text] : { std::pair { tags::SentRepresentingName, r.displayName },
                         { tags::SenderName, r.displayName }, { tags::SentRepresentingEmailAddress, r.address },
                         { tags::SenderEmailAddress, r.address }, { tags::SentRepresentingAddressType, r.addressType },
                         { tags::SenderAddressType, r.addressType } })
                    values_[PropertyKey::tag(tag, PropType::Unicode)] = text;
            } else if (p.name == "Sent") {
                sent_ = value.toBool();
            } else if (p.name == "Body") {
                store(p, withCrlf(value.toText()));
            } else if (p.name == "HTMLBody") {
                html_ = value.toText();
            } else if (p.name == "BodyFormat") {
                // OlBodyFormat: 1 plain text, 2 HTML, 3 rich text (RTF).
                bodyFormat_ = value.toInt();
                if (bodyFormat_ < 1 || bodyFormat_ > 3)
                    throw AutomationError("Item", "BodyFormat", "no body format " + std::to_string(bodyFormat_));
            } else if (p.name == "ConversationIndex") {
                store(p, fromHex(value.toText()));
            } else if (p.name == "To" || p.name == "CC" || p.name == "BCC" || p.name == "RequiredAttendees"
                || p.name == "OptionalAttendees") {
                // A meeting's required attendees are its To recipients, the optional ones its CC.
                const auto type = (p.name == "To" || p.name == "RequiredAttendees") ? RecipientType::To
                    : (p.name == "CC" || p.name == "OptionalAttendees")             ? RecipientType::Cc
                                                                                    : RecipientType::Bcc;
                std::erase_if(recipients_, [type](const Recipient& r) { return r.type == type; });
                for (auto& r : ParseRecipientList(value.toText(), type))
                    recipients_.push_back(std::move(r));
            } else if (p.name == "MessageClass") {
                const std::string cls = value.toText();
                if (cls.empty())
                    throw AutomationError("Item", "MessageClass", "a message class cannot be empty");
                messageClass_ = cls;
                // A post turned into a note keeps its note properties.
                if (cls == "IPM.StickyNote")
                    bits_ = static_cast<ItemKindBits>(bits_ | KindPost);
            } else if (p.name == "Start") {
                auto at = ToInstant(value, "Start");
                if (!at)
                    throw AutomationError("Item", "Start", "an appointment needs a start");
                const std::int64_t duration = (start_ && end_) ? *end_ - *start_ : 30LL * 60 * 10'000'000;
                start_ = ToFileTime(*at);
                end_ = *start_ + duration;
            } else if (p.name == "End") {
                auto at = ToInstant(value, "End");
                if (!at)
                    throw AutomationError("Item", "End", "an appointment needs an end");
                end_ = ToFileTime(*at);
                if (!start_)
                    start_ = end_;
            } else if (p.name == "ReminderSet") {
                reminderSet_ = value.toBool();
            } else if (p.name == "ReminderMinutesBeforeStart") {
                reminderMinutes_ = value.toInt();
            } else if (p.name == "StartTimeZone") {
                const std::string key = value.toText();
                calendar_.zone = FindWindowsZone(key);
                if (!calendar_.zone)
                    throw AutomationError("Item", "StartTimeZone", "no time zone \"" + key + "\"");
            } else if (p.name == "DueDate" || p.name == "StartDate") {
                // The day itself, and its local midnight in UTC.
                if (auto day = ToDay(value, p.name)) {
                    values_[p.targets[0]] = ToFileTime(*day);
                    values_[p.targets[1]] = ToFileTime(LocalMidnight(*day));
                } else {
                    clear(p);
                }
            } else if (p.name == "PercentComplete") {
                values_[p.targets[0]] = value.toDouble() / 100.0;
            } else if (p.name == "Email1Address") {
                const std::string address = value.toText();
                values_[PropertyKey::named(PSETID_Address, lids::Email1EmailAddress, PropType::Unicode)] = address;
                // An Internet address is SMTP; a Notes name ("Bo Yu/Acme", "CN=Bo Yu/O=Acme@Acme")
                // is NOTES, which Outlook shows as it is instead of trying to send to it.
                const bool smtp = automation::IsInternetAddress(address);
                values_[PropertyKey::named(PSETID_Address, lids::Email1AddressType, PropType::Unicode)]
                    = std::string(address.empty() ? ""
                            : smtp                ? "SMTP"
                                                  : "NOTES");
                // The display name ("Name (address)") is the store's to make, from the contact's name.
                values_[PropertyKey::named(PSETID_Address, lids::Email1OriginalDisplayName, PropType::Unicode)]
                    = address;
            }
        }

        std::shared_ptr<OpenStore> store_;
        pst::Folder folder_;
        automation::OlItemType kind_;
        ItemKindBits bits_;
        std::string messageClass_;
        std::map<PropertyKey, Stored, KeyLess> values_;
        std::vector<Recipient> recipients_;
        std::vector<KeptFile> attachments_;
        std::string html_; // UTF-8; stored in the store's code page at Save
        std::int32_t bodyFormat_ = 0; // OlBodyFormat as set; 0: by the bodies the item has
        bool saveDue_ = false;
        bool sent_ = false;
        std::optional<std::int64_t> start_;
        std::optional<std::int64_t> end_;
        CalendarState calendar_;
        bool reminderSet_ = false;
        std::int32_t reminderMinutes_ = 15;
        std::optional<pst::Message> message_; // once saved
    };

    class StandInRecipients : public automation::RDORecipients {
    public:
        explicit StandInRecipients(std::shared_ptr<StandInItem> item)
            : item_(std::move(item))
        {
        }
        std::int32_t Count() const override { return item_->recipientCount(); }
        std::shared_ptr<automation::RDORecipient> Add(const std::string& text) override
        {
            auto list = ParseRecipientList(text, RecipientType::To);
            for (const auto& r : list)
                item_->addRecipient(r);
            return std::make_shared<StandInRecipient>(list.empty() ? Recipient {} : list.front());
        }

    private:
        std::shared_ptr<StandInItem> item_;
    };

    class StandInAttachments : public automation::RDOAttachments {
    public:
        explicit StandInAttachments(std::shared_ptr<StandInItem> item)
            : item_(std::move(item))
        {
        }
        std::int32_t Count() const override { return item_->attachmentCount(); }
        void Add(const std::string& path, const std::string& displayName) override
        {
            item_->addAttachment(path, displayName);
        }
        void AddInline(const std::string& path, const std::string& displayName, const std::string& mimeType,
            const std::string& contentId) override
        {
            if (contentId.empty())
                throw AutomationError("Attachments", "AddInline", "an inline part needs a Content-ID");
            item_->addAttachment(path, displayName, mimeType, contentId);
        }

    private:
        std::shared_ptr<StandInItem> item_;
    };

    std::shared_ptr<automation::RDORecipients> StandInItem::Recipients()
    {
        return std::make_shared<StandInRecipients>(shared_from_this());
    }

    std::shared_ptr<automation::RDOAttachments> StandInItem::Attachments()
    {
        return std::make_shared<StandInAttachments>(shared_from_this());
    }

    // A property of the object model as the PST layer takes it.
    pst::Property pstProperty(const PropertyKey& key, pst::PropertyValue value)
    {
        pst::Property p;
        if (key.kind == PropertyKey::Kind::Tag) {
            p.id = key.tagId;
        } else {
            pst::PropertyName name;
            name.set = key.set->bytes();
            if (key.kind == PropertyKey::Kind::NamedId)
                name.lid = key.lid;
            else
                name.name = std::string(key.name);
            p.named = name;
        }
        p.type = static_cast<std::uint16_t>(key.type);
        p.value = std::move(value);
        return p;
    }
} // namespace

// Writing an item into the PST: the message layer of the PST writer takes the collected
// properties, recipients and attachments.
void StandInItem::Save()
{
    saveDue_ = false;
    pst::MessageData data;
    data.messageClass = messageClass_;
    data.read = true;
    data.unsent = kind_ == automation::OlItemType::Mail && !sent_;

    auto pstValue = [](const Stored& value) {
        return std::visit(
            [](const auto& v) -> pst::PropertyValue {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::int64_t>)
                    return pst::FileTime { v };
                else
                    return v;
            },
            value);
    };
    auto add = [&](const PropertyKey& key, const Stored& value) {
        data.properties.push_back(pstProperty(key, pstValue(value)));
    };
    for (const auto& [key, value] : values_)
        if (!(key.kind == PropertyKey::Kind::Tag && key.tagId == 0))
            add(key, value);

    // A meeting's organizer is a row of its recipient table, required and flagged recipOrganizer
    // ([MS-OXOCAL] 2.2.4.10.1), first as Outlook keeps it; an attendee list naming the organizer
    // too does not add a second row.
    std::optional<Recipient> organizer;
    if (kind_ == automation::OlItemType::Appointment) {
        const auto state = values_.find(PropertyKey::named(PSETID_Appointment, 0x8217, PropType::Integer32));
        const auto text = [&](std::uint16_t tag) {
            const auto it = values_.find(PropertyKey::tag(tag, PropType::Unicode));
            return it == values_.end() ? std::string() : std::get<std::string>(it->second);
        };
        const std::string name = text(tags::SentRepresentingName);
        if (state != values_.end() && (std::get<std::int32_t>(state->second) & 1) && !name.empty()) {
            organizer = Recipient { name, text(tags::SentRepresentingEmailAddress),
                text(tags::SentRepresentingAddressType), RecipientType::To };
            if (organizer->address.empty())
                organizer->address = name;
            if (organizer->addressType.empty())
                organizer->addressType = "NOTES";
            data.recipients.push_back({ organizer->displayName, organizer->address, organizer->addressType, 1, 3 });
        }
    }
    for (const auto& r : recipients_)
        if (!(organizer && r.type == RecipientType::To && r.displayName == organizer->displayName
                && r.address == organizer->address))
            data.recipients.push_back({ r.displayName, r.address, r.addressType, static_cast<std::int32_t>(r.type) });

    if (kind_ == automation::OlItemType::Appointment && start_ && end_) {
        for (const auto& key : FindProperty("Start", KindAppointment)->targets)
            add(key, *start_);
        for (const auto& key : FindProperty("End", KindAppointment)->targets)
            add(key, *end_);
        add(PropertyKey::named(PSETID_Appointment, lids::AppointmentDuration, PropType::Integer32),
            static_cast<std::int32_t>((*end_ - *start_) / 600'000'000));
        // Busy unless said otherwise, as Outlook makes a new appointment.
        const PropertyKey busy = PropertyKey::named(PSETID_Appointment, lids::BusyStatus, PropType::Integer32);
        if (!values_.count(busy))
            add(busy, std::int32_t(2));
        CalendarState calendar = calendar_;
        if (reminderSet_)
            calendar.reminderMinutes = reminderMinutes_;
        for (auto& [key, value] : CalendarProperties(calendar, *start_, *end_))
            data.properties.push_back(pstProperty(key, std::move(value)));
        // Changed occurrences: hidden attachments whose embedded messages hold what changed,
        // with the series' subject, location and instance values where the occurrence kept them.
        for (auto& exception : CalendarExceptions(calendar, *start_, *end_)) {
            auto message = std::make_shared<pst::MessageData>();
            message->messageClass = "IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}";
            message->unsent = true;
            message->recipients = data.recipients; // the attendees of the occurrence: the series'
            std::map<PropertyKey, pst::PropertyValue, KeyLess> values;
            for (auto& [key, value] : exception.message)
                values.emplace(key, std::move(value));
            for (const auto& key : { PropertyKey::tag(tags::Subject, PropType::Unicode),
                     PropertyKey::named(PSETID_Appointment, lids::Location, PropType::Unicode),
                     PropertyKey::named(PSETID_Appointment, lids::BusyStatus, PropType::Integer32),
                     PropertyKey::named(PSETID_Appointment, lids::AppointmentSubType, PropType::Boolean),
                     PropertyKey::named(PSETID_Appointment, 0x8217, PropType::Integer32), // PidLidAppointmentStateFlags
                     PropertyKey::named(PSETID_Appointment, 0x8218, PropType::Integer32) }) // PidLidResponseStatus
                if (auto it = values_.find(key); it != values_.end() && !values.count(key))
                    values.emplace(key, pstValue(it->second));
            // Busy, as the series, unless said otherwise.
            values.try_emplace(busy, std::int32_t(2));
            for (auto& [key, value] : values)
                message->properties.push_back(pstProperty(key, std::move(value)));
            pst::Attachment a;
            a.message = std::move(message);
            a.properties = std::move(exception.attachment);
            data.attachments.push_back(std::move(a));
        }
    }
    if (kind_ == automation::OlItemType::Contact) {
        auto text = [&](std::uint16_t id) {
            auto it = values_.find(PropertyKey::tag(id, PropType::Unicode));
            return it == values_.end() ? std::string() : std::get<std::string>(it->second);
        };
        const std::string first = text(0x3A06), middle = text(0x3A44), last = text(0x3A11);
        std::string display;
        for (const auto* part : { &first, &middle, &last })
            if (!part->empty())
                display += (display.empty() ? "" : " ") + *part;
        if (!values_.count(PropertyKey::tag(tags::DisplayName, PropType::Unicode)))
            add(PropertyKey::tag(tags::DisplayName, PropType::Unicode), display);
        // The full address texts (PidLidWorkAddress, PidLidHomeAddress) as Outlook composes them
        // from the parts: street, then city, state and postal code, then country.
        auto namedText = [&](std::uint32_t lid) {
            auto it = values_.find(PropertyKey::named(PSETID_Address, lid, PropType::Unicode));
            return it == values_.end() ? std::string() : std::get<std::string>(it->second);
        };
        auto compose = [](const std::string& street, const std::string& city, const std::string& state,
                           const std::string& postal, const std::string& country) {
            const std::string line2 = [&] {
                std::string l = city;
                for (const auto* part : { &state, &postal })
                    if (!part->empty())
                        l += (l.empty() ? "" : " ") + *part;
                return l;
            }();
            std::string out;
            for (const auto* line : { &street, &line2, &country })
                if (!line->empty())
                    out += (out.empty() ? "" : "\r\n") + *line;
            return out;
        };
        const std::string work
            = compose(namedText(0x8045), namedText(0x8046), namedText(0x8047), namedText(0x8048), namedText(0x8049));
        if (!work.empty())
            add(PropertyKey::named(PSETID_Address, 0x801B, PropType::Unicode), work);
        const std::string home = compose(text(0x3A5D), text(0x3A59), text(0x3A5C), text(0x3A5B), text(0x3A5A));
        if (!home.empty())
            add(PropertyKey::named(PSETID_Address, 0x801A, PropType::Unicode), home);
        // The business address is the mailing address (PidLidPostalAddressId 2).
        if (values_.count(PropertyKey::named(PSETID_Address, 0x8046, PropType::Unicode)))
            add(PropertyKey::named(PSETID_Address, 0x8022, PropType::Integer32), std::int32_t(2));
        if (!values_.count(PropertyKey::named(PSETID_Address, lids::FileUnder, PropType::Unicode)))
            add(PropertyKey::named(PSETID_Address, lids::FileUnder, PropType::Unicode),
                last.empty() ? display : (first.empty() ? last : last + ", " + first));
    }
    for (const auto& a : attachments_)
        data.attachments.push_back({ a.name, a.path, {}, {}, a.contentId, a.mimeType });
    // The HTML body as binary in the code page it declares: UTF-8 in a Unicode store, Windows-1252
    // in an ANSI one ([MS-OXCMAIL] 2.1.3.1.4); PidTagNativeBody names the body that is native.
    const bool hasBody = values_.count(PropertyKey::tag(tags::Body, PropType::Unicode)) != 0;
    std::int32_t nativeBody = hasBody ? 1 : 0; // plain text
    if (!html_.empty()) {
        const bool ansi = store_->store.format() == pst::Format::Ansi;
        if (ansi) {
            const std::string bytes = HtmlInWindows1252(html_);
            add(PropertyKey::tag(0x1013, PropType::Binary), pst::Bytes(bytes.begin(), bytes.end()));
        } else {
            add(PropertyKey::tag(0x1013, PropType::Binary), pst::Bytes(html_.begin(), html_.end()));
        }
        add(PropertyKey::tag(0x3FDE, PropType::Integer32), std::int32_t(ansi ? 1252 : 65001)); // PidTagInternetCodepage
        nativeBody = bodyFormat_ == 1 ? 1 : 3; // plain text, or HTML
    }
    if (bodyFormat_ == 3)
        nativeBody = 2; // RTF
    if (nativeBody != 0)
        add(PropertyKey::tag(0x1016, PropType::Integer32), nativeBody); // PidTagNativeBody

    try {
        if (message_)
            message_->update(data);
        else
            message_ = folder_.addMessage(data);
        store_->dirty = true;
    } catch (const pst::Error& e) {
        throw AutomationError("Item", "Save", e.what());
    }
    SavePoint(*store_);
}

std::shared_ptr<automation::RDOMail> NewItem(
    std::shared_ptr<OpenStore> store, pst::Folder folder, automation::OlItemType kind)
{
    return std::make_shared<StandInItem>(std::move(store), folder, kind);
}

void SetPropertyByTag(automation::MAPIMessage& message, std::uint32_t tag, const Variant& value, bool save)
{
    auto* m = dynamic_cast<ItemMessage*>(&message);
    if (!m || !m->item)
        throw AutomationError("MAPIUtils", "HrSetOneProp", "not a message of this session");
    m->item->setTag(static_cast<std::uint16_t>(tag >> 16), static_cast<PropType>(tag & 0xFFFF), value);
    if (save)
        m->item->saveSoon();
}

} // namespace outlook
