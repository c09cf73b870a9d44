// Product versions of programs and modules, read from their files without
// loading them.
//
// The build writes the version into the ELF section ".lum_version" of each
// program and module (CMake function lum_product_version). The version block
// that GetFileVersionInfo copies out holds one language and code-page pair
// and the product version text.
//
// A Windows file name is mapped as the layer maps it: when "Name.exe" does not
// exist the executable "Name" beside it is read, and for "Name.dll" the module
// "libName.so".
#pragma once

#include "platform/CString.h"
#include "platform/types.h"

// Size of the file's version block; 0 when the file is missing, is not an ELF
// file or carries no version. `handle` (may be null) is set to 0.
DWORD GetFileVersionInfoSize(LPCSTR path, DWORD* handle);
// Copies the version block into `data` (`size` bytes, at least the size
// above); FALSE when the file has no version or `size` is too small.
BOOL GetFileVersionInfo(LPCSTR path, DWORD handle, DWORD size, LPVOID data);
// Answers "\\VarFileInfo\\Translation" (language and code page, two WORDs,
// length 4) and "\\StringFileInfo\\llllcccc\\ProductVersion" (the text, length
// in characters with its terminator) for a block from GetFileVersionInfo.
BOOL VerQueryValue(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length);

// The product version text of a file, read through the calls above with the
// language and code page its block names; empty when it has none.
CString ReadFileProductVersion(LPCSTR path);
