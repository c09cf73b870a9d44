// _bstr_t: a reference-counted wide string.
//
// Copies share one immutable text. Built from ANSI text it converts through
// the layer's ANSI code page; read as ANSI it converts back (cached).
#pragma once

#include "platform/CString.h"

#include <memory>
#include <string>

class _bstr_t {
public:
    _bstr_t() = default;
    _bstr_t(const char* ansi);
    _bstr_t(const CString& ansi) : _bstr_t(ansi.GetString()) {}
    _bstr_t(const wchar_t* wide);
    _bstr_t& operator=(const char* ansi) { return *this = _bstr_t(ansi); }
    _bstr_t& operator=(const CString& ansi) { return *this = _bstr_t(ansi); }
    _bstr_t& operator=(const wchar_t* wide) { return *this = _bstr_t(wide); }

    // The text in the ANSI code page ("" when empty, never null).
    operator const char*() const;
    // The wide text ("" when empty, never null).
    operator const wchar_t*() const;
    unsigned int length() const { return d_ ? static_cast<unsigned int>(d_->wide.size()) : 0; }
    bool operator==(const _bstr_t& o) const;
    bool operator!=(const _bstr_t& o) const { return !(*this == o); }

private:
    struct Data {
        std::wstring wide;
        std::string ansi;
        bool ansiValid = false;
    };
    std::shared_ptr<Data> d_;
};
