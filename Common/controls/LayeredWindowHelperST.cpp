#include "Common/controls/LayeredWindowHelperST.h"

#include "platform/resources.h"

#include <algorithm>

CLayeredWindowHelperST::CLayeredWindowHelperST()
    : m_hDll(ModuleFromAddress(reinterpret_cast<const void*>(&::SetLayeredWindowAttributes)))
{
}

CLayeredWindowHelperST::~CLayeredWindowHelperST() = default;

LONG CLayeredWindowHelperST::AddLayeredStyle(HWND hwnd)
{
    return SetWindowLong(hwnd, GWL_EXSTYLE, GetWindowLong(hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
}

LONG CLayeredWindowHelperST::RemoveLayeredStyle(HWND hwnd)
{
    return SetWindowLong(hwnd, GWL_EXSTYLE, GetWindowLong(hwnd, GWL_EXSTYLE) & ~WS_EX_LAYERED);
}

BOOL CLayeredWindowHelperST::SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags)
{
    if (!m_hDll) return TRUE;
    return ::SetLayeredWindowAttributes(hwnd, key, alpha, flags);
}

BOOL CLayeredWindowHelperST::UpdateLayeredWindow(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD)
{
    return FALSE;
}

BOOL CLayeredWindowHelperST::SetTransparentPercentage(HWND hwnd, BYTE percent)
{
    if (!m_hDll) return TRUE;
    const BYTE alpha = static_cast<BYTE>(std::min<int>(percent, 100) * 255 / 100);
    return SetLayeredWindowAttributes(hwnd, 0, alpha, LWA_ALPHA);
}
