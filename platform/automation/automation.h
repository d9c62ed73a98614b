// Creation of automation objects by program identifier, and the error every member raises.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace automation {

// A failing automation call: which object and member, and why.
class AutomationError : public std::runtime_error {
public:
    AutomationError(std::string object, std::string member, std::string detail);

    const std::string& object() const { return object_; }
    const std::string& member() const { return member_; }
    const std::string& detail() const { return detail_; }

private:
    std::string object_;
    std::string member_;
    std::string detail_;
};

// Base of every automation object.
class Object {
public:
    virtual ~Object() = default;
};

using ObjectPtr = std::shared_ptr<Object>;
using Factory = std::function<ObjectPtr()>;

// The registry of installed automation servers. The program registers its stand-ins at start;
// tests register scripted or failing providers. A factory may throw AutomationError.
void RegisterProvider(std::string_view progId, Factory factory);
void UnregisterProvider(std::string_view progId);
void ClearProviders();

// Creates the object registered for progId; throws AutomationError when none is registered
// or its factory fails.
ObjectPtr CreateObject(std::string_view progId);

template <class T> std::shared_ptr<T> CreateObjectAs(std::string_view progId)
{
    auto object = std::dynamic_pointer_cast<T>(CreateObject(progId));
    if (!object)
        throw AutomationError(std::string(progId), "CreateObject", "the registered object has the wrong interface");
    return object;
}

} // namespace automation
