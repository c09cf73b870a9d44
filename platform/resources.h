// Resources embedded in each module (program, shared library or plug-in) and
// looked up by module handle, type and numeric id.
//
// Every module that has resources embeds them at build time (CMake function
// lum_add_resources, see cmake/Resources.cmake): a PNG 13000 of base is found
// only through base's module handle. A module handle (HINSTANCE) is the load
// address of the module.
//
// The "current resource handle" is process-wide, as callers switch it to a
// library's own module while that library loads its resources, and restore it.
#pragma once

#include "platform/types.h"

typedef void* HGLOBAL;
struct HRSRC__;
typedef HRSRC__* HRSRC;

#define MAKEINTRESOURCE(i) (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<uintptr_t>(p) >> 16) == 0)

// Numeric resource types. Named types ("PNG", "gif", "HTML") are texts.
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_HTML MAKEINTRESOURCE(23)
#define RT_TOOLBAR MAKEINTRESOURCE(241)

// Finds resource `name` of `type` in `module` (null: the current resource
// handle). Names and types are numbers (MAKEINTRESOURCE) or texts, compared
// without regard to case.
HRSRC FindResource(HMODULE module, LPCSTR name, LPCSTR type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL loaded);
// String table entry `id` of `module` into `buffer`; the length, 0 when none.
int LoadString(HINSTANCE module, UINT id, LPSTR buffer, int size);

HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE module);

// The handle of the module that contains `address` (null when none).
HMODULE ModuleFromAddress(const void* address);

// Called by the code that lum_add_resources generates: registers one
// embedded resource of the module that contains `anchor`.
void RegisterEmbeddedResource(const void* anchor, LPCSTR type, LPCSTR name, const void* data, DWORD size);
// Called when that module is unloaded: forgets all its resources, so that a
// module loaded later at the same address never finds stale ones.
void UnregisterEmbeddedResources(const void* anchor);

// The module of the code that calls it: each module has its own hidden anchor
// (defined by the code that lum_add_resources or lum_module generates). The
// function is hidden too: a copy exported by the program would otherwise
// answer for every module and name the program.
extern "C" const char lum_module_anchor __attribute__((visibility("hidden")));
__attribute__((visibility("hidden"))) inline HINSTANCE AfxGetInstanceHandle()
{
    return ModuleFromAddress(&lum_module_anchor);
}

// Makes the calling module's resources current for a scope and restores the
// previous resource handle at its end.
class CResourceScope {
public:
    explicit CResourceScope(HINSTANCE module) : previous_(AfxGetResourceHandle()) { AfxSetResourceHandle(module); }
    ~CResourceScope() { AfxSetResourceHandle(previous_); }
    CResourceScope(const CResourceScope&) = delete;
    CResourceScope& operator=(const CResourceScope&) = delete;

private:
    HINSTANCE previous_;
};
#define AfxGetStaticModuleState() AfxGetInstanceHandle()
#define AFX_MANAGE_STATE(module) CResourceScope lum_manage_state_scope_(module)
