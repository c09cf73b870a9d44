// CString: a text of bytes in the ANSI code page, with value semantics.
//
// The bytes are kept unchanged: no conversion happens here. Code-page
// conversions are in codepage.h. Positions and lengths count bytes, as they
// do for a multi-byte code page.
//
// Unlike the class it stands in for, a CString cannot be passed directly to a
// variadic function: pass GetString() or cast to LPCTSTR for "%s".
#pragma once

#include "platform/types.h"

#include <cstdarg>
#include <functional>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : s_(text ? text : "") {}
    CString(const char* text, int length) : s_(text ? std::string(text, length > 0 ? length : 0) : std::string()) {}
    CString(char ch, int repeat = 1) : s_(repeat > 0 ? repeat : 0, ch) {}
    CString(const std::string& text) : s_(text) {}
    CString(std::string&& text) : s_(std::move(text)) {}
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* text) { s_ = text ? text : ""; return *this; }
    CString& operator=(char ch) { s_.assign(1, ch); return *this; }

    int GetLength() const { return static_cast<int>(s_.size()); }
    bool IsEmpty() const { return s_.empty(); }
    void Empty() { s_.clear(); }
    const char* GetString() const { return s_.c_str(); }
    operator LPCTSTR() const { return s_.c_str(); }
    const std::string& str() const { return s_; }
    char GetAt(int i) const { return s_.at(static_cast<size_t>(i)); }
    void SetAt(int i, char ch) { s_.at(static_cast<size_t>(i)) = ch; }
    char operator[](int i) const { return GetAt(i); }

    CString& operator+=(const CString& t) { s_ += t.s_; return *this; }
    CString& operator+=(const char* t) { if (t) s_ += t; return *this; }
    CString& operator+=(char ch) { s_ += ch; return *this; }
    void Append(const char* t, int length) { if (t && length > 0) s_.append(t, static_cast<size_t>(length)); }

    int Compare(const char* t) const;
    int CompareNoCase(const char* t) const;

    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void AppendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* fmt, va_list args);
    void AppendFormatV(const char* fmt, va_list args);

    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* chars) const;

    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;

    int Replace(char from, char to);
    int Replace(const char* from, const char* to);
    int Remove(char ch);
    int Insert(int index, char ch);
    int Insert(int index, const char* text);
    int Delete(int index, int count = 1);

    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();
    CString& Trim();
    CString& Trim(const char* chars);
    CString& TrimLeft();
    CString& TrimLeft(const char* chars);
    CString& TrimRight();
    CString& TrimRight(const char* chars);

    // Next token delimited by any of `delims`, starting at `start`; empty
    // tokens are skipped. At the end `start` becomes -1 and "" is returned.
    CString Tokenize(const char* delims, int& start) const;

    // Direct access to the bytes. GetBuffer grows the text to at least
    // `minLength` bytes; ReleaseBuffer(-1) cuts it at the first zero byte.
    char* GetBuffer(int minLength = 0);
    char* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

private:
    std::string s_;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);
CString operator+(const CString& a, char b);
CString operator+(char a, const CString& b);

// The decimal text of a number, as "%d" writes it (ids in pages, lists and
// file names).
CString IdText(int id);

inline bool operator==(const CString& a, const CString& b) { return a.str() == b.str(); }
inline bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
inline bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return !(a == b); }
inline bool operator!=(const CString& a, const char* b) { return !(a == b); }
inline bool operator!=(const char* a, const CString& b) { return !(b == a); }
inline bool operator<(const CString& a, const CString& b) { return a.str() < b.str(); }
inline bool operator>(const CString& a, const CString& b) { return a.str() > b.str(); }

namespace std {
template <> struct hash<CString> {
    size_t operator()(const CString& s) const { return hash<string>()(s.str()); }
};
}
