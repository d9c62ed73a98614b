// The Outlook stand-in: Outlook's object model and its MAPI helper library over our own PST
// writer. Stores stay open in the process; Logoff flushes every store the session wrote, so
// after it the file on disk is a complete, valid PST.
#pragma once

#include <filesystem>

namespace outlook {

// Registers "Redemption.RDOSession", "Redemption.MAPIUtils", "Outlook.Application" and
// "Ferrymark.PstReadBack" (the verifier's read-back of a written file).
// The profile lives at Profile::defaultLocation() unless a file is given.
void RegisterOutlookStandIn(const std::filesystem::path& profileFile = {});

// Flushes and closes every store this process opened (at program end; tests between cases).
void CloseAllStores();

} // namespace outlook
