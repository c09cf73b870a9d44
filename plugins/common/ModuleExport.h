// A function a module exports with C linkage, stated once: its name and the
// type the module defines it with.
//
// Each module has one header of its exports (plugins/<Module>/<Module>Exports.h)
// holding a ModuleExport per function and the list of their names. The module
// declares each definition from it, so a definition whose type differs does
// not compile; the client, the other modules and the tests look functions up
// only through it (PluginExport), so nobody types a module's function by hand
// and every name looked up is one the exports test resolves in the built module.
//
// The types sit here rather than in `extern "C"` prototypes of their own
// because several modules export a function of the same name (`Show`) with
// different types, and one source file may call more than one of them.
#pragma once

#include "platform/module.h"

#include <cstddef>

template <class F>
class ModuleExport {
public:
    using Function = F;  // the type the module defines the function with
    using Pointer = F*;  // what callers call it through

    // `name` must be one of `listed`, the names in the module's header: a
    // name missing there is not a constant, and does not compile.
    template <std::size_t N>
    constexpr ModuleExport(const char* name, const char* const (&listed)[N])
        : m_name(IsListed(name, listed) ? name : throw "a module export must be in its module's list of names")
    {
    }

    constexpr const char* Name() const { return m_name; }

private:
    static constexpr bool Same(const char* a, const char* b)
    {
        while (*a && *a == *b) ++a, ++b;
        return *a == *b;
    }
    template <std::size_t N>
    static constexpr bool IsListed(const char* name, const char* const (&listed)[N])
    {
        for (std::size_t i = 0; i < N; ++i)
            if (Same(name, listed[i])) return true;
        return false;
    }

    const char* m_name;
};

// The function `e` of `module`; null when the module is null or lacks it.
template <class F>
F* PluginExport(HMODULE module, const ModuleExport<F>& e)
{
    return module ? reinterpret_cast<F*>(GetProcAddress(module, e.Name())) : nullptr;
}
