#include "Common/HtmlText.h"

CString EscapeHtml(const CString& text)
{
    CString out;
    for (int i = 0; i < text.GetLength(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c; break;
        }
    }
    return out;
}
