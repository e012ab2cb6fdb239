// The platform's basic types, with the widths the program was written for.
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;  // 32 bits, as the program's event codes are
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using REFERENCE_TIME = LONGLONG;  // media time in 100-ns units
using BOOL = int;
using UINT = unsigned int;
using HRESULT = std::int32_t;

using WCHAR = char16_t;  // one UTF-16 code unit
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using OLECHAR = WCHAR;
using LPCOLESTR = const OLECHAR*;

using TCHAR = char;  // the program's narrow (ANSI) characters
using LPTSTR = char*;
using LPCTSTR = const char*;
using LPSTR = char*;
using LPCSTR = const char*;

using HANDLE = void*;
using HINSTANCE = struct HINSTANCE__*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef NULL
#define NULL nullptr
#endif
