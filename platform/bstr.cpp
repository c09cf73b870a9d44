#include "platform/bstr.h"

#include "platform/codepage.h"

_bstr_t::_bstr_t(const char* ansi)
{
    if (!ansi || !*ansi) return;
    d_ = std::make_shared<Data>();
    d_->wide = MultiByteToWide(CP_ACP, ansi);
    d_->ansi = ansi;
    d_->ansiValid = true;
}

_bstr_t::_bstr_t(const wchar_t* wide)
{
    if (!wide || !*wide) return;
    d_ = std::make_shared<Data>();
    d_->wide = wide;
}

_bstr_t::operator const char*() const
{
    if (!d_) return "";
    if (!d_->ansiValid) {
        d_->ansi = WideToMultiByte(CP_ACP, d_->wide);
        d_->ansiValid = true;
    }
    return d_->ansi.c_str();
}

_bstr_t::operator const wchar_t*() const
{
    return d_ ? d_->wide.c_str() : L"";
}

bool _bstr_t::operator==(const _bstr_t& o) const
{
    const std::wstring empty;
    return (d_ ? d_->wide : empty) == (o.d_ ? o.d_->wide : empty);
}
