// The member list beside a group chat's messages: a contact list whose list
// id is the group id and whose owner flag tells whether the own user owns the
// group. Narrow rows (27 pixels) with a small head and the member's card,
// name or id; member menus with removal and deputy owners.
#pragma once

#include "Lum/contacts/KivUsersListCtrl.h"

class CKivGroupUsersListCtrl : public CKivUsersListCtrl {
    DECLARE_DYNAMIC(CKivGroupUsersListCtrl)

public:
    CKivGroupUsersListCtrl();
    ~CKivGroupUsersListCtrl() override;

    void DrawItem(LPDRAWITEMSTRUCT dis) override;

protected:
    void OnMemberRClick(NMHDR* nm, LRESULT* result);
    void OnDeleteMember();
    void OnSetDeputy();
    void OnCancelDeputy();
    void OnEditGroupCard();
    LRESULT OnGroupCardChanged(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    // Sets a member's role and tells the service.
    void SetRole(int role);
};
