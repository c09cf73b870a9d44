// The display rewrite of a received chat body: the input is the content as
// the service delivers it (percent-encoded). What a pane would show must hold
// no script, no event attribute but the file offers' own accept and refuse
// links, and no picture from anywhere but the files folder or the web server.
#include "Lum/chat/MessageBody.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

const char kWebBase[] = "http://127.0.0.1:8080";
const int kGid = 7;

std::string g_folder;  // the files folder, ending with '/'
std::string g_shown;   // the markup under test, for the report

[[noreturn]] void Fail(const std::string& what)
{
    fprintf(stderr, "property broken: %s\n  markup: [%s]\n", what.c_str(), g_shown.c_str());
    abort();
}

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

// What a browser reads out of an attribute value: the entities the writer
// uses and numeric references.
std::string DecodeEntities(const std::string& v)
{
    std::string out;
    for (size_t i = 0; i < v.size();) {
        if (v[i] != '&') {
            out += v[i++];
            continue;
        }
        const size_t semi = v.find(';', i);
        if (semi == std::string::npos) Fail("an ampersand that starts no entity");
        const std::string name = v.substr(i + 1, semi - i - 1);
        if (name == "amp") out += '&';
        else if (name == "lt") out += '<';
        else if (name == "gt") out += '>';
        else if (name == "quot") out += '"';
        else if (name == "apos") out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const long code = strtol(name.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10);
            out += static_cast<char>(code);
        } else {
            Fail("an unknown entity &" + name + ";");
        }
        i = semi + 1;
    }
    return out;
}

bool StartsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool IsDecimal(const std::string& s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (!isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// The two handlers a file offer carries, and nothing else.
bool IsOfferHandler(const std::string& value)
{
    const std::string accept = "parent.AcceptFile(this.name,";
    if (StartsWith(value, accept) && value.size() > accept.size() + 2 &&
        value.compare(value.size() - 2, 2, ");") == 0)
        return IsDecimal(value.substr(accept.size(), value.size() - accept.size() - 2));
    return value == "parent.RefuseFile(this.name);";
}

std::string PercentDecoded(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// A picture address: a single file in the files folder, or the web server.
void CheckPicture(const std::string& src)
{
    const std::string folderUrl = FileUrl(CString(g_folder.c_str())).str();
    if (StartsWith(src, folderUrl)) {
        // What the page loads is the name as the browser decodes it.
        const std::string name = PercentDecoded(src.substr(folderUrl.size()));
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
            name.find('\\') != std::string::npos)
            Fail("a picture outside the files folder: " + src);
        return;
    }
    if (StartsWith(src, std::string(kWebBase) + "/") || (StartsWith(src, "/upload/"))) return;
    Fail("a picture from outside: " + src);
}

const char* const kElements[] = {"msg", "span", "font", "br", "b", "i", "u", "strong",
                                 "em",  "p",    "div",  "sub", "sup", "img", "a"};

void CheckAttribute(const std::string& tag, const std::string& rawName, const std::string& rawValue)
{
    const std::string name = Lower(rawName);
    const std::string value = DecodeEntities(rawValue);
    if (StartsWith(name, "on")) {
        if (tag == "a" && name == "onclick" && IsOfferHandler(value)) return;
        Fail("an event attribute " + rawName + "=" + rawValue);
    }
    if (name == "style" && (value.find('(') != std::string::npos || value.find('\\') != std::string::npos))
        Fail("a style that could load or run something: " + value);
    if (name == "src") {
        if (tag != "img") Fail("a source on " + tag);
        CheckPicture(value);
        return;
    }
    if (name == "href") {
        if (tag != "a" || value != "#") Fail("a link: " + value);
        return;
    }
    for (const char* loads : {"action", "formaction", "background", "data", "srcset", "lowsrc", "dynsrc",
                              "xlink:href", "poster", "code", "codebase", "srcdoc"})
        if (name == loads) Fail("an attribute that loads something: " + rawName);
}

// Reads the markup as a page would and checks every element and attribute.
void CheckMarkup(const std::string& html)
{
    size_t i = 0;
    const size_t n = html.size();
    while (i < n) {
        if (html[i] != '<') {
            ++i;
            continue;
        }
        ++i;
        const bool closing = i < n && html[i] == '/';
        if (closing) ++i;
        size_t start = i;
        while (i < n && isalnum(static_cast<unsigned char>(html[i]))) ++i;
        if (i == start) Fail("a '<' that opens no element");
        const std::string tag = Lower(html.substr(start, i - start));
        bool known = false;
        for (const char* allowed : kElements) known = known || tag == allowed;
        if (!known) Fail("an element <" + tag + ">");
        for (;;) {
            while (i < n && isspace(static_cast<unsigned char>(html[i]))) ++i;
            if (i >= n) Fail("markup that ends inside a tag");
            if (html[i] == '>') {
                ++i;
                break;
            }
            if (html[i] == '/' && i + 1 < n && html[i + 1] == '>') {
                i += 2;
                break;
            }
            if (closing) Fail("a closing tag with attributes");
            start = i;
            while (i < n && !isspace(static_cast<unsigned char>(html[i])) && html[i] != '=' && html[i] != '>' &&
                   html[i] != '/' && html[i] != '"' && html[i] != '\'' && html[i] != '<')
                ++i;
            if (i == start) Fail("a character a tag cannot hold here");
            const std::string name = html.substr(start, i - start);
            if (i >= n || html[i] != '=') Fail("an attribute without a quoted value: " + name);
            ++i;
            if (i >= n || (html[i] != '"' && html[i] != '\'')) Fail("an unquoted value of " + name);
            const char quote = html[i++];
            start = i;
            while (i < n && html[i] != quote) {
                if (html[i] == '<') Fail("a '<' inside a value of " + name);
                ++i;
            }
            if (i >= n) Fail("a value that never ends: " + name);
            CheckAttribute(tag, name, html.substr(start, i - start));
            ++i;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/lum-fuzz-body-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) abort();
    g_folder = std::string(made) + "/";
    // Pictures a peer may name that are already there.
    std::ofstream(g_folder + "a.png") << "png";
    std::ofstream(g_folder + "pic 1#.gif") << "gif";
    atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_folder, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string content(reinterpret_cast<const char*>(data), size);
    DisplayRewrite rewrite;
    rewrite.filesFolder = g_folder.c_str();
    rewrite.webBase = kWebBase;
    rewrite.gid = kGid;
    g_shown = DisplayMarkupOf(content, rewrite).str();
    CheckMarkup(g_shown);
    // What the pane's other readers take from the same body.
    const XMLNode body = ParseMessageBody(content);
    (void)PlainTextOf(body);
    (void)CleanNoticeName(AttributeText(NoticeOf(body, "1"), "name"));
    return 0;
}
