// Files, folders and the program's own location.
//
// Paths use '/'. The program folder is the one the installed services give
// (platform/services.h): the folder of the running executable, or a
// temporary folder of a test's own, so that the tests' stores and downloads
// never land in the build's output folder.
#pragma once

#include "platform/CString.h"

#include <sys/stat.h>

// Full path of the running executable (module null): its file name in the
// program folder. Returns the length written, 0 on failure.
DWORD GetModuleFileName(HMODULE module, LPSTR buffer, DWORD size);

// Splits a path into drive (always empty here), directory (ending in '/'),
// file name without extension, and extension with its dot. Null outputs are
// skipped; each output must hold MAX_PATH bytes.
void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);

// Creates one folder; false when it could not be created (also when it exists).
BOOL CreateDirectory(LPCSTR path, void* securityAttributes);
int _mkdir(const char* path);
struct _stat : public ::stat {};
int _stat(const char* path, struct _stat* buffer);
BOOL DeleteFile(LPCSTR path);
BOOL MoveFile(LPCSTR from, LPCSTR to);
// With MOVEFILE_REPLACE_EXISTING an existing file at `to` is replaced in one
// step (a rename within one file system), so a reader sees either the old or
// the new file and never a missing or partial one.
#define MOVEFILE_REPLACE_EXISTING 0x00000001
BOOL MoveFileEx(LPCSTR from, LPCSTR to, DWORD flags);
BOOL PathFileExists(LPCSTR path);

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const char* path, std::string& out);
