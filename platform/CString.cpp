#include "platform/CString.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

const char* kWhiteSpace = " \t\r\n\v\f";

void appendV(std::string& out, const char* fmt, va_list args)
{
    if (!fmt) return;
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        out.append(small, static_cast<size_t>(n));
        return;
    }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, args);
    out.append(big.data(), static_cast<size_t>(n));
}

}  // namespace

int CString::Compare(const char* t) const
{
    return std::strcmp(s_.c_str(), t ? t : "");
}

int CString::CompareNoCase(const char* t) const
{
    return strcasecmp(s_.c_str(), t ? t : "");
}

void CString::Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

void CString::AppendFormat(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    AppendFormatV(fmt, args);
    va_end(args);
}

void CString::FormatV(const char* fmt, va_list args)
{
    std::string out;
    appendV(out, fmt, args);
    s_.swap(out);
}

void CString::AppendFormatV(const char* fmt, va_list args)
{
    appendV(s_, fmt, args);
}

int CString::Find(char ch, int start) const
{
    if (start < 0 || start > GetLength()) return -1;
    size_t p = s_.find(ch, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::Find(const char* sub, int start) const
{
    if (!sub || start < 0 || start > GetLength()) return -1;
    size_t p = s_.find(sub, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(char ch) const
{
    size_t p = s_.rfind(ch);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::FindOneOf(const char* chars) const
{
    if (!chars) return -1;
    size_t p = s_.find_first_of(chars);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first >= GetLength()) return CString();
    return CString(s_.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const
{
    return Mid(0, count);
}

CString CString::Right(int count) const
{
    if (count <= 0) return CString();
    if (count >= GetLength()) return *this;
    return CString(s_.substr(s_.size() - static_cast<size_t>(count)));
}

int CString::Replace(char from, char to)
{
    int n = 0;
    for (char& c : s_) {
        if (c == from) { c = to; ++n; }
    }
    return n;
}

int CString::Replace(const char* from, const char* to)
{
    if (!from || !*from) return 0;
    if (!to) to = "";
    const size_t fl = std::strlen(from);
    std::string out;
    int n = 0;
    size_t pos = 0;
    for (;;) {
        size_t hit = s_.find(from, pos);
        if (hit == std::string::npos) break;
        out.append(s_, pos, hit - pos);
        out += to;
        pos = hit + fl;
        ++n;
    }
    if (n) {
        out.append(s_, pos, std::string::npos);
        s_.swap(out);
    }
    return n;
}

int CString::Remove(char ch)
{
    size_t before = s_.size();
    s_.erase(std::remove(s_.begin(), s_.end(), ch), s_.end());
    return static_cast<int>(before - s_.size());
}

int CString::Insert(int index, char ch)
{
    index = std::clamp(index, 0, GetLength());
    s_.insert(static_cast<size_t>(index), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char* text)
{
    index = std::clamp(index, 0, GetLength());
    if (text) s_.insert(static_cast<size_t>(index), text);
    return GetLength();
}

int CString::Delete(int index, int count)
{
    if (index < 0) index = 0;
    if (count > 0 && index < GetLength()) s_.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

CString& CString::MakeUpper()
{
    for (char& c : s_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeLower()
{
    for (char& c : s_) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeReverse()
{
    std::reverse(s_.begin(), s_.end());
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::Trim(const char* chars) { return TrimRight(chars).TrimLeft(chars); }
CString& CString::TrimLeft() { return TrimLeft(kWhiteSpace); }
CString& CString::TrimRight() { return TrimRight(kWhiteSpace); }

CString& CString::TrimLeft(const char* chars)
{
    if (!chars) return *this;
    size_t p = s_.find_first_not_of(chars);
    s_.erase(0, p == std::string::npos ? s_.size() : p);
    return *this;
}

CString& CString::TrimRight(const char* chars)
{
    if (!chars) return *this;
    size_t p = s_.find_last_not_of(chars);
    s_.erase(p == std::string::npos ? 0 : p + 1);
    return *this;
}

CString CString::Tokenize(const char* delims, int& start) const
{
    if (start < 0 || !delims) { start = -1; return CString(); }
    size_t b = s_.find_first_not_of(delims, static_cast<size_t>(start));
    if (b == std::string::npos) { start = -1; return CString(); }
    size_t e = s_.find_first_of(delims, b);
    if (e == std::string::npos) e = s_.size();
    start = static_cast<int>(e < s_.size() ? e + 1 : e);
    return CString(s_.substr(b, e - b));
}

char* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength()) s_.resize(static_cast<size_t>(minLength));
    return &s_[0];
}

char* CString::GetBufferSetLength(int length)
{
    s_.resize(static_cast<size_t>(length > 0 ? length : 0));
    return &s_[0];
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0) s_.resize(std::strlen(s_.c_str()));
    else if (static_cast<size_t>(newLength) <= s_.size()) s_.resize(static_cast<size_t>(newLength));
}

CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }
CString operator+(const CString& a, char b) { CString r(a); r += b; return r; }
CString operator+(char a, const CString& b) { CString r(a); r += b; return r; }

CString IdText(int id)
{
    CString text;
    text.Format("%d", id);
    return text;
}
