#include "plugins/Parlet/MsgCenter.h"

#include "Common/records/Data.h"
#include "plugins/Parlet/ParletApp.h"
#include "plugins/common/PluginUtil.h"
#include "platform/codepage.h"
#include "platform/config.h"

#include <cstdlib>

namespace {

// A function, not a constant: the frame is built while the module loads.
CRect Placement()
{
    return CRect(250, 250, 250 + 500, 250 + 400);
}

CString EntryId(bool group, int id)
{
    return (group ? "g" : "f") + IdText(id);
}

CString HeadAddress(bool group, const CString& file)
{
    return GetEndpointConfig().webBaseUrl + (group ? "/upload/group/" : "/upload/face/") + file + "?" + CacheBustingNumber();
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecoded(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i] == '+' ? ' ' : text[i]);
        }
    }
    return out;
}

// The five XML entities and numeric ones below 128; others stay as written.
std::string ResolveEntities(const std::string& text)
{
    static const struct {
        const char* name;
        char c;
    } kNamed[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&nbsp;", ' '}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out.push_back(text[i]);
            continue;
        }
        bool done = false;
        for (const auto& e : kNamed) {
            const size_t n = std::char_traits<char>::length(e.name);
            if (text.compare(i, n, e.name) == 0) {
                out.push_back(e.c);
                i += n - 1;
                done = true;
                break;
            }
        }
        if (!done && i + 2 < text.size() && text[i + 1] == '#') {
            const size_t end = text.find(';', i);
            if (end != std::string::npos && end - i <= 6) {
                const int code = std::atoi(text.substr(i + 2, end - i - 2).c_str());
                if (code > 0 && code < 128) {
                    out.push_back(static_cast<char>(code));
                    i = end;
                    done = true;
                }
            }
        }
        if (!done) out.push_back('&');
    }
    return out;
}

}  // namespace

CString QueuedMessageText(const std::string& content)
{
    const std::string decoded = PercentDecoded(content);
    std::string text;
    bool inTag = false;
    for (char c : decoded) {
        if (c == '<') inTag = true;
        else if (c == '>' && inTag) inTag = false;
        else if (!inTag) text.push_back(c);
    }
    text = ResolveEntities(text);
    // A person types at most 1,000 characters: a text beyond 64 KiB is
    // listed by its beginning (whole UTF-8 characters), as the chat panes
    // show it.
    const size_t limit = 64 * 1024;
    if (text.size() > limit) {
        size_t end = limit;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
        text.resize(end);
        text += "……";
    }
    return Utf8ToAnsi(CString(text.c_str()));
}

// ---------------------------------------------------------------- the frame

BEGIN_MESSAGE_MAP(CDlgShowParlet, CPluginFrame)
    ON_MESSAGE(UM_CLOSE_PARLET_FRAME, OnCloseFrame)
END_MESSAGE_MAP()

CDlgShowParlet::CDlgShowParlet() : CPluginFrame(IDD_DLG_SHOW_PARLET, m_html, IDB_PNG_PARLET_TITLE, Placement(), 500) {}

LRESULT CDlgShowParlet::OnCloseFrame(WPARAM, LPARAM)
{
    DestroyWindow();
    return 0;
}

void RegisterParletTemplates()
{
    RegisterPluginTemplates(IDD_DLG_SHOW_PARLET, IDD_HTML_PARLET, Placement(), "消息中心");
}

// ---------------------------------------------------------------- the page

