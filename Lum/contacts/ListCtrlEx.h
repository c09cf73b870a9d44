// The owner-drawn list under the client's contact and group lists: a
// one-column report whose rows are composed with GDI+ in an off-screen
// bitmap, with a background, a hover and a selection colour and a thin
// frame. Derived lists replace only DrawItem, the painting of one row; the
// buffers, hover and selection tracking, scrolling and sizing are here.
//
// Painting has two stages: during the list's own painting each visible row
// is drawn into the row bitmap and copied into the back bitmap at its top;
// at the end of WM_PAINT the back bitmap goes to the screen all at once.
#pragma once

#include "Common/records/Data.h"
#include "platform/gdiplus.h"
#include "platform/listctrl.h"

#include <iterator>
#include <map>

class CListCtrlEx : public CListCtrl {
    DECLARE_DYNAMIC(CListCtrlEx)

public:
    CListCtrlEx();
    ~CListCtrlEx() override;

    // Called once per control after it has a window: stores the row height,
    // has the list measure its rows again, builds the buffers, brushes and
    // font, and inserts the one column.
    void SetRowHeight(int height);
    void CreateBuffers();
    void FreeBuffers();

    // Paints one row into the row bitmap and copies it into the back bitmap.
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    void MeasureItem(LPMEASUREITEMSTRUCT mis) override;

    // The background of a row: selection wins over hover.
    Gdiplus::Color RowColor(int item) const;

    int m_nHoverItem = -1;  // row under the mouse
    int m_nSelItem = -1;    // row last pressed with the left button
    RECT m_rcList;
    int m_nRowHeight = 0;
    Gdiplus::Bitmap* m_pBackBitmap = nullptr;
    Gdiplus::Bitmap* m_pRowBitmap = nullptr;
    Gdiplus::Graphics* m_pBackGraphics = nullptr;
    Gdiplus::Graphics* m_pRowGraphics = nullptr;
    Gdiplus::Font* m_pFont = nullptr;
    Gdiplus::SolidBrush* m_pNameBrush = nullptr;
    Gdiplus::SolidBrush* m_pSignBrush = nullptr;
    Gdiplus::SolidBrush* m_pAlertBrush = nullptr;
    Gdiplus::ARGB m_clrBack = 0xFFFFFFFF;
    Gdiplus::ARGB m_clrHover = 0xFFFFFFFF;
    Gdiplus::ARGB m_clrSelect = 0xFFFFFFFF;
    Gdiplus::ARGB m_clrBorder = 0xFFFFFFFF;

protected:
    // A copy of a PNG resource of the client's module (null when missing),
    // for the pictures a list draws its rows with.
    static Gdiplus::Bitmap* LoadPng(UINT id);
    // Whether the record has lines waiting to be read.
    static bool HasUnread(const CData* rec);
    // A chat window brought to the user: shown, in front and painted.
    static void BringForward(CWnd* chat);
    // A chat window laid out again at its size after the skin changed;
    // one on the screen is shown anew.
    static void LayOutAgain(CWnd* chat);

    // A row was deleted: the hover and selection indexes follow the rows
    // after it, and forget it when it was theirs, so that they never name a
    // row that is gone or another contact's row.
    void ForgetRow(int row);
    // Every row was deleted.
    void ForgetAllRows();

    // The contact and group lists keep their records in a map by id, one row
    // per record with the id as item data and the record's last row in
    // m_nAux.
    //
    // The row showing `id`, -1 when none. The row `rec` (when there is one)
    // had last is looked at first: rows move only when one before them goes.
    int FindRecordRow(int id, const CData* rec) const;
    // Deletes a record's row (when it has one, `row` 0 or more).
    void DeleteRecordRow(int row);
    // Hands every record for which `stale` holds to `drop` (which erases it
    // from `records`), then lays the list out again when one went.
    template <class Record, class Stale, class Drop>
    void RemoveStaleRecords(std::map<int, Record*>& records, Stale stale, Drop drop)
    {
        bool removed = false;
        for (auto it = records.begin(); it != records.end();) {
            auto next = std::next(it);
            if (stale(it->second)) {
                drop(it);
                removed = true;
            }
            it = next;
        }
        if (removed) SendMessage(WM_SIZE, 0, 0);
    }
    // Hands the record of `id` to `drop` and lays the list out again: 1, or
    // 0 for an unknown id.
    template <class Record, class Drop>
    int RemoveRecord(std::map<int, Record*>& records, int id, Drop drop)
    {
        SendMessage(WM_VSCROLL, 0, 0);
        auto it = records.find(id);
        if (it == records.end()) return 0;
        drop(it);
        SendMessage(WM_SIZE, 0, 0);
        return 1;
    }

    int Width() const { return m_rcList.right - m_rcList.left; }
    int Height() const { return m_rcList.bottom - m_rcList.top; }

    void OnPaint() override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnVScroll(UINT code, UINT pos, CScrollBar* bar) override;
    void OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params) override;

    DECLARE_MESSAGE_MAP()
};

// A head that arrived from the head loader (40 x 40) drawn onto a record's
// head image; the record gets a 40 x 40 image when it has none.
void DrawLoadedHead(CData* rec, const Gdiplus::Bitmap* head);
