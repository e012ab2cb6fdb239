#include "text/format.h"

#include <cstdio>

namespace text {

std::string FormatV(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<size_t>(length));
  }
  va_end(again);
  return text;
}

}  // namespace text
