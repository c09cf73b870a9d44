#include "Lum/contacts/KivSearchList.h"

#include "Lum/KivMessages.h"

#include "Common/controls/GdiPlusBitmap.h"
#include "Lum/KivApp.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "Lum/modules/PluginModule.h"
#include "platform/codepage.h"
#include "platform/dialog.h"
#include "plugins/Sorvan/SorvanExports.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const UINT kPngDefaultUserHead = 149;
const UINT kPngDefaultGroupHead = 153;
const int kRowHeight = 27;
const int kMaxRows = 12;

const char* const kSorvanUserFailure = "加载Sorvan.dll失败,未能实现查找功能";
const char* const kSorvanGroupFailure = "加载Sorvan.dll失败,未能实现查找更多群功能";

bool IsNumber(const CString& text)
{
    const char* s = text.GetString();
    return std::strspn(s, "0123456789") == std::strlen(s);
}

// The drop-downs by main window.
std::map<CWnd*, std::unique_ptr<CDlgSearchListctrl>>& DropDowns()
{
    static std::map<CWnd*, std::unique_ptr<CDlgSearchListctrl>> all;
    return all;
}

// WM_SIZE places the controls: they start at 0,0 and 10 x 10.
DialogItemTemplate Item(const char* className, UINT id, const char* text, DWORD style = 0)
{
    return DialogItem(className, id, 0, 0, 10, 10, style, text);
}

// Template 155: 168 x 183 dialog units; WM_SIZE places the controls.
void RegisterSearchTemplate()
{
    static bool done = false;
    if (done) return;
    done = true;
    DialogTemplate t;
    t.id = IDD_DLG_SEARCH_LIST;
    t.cx = 168;
    t.cy = 183;
    t.dialogUnits = true;
    t.style = WS_POPUP;
    t.items = {
        Item("SysListView32", IDC_LIST_SEARCH, "",
             LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER | WS_TABSTOP),
        Item("Static", IDC_STATIC_SEARCH_USERS, ""),
        Item("Static", IDC_STATIC_SEARCH_GROUPS, ""),
        Item(WC_LINK, IDC_LINK_MORE_USERS, "<a>更多用户</a>"),
        Item(WC_LINK, IDC_LINK_MORE_GROUPS, "<a>更多群组</a>"),
    };
    RegisterDialogTemplate(AfxGetInstanceHandle(), t);
}

}  // namespace

// ---------------------------------------------------------------- matching

bool SearchMatches(const char* name, int id, const CString& text)
{
    if (name && std::strstr(name, text.GetString())) return true;
    if (!IsNumber(text)) return false;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", id);
    return std::strstr(digits, text.GetString()) != nullptr;
}

void SearchUsers(const CKivUsersListCtrl& list, CString text, SearchResultSet& out)
{
    for (const auto& entry : list.m_mapUsers)
        if (SearchMatches(static_cast<const char*>(entry.second->m_bstrName), entry.first, text))
            out.insert(entry.second);
}

void SearchGroups(const CKivGroupListCtrl& list, CString text, SearchResultSet& out)
{
    for (const auto& entry : list.m_mapGroups)
        if (SearchMatches(static_cast<const char*>(entry.second->m_bstrName), entry.first, text))
            out.insert(entry.second);
}

// ---------------------------------------------------------------- the list

IMPLEMENT_DYNAMIC(CKivSearchList, CListCtrlEx)

CKivSearchList::CKivSearchList()
{
    m_clrBorder = 0xFFFFFFFF;
    m_pDefaultUserHead = CopyPngResource(kPngDefaultUserHead, AfxGetInstanceHandle());
    m_pDefaultGroupHead = CopyPngResource(kPngDefaultGroupHead, AfxGetInstanceHandle());
}

CKivSearchList::~CKivSearchList()
{
    delete m_pDefaultUserHead;
    delete m_pDefaultGroupHead;
}

CData* CKivSearchList::RecordAt(int row) const
{
    return row >= 0 && row < static_cast<int>(m_vecRows.size()) ? m_vecRows[row] : nullptr;
}

void CKivSearchList::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis || !m_pRowGraphics || !m_pBackGraphics) return;
    const CData* rec = RecordAt(static_cast<int>(dis->itemID));
    if (!rec || !m_mapResults.count({rec->m_nIsGroup == 1 ? 1 : 0, rec->m_nId})) return;
    Gdiplus::Graphics* g = m_pRowGraphics;

    Gdiplus::SolidBrush back(RowColor(static_cast<int>(dis->itemID)));
    g->FillRectangle(&back, 0, 0, Width(), m_nRowHeight);

    Gdiplus::Bitmap* head = rec->m_imgHead;
    if (!head) head = rec->m_nIsGroup == 1 ? m_pDefaultGroupHead : m_pDefaultUserHead;
    if (head)
        g->DrawImage(head, Gdiplus::Rect(4, 2, 22, 22), 0, 0, static_cast<Gdiplus::INT>(head->GetWidth()),
                     static_cast<Gdiplus::INT>(head->GetHeight()), Gdiplus::UnitPixel);

    if (m_pFont && m_pNameBrush) {
        const std::wstring name = MultiByteToWide(CP_ACP, static_cast<const char*>(rec->m_bstrName));
        const Gdiplus::RectF layout(30, 8, static_cast<Gdiplus::REAL>(Width()), static_cast<Gdiplus::REAL>(m_nRowHeight));
        g->DrawString(name.c_str(), static_cast<Gdiplus::INT>(name.size()), m_pFont, layout, nullptr, m_pNameBrush);
    }
    m_pBackGraphics->DrawImage(m_pRowBitmap, 0, static_cast<Gdiplus::INT>(dis->rcItem.top));
}

