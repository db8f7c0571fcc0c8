#pragma once

// File names the host sends in UTF-8. The plug-in names files through the ANSI
// functions, in the system code page, as hosts have always sent them; a name that
// names no file there but is valid UTF-8 with bytes beyond ASCII is tried again,
// decoded as UTF-8, through the wide functions. A host that sends UTF-8 then plays
// every file, and one that sends the code page loses nothing.

#include <string>

namespace tonvane {

// The name decoded from UTF-8, or empty when it is plain ASCII (the code page has
// already said all there is) or not valid UTF-8.
std::wstring WideFromUtf8Name(const std::string& name);

// The name in UTF-8, from the wide name Windows gives; empty when it cannot be
// converted.
std::string Utf8FromWide(const std::wstring& name);

}  // namespace tonvane