IMPLEMENT_DYNCREATE(CDHtmlParlet, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CDHtmlParlet, CDHtmlDialog)
    DISP_FUNCTION(CDHtmlParlet, "getId", getId, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_DHTML_EVENT_MAP(CDHtmlParlet)
    DHTML_EVENT_ONCLICK("REPLY", OnReply)
    DHTML_EVENT_ONCLICK("REPLYALL", OnReplyAll)
END_DHTML_EVENT_MAP()

CDHtmlParlet::CDHtmlParlet()
    : CPluginPage(IDD_HTML_PARLET, IDR_HTML_PARLET),
      m_heads([this](const CPageHeads::Entries& arrived) { ShowArrivedHeads(arrived); })
{
}

CString CDHtmlParlet::HeadImage(bool group, int id)
{
    return HeadAddress(group, m_heads.HasOwn(group ? TRUE : FALSE, id) ? IdText(id) + ".png" : CString("default.png"));
}

void CDHtmlParlet::ShowArrivedHeads(const CPageHeads::Entries& arrived)
{
    if (!m_hWnd) return;
    for (const auto& entry : arrived) {
        const bool group = entry.first != FALSE;
        InvokeScriptMethod("showHead",
                           {EntryId(group, entry.second), HeadAddress(group, IdText(entry.second) + ".png")});
    }
}

void CDHtmlParlet::DoDataExchange(CDataExchange* dx)
{
    CPluginPage::DoDataExchange(dx);
    DDX_DHtml_ElementText(dx, "count", DISPID_IHTMLELEMENT_INNERTEXT, m_strCount);
}

CString CDHtmlParlet::Fill(std::list<CData*>* unread, int* total)
{
    m_entries.clear();
    m_strSelectedId.Empty();
    *total = 0;
    CString html;
    if (!unread) return html;
    for (CData* record : *unread) {
        if (!record) continue;
        const bool group = record->m_nIsGroup == 1;
        *total += record->m_nUnreadCount;
        m_entries.push_back({record, group, record->m_nId});
        const CString name = EscapeHtmlText(NameOf(record));
        m_strRandom = CacheBustingNumber();
        html += "<table id='" + EntryId(group, record->m_nId) +
                "' width='100%' bgcolor='white' cellpadding='0'"
                " onmouseover='changetrBackground(this,\"#CFF5FF\")'"
                " onmouseout='changetrBackground(this,\"#FFFFFF\")'"
                " onclick='selecttrBackground(this)'><tr><td width='25'>";
        html += "<img src='" + EscapeHtmlAttr(HeadImage(group, record->m_nId)) + "' width='20' height='20'/>";
        html += "</td><td class='fn' align='left'>" + name +
                "</td><td class='fn' align='left' width='25%'></td></tr>";
        for (const __StructMessage& msg : record->m_vecUnread)
            html += "<tr><td width='25'>&nbsp;</td><td class='fn' align='left'>" + name + ":" +
                    EscapeHtmlText(QueuedMessageText(msg.content)) + "</td><td class='fn' width='25%' align='left'>" +
                    EscapeHtmlText(CString(msg.sendTime.c_str())) + "</td></tr>";
        html += "</table>";
    }
    // The host keeps its records; only its list is emptied.
    unread->clear();
    return html;
}

void CDHtmlParlet::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    // A new document: heads waited for by the last one are not shown in it.
    m_heads.Clear();
    int total = 0;
    const CString html = Fill(Parlet().unread, &total);
    InvokeScriptMethod("unreadMsg", {html});
    m_strCount = IdText(total);
    UpdateData(FALSE);
}

void CDHtmlParlet::getId(const VARIANT& id)
{
    m_strSelectedId = VariantToText(id);
}

void CDHtmlParlet::OpenChats(const std::vector<Entry>& entries)
{
    CDlgShowParlet& frame = ParletApp().m_dlgParlet;
    if (frame.m_hWnd) frame.SendMessage(UM_CLOSE_PARLET_FRAME, 0, 0);
    const HWND notify = Parlet().notify;
    if (!notify) return;
    // The chat shows (and stores) the lines that waited; the record then
    // waits no more, so they are not shown again with its next line. Only a
    // record the host still holds (it answers 1) is touched.
    for (const Entry& e : entries)
        if (::SendMessage(notify, UM_OPEN_CHAT, reinterpret_cast<WPARAM>(e.record), 0) == 1) {
            e.record->m_vecUnread.clear();
            e.record->m_nUnreadCount = 0;
        }
}

HRESULT CDHtmlParlet::OnReply(IHTMLElement*)
{
    const CString selected = m_strSelectedId;
    std::vector<Entry> chosen;
    if (selected.GetLength() > 1) {
        const bool group = selected[0] == 'g';
        const int id = std::atoi(selected.Mid(1).GetString());
        for (const Entry& e : m_entries)
            if (e.group == group && e.id == id && (group || selected[0] == 'f')) chosen.push_back(e);
    }
    OpenChats(chosen);
    return S_OK;
}

HRESULT CDHtmlParlet::OnReplyAll(IHTMLElement*)
{
    if (m_entries.empty()) return S_OK;
    const std::vector<Entry> all = m_entries;
    OpenChats(all);
    return S_OK;
}
