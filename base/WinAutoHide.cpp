#include "base/WinAutoHide.h"

#include "platform/appbar.h"
#include "platform/threads.h"

WinAutoHide::WinAutoHide()
    : m_nScreenWidth(GetSystemMetrics(SM_CXSCREEN)), m_nScreenHeight(GetSystemMetrics(SM_CYSCREEN))
{
}

bool WinAutoHide::isRunTimer() const
{
    return m_nDockState != 0 && m_nHidden == 0;
}

void WinAutoHide::setWindowSize(int width, int height)
{
    if (height < m_nScreenHeight - 100) {
        m_nRestoreWidth = width;
        m_nRestoreHeight = height;
    }
}

void WinAutoHide::SetBarHeight()
{
    APPBARDATA bar;
    if (SHAppBarMessage(ABM_GETSTATE, &bar) != 0) {
        m_nUsableTop = 1;
        m_nUsableBottom = m_nScreenHeight - 1;
        return;
    }
    if (!SHAppBarMessage(ABM_GETTASKBARPOS, &bar)) {
        // No panel on any edge: the whole height is usable.
        m_nUsableTop = 1;
        m_nUsableBottom = m_nScreenHeight - 1;
        return;
    }
    switch (bar.uEdge) {
    case ABE_LEFT:
    case ABE_RIGHT:
        m_nUsableTop = 1;
        m_nUsableBottom = m_nScreenHeight - 1;
        break;
    case ABE_TOP:
        m_nUsableTop = bar.rc.bottom + 1;
        m_nUsableBottom = m_nScreenHeight - 1;
        break;
    case ABE_BOTTOM:
        m_nUsableTop = 1;
        m_nUsableBottom = m_nScreenHeight - (bar.rc.bottom - bar.rc.top) - 1;
        break;
    default: break;
    }
}

void WinAutoHide::WindowMoving(HWND hwnd, RECT* rect)
{
    if (!rect) return;
    const int height = rect->bottom - rect->top, width = rect->right - rect->left;
    if (m_nDockState == 0) {
        if (rect->top < m_nEdge) {
            m_nDockState = 1;
            rect->top = 0;
            rect->bottom = height;
        }
        if (rect->left < m_nEdge) {
            m_nDockState = 2;
            rect->left = 0;
            rect->right = width;
        } else if (rect->right - m_nEdge > m_nScreenWidth) {
            m_nDockState = 3;
            rect->right = m_nScreenWidth;
            rect->left = m_nScreenWidth - width;
        }
        if (m_nDockState != 0) {
            // Later moves are measured from here: without a starting point the
            // first move after docking would be taken for a pull away.
            POINT cursor;
            GetCursorPos(&cursor);
            m_nLastCursorX = cursor.x;
            m_nLastCursorY = cursor.y;
        }
        return;
    }

    POINT cursor;
    GetCursorPos(&cursor);
    const int dx = cursor.x - m_nLastCursorX, dy = cursor.y - m_nLastCursorY;
    const UINT place = SWP_NOSIZE | SWP_NOZORDER | SWP_NOSENDCHANGING;
    switch (m_nDockState) {
    case 1:
        if (dy > 2 || (dx > 10 && dy > 1)) {
            m_nDockState = 0;
            rect->top = 1;
            rect->bottom = 1 + m_nRestoreHeight;
            SetWindowPos(hwnd, nullptr, rect->left, 1, 0, 0, place);
        } else {
            rect->top = 0;
            rect->bottom = height;
            if (rect->left < 1) {
                rect->left = 0;
                rect->right = width;
            } else if (rect->right >= m_nScreenWidth) {
                rect->right = m_nScreenWidth;
                rect->left = m_nScreenWidth - width;
            }
        }
        break;
    case 2:
        if (dx > 2 || (dy > 10 && dx > 1)) {
            m_nDockState = 0;
            rect->left = 1;
            rect->top = 1;
            rect->right = 1 + m_nRestoreWidth;
            rect->bottom = 1 + m_nRestoreHeight;
            SetWindowPos(hwnd, nullptr, 1, 1, 0, 0, place);
        } else if (dy <= 0) {
            rect->left = 0;
            rect->right = width;
            SetBarHeight();
            rect->top = 0;
            rect->bottom = m_nUsableBottom;
        }
        break;
    case 3:
        if (-dx > 2 || (dy > 10 && -dx > 1)) {
            m_nDockState = 0;
            rect->left -= 1;
            rect->right -= 1;
            rect->top = 1;
            rect->bottom = 1 + m_nRestoreHeight;
            SetWindowPos(hwnd, nullptr, rect->left, 1, 0, 0, place);
        } else if (dy <= 0) {
            rect->right = m_nScreenWidth;
            rect->left = m_nScreenWidth - width;
            SetBarHeight();
            rect->top = 0;
            rect->bottom = m_nUsableBottom;
        }
        break;
    default: break;
    }
    m_nLastCursorX = cursor.x;
    m_nLastCursorY = cursor.y;
}

void WinAutoHide::HideSide(HWND hwnd, int hide)
{
    RECT r;
    if (!GetWindowRect(hwnd, &r)) return;
    const int w = r.right - r.left, h = r.bottom - r.top;
    m_nHidden = hide;
    int targetX = r.left, targetY = r.top, step = 0;
    bool vertical = false;
    switch (m_nDockState) {
    case 1:
        vertical = true;
        targetY = hide ? m_nVisible - h : 0;
        step = hide ? -(r.bottom / 20) : -(r.top / 20);
        break;
    case 2:
        targetX = hide ? m_nVisible - w : 0;
        step = hide ? -(r.right / 20) : -(r.left / 20);
        break;
    case 3:
        targetX = hide ? m_nScreenWidth - m_nVisible : m_nScreenWidth - w;
        step = hide ? (m_nScreenWidth - r.left) / 20 : (m_nScreenWidth - r.right) / 20;
        break;
    default: return;
    }
    if (!vertical) SetBarHeight();
    int x = r.left, y = vertical ? r.top : 0;
    for (int i = 0; i < 20; ++i) {
        if (vertical) y += step;
        else x += step;
        SetWindowPos(hwnd, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOSENDCHANGING);
        RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_INVALIDATE);
        Sleep(5);
    }
    SetWindowPos(hwnd, HWND_TOPMOST, targetX, targetY, 0, 0, SWP_NOSIZE | SWP_NOSENDCHANGING);
}
