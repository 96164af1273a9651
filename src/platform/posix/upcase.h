// Letter case of registry names as Windows' registry sees it: every UTF-16
// code unit upper-cased by itself, whatever the locale of the run.
#pragma once

#include <string>
#include <string_view>

namespace qh::platform::posix {

// The Unicode simple upper-case mapping of one code unit; the unit itself
// when it has none (surrogates, and letters whose upper case is several
// characters, such as ß).
char16_t upcase_unit(char16_t unit);

// Every unit of a name upper-cased: two names are one to the registry when
// these are equal.
std::u16string upcase(std::u16string_view name);

}  // namespace qh::platform::posix
