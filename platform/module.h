// Plug-in modules loaded by file name at run time.
//
// A plug-in named "Name.dll" is the shared library "libName.so" in the
// program folder. Its handle (HMODULE) is the module's load address, the same
// value the module's own AfxGetInstanceHandle() returns and under which its
// embedded resources are registered, so FindResource(module, ...) finds the
// plug-in's resources.
//
// Unloading is safe against open windows: before the last FreeLibrary of a
// module unmaps it, every window whose object is part of the module or whose
// class is the module's own is destroyed; a module that still has such a
// window afterwards is kept loaded (its handle is released all the same), so
// no window ever outlives the code it runs.
#pragma once

#include "platform/CString.h"
#include "platform/types.h"

#include <vector>

typedef void (*FARPROC)();

// Loads a module by file name: "Name.dll" (any letter case of the
// extension) is "libName.so"; any other name is taken as it stands. A name
// without '/' is looked up in the program folder. Null when the file is
// missing or cannot be loaded. Loading a loaded module again counts a
// reference and returns the same handle.
HMODULE LoadLibrary(LPCSTR fileName);
// The exported function `name` of a module LoadLibrary returned; null when
// the module has no such export or was not loaded by LoadLibrary.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// Drops one reference; the last one closes the module's windows and unloads
// it (see above). FALSE when the handle is not a loaded module.
BOOL FreeLibrary(HMODULE module);

// The windows that belong to a module's code: their object lies in the
// module, or the object's class is defined there. UI thread only.
std::vector<HWND> GetModuleWindows(HMODULE module);
// Whether a module handle names a module that is mapped now (loaded by
// LoadLibrary and not yet unloaded, or kept because windows stayed open).
BOOL IsModuleLoaded(HMODULE module);
