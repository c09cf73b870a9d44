#include "Lum/contacts/KivGroupUsersListCtrl.h"

#include "base/MenuCommands.h"
#include "base/WndMenu.h"
#include "Common/controls/GdiPlusBitmap.h"
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/KivApp.h"
#include "Lum/KivMessages.h"
#include "Lum/session/Workers.h"
#include "platform/codepage.h"
#include "platform/threads.h"

#include <string>

namespace {

const UINT kPngDefaultHead = 149;
const int kHeadSize = 22;
const int kRoleDeputy = 2;

}  // namespace

IMPLEMENT_DYNAMIC(CKivGroupUsersListCtrl, CKivUsersListCtrl)

BEGIN_MESSAGE_MAP(CKivGroupUsersListCtrl, CKivUsersListCtrl)
    ON_NOTIFY_REFLECT(NM_RCLICK, OnMemberRClick)
    ON_COMMAND(IDM_DELETE_MEMBER, OnDeleteMember)
    ON_COMMAND(IDM_SET_DEPUTY, OnSetDeputy)
    ON_COMMAND(IDM_CANCEL_DEPUTY, OnCancelDeputy)
    ON_COMMAND(IDM_EDIT_GROUP_CARD, OnEditGroupCard)
    ON_MESSAGE(UM_GROUP_CARD_CHANGED, OnGroupCardChanged)
END_MESSAGE_MAP()

CKivGroupUsersListCtrl::CKivGroupUsersListCtrl()
{
    m_nListId = 0;
    // The default head at row size: the 40 x 40 tile of the large default
    // head, scaled down.
    Gdiplus::Bitmap* large = CopyPngResource(kPngDefaultHead, AfxGetInstanceHandle());
    auto* small = new Gdiplus::Bitmap(kHeadSize, kHeadSize);
    if (large) {
        Gdiplus::Graphics g(small);
        g.DrawImage(large, Gdiplus::Rect(0, 0, kHeadSize, kHeadSize), 0, 0, 40, 40, Gdiplus::UnitPixel);
    }
    delete large;
    delete m_pDefaultHead;
    m_pDefaultHead = small;
}

CKivGroupUsersListCtrl::~CKivGroupUsersListCtrl() = default;

void CKivGroupUsersListCtrl::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis || !m_pRowGraphics || !m_pBackGraphics) return;
    auto it = m_mapUsers.find(static_cast<int>(dis->itemData));
    if (it == m_mapUsers.end()) return;
    const CDataUser* rec = it->second;
    Gdiplus::Graphics* g = m_pRowGraphics;

    Gdiplus::SolidBrush back(RowColor(static_cast<int>(dis->itemID)));
    g->FillRectangle(&back, 0, 0, Width(), m_nRowHeight);

    if (Gdiplus::Bitmap* head = rec->m_imgHead) {
        g->DrawImage(head, Gdiplus::Rect(4, 2, kHeadSize, kHeadSize), 0, 0, static_cast<Gdiplus::INT>(head->GetWidth()),
                     static_cast<Gdiplus::INT>(head->GetHeight()), Gdiplus::UnitPixel);
    } else if (m_pDefaultHead) {
        g->DrawImage(m_pDefaultHead, 4, 2);
    }

    if (m_pFont && m_pNameBrush) {
        const std::wstring text = MultiByteToWide(CP_ACP, RowText(rec).GetString());
        const Gdiplus::RectF layout(30, 8, static_cast<Gdiplus::REAL>(Width()), static_cast<Gdiplus::REAL>(m_nRowHeight));
        g->DrawString(text.c_str(), static_cast<Gdiplus::INT>(text.size()), m_pFont, layout, nullptr, m_pNameBrush);
    }
    m_pBackGraphics->DrawImage(m_pRowBitmap, 0, static_cast<Gdiplus::INT>(dis->rcItem.top));
}

