#include "Lum/MessageBody.h"

#include "platform/codepage.h"

#include <cstring>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string PercentDecode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else if (c == '+') {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

XMLNode ParseMessageBody(const std::string& content)
{
    const std::string wrapped = "<msg>" + content + "</msg>";
    const CString ansi = Utf8ToAnsi(CString(PercentDecode(wrapped).c_str()));
    XMLResults results{};
    XMLNode body = XMLNode::parseString(ansi, "msg", &results);
    if (results.error != eXMLErrorNone && results.error != eXMLErrorMissingEndTag) return XMLNode::emptyNode();
    return body;
}

XMLNode NoticeOf(const XMLNode& body, const char* cmd)
{
    XMLNode info = body.getChildNode("info");
    if (info.isEmpty()) return XMLNode::emptyNode();
    const char* value = info.getAttribute("cmd");
    if (!value || !cmd || std::strcmp(value, cmd) != 0) return XMLNode::emptyNode();
    return info;
}

CString AttributeText(const XMLNode& node, const char* name)
{
    const char* value = node.getAttribute(name);
    return CString(value ? value : "");
}

CString CleanNoticeName(CString name)
{
    name.Remove('\'');
    name.Remove('/');
    name.Remove('>');
    return name;
}
