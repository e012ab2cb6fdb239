#include "afx/cstring.h"

#include <climits>
#include <cstdarg>
#include <cwchar>
#include <cwctype>

#include "text/format.h"

CString& CString::MakeLower() {
  std::string lowered;
  lowered.reserve(text_.size());
  std::mbstate_t in{};
  std::mbstate_t out{};
  size_t i = 0;
  while (i < text_.size()) {
    wchar_t w = 0;
    const size_t n = std::mbrtowc(&w, text_.data() + i, text_.size() - i, &in);
    if (n == 0 || n > text_.size() - i) {  // a NUL, or not a character here: keep the byte
      lowered.push_back(text_[i++]);
      in = {};
      continue;
    }
    char buffer[MB_LEN_MAX];
    const size_t m = std::wcrtomb(buffer, static_cast<wchar_t>(std::towlower(static_cast<wint_t>(w))), &out);
    if (m == static_cast<size_t>(-1)) {
      lowered.append(text_, i, n);
      out = {};
    } else {
      lowered.append(buffer, m);
    }
    i += n;
  }
  text_ = std::move(lowered);
  return *this;
}

void CString::Format(LPCTSTR format, ...) {
  va_list args;
  va_start(args, format);
  text_ = text::FormatV(format, args);
  va_end(args);
}