// ---------------------------------------------------------------- the drop-down

BEGIN_MESSAGE_MAP(CDlgSearchListctrl, CDialogEx)
    ON_WM_CTLCOLOR()
    ON_WM_SIZE()
    ON_WM_LBUTTONDOWN()
    ON_NOTIFY(NM_CLICK, IDC_LINK_MORE_USERS, OnMoreUsers)
    ON_NOTIFY(NM_CLICK, IDC_LINK_MORE_GROUPS, OnMoreGroups)
    ON_NOTIFY(NM_CLICK, IDC_LIST_SEARCH, OnClickList)
END_MESSAGE_MAP()

CDlgSearchListctrl::CDlgSearchListctrl() : CDialogEx(IDD_DLG_SEARCH_LIST, nullptr) {}

CDlgSearchListctrl::~CDlgSearchListctrl()
{
    if (m_hWnd) DestroyWindow();
    HMODULE sorvan = m_hPlugin;
    m_hPlugin = nullptr;
    ReleasePluginModule(sorvan, false);
}

BOOL CDlgSearchListctrl::CreateDropDown(CWnd* owner)
{
    RegisterSearchTemplate();
    return Create(IDD_DLG_SEARCH_LIST, owner);
}

void CDlgSearchListctrl::DoDataExchange(CDataExchange* dx)
{
    CDialogEx::DoDataExchange(dx);
    DDX_Control(dx, IDC_LIST_SEARCH, m_list);
    DDX_Control(dx, IDC_STATIC_SEARCH_USERS, m_staticUsers);
    DDX_Control(dx, IDC_STATIC_SEARCH_GROUPS, m_staticGroups);
    DDX_Control(dx, IDC_LINK_MORE_USERS, m_linkUsers);
    DDX_Control(dx, IDC_LINK_MORE_GROUPS, m_linkGroups);
}

BOOL CDlgSearchListctrl::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    SetBackgroundColor(RGB(197, 197, 197));
    m_brushStatic.CreateSolidBrush(RGB(225, 244, 255));
    m_list.SetRowHeight(kRowHeight);
    m_list.m_clrBack = 0xFFFFFFFF;
    m_list.m_clrHover = 0xFFA3D2DE;
    m_list.m_clrSelect = 0xFFFFEFB1;
    CRect r;
    GetClientRect(&r);
    OnSize(SIZE_RESTORED, r.Width(), r.Height());
    return TRUE;
}

HBRUSH CDlgSearchListctrl::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    HBRUSH brush = CDialogEx::OnCtlColor(dc, wnd, ctlColor);
    if (ctlColor == CTLCOLOR_STATIC && dc) {
        dc->SetTextColor(RGB(255, 0, 0));
        dc->SetBkColor(RGB(225, 244, 255));
        return static_cast<HBRUSH>(m_brushStatic.GetSafeHandle());
    }
    return brush;
}

void CDlgSearchListctrl::OnSize(UINT type, int cx, int cy)
{
    CDialogEx::OnSize(type, cx, cy);
    if (!m_list.m_hWnd) return;
    m_list.MoveWindow(1, 1, cx - 2, cy - 58);
    m_list.SetColumnWidth(0, cx - 2);
    m_staticUsers.MoveWindow(2, cy - 56, cx - 4, 27);
    m_staticGroups.MoveWindow(2, cy - 28, cx - 4, 27);
    m_linkUsers.MoveWindow(cx - 60, cy - 50, 50, 17);
    m_linkGroups.MoveWindow(cx - 60, cy - 22, 50, 17);
}

void CDlgSearchListctrl::OnLButtonDown(UINT flags, CPoint point)
{
    // A click beside the rows closes the drop-down.
    ShowWindow(SW_HIDE);
    CDialogEx::OnLButtonDown(flags, point);
}

void CDlgSearchListctrl::SetSearchText(CString text)
{
    m_strSearch = text;
    m_staticUsers.SetWindowText("   " + text);
    m_staticGroups.SetWindowText("   " + text);
    ClearResults();
}

void CDlgSearchListctrl::ClearResults()
{
    if (m_list.m_pBackGraphics) m_list.m_pBackGraphics->Clear(Gdiplus::Color(m_list.m_clrBack));
    m_list.m_mapResults.clear();
    m_list.m_vecRows.clear();
    if (m_list.m_hWnd) m_list.DeleteAllItems();
}

