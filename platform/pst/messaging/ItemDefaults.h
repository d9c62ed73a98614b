// What Outlook needs besides the caller's properties to show an item of a given message class
// (appointment, contact, task, sticky note): defaults for the missing ones. See the README.
#pragma once

#include "ltp/Property.h"
#include "pst/Message.h"

#include <string>

namespace pst::detail {

class StoreImpl;

// Adds the defaults of messageClass's item kind to props (never replacing what is there).
// subject is the caller's PidTagSubject (empty when none).
void applyItemDefaults(StoreImpl& store, const std::string& messageClass, ltp::PropertyMap& props, std::string& subject,
    const MessageData& data);

} // namespace pst::detail
