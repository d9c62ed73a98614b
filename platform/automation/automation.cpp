#include "automation.h"

#include <map>
#include <mutex>

namespace automation {

AutomationError::AutomationError(std::string object, std::string member, std::string detail)
    : std::runtime_error(object + "." + member + ": " + detail)
    , object_(std::move(object))
    , member_(std::move(member))
    , detail_(std::move(detail))
{
}

namespace {
    struct Registry {
        std::mutex mutex;
        std::map<std::string, Factory, std::less<>> factories;
    };

    Registry& registry()
    {
        static Registry instance;
        return instance;
    }
} // namespace

void RegisterProvider(std::string_view progId, Factory factory)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.factories[std::string(progId)] = std::move(factory);
}

void UnregisterProvider(std::string_view progId)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (auto it = r.factories.find(progId); it != r.factories.end())
        r.factories.erase(it);
}

void ClearProviders()
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.factories.clear();
}

ObjectPtr CreateObject(std::string_view progId)
{
    Factory factory;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        auto it = r.factories.find(progId);
        if (it == r.factories.end())
            throw AutomationError(
                std::string(progId), "CreateObject", "no automation server is installed for this program identifier");
        factory = it->second;
    }
    ObjectPtr object = factory();
    if (!object)
        throw AutomationError(std::string(progId), "CreateObject", "the automation server returned no object");
    return object;
}

} // namespace automation
