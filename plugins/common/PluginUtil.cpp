#include "plugins/common/PluginUtil.h"

#include "Common/HtmlText.h"

#include "platform/config.h"
#include "platform/module.h"
#include "platform/resources.h"
#include "platform/window.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

BOOL HasCustomHeadImage(BOOL isGroup, const CString& id)
{
    const int number = std::atoi(id.GetString());
    if (const lumheads::Head* head = lumheads::FindHead(isGroup != FALSE, number))
        return lumheads::HasOwnHead(*head) ? TRUE : FALSE;
    lumheads::RequestHead(isGroup != FALSE, number);
    return FALSE;
}

CPageHeads::CPageHeads(std::function<void(const Entries& arrived)> show) : m_show(std::move(show)) {}

CPageHeads::~CPageHeads()
{
    Clear();
}

BOOL CPageHeads::HasOwn(BOOL isGroup, int id)
{
    const bool group = isGroup != FALSE;
    if (const lumheads::Head* head = lumheads::FindHead(group, id)) return lumheads::HasOwnHead(*head) ? TRUE : FALSE;
    if (id < 1) return FALSE;
    lumheads::RequestHead(group, id);
    m_waiting.insert({group ? TRUE : FALSE, id});
    if (!m_nListener)
        m_nListener = lumheads::AddHeadListener(
            [this](const std::vector<const lumheads::Head*>& batch) { OnArrived(batch); });
    return FALSE;
}

void CPageHeads::Clear()
{
    m_waiting.clear();
    if (m_nListener) lumheads::RemoveHeadListener(m_nListener);
    m_nListener = 0;
}

void CPageHeads::OnArrived(const std::vector<const lumheads::Head*>& batch)
{
    Entries arrived;
    for (const lumheads::Head* head : batch) {
        const std::pair<BOOL, int> key(head->group ? TRUE : FALSE, head->id);
        if (!m_waiting.erase(key)) continue;
        if (lumheads::HasOwnHead(*head)) arrived.push_back(key);
    }
    // Nothing more to wait for: the page stops listening.
    if (m_waiting.empty()) Clear();
    if (!arrived.empty() && m_show) m_show(arrived);
}

CString CacheBustingNumber()
{
    // rand() reaches 2^31 - 1 here; the number is made from its low 15 bits
    // in 64-bit arithmetic, the range it was made for.
    const long long r = std::rand() % 32768;
    CString text;
    text.Format("%lld", r * 1000000 / 32767 + 100);
    return text;
}

CString EscapeHtmlText(const CString& text)
{
    return EscapeHtml(text);
}

CString ScriptString(const CString& text)
{
    CString out = "\"";
    for (int i = 0; i < text.GetLength(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '<': out += "\\u003c"; break;
        case '>': out += "\\u003e"; break;
        case '&': out += "\\u0026"; break;
        case '\'': out += "\\u0027"; break;
        default:
            if (c < 0x20) {
                CString code;
                code.Format("\\u%04x", c);
                out += code;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

BOOL ModulePreTranslateMessage(MSG* msg)
{
    if (!msg || !msg->hwnd) return FALSE;
    const std::vector<HWND> own = GetModuleWindows(AfxGetInstanceHandle());
    for (CWnd* wnd = CWnd::FromHandle(msg->hwnd); wnd && wnd->m_hWnd; wnd = wnd->GetParent()) {
        if (std::find(own.begin(), own.end(), wnd->m_hWnd) == own.end()) continue;
        if (wnd->PreTranslateMessage(msg)) return TRUE;
    }
    return FALSE;
}
