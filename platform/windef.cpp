#include "platform/windef.h"

BOOL PtInRect(const RECT* rect, POINT pt)
{
    return rect && pt.x >= rect->left && pt.x < rect->right && pt.y >= rect->top && pt.y < rect->bottom;
}

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom)
{
    if (!rect) return FALSE;
    rect->left = left;
    rect->top = top;
    rect->right = right;
    rect->bottom = bottom;
    return TRUE;
}

BOOL OffsetRect(RECT* rect, int dx, int dy)
{
    if (!rect) return FALSE;
    rect->left += dx;
    rect->right += dx;
    rect->top += dy;
    rect->bottom += dy;
    return TRUE;
}

BOOL InflateRect(RECT* rect, int dx, int dy)
{
    if (!rect) return FALSE;
    rect->left -= dx;
    rect->right += dx;
    rect->top -= dy;
    rect->bottom += dy;
    return TRUE;
}

BOOL IsRectEmpty(const RECT* rect)
{
    return !rect || rect->right <= rect->left || rect->bottom <= rect->top;
}

BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b)
{
    if (!out || !a || !b) return FALSE;
    RECT r;
    r.left = a->left > b->left ? a->left : b->left;
    r.top = a->top > b->top ? a->top : b->top;
    r.right = a->right < b->right ? a->right : b->right;
    r.bottom = a->bottom < b->bottom ? a->bottom : b->bottom;
    if (IsRectEmpty(&r)) {
        *out = RECT();
        return FALSE;
    }
    *out = r;
    return TRUE;
}
