#pragma once

#include <string_view>

namespace automation {

// Whether a text is an Internet (SMTP) address rather than a Notes name: a local part, "@", and
// a domain holding a dot that does not follow the "@" at once; no white space and none of
// "/", "=", "<" or ">", which only Notes names and "Name <address>" entries hold. The last "@"
// counts. "Dan Ray/Acme", "CN=Dan Ray/O=Acme@Acme", "Dan Ray@Acme" and "dray@acme" (a Notes
// domain has no dot) are Notes names; "dray@acme.example" is an address. The one rule of the
// program, for the people it resolves and the items it writes alike.
bool IsInternetAddress(std::string_view utf8);
bool IsInternetAddress(std::u16string_view utf16);

} // namespace automation
