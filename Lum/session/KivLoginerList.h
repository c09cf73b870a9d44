// The drop-down list of the login window with the accounts remembered on
// this computer: each row shows the account's head picture and login
// account; the row under the mouse is highlighted and carries a small delete
// button that makes the computer forget the account. A click elsewhere on a
// row puts the account into the login window.
//
// Rows are composed with GDI+ into a back buffer of the list's size, which is
// copied to the window at the end of painting.
#pragma once

#include "Common/records/Data.h"
#include "Common/controls/GdiPlusBitmap.h"
#include "platform/listctrl.h"

#include <map>

class CKivDlgLogin;

class CKivLoginerList : public CListCtrl {
    DECLARE_DYNAMIC(CKivLoginerList)

public:
    CKivLoginerList();
    ~CKivLoginerList() override;

    // Row height, back buffer, delete-button strip and the one column.
    void InitList();
    // Adds a row for a remembered record (a copy is kept under its id); a
    // record whose id is listed already is ignored. Returns 0.
    int AddAccount(CDataUser* user);

    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    void MeasureItem(LPMEASUREITEMSTRUCT mis) override;

    // Whether a point of the control lies on the delete button of its row.
    BOOL InDeleteButton(CPoint point) const;

    int m_nRowHeight = 24;
    Gdiplus::Bitmap* m_pBackBuffer = nullptr;
    int m_nHotItem = -1;
    CGdiPlusBitmapResource* m_pDeleteStrip = nullptr;
    int m_nBtnWidth = 0;
    int m_nBtnHeight = 0;
    int m_nBtnX = 0;
    int m_nBtnY = 5;
    int m_nHover = 0;    // the mouse is over the hot row's delete button
    int m_nPressed = 0;  // a press on the delete button waits for its release
    Gdiplus::Bitmap* m_pDefaultHead = nullptr;
    std::map<int, CDataUser*> m_mapAccounts;  // owned copies, by user id
    CKivDlgLogin* m_pOwner = nullptr;
    // The system store the forgotten accounts are removed from.
    void* m_pSysStore = nullptr;

protected:
    void OnPaint() override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnClick(NMHDR* nmhdr, LRESULT* result);

    DECLARE_MESSAGE_MAP()

private:
    void NewBackBuffer();
    // Forgets the account of the row under `point`.
    void DeleteAccountAt(CPoint point);
    int m_nPressedItem = -1;  // the row whose delete button was pressed
};
