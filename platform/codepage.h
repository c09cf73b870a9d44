// Code-page conversions.
//
// Text inside the program is in the "ANSI code page", a setting of the layer
// (UTF-8 by default, the system locale's encoding; GBK on the original target
// systems). Wide text is wchar_t (UTF-32 on this platform). Conversions go
// through iconv. Bytes that do not convert are replaced, as the system
// functions this stands in for do: U+FFFD for undecodable input, the default
// character ('?') for characters the target code page lacks.
#pragma once

#include "platform/CString.h"

#include <string>

#define CP_ACP 0
#define CP_UTF8 65001
#define CP_GBK 936
#define CP_GB18030 54936
#define CP_BIG5 950

// Fail instead of replacing undecodable input (MultiByteToWideChar).
#define MB_ERR_INVALID_CHARS 0x00000008

// The layer's ANSI code page. Unknown code pages are refused (returns false).
bool SetAnsiCodePage(UINT codePage);
UINT GetACP();

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLength, LPWSTR dst, int dstLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLength, LPSTR dst, int dstLength,
                        LPCSTR defaultChar, BOOL* usedDefaultChar);

// Whole-text helpers over the two functions above.
std::wstring MultiByteToWide(UINT codePage, const std::string& text);
std::string WideToMultiByte(UINT codePage, const std::wstring& text);
// Converts between two code pages through wide text.
std::string ConvertCodePage(UINT from, UINT to, const std::string& text);

// The two conversions used wherever text crosses to or from the service.
CString AnsiToUtf8(CString text);
CString Utf8ToAnsi(CString text);
