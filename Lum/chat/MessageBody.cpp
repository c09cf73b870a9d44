#include "Lum/chat/MessageBody.h"

#include "platform/codepage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string PercentDecode(const std::string& text, size_t maxBytes)
{
    std::string out;
    out.reserve(std::min(text.size(), maxBytes));
    for (size_t i = 0; i < text.size() && out.size() < maxBytes; ++i) {
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

// ---------------------------------------------------------------- display

namespace {

bool IsSafeId(const char* text)
{
    if (!text || !*text) return false;
    for (const char* p = text; *p; ++p) {
        const char c = *p;
        // "#", "$" and "@" appear in the client's own file ids ("%X#%X$%X@%X")
        // and mean nothing inside a quoted attribute.
        if (!(isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == '#' || c == '$' ||
              c == '@'))
            return false;
    }
    return true;
}

// A picture name from a peer: one file name inside the files folder.
bool IsSafePictureName(const CString& name)
{
    if (name.IsEmpty() || name == "." || name == "..") return false;
    for (int i = 0; i < name.GetLength(); ++i) {
        const char c = name[i];
        if (c == '/' || c == '\\' || c == '\0') return false;
    }
    return name.Find("..") < 0;
}

bool AllowedElement(const char* name)
{
    static const char* const kAllowed[] = {"msg", "span", "font", "br", "b", "i", "u", "strong",
                                           "em", "p", "div", "sub", "sup", "img"};
    if (!name) return false;
    for (const char* allowed : kAllowed)
        if (strcasecmp(name, allowed) == 0) return true;
    return false;
}

// A font size as the panes write it ("14px"; points too), up to a size a
// line can take: a huge letter would cover the pane as well as a box does.
bool SaneFontSize(const CString& value)
{
    CString number = value;
    number.MakeLower();
    if (number.Right(2) == "px" || number.Right(2) == "pt") number = number.Left(number.GetLength() - 2);
    number.Trim();
    if (number.IsEmpty() || number.GetLength() > 3) return false;
    for (int i = 0; i < number.GetLength(); ++i)
        if (!isdigit(static_cast<unsigned char>(number[i]))) return false;
    return std::atoi(number.GetString()) <= 72;
}

// The font of a received style, as the panes themselves write it: family,
// size, colour, weight, style and decoration. Every other property (where
// the line sits, how big its box is, its background, its layer) could lay
// the line over the pane and goes. Empty when nothing is left.
CString FontStyleOf(const CString& style)
{
    static const char* const kKept[] = {"font-family", "font-size",  "color",
                                        "font-weight", "font-style", "text-decoration"};
    CString out;
    int start = 0;
    while (start < style.GetLength()) {
        int end = style.Find(';', start);
        if (end < 0) end = style.GetLength();
        const CString declaration = style.Mid(start, end - start);
        start = end + 1;
        const int colon = declaration.Find(':');
        if (colon < 0) continue;
        CString name = declaration.Left(colon);
        name.Trim();
        name.MakeLower();
        CString value = declaration.Mid(colon + 1);
        value.Trim();
        // Comments would hide what follows them.
        if (value.IsEmpty() || value.Find('*') >= 0 || value.Find('/') >= 0) continue;
        bool kept = false;
        for (const char* allowed : kKept)
            if (name == allowed) kept = true;
        if (!kept || (name == "font-size" && !SaneFontSize(value))) continue;
        if (!out.IsEmpty()) out += ";";
        out += name + ":" + value;
    }
    return out;
}

// An attribute value that may pass, possibly cleaned; false drops it.
bool AllowedAttribute(const char* element, const char* name, const char* value, CString* out)
{
    if (!name || !value) return false;
    const CString v(value);
    if (strcasecmp(name, "style") == 0) {
        // Fonts only: anything that could load or run something ("url(",
        // "expression(", escapes, markup) drops the whole style.
        if (v.FindOneOf("()\\<>@&") >= 0) return false;
        CString clean = v;
        clean.Remove('"');
        clean.Remove('\'');
        clean = FontStyleOf(clean);
        if (clean.IsEmpty()) return false;
        *out = clean;
        return true;
    }
    if (strcasecmp(name, "color") == 0 || strcasecmp(name, "face") == 0 || strcasecmp(name, "size") == 0 ||
        strcasecmp(name, "width") == 0 || strcasecmp(name, "height") == 0 || strcasecmp(name, "border") == 0 ||
        strcasecmp(name, "align") == 0) {
        if (v.FindOneOf("()\\<>") >= 0) return false;
        *out = v;
        return true;
    }
    if (strcasecmp(name, "id") == 0 && element && IsSafeId(value)) {
        *out = v;
        return true;
    }
    return false;
}

void AppendAttribute(CString& out, const char* name, const CString& value)
{
    out += " ";
    out += name;
    out += "=\"";
    out += EscapeHtml(value);
    out += "\"";
}

class DisplayWriter {
public:
    explicit DisplayWriter(DisplayRewrite& rw) : rw_(rw) {}

    void Element(const XMLNode& node, bool top)
    {
        const char* name = node.getName();
        if (!top && name && strcasecmp(name, "file") == 0) {
            FileOffer(node);
            return;
        }
        if (!AllowedElement(name)) {
            // The element goes; what it says stays, as text.
            Contents(node);
            return;
        }
        CString tag(name);
        tag.MakeLower();
        if (tag == "img") {
            Image(node);
            return;
        }
        out_ += "<" + tag;
        for (int i = 0; i < node.nAttribute(); ++i) {
            const XMLAttribute a = node.getAttribute(i);
            CString value;
            if (AllowedAttribute(name, a.lpszName, a.lpszValue, &value)) AppendAttribute(out_, a.lpszName, value);
        }
        if (tag == "br") {
            out_ += "/>";
            return;
        }
        out_ += ">";
        Contents(node);
        out_ += "</" + tag + ">";
    }

    CString Result() const { return out_; }

private:
    void Contents(const XMLNode& node)
    {
        for (int i = node.nAttribute(); i < node.nElement(); ++i) {
            const XMLNodeContents item = node.enumContents(i);
            if (item.etype == eNodeChild)
                Element(item.child, false);
            else if (item.etype == eNodeText)
                out_ += EscapeHtml(CString(item.text ? item.text : ""));
            else if (item.etype == eNodeClear)
                out_ += EscapeHtml(CString(item.clear.lpszValue ? item.clear.lpszValue : ""));
        }
    }

    void Image(const XMLNode& node)
    {
        CString src(node.getAttribute("src") ? node.getAttribute("src") : "");
        CString shown;
        if (src.Left(8).CompareNoCase("file:///") == 0) {
            const CString name = PercentDecodeText(src.Mid(8));
            if (!IsSafePictureName(name)) {
                shown = rw_.webBase + "/upload/imgloading.gif";
            } else if (PathExists(rw_.filesFolder + name)) {
                shown = FileUrl(rw_.filesFolder + name);
            } else {
                rw_.missingPictures.push_back(name);
                shown = rw_.webBase + "/upload/imgloading.gif";
            }
        } else if (src.Left(8) == "/upload/" || (!rw_.webBase.IsEmpty() && src.Find(rw_.webBase + "/") == 0)) {
            // Face pictures of the web server.
            if (src.FindOneOf("\"'<>\\") >= 0) return;
            shown = src;
        } else {
            return;  // a picture from anywhere else is not loaded
        }
        out_ += "<img";
        for (int i = 0; i < node.nAttribute(); ++i) {
            const XMLAttribute a = node.getAttribute(i);
            CString value;
            if (a.lpszName && strcasecmp(a.lpszName, "src") != 0 && AllowedAttribute("img", a.lpszName, a.lpszValue, &value))
                AppendAttribute(out_, a.lpszName, value);
        }
        AppendAttribute(out_, "src", shown);
        out_ += "/>";
    }

    void FileOffer(const XMLNode& node)
    {
        const char* id = node.getAttribute("id");
        CString path(node.getText() ? node.getText() : "");
        if (!IsSafeId(id)) {
            out_ += EscapeHtml(path);
            return;
        }
        CString name = path;
        const int cut = std::max(name.ReverseFind('\\'), name.ReverseFind('/'));
        if (cut >= 0) name = name.Mid(cut + 1);
        const CString fileId(id);
        rw_.offeredFiles.push_back(fileId);
        CString block;
        block.Format("<span>传送文件:%s,<span id='%s_span'>您可以选择<a name='%s' href='#' "
                     "onclick='parent.AcceptFile(this.name,%d);'>接收</a>,或<a name='%s' href='#' "
                     "onclick='parent.RefuseFile(this.name);'>拒绝</a>.</span> ",
                     EscapeHtml(name).GetString(), fileId.GetString(), fileId.GetString(), rw_.gid,
                     fileId.GetString());
        CString progress;
        progress.Format("<div id='%s_out' style='width:300px;height:20px;background:#EEE;display:none;'><div "
                        "id='%s_pro' style='width:1px; height:20px;background:#B8E2F6;color:white;text-align:center;'>"
                        "</div></div>",
                        fileId.GetString(), fileId.GetString());
        CString hidden;
        hidden.Format("<div id='%s_file' style='display:none;'>%s</div>", fileId.GetString(), EscapeHtml(path).GetString());
        out_ += block + progress + hidden + "</span>";
    }

    static CString PercentDecodeText(const CString& text) { return CString(PercentDecode(text.str()).c_str()); }

    static bool PathExists(const CString& path)
    {
        struct stat st {};
        return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
    }

    DisplayRewrite& rw_;
    CString out_;
};

}  // namespace

CString FileUrl(const CString& path)
{
    static const char* hex = "0123456789ABCDEF";
    CString out("file://");
    for (int i = 0; i < path.GetLength(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

CString PlainTextOf(const XMLNode& body)
{
    CString text;
    if (body.isEmpty()) return text;
    for (int i = 0; i < body.nText(); ++i) text += body.getText(i);
    return text;
}

CString DisplayMarkup(const XMLNode& body, DisplayRewrite& rewrite)
{
    if (body.isEmpty()) return CString();
    DisplayWriter writer(rewrite);
    writer.Element(body, true);
    return writer.Result();
}

CString DisplayMarkupOf(const std::string& content, DisplayRewrite& rewrite)
{
    const XMLNode body = ParseMessageBody(content);
    if (!body.isEmpty()) return DisplayMarkup(body, rewrite);
    const CString text = Utf8ToAnsi(CString(PercentDecode(content).c_str()));
    return "<msg>" + EscapeHtml(text) + "</msg>";
}

const char* const kCutBodyNote = "<br/>……（消息过长，这里只显示了开头，完整内容请查看消息记录）";

std::string ShownContent(const std::string& content, size_t limit, bool* cut)
{
    if (cut) *cut = false;
    // Decoding never lengthens a text: a content within the limit is shown whole.
    if (content.size() <= limit) return content;
    // Only what can be shown is decoded (a byte more tells that there is
    // more): a huge line costs the window no more than a long one.
    std::string text = PercentDecode(content, limit + 1);
    if (text.size() <= limit) return content;
    size_t end = limit;
    // Whole UTF-8 characters only.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    // Not inside a tag, nor inside a character reference.
    const size_t open = text.rfind('<');
    if (open != std::string::npos && text.find('>', open) == std::string::npos) text.resize(open);
    const size_t amp = text.rfind('&');
    if (amp != std::string::npos && text.find(';', amp) == std::string::npos) text.resize(amp);
    if (cut) *cut = true;
    // Encoded again where decoding would change it.
    std::string out;
    out.reserve(text.size() + 16);
    for (const char c : text) {
        if (c == '%')
            out += "%25";
        else if (c == '+')
            out += "%2B";
        else
            out += c;
    }
    return out;
}
