// Menu compiler: a readable MENU block into the standard menu template
// (a header of two zero words, then the items: a 16-bit flags word, the
// 16-bit command identifier unless the item opens a popup (0x10), and the
// text as a zero-terminated UTF-16LE string; 0x80 marks the last item of
// each level).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rescomp {

// Source syntax, one statement per line:
//   POPUP "text" [flags]        opens a level, closed by END
//   MENUITEM "text", id [flags] (the comma is optional)
//   MENUITEM SEPARATOR
//   END
// flags: GRAYED, INACTIVE, CHECKED, MENUBARBREAK, MENUBREAK, HELP.
std::vector<uint8_t> compileMenu(const std::string& path);

} // namespace rescomp