void CDlgSearchListctrl::AddResults(const SearchResultSet& results)
{
    for (CData* rec : results) {
        const auto key = std::make_pair(rec->m_nIsGroup == 1 ? 1 : 0, rec->m_nId);
        if (m_list.m_mapResults.count(key)) continue;
        m_list.m_mapResults[key] = rec;
        // Text and item data in one insertion.
        LVITEM item;
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(m_list.m_vecRows.size());
        item.pszText = const_cast<LPTSTR>(static_cast<const char*>(rec->m_bstrName));
        item.lParam = static_cast<LPARAM>(rec->m_nId);
        const int row = m_list.InsertItem(&item);
        if (row < 0) continue;
        if (static_cast<int>(m_list.m_vecRows.size()) <= row) m_list.m_vecRows.resize(row + 1, nullptr);
        m_list.m_vecRows[row] = rec;
    }
}

void CDlgSearchListctrl::OpenResult(int row)
{
    CData* rec = m_list.RecordAt(row);
    if (!rec || rec->m_nId <= 0) return;
    // Lines waiting for the contact or group are shown, and stored, as its
    // chat opens, the way the lists and the tray open it; then it waits no
    // more.
    KivRouter* router = m_pFriends ? m_pFriends->m_pRouter : m_pGroups ? m_pGroups->m_pRouter : nullptr;
    if (router) {
        router->OpenChat(rec);
        return;
    }
    if (rec->m_nIsGroup == 1) {
        if (!m_pGroups) return;
        m_pGroups->OpenGroupChat(static_cast<CDataGroup*>(rec));
    } else {
        if (!m_pFriends) return;
        m_pFriends->OpenChat(static_cast<CDataUser*>(rec));
    }
    CWnd* chat = rec->m_dlgChat;
    if (!chat || !chat->m_hWnd) return;
    chat->ShowWindow(SW_SHOW);
    chat->SetForegroundWindow();
}

HMODULE CDlgSearchListctrl::Sorvan(const char* failureText)
{
    if (!m_hPlugin) m_hPlugin = LoadPluginModule("Sorvan.dll", failureText);
    return m_hPlugin;
}

void CDlgSearchListctrl::OnMoreUsers(NMHDR*, LRESULT* result)
{
    if (result) *result = 0;
    if (HMODULE sorvan = Sorvan(kSorvanUserFailure)) {
        if (auto show = PluginExport(sorvan, SorvanExports::showUser))
            show(m_strSearch, OwnId(), OwnAccount(), m_hMainWnd, m_pUserStore, OwnVerifyCode());
    }
    ShowWindow(SW_HIDE);
}

void CDlgSearchListctrl::OnMoreGroups(NMHDR*, LRESULT* result)
{
    if (result) *result = 0;
    if (HMODULE sorvan = Sorvan(kSorvanGroupFailure)) {
        if (auto show = PluginExport(sorvan, SorvanExports::showGroup))
            show(m_strSearch, OwnId(), OwnAccount(), m_pUserStore, OwnVerifyCode());
    }
    ShowWindow(SW_HIDE);
}

void CDlgSearchListctrl::OnClickList(NMHDR* nm, LRESULT* result)
{
    if (result) *result = 0;
    const auto* item = reinterpret_cast<NMITEMACTIVATE*>(nm);
    if (!item || item->iItem < 0) return;
    OpenResult(item->iItem);
    ShowWindow(SW_HIDE);
}

// ---------------------------------------------------------------- the main window's side

CDlgSearchListctrl* FindSearchDropDown(CWnd* main)
{
    auto it = DropDowns().find(main);
    return it == DropDowns().end() ? nullptr : it->second.get();
}

void ReleaseSearchDropDown(CWnd* main)
{
    DropDowns().erase(main);
}

void ShowSearchDropDown(CWnd* main, CWnd& box, CKivUsersListCtrl& friends, CKivGroupListCtrl& groups,
                        CFileDbUser* userStore)
{
    CString text;
    box.GetWindowText(text);
    if (text.IsEmpty() || !main) return;

    SearchResultSet results;
    SearchUsers(friends, text, results);
    SearchGroups(groups, text, results);

    std::unique_ptr<CDlgSearchListctrl>& slot = DropDowns()[main];
    if (!slot) slot = std::make_unique<CDlgSearchListctrl>();
    CDlgSearchListctrl& drop = *slot;
    drop.m_pFriends = &friends;
    drop.m_pGroups = &groups;
    drop.m_pUserStore = userStore;
    drop.m_hMainWnd = main->m_hWnd;
    if (!drop.m_hWnd && !drop.CreateDropDown(main)) return;
    drop.SetSearchText(text);
    drop.AddResults(results);

    // From 21 pixels below the box's top to the rows and 60 pixels below its
    // bottom.
    CRect r;
    box.GetWindowRect(&r);
    const int rows = static_cast<int>(results.size()) < kMaxRows ? static_cast<int>(results.size()) : kMaxRows;
    drop.MoveWindow(r.left, r.top + 21, r.Width(), r.bottom + rows * kRowHeight + 60 - (r.top + 21));
    drop.ShowWindow(SW_SHOW);
    drop.Invalidate();
}
