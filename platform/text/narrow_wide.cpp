#include "text/narrow_wide.h"

#include <langinfo.h>

#include <climits>
#include <cstring>
#include <cwchar>

namespace text {
namespace {

constexpr char32_t kEscapeBase = 0xDC00;  // a byte b that is not text travels as U+DC00 + b (b >= 0x80)

bool LocaleIsUtf8() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
         std::strcmp(codeset, "ASCII") == 0;
}

bool IsEscapedByte(char32_t c) { return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF; }

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s; returns its length, or 0 when it is not well-formed
// (overlong forms, surrogates and values past U+10FFFF are not).
size_t DecodeUtf8(std::string_view s, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) {
    c = b0;
    return 1;
  }
  size_t length = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, c = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, c = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, c = b0 & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::u16string NarrowToWide(std::string_view narrow) {
  std::u16string wide;
  wide.reserve(narrow.size());
  const bool utf8 = LocaleIsUtf8();
  std::mbstate_t state{};
  while (!narrow.empty()) {
    char32_t c = 0;
    size_t used = 0;
    if (utf8) {
      used = DecodeUtf8(narrow, c);
    } else {
      wchar_t w = 0;
      const size_t n = std::mbrtowc(&w, narrow.data(), narrow.size(), &state);
      if (n == 0) {  // an embedded NUL
        used = 1, c = 0;
      } else if (n <= narrow.size()) {
        used = n, c = static_cast<char32_t>(w);
        if (c >= 0xD800 && c <= 0xDFFF) used = 0;
      } else {
        state = {};
      }
    }
    if (used == 0) {
      c = kEscapeBase + static_cast<unsigned char>(narrow[0]);
      used = 1;
    }
    AppendUtf16(wide, c);
    narrow.remove_prefix(used);
  }
  return wide;
}

std::string WideToNarrow(std::u16string_view wide) {
  std::string narrow;
  narrow.reserve(wide.size());
  const bool utf8 = LocaleIsUtf8();
  std::mbstate_t state{};
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    }
    if (IsEscapedByte(c)) {
      narrow.push_back(static_cast<char>(c - kEscapeBase));
      continue;
    }
    if (utf8) {
      if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate no narrow text could have made
      AppendUtf8(narrow, c);
      continue;
    }
    char buffer[MB_LEN_MAX];
    const size_t n = std::wcrtomb(buffer, static_cast<wchar_t>(c), &state);
    if (n == static_cast<size_t>(-1)) {
      narrow.push_back('?');
      state = {};
    } else {
      narrow.append(buffer, n);
    }
  }
  return narrow;
}

LPCWSTR ConversionBuffers::ToWide(LPCSTR narrow) {
  if (narrow == nullptr) return nullptr;
  return wide_.emplace_back(NarrowToWide(narrow)).c_str();
}

}  // namespace text
