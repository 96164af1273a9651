// UTF-16 as UTF-8 and back, losslessly: the lines of a UTF-16LE registry file
// travel through the reader as UTF-8 rather than in a code page, which would
// lose what it cannot represent. A surrogate without its partner is written
// as the three bytes its value takes (as WTF-8 does), so any UTF-16 the file
// holds comes back unit for unit.
#pragma once

#include <string>
#include <string_view>

namespace qh {

// Appends the units as UTF-8 to `out`.
void utf8_append(std::u16string_view units, std::string& out);
// The UTF-16 units of UTF-8 text (as utf8_append writes it); a byte that
// starts no sequence stands for the unit of its value.
std::u16string utf8_to_utf16(std::string_view bytes);

}  // namespace qh
