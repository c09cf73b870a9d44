#include "plugins/Quillon/HistoryRecords.h"

#include "Common/stores/FileDbMsg.h"
#include "Common/XMLNode.h"
#include "plugins/common/PluginUtil.h"

#include <cstdlib>
#include <strings.h>

const char* const kPaneStart =
    "<table width='100%' height='100%' cellpadding='0' cellspacing='0'><tr height='95%' valign='top'><td width='100%'>";
const char* const kPaneEnd = "</td></tr></table>";

std::vector<HistoryRow> FetchHistoryPage(CFileDbMsg* store, int id, int code, int kind, const CString& keyword,
                                         int pageIndex)
{
    std::vector<HistoryRow> rows;
    if (!store) return rows;
    char** table = nullptr;
    int count = 0, cols = 0;
    store->getMsgRecords(id, code, kind, keyword, pageIndex < 0 ? 0 : pageIndex, &table, &count, &cols);
    if (!table) return rows;
    if (cols >= 6) {
        auto cell = [&](int row, int col) -> CString {
            const char* v = table[(row + 1) * cols + col];
            return v ? CString(v) : CString();
        };
        for (int r = 0; r < count; ++r) {
            HistoryRow row;
            row.rtime = cell(r, 0);
            row.tagmsg = cell(r, 1);
            store->ConvertUtf8ToGBK(row.rtime);
            store->ConvertUtf8ToGBK(row.tagmsg);
            row.id = std::atoi(cell(r, 2));
            row.gid = std::atoi(cell(r, 3));
            row.type = std::atoi(cell(r, 4));
            row.gtype = std::atoi(cell(r, 5));
            rows.push_back(row);
        }
    }
    CFileDB::FreeRecord(table);
    return rows;
}

CString HistoryHeading(const CString& text)
{
    return "<table width='100%' align='center' cellpadding='0' cellspacing='0'><tr height='18'><td width='100%' "
           "style='font-size:12px;'>" +
           EscapeHtmlText(text) + "</td></tr></table>";
}

CString HistoryDateLine(const CString& date, bool first)
{
    CString line = "<table width='100%' align='center' cellpadding='0' cellspacing='0'>";
    if (!first) line += "<tr height='1' style='background-color:#E1E1E1'><td></td></tr>";
    return line + "<tr height='18'><td width='100%' style='font-size:12px;'>日期：" + EscapeHtmlText(date) +
           "</td></tr></table>";
}

CString HistoryRecord(const CString& rtime, const CString& sender, const CString& body, bool viewer)
{
    CString record =
        "<table width='100%' align='center' height='36' cellpadding='0' cellspacing='0' "
        "onmouseover='changetrBackground(this,\"#CFF5FF\")' onmouseout='changetrBackground(this,\"#FFFFFF\")'>"
        "<tr height='18'><td width='100%' style='font-size:12px;'>" +
        EscapeHtmlText(rtime) + "</td></tr><tr height='18'><td";
    record += viewer ? "  " : " ";
    return record + "width='100%' valign='top' style='font-size:12px;'>" + EscapeHtmlText(sender) + "：" +
           HistoryBodyHtml(body) + "</td></tr></table>";
}

namespace {

// A text of a body as HTML, with its line breaks kept.
CString TextHtml(const CString& text)
{
    CString html = EscapeHtmlText(text);
    html.Replace("\r\n", "<br/>");
    html.Replace("\n", "<br/>");
    return html;
}

// A picture of a body, as the pane shows it: only its address is kept. The
// pictures of the files folder are named by file: addresses, which a page of
// the web server may not load; the page shows them through lumfile:, which
// serves the files of the user's files folder and nothing else. Pictures
// from anywhere else are left out.
CString PictureHtml(const XMLNode& node)
{
    const CString src(node.getAttribute("src") ? node.getAttribute("src") : "");
    if (src.Left(5).CompareNoCase("file:") != 0) return CString();
    return "<img src='" + EscapeHtmlAttr("lumfile:" + src.Mid(5)) + "'/>";
}

// An element of a body: its texts and pictures, in order.
void CollectHtml(const XMLNode& node, CString& out)
{
    const char* name = node.getName();
    if (name && strcasecmp(name, "img") == 0) {
        out += PictureHtml(node);
        return;
    }
    for (int i = 0; i < node.nElement(); ++i) {
        XMLNodeContents item = node.enumContents(i);
        if (item.etype == eNodeChild) {
            CollectHtml(item.child, out);
        } else if (item.etype == eNodeText && item.text) {
            out += TextHtml(item.text);
        } else if (item.etype == eNodeClear && item.clear.lpszValue) {
            out += TextHtml(item.clear.lpszValue);
        }
    }
}

}  // namespace

CString HistoryBodyHtml(const CString& tagmsg)
{
    CString trimmed = tagmsg;
    trimmed.Trim();
    if (!trimmed.IsEmpty() && trimmed[0] == '<') {
        XMLResults results{};
        XMLNode root = XMLNode::parseString(trimmed, nullptr, &results);
        if (results.error == eXMLErrorNone && !root.isEmpty()) {
            CString html;
            CollectHtml(root, html);
            return html;
        }
    }
    return TextHtml(tagmsg);
}

CString PictureFolder(const CFileDbMsg* store)
{
    return store ? store->Folder() : CString();
}

int CodeOfKind(int kind)
{
    switch (kind) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 5;
    case 4: return 6;
    default: return 0;
    }
}
