// The dialog templates of the client's own windows, in pixels: the login
// window is 158 x 363 dialog units (237 x 589 pixels, the size of its
// background picture), the login-progress window 159 x 363 (238 x 589) and
// the main window 135 x 321 (202 x 521). Controls sit where the background
// pictures leave room for them; the main window places most of its controls
// itself when it paints.
#include "Lum/LumResource.h"

#include "Lum/chat/KivDlgChat.h"

#include "platform/controls.h"
#include "platform/dialog.h"
#include "platform/listctrl.h"

namespace {

DialogItemTemplate Button(UINT id, int x, int y, int cx, int cy, const char* text = "")
{
    return DialogItem("Button", id, x, y, cx, cy, BS_OWNERDRAW | WS_TABSTOP, text);
}

DialogTemplate LoginTemplate()
{
    DialogTemplate t;
    t.id = IDD_DLG_LOGIN;
    t.cx = 237;
    t.cy = 589;
    t.style = WS_POPUP;
    t.caption = "登录";
    t.items = {
        Button(IDC_BTN_MIN, 183, 4, 24, 18),
        Button(IDC_BTN_CLOSE, 207, 4, 24, 18),
        DialogItem("Static", IDC_PIC_HEAD, 23, 211, 22, 22, SS_BITMAP),
        DialogItem("Edit", IDC_EDIT_ACCOUNT, 54, 212, 134, 20, ES_AUTOHSCROLL | WS_TABSTOP),
        Button(IDC_BTN_EXPAND, 193, 211, 22, 22, "展开"),
        DialogItem("Edit", IDC_EDIT_PASSWORD, 54, 252, 158, 20, ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP),
        // Hidden until the expand button shows it, over the password box and
        // the check buttons.
        DialogItem("SysListView32", IDC_LIST_LOGINER, 18, 237, 201, 122,
             LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER),
        Button(IDC_BTN_REMEMBER, 18, 290, 72, 18, "记住密码"),
        Button(IDC_BTN_AUTOLOGIN, 96, 290, 72, 18, "自动登录"),
        Button(IDC_BTN_LOGIN_STATUS, 185, 289, 34, 20, "状态"),
        Button(IDC_BTN_LOGIN, 18, 322, 201, 36, "登录"),
        Button(IDC_BTN_FINDPWD, 18, 557, 56, 18, "找回密码"),
        Button(IDC_BTN_HELP, 163, 557, 56, 18, "使用帮助"),
    };
    t.items[6].style &= ~WS_VISIBLE;
    return t;
}

DialogTemplate LoginingTemplate()
{
    DialogTemplate t;
    t.id = IDD_DLG_LOGINING;
    t.cx = 238;
    t.cy = 589;
    t.style = WS_POPUP;
    t.caption = "登录";
    t.items = {
        DialogItem("Static", IDC_GIF_LOGINING, 87, 214, 64, 64),
        Button(IDC_BTN_MIN, 184, 4, 24, 18),
        Button(IDC_BTN_CLOSE, 208, 4, 24, 18),
        DialogItem("Static", IDC_STATIC_FAILURE, 18, 290, 202, 20, SS_CENTER),
        Button(IDC_BTN_LOGIN, 18, 322, 201, 36, "重新登录"),
        Button(IDC_BTN_EXPAND, 18, 322, 201, 36, "取消"),
    };
    return t;
}

DialogTemplate MainTemplate()
{
    DialogTemplate t;
    t.id = IDD_KIV_DIALOG;
    t.cx = 202;
    t.cy = 521;
    t.style = WS_POPUP;
    t.caption = "Orvane";
    const DWORD list = LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER;
    t.items = {
        Button(IDC_BTN_STATUS, 53, 26, 34, 20),
        Button(IDC_BTN_MAIN_MENU, 2, 493, 36, 24),
        Button(IDC_BTN_MESSAGES, 5, 74, 26, 26),
        Button(IDC_BTN_SMS, 33, 74, 26, 26),
        Button(IDC_BTN_HISTORY, 61, 74, 26, 26),
        Button(IDC_BTN_SETTINGS, 89, 74, 26, 26),
        Button(IDC_BTN_SKIN, 171, 74, 26, 26),
        DialogItem("Edit", IDC_EDIT_SEARCH, 10, 108, 157, 17, ES_AUTOHSCROLL | WS_TABSTOP),
        Button(IDC_BTN_SEARCH, 169, 102, 28, 26),
        Button(IDC_BTN_TAB_GROUPS, 2, 130, 65, 28, "群"),
        Button(IDC_BTN_TAB_FRIENDS, 67, 130, 65, 28, "好友"),
        Button(IDC_BTN_TAB_STRANGERS, 132, 130, 65, 28, "陌生人"),
        DialogItem("SysListView32", IDC_LIST_FRIENDS, 2, 158, 197, 335, list),
        DialogItem("SysListView32", IDC_LIST_STRANGERS, 2, 158, 197, 335, list),
        DialogItem("SysListView32", IDC_LIST_GROUPS, 2, 158, 197, 335, list),
        DialogItem("Static", IDC_LINK_TOPIC, 44, 497, 153, 16, SS_NOTIFY),
    };
    // The settings button has no picture and is never shown.
    t.items[5].style &= ~WS_VISIBLE;
    return t;
}

}  // namespace

void RegisterLumDialogTemplates()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    HINSTANCE module = AfxGetInstanceHandle();
    RegisterDialogTemplate(module, LoginTemplate());
    RegisterDialogTemplate(module, LoginingTemplate());
    RegisterDialogTemplate(module, MainTemplate());
    RegisterChatWindowTemplates();
}
