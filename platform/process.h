// Starting other programs.
//
// Programs are named as the system names them ("Updater.exe"); the layer maps
// such a name to the file that stands for it here: "Name.exe" is the
// executable "Name" beside it, "Name.dll" the module "libName.so", whenever
// the named file itself does not exist.
#pragma once

#include "platform/CString.h"

#include <vector>

#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_BAD_FORMAT 11
#endif

// The file that stands for `path`: the path itself when it exists, else the
// mapped name of a program or library (an empty text for a null path).
CString MapProgramName(LPCSTR path);

// Starts a program without a shell and without waiting for it. The command
// line is the program's path, optionally followed by arguments; a path that
// contains blanks is either the whole command line or written in double
// quotes. `show` is accepted and left to the program. Returns a value above
// 31 when the program was started, ERROR_FILE_NOT_FOUND when there is no such
// file, ERROR_ACCESS_DENIED or ERROR_BAD_FORMAT when it cannot be run, 0 when
// no process could be made.
UINT WinExec(LPCSTR commandLine, UINT show);

// Gives a program file that was downloaded or copied its execute permission
// (a program name on the other system is executable by its extension alone).
BOOL MarkProgramExecutable(LPCSTR path);

// Running programs: the processes of this user that run the program file
// `path` (mapped like WinExec's program). A process is matched by the file it
// was started from, so the same program started from another folder is not
// one of them; a process whose file has since been replaced still is. The
// calling process is never listed.
std::vector<DWORD> FindProgramProcesses(LPCSTR path);

// Ends a process: asks it to end (SIGTERM), waits up to `graceMs` for it to
// go, then ends it forcibly (SIGKILL). TRUE once it has ended (a process that
// has ended but not yet been reaped by its parent counts as ended).
BOOL EndProcessGently(DWORD pid, DWORD graceMs);
