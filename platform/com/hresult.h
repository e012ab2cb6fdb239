// Status values and the success test every COM call is judged by.
#pragma once

#include "com/types.h"

constexpr HRESULT MakeHResult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT HRESULT_FROM_WIN32(unsigned long n) {
  return n > 0 ? MakeHResult(0x80070000u | (static_cast<std::uint32_t>(n) & 0xFFFFu)) : 0;
}

inline constexpr HRESULT S_OK = 0x00000000;
inline constexpr HRESULT S_FALSE = 0x00000001;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
inline constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110u);

inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeHResult(0x80040207u);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = MakeHResult(0x80040209u);
inline constexpr HRESULT VFW_E_NOT_FOUND = MakeHResult(0x80040216u);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeHResult(0x80040217u);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = MakeHResult(0x80040218u);
inline constexpr HRESULT VFW_E_NOT_STOPPED = MakeHResult(0x80040224u);
inline constexpr HRESULT VFW_E_WRONG_STATE = MakeHResult(0x80040227u);
inline constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = MakeHResult(0x8004022Fu);
inline constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = MakeHResult(0x80040240u);
inline constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = MakeHResult(0x80040265u);

// Win32 error numbers that statuses are made from.
inline constexpr unsigned long ERROR_FILE_NOT_FOUND = 2;
inline constexpr unsigned long ERROR_PATH_NOT_FOUND = 3;
inline constexpr unsigned long ERROR_ACCESS_DENIED = 5;
inline constexpr unsigned long ERROR_WRITE_FAULT = 29;
inline constexpr unsigned long ERROR_READ_FAULT = 30;
inline constexpr unsigned long ERROR_SHARING_VIOLATION = 32;
inline constexpr unsigned long ERROR_DISK_FULL = 112;
inline constexpr unsigned long ERROR_INVALID_NAME = 123;
inline constexpr unsigned long ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr unsigned long ERROR_NO_UNICODE_TRANSLATION = 1113;
