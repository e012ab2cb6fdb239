// Narrow (ANSI) text <-> UTF-16, lossless for every byte string a Linux file name can be.
//
// The narrow character set is the locale's; plain ASCII counts as UTF-8. Bytes that are not valid in
// it travel as lone surrogates U+DC80..U+DCFF and come back as the same bytes.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "com/types.h"

namespace text {

std::u16string NarrowToWide(std::string_view narrow);
std::string WideToNarrow(std::u16string_view wide);

// Holds converted strings until it goes out of scope, as the conversion macros promise.
class ConversionBuffers {
 public:
  LPCWSTR ToWide(LPCSTR narrow);

 private:
  std::deque<std::u16string> wide_;
};

}  // namespace text

// Conversions whose results live until the calling routine returns.
#define USES_CONVERSION ::text::ConversionBuffers usesConversionBuffers_
#define T2W(lpsz) (usesConversionBuffers_.ToWide(lpsz))
