// Dialog seams for the screenshot programs: every message box answers OK at once and waits
// take no time, so a scan runs through without a user.
#pragma once

#include "common/ui_seams.h"

inline common::UiSeams QuietSeams()
{
    common::UiSeams quiet;
    quiet.messageBox = [](const common::MessageRequest&) { return common::MsgResult::Ok; };
    quiet.wait = [](int) {};
    return quiet;
}
