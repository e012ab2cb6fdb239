// printf-style formatting into a string.
#pragma once

#include <cstdarg>
#include <string>

namespace text {

// The text `format` makes of `args`; empty when the format is in error. `args` is used up.
std::string FormatV(const char* format, va_list args);

}  // namespace text
