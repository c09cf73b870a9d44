// Basic value types and constants of the platform layer.
//
// The system is written against a Windows-style vocabulary (BOOL, DWORD,
// handles, ...). This header gives those names fixed, portable meanings so
// that the code above the layer reads as written and compiles on Linux.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef int16_t SHORT;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef uint32_t UINT32;
typedef int32_t INT32;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef intptr_t LRESULT;

typedef char CHAR;
typedef char TCHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef const char* LPCTSTR;
typedef char* LPTSTR;
// Wide characters are the C++ wchar_t of the platform (UTF-32 here).
typedef wchar_t WCHAR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* LPWSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;

// Opaque handles. A handle is a value the layer maps to a live object; it
// carries no pointer the caller may dereference.
typedef void* HANDLE;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
struct HWND__;
typedef HWND__* HWND;
struct HICON__;
typedef HICON__* HICON;
struct HBITMAP__;
typedef HBITMAP__* HBITMAP;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

#define MAX_PATH 4096
