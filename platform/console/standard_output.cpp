#include "console/standard_output.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "text/format.h"

namespace console {
namespace {

constexpr int kFd = 1;
constexpr size_t kBlockSize = 4096;

struct Stream {
  std::mutex mutex;
  std::atomic<bool> busy{false};  // a write is under way: a signal handler keeps off
  std::array<char, kBlockSize> block{};
  size_t used = 0;
};

// Built on first use and never destroyed, so writes at exit still find it.
Stream& TheStream() {
  static Stream* stream = [] {
    static Stream s;
    std::atexit([] { FlushStandardOutput(); });
    return &s;
  }();
  return *stream;
}

void WriteAll(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(kFd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere to write to: the text is lost, as on a closed stream
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void Drain(Stream& s) {
  WriteAll(s.block.data(), s.used);
  s.used = 0;
}

void Append(Stream& s, char c) {
  s.block[s.used++] = c;
  if (s.used == kBlockSize) Drain(s);
}

// The character set of the terminal's user, read from the environment whatever this process's locale.
std::string TerminalCodeset() {
  locale_t locale = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return "ANSI_X3.4-1968";
  std::string codeset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  return codeset;
}

bool SameCharset(const std::string& codeset, UINT codePage) {
  if (codePage == 932) return codeset == "SHIFT_JIS" || codeset == "SJIS" || codeset == "CP932";
  return false;
}

// Converts text from a code page to the terminal's character set; empty when it cannot.
std::string ConvertForTerminal(const std::string& text, UINT codePage) {
  if (codePage != 932) return {};
  std::string target = TerminalCodeset();
  if (SameCharset(target, codePage)) return {};
  if (target == "ANSI_X3.4-1968") target = "UTF-8";  // the plain C locale: show it as UTF-8
  iconv_t cd = iconv_open(target.c_str(), "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return {};
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

void WriteStandardOutput(std::string_view text) {
  Stream& s = TheStream();
  std::lock_guard lock(s.mutex);
  s.busy.store(true);
  for (char c : text) {
    if (c == '\n') Append(s, '\r');
    Append(s, c);
  }
  if (::isatty(kFd)) Drain(s);
  s.busy.store(false);
}

void FlushStandardOutput() {
  Stream& s = TheStream();
  std::lock_guard lock(s.mutex);
  Drain(s);
}

void FlushStandardOutputFromSignal() {
  Stream& s = TheStream();
  if (s.busy.load()) return;
  Drain(s);
}

}  // namespace console

int _tprintf(LPCTSTR format, ...) {
  va_list args;
  va_start(args, format);
  const std::string formatted = text::FormatV(format, args);
  va_end(args);
  console::WriteStandardOutput(formatted);
  return static_cast<int>(formatted.size());
}

int PrintCodePageText(UINT codePage, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  std::string formatted = text::FormatV(format, args);
  va_end(args);
  if (::isatty(1)) {
    std::string converted = console::ConvertForTerminal(formatted, codePage);
    if (!converted.empty()) formatted = std::move(converted);
  }
  console::WriteStandardOutput(formatted);
  return static_cast<int>(formatted.size());
}
