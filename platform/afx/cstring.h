// The application framework's narrow string, with the operations programs use of it.
#pragma once

#include <string>

#include "com/types.h"

class CString {
 public:
  CString() = default;
  CString(LPCTSTR psz) : text_(psz != nullptr ? psz : "") {}

  CString& operator=(LPCTSTR psz) {
    text_ = psz != nullptr ? psz : "";
    return *this;
  }
  CString& operator+=(LPCTSTR psz) {
    if (psz != nullptr) text_ += psz;
    return *this;
  }
  friend CString operator+(const CString& a, LPCTSTR b) {
    CString result(a);
    result += b;
    return result;
  }

  operator LPCTSTR() const { return text_.c_str(); }
  LPCTSTR GetString() const { return text_.c_str(); }
  int GetLength() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }
  void Empty() { text_.clear(); }

  // Lower-cases character by character in the locale's character set; bytes that are not
  // characters there are kept as they are.
  CString& MakeLower();

  void Format(LPCTSTR format, ...) __attribute__((format(printf, 2, 3)));

  friend bool operator==(const CString& a, LPCTSTR b) { return a.text_ == (b != nullptr ? b : ""); }
  friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }

 private:
  std::string text_;
};
