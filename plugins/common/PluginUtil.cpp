#include "plugins/common/PluginUtil.h"

#include "Common/HtmlText.h"

#include "platform/config.h"
#include "platform/module.h"
#include "platform/net.h"
#include "platform/resources.h"
#include "platform/window.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

BOOL HasCustomHeadImage(BOOL isGroup, const CString& id)
{
    const CString url = GetEndpointConfig().webBaseUrl + (isGroup ? "/upload/group/" : "/upload/face/") + id + ".png";
    CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    std::unique_ptr<CHttpFile> file(session.OpenURL(
        url, 1, INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY, nullptr, 0));
    if (!file) return FALSE;
    CString status;
    if (!file->QueryInfo(HTTP_QUERY_STATUS_CODE, status)) return FALSE;
    status.Trim();
    return status == "404" ? FALSE : TRUE;
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