void CKivGroupUsersListCtrl::OnMemberRClick(NMHDR* nm, LRESULT* result)
{
    if (result) *result = 0;
    const auto* item = reinterpret_cast<NMITEMACTIVATE*>(nm);
    if (!item || item->iItem < 0 || item->iItem >= GetItemCount()) return;
    const int id = static_cast<int>(GetItemData(item->iItem));
    CWndMenu menu;
    if (m_bIsMaster == 1) {
        if (id == OwnId()) {
            menu.ShowGroupMasterMemberMenu(this, AfxGetInstanceHandle(), 1, 0);
        } else {
            auto it = m_mapUsers.find(id);
            const bool deputy = it != m_mapUsers.end() && it->second->m_nMemberRole == kRoleDeputy;
            menu.ShowGroupMasterMemberMenu(this, AfxGetInstanceHandle(), 0, deputy ? 1 : 0);
        }
    } else {
        menu.ShowGroupNoMasterMemberMenu(this, AfxGetInstanceHandle());
    }
}

void CKivGroupUsersListCtrl::OnDeleteMember()
{
    CString text;
    const int id = SelectedId(&text);
    if (id <= 0) return;
    if (id == OwnId()) {
        AfxMessageBox("您是此群的群主，不能删除自己！", MB_OK);
        return;
    }
    CString ask;
    ask.Format("您确认要删除成员 %s(%d)吗?", text.GetString(), id);
    if (AfxMessageBox(ask, MB_OKCANCEL) != IDOK) return;
    auto* block = new DeleteUserBlock;
    block->deleteid = id;
    block->gid = m_nListId;
    AfxBeginThread(ThreadDeleteUser, block);
    RemoveUser(id);
}

void CKivGroupUsersListCtrl::SetRole(int role)
{
    const int id = SelectedId();
    auto it = m_mapUsers.find(id);
    if (id <= 0 || it == m_mapUsers.end()) return;
    // Changed here at once; the worker reports a refusal itself. The
    // group's own member record changes too: the list's copies are made anew
    // from it whenever the list is refilled.
    it->second->m_nMemberRole = role;
    if (auto* pane = dynamic_cast<CDlgChatMsgListGroup*>(GetParent()))
        if (CDataGroup* group = pane->m_pGroup) {
            auto member = group->m_mapMembers.find(id);
            if (member != group->m_mapMembers.end() && member->second) member->second->m_nMemberRole = role;
        }
    auto* block = new GroupMasterBlock;
    block->groupID = it->second->m_nGroupId;
    block->userID = id;
    block->toType = static_cast<short>(role);
    AfxBeginThread(ThreadEditGroupIsMaster, block);
}

void CKivGroupUsersListCtrl::OnSetDeputy()
{
    SetRole(kRoleDeputy);
}

void CKivGroupUsersListCtrl::OnCancelDeputy()
{
    SetRole(0);
}

void CKivGroupUsersListCtrl::OnEditGroupCard()
{
    CString text;
    const int id = SelectedId(&text);
    if (id < 1 || m_nListId < 2) return;
    // The card editor is a feature plug-in, reached like the other plug-in
    // commands of the contact lists.
    if (s_pluginCommand) s_pluginCommand(this, IDM_EDIT_GROUP_CARD, id, text);
}

LRESULT CKivGroupUsersListCtrl::OnGroupCardChanged(WPARAM wParam, LPARAM)
{
    const auto* sender = reinterpret_cast<const CDataUser*>(wParam);
    if (!sender || sender->m_nId <= 0) return 0;
    auto it = m_mapUsers.find(sender->m_nId);
    if (it == m_mapUsers.end()) return 0;
    it->second->m_strRemark = sender->m_strRemark;
    // The group's member record keeps the card for the next refill.
    if (auto* pane = dynamic_cast<CDlgChatMsgListGroup*>(GetParent()))
        if (CDataGroup* group = pane->m_pGroup) {
            auto member = group->m_mapMembers.find(sender->m_nId);
            if (member != group->m_mapMembers.end() && member->second) member->second->m_strRemark = sender->m_strRemark;
        }
    const int row = FindRow(sender->m_nId);
    if (row >= 0) SetItemText(row, 0, RowText(it->second));
    SendMessage(WM_SIZE, 0, 0);
    return 0;
}
