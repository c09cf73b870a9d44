#include "Common/XMLNode.h"

#include "platform/codepage.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// ---- Process-wide options -------------------------------------------------

struct Options {
    XMLCharEncoding encoding = char_encoding_UTF8;
    bool guessWideChars = true;
    bool dropWhiteSpace = true;
    bool removeCommentsInMiddleOfText = true;
};

Options g_options;

// ---- Texts ------------------------------------------------------------------

char* dupRange(const char* s, size_t n)
{
    char* p = static_cast<char*>(std::malloc(n + 1));
    if (!p) std::abort();
    if (n) std::memcpy(p, s, n);
    p[n] = '\0';
    return p;
}

char* dupText(const char* s)
{
    return s ? dupRange(s, std::strlen(s)) : nullptr;
}

void freeText(const char* s)
{
    std::free(const_cast<char*>(s));
}

unsigned char lowerAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Names compare ignoring the case of ASCII letters only: bytes of multi-byte
// characters must never be folded.
bool equalsNoCase(const char* a, const char* b)
{
    if (!a || !b) return a == b;
    for (;; ++a, ++b) {
        unsigned char x = lowerAscii(static_cast<unsigned char>(*a));
        unsigned char y = lowerAscii(static_cast<unsigned char>(*b));
        if (x != y) return false;
        if (!x) return true;
    }
}

// Compares the n bytes at `a` with the whole of `b`.
bool equalsNoCaseN(const char* a, size_t n, const char* b)
{
    if (!b) return false;
    for (size_t i = 0; i < n; ++i, ++b) {
        if (!*b || lowerAscii(static_cast<unsigned char>(a[i])) != lowerAscii(static_cast<unsigned char>(*b)))
            return false;
    }
    return *b == '\0';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Length in bytes of the character that starts at `s` (which is not the
// terminating zero). A lead byte counts as the start of a multi-byte
// character only when its trail bytes are really there, so a truncated or
// malformed sequence never swallows the terminating zero or a markup byte.
int charLength(const char* s, XMLCharEncoding encoding)
{
    const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
    unsigned c = u[0];
    if (c < 0x80) return 1;
    switch (encoding) {
    case char_encoding_UTF8: {
        int n = (c >= 0xC0 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 1;
        for (int i = 1; i < n; ++i)
            if ((u[i] & 0xC0) != 0x80) return 1;
        return n;
    }
    case char_encoding_ShiftJIS:
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))
            return (u[1] >= 0x40 && u[1] <= 0xFC && u[1] != 0x7F) ? 2 : 1;
        return 1;
    case char_encoding_GB2312:
    case char_encoding_Big5:
    case char_encoding_GBK:
        if (c >= 0x81 && c <= 0xFE) return (u[1] >= 0x40 && u[1] <= 0xFE && u[1] != 0x7F) ? 2 : 1;
        return 1;
    default:
        return 1;
    }
}

// End of a name or of an unquoted value: up to a blank, markup, a quote,
// "/>" or "?>".
const char* wordEnd(const char* s, XMLCharEncoding encoding)
{
    while (*s) {
        char c = *s;
        if (isBlank(c) || c == '<' || c == '>' || c == '=' || c == '"' || c == '\'') break;
        if ((c == '/' || c == '?') && s[1] == '>') break;
        s += charLength(s, encoding);
    }
    return s;
}

int digitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes the entities of [s, e) into `out`. On failure gives the error and
// the position of the offending ampersand.
bool decodeEntities(const char* s, const char* e, XMLCharEncoding encoding, std::string& out, XMLError& error,
                    const char*& errorAt)
{
    struct Named {
        const char* name;
        size_t length;
        char ch;
    };
    static const Named kNamed[] = {
        {"amp;", 4, '&'}, {"lt;", 3, '<'}, {"gt;", 3, '>'}, {"quot;", 5, '"'}, {"apos;", 5, '\''},
    };
    out.clear();
    out.reserve(static_cast<size_t>(e - s));
    while (s < e) {
        if (*s != '&') {
            size_t n = std::min(static_cast<size_t>(charLength(s, encoding)), static_cast<size_t>(e - s));
            out.append(s, n);
            s += n;
            continue;
        }
        const char* amp = s++;
        bool named = false;
        for (const Named& entity : kNamed) {
            if (static_cast<size_t>(e - s) >= entity.length && equalsNoCaseN(s, entity.length, entity.name)) {
                out += entity.ch;
                s += entity.length;
                named = true;
                break;
            }
        }
        if (named) continue;
        if (s < e && *s == '#') {
            ++s;
            bool hex = s < e && (*s == 'x' || *s == 'X');
            if (hex) ++s;
            unsigned long code = 0;
            int digits = 0;
            for (int v; s < e && (v = digitValue(*s, hex)) >= 0; ++s, ++digits) {
                if (code < 0x10000) code = code * (hex ? 16 : 10) + static_cast<unsigned long>(v);
            }
            if (digits > 0 && s < e && *s == ';') {
                if (code >= 256) {
                    error = eXMLErrorCharacterCodeAbove255;
                    errorAt = amp;
                    return false;
                }
                if (code > 0) {  // a zero byte cannot be held in a text
                    out += static_cast<char>(code);
                    ++s;
                    continue;
                }
            }
        }
        error = eXMLErrorUnknownCharacterEntity;
        errorAt = amp;
        return false;
    }
    return true;
}

void appendEscaped(std::string& out, const char* s, XMLCharEncoding encoding)
{
    while (*s) {
        switch (*s) {
        case '&': out += "&amp;"; ++s; break;
        case '<': out += "&lt;"; ++s; break;
        case '>': out += "&gt;"; ++s; break;
        case '"': out += "&quot;"; ++s; break;
        case '\'': out += "&apos;"; ++s; break;
        default: {
            int n = charLength(s, encoding);
            out.append(s, static_cast<size_t>(n));
            s += n;
        }
        }
    }
}

// A text as the writer writes it: escaped, with the blanks at its ends as
// character references, since the reader drops blanks around texts.
void appendText(std::string& out, const char* s, XMLCharEncoding encoding)
{
    const size_t n = std::strlen(s);
    size_t first = 0, end = n;
    while (first < n && isBlank(s[first])) ++first;
    while (end > first && isBlank(s[end - 1])) --end;
    auto reference = [&](char c) { out += "&#" + std::to_string(static_cast<int>(c)) + ';'; };
    for (size_t i = 0; i < first; ++i) reference(s[i]);
    appendEscaped(out, std::string(s + first, end - first).c_str(), encoding);
    for (size_t i = end; i < n; ++i) reference(s[i]);
}

// ---- Clear items ------------------------------------------------------------

struct ClearMark {
    const char* open;
    const char* close;
};

const ClearMark kClearMarks[] = {
    {"<![CDATA[", "]]>"},
    {"<!DOCTYPE", ">"},
    {"<!--", "-->"},
    {"<PRE>", "</PRE>"},
};

const ClearMark* clearMarkAt(const char* s)
{
    for (const ClearMark& m : kClearMarks)
        if (std::strncmp(s, m.open, std::strlen(m.open)) == 0) return &m;
    return nullptr;
}

// ---- Encodings ----------------------------------------------------------------

// Whether the bytes look like UTF-16: 0 no, 1 little-endian, 2 big-endian.
// `bom` receives the length of the byte-order mark. Without a mark, text
// whose bytes at one parity are all non-zero and at the other mostly zero
// (Latin text in UTF-16) counts as UTF-16.
int utf16Kind(const unsigned char* b, size_t n, size_t* bom)
{
    *bom = 0;
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        *bom = 2;
        return 1;
    }
    if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        *bom = 2;
        return 2;
    }
    size_t pairs = std::min(n, static_cast<size_t>(512)) / 2;
    if (pairs == 0) return 0;
    size_t zeroEven = 0, zeroOdd = 0;
    for (size_t i = 0; i < pairs; ++i) {
        if (!b[2 * i]) ++zeroEven;
        if (!b[2 * i + 1]) ++zeroOdd;
    }
    if (zeroEven == 0 && zeroOdd * 2 >= pairs) return 1;
    if (zeroOdd == 0 && zeroEven * 2 >= pairs) return 2;
    return 0;
}

// Converts UTF-16 bytes (after any byte-order mark) to the text encoding in
// use: UTF-8 in UTF-8 mode, else the ANSI code page. False on malformed input.
bool convertUtf16(const unsigned char* b, size_t n, bool bigEndian, std::string& out)
{
    if (n % 2) return false;
    std::wstring wide;
    wide.reserve(n / 2);
    auto unit = [&](size_t i) {
        return bigEndian ? (static_cast<unsigned>(b[i]) << 8 | b[i + 1]) : (static_cast<unsigned>(b[i + 1]) << 8 | b[i]);
    };
    for (size_t i = 0; i < n; i += 2) {
        unsigned u = unit(i);
        if (u == 0) break;
        if (u >= 0xDC00 && u <= 0xDFFF) return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 2 >= n) return false;
            unsigned low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        wide += static_cast<wchar_t>(u);
    }
    out = WideToMultiByte(g_options.encoding == char_encoding_UTF8 ? CP_UTF8 : CP_ACP, wide);
    return wide.empty() || !out.empty();
}

// Whether every multi-byte sequence is valid UTF-8; a sequence cut off by the
// end of the buffer does not count against it.
bool isValidUtf8(const unsigned char* b, size_t n)
{
    size_t i = 0;
    while (i < n) {
        unsigned c = b[i];
        size_t len = c < 0x80 ? 1 : (c >= 0xC0 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                                : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
        if (!len) return false;
        for (size_t k = 1; k < len; ++k) {
            if (i + k >= n) return true;
            if ((b[i + k] & 0xC0) != 0x80) return false;
        }
        i += len;
    }
    return true;
}

std::string formatText(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string formatText(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(&out[0], out.size(), fmt, args);
        out.resize(static_cast<size_t>(n));
    }
    va_end(args);
    return out;
}

bool readFile(const char* path, std::string& bytes, size_t limit)
{
    FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return false;
    bytes.clear();
    char buffer[65536];
    while (bytes.size() < limit) {
        size_t want = std::min(sizeof buffer, limit - bytes.size());
        size_t got = std::fread(buffer, 1, want, f);
        bytes.append(buffer, got);
        if (got < want) break;
    }
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace

// ---- Node data ------------------------------------------------------------------

struct XMLNode::Data {
    struct Item {
        XMLElementType kind;
        int index;  // in the list of its kind
    };

    char* name = nullptr;
    bool declaration = false;
    Data* parent = nullptr;       // not counted: a parent holds its children, not the reverse
    std::vector<Data*> children;  // each holds one reference
    std::vector<XMLAttribute> attributes;
    std::vector<const char*> texts;
    std::vector<XMLClear> clears;
    std::vector<Item> order;  // content items in document order
    int refCount = 0;
};

struct XMLNode::Impl {
    static XMLNode wrap(Data* d) { return XMLNode(d); }

    static void freeClear(const XMLClear& c)
    {
        freeText(c.lpszValue);
        freeText(c.lpszOpenTag);
        freeText(c.lpszCloseTag);
    }

    // Frees names, attributes, texts and clear items, and hands the
    // children to `dead` when this was their last reference.
    static void dropContent(Data* x, std::vector<Data*>& dead)
    {
        for (Data* c : x->children) {
            c->parent = nullptr;
            if (--c->refCount == 0) dead.push_back(c);
        }
        x->children.clear();
        for (const XMLAttribute& a : x->attributes) {
            freeText(a.lpszName);
            freeText(a.lpszValue);
        }
        x->attributes.clear();
        for (const char* t : x->texts) freeText(t);
        x->texts.clear();
        for (const XMLClear& c : x->clears) freeClear(c);
        x->clears.clear();
        x->order.clear();
        freeText(x->name);
        x->name = nullptr;
    }

    // Frees whole subtrees without recursion.
    static void destroy(std::vector<Data*>& dead)
    {
        while (!dead.empty()) {
            Data* x = dead.back();
            dead.pop_back();
            dropContent(x, dead);
            delete x;
        }
    }

    static void release(Data* d)
    {
        if (!d || --d->refCount > 0) return;
        std::vector<Data*> dead{d};
        destroy(dead);
    }

    // Makes room for a new item of `kind` before content position `position`
    // (appending when out of range). Returns the index the caller inserts the
    // item at in the list of its kind.
    static int insertSlot(Data* x, XMLElementType kind, int position, int countOfKind)
    {
        int n = static_cast<int>(x->order.size());
        if (position < 0 || position >= n) {
            x->order.push_back({kind, countOfKind});
            return countOfKind;
        }
        int k = 0;
        for (int i = 0; i < position; ++i)
            if (x->order[static_cast<size_t>(i)].kind == kind) ++k;
        for (Data::Item& it : x->order)
            if (it.kind == kind && it.index >= k) ++it.index;
        x->order.insert(x->order.begin() + position, Data::Item{kind, k});
        return k;
    }

    static void removeSlot(Data* x, XMLElementType kind, int k)
    {
        for (size_t i = x->order.size(); i-- > 0;) {
            if (x->order[i].kind == kind && x->order[i].index == k) {
                x->order.erase(x->order.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
        for (Data::Item& it : x->order)
            if (it.kind == kind && it.index > k) --it.index;
    }

    static int positionOf(const Data* x, XMLElementType kind, int k)
    {
        if (!x || k < 0) return -1;
        for (size_t i = 0; i < x->order.size(); ++i)
            if (x->order[i].kind == kind && x->order[i].index == k) return static_cast<int>(i);
        return -1;
    }

    static void attachChild(Data* parent, Data* child, int position)
    {
        int k = insertSlot(parent, eNodeChild, position, static_cast<int>(parent->children.size()));
        parent->children.insert(parent->children.begin() + k, child);
        child->parent = parent;
        ++child->refCount;
    }

    // Takes the child from its parent, dropping the parent's reference.
    static void detach(Data* child)
    {
        Data* parent = child->parent;
        if (!parent) return;
        auto it = std::find(parent->children.begin(), parent->children.end(), child);
        if (it != parent->children.end()) {
            int k = static_cast<int>(it - parent->children.begin());
            parent->children.erase(it);
            removeSlot(parent, eNodeChild, k);
        }
        child->parent = nullptr;
        release(child);
    }

    static const char* insertText(Data* x, char* text, int position)
    {
        int k = insertSlot(x, eNodeText, position, static_cast<int>(x->texts.size()));
        x->texts.insert(x->texts.begin() + k, text);
        return text;
    }

    static XMLClear* insertClear(Data* x, const XMLClear& clear, int position)
    {
        int k = insertSlot(x, eNodeClear, position, static_cast<int>(x->clears.size()));
        x->clears.insert(x->clears.begin() + k, clear);
        return &x->clears[static_cast<size_t>(k)];
    }

    static int findText(const Data* x, const char* text)
    {
        if (!x || !text) return -1;
        for (size_t i = 0; i < x->texts.size(); ++i)
            if (x->texts[i] == text) return static_cast<int>(i);
        for (size_t i = 0; i < x->texts.size(); ++i)
            if (std::strcmp(x->texts[i], text) == 0) return static_cast<int>(i);
        return -1;
    }

    static int findClear(const Data* x, const char* value)
    {
        if (!x || !value) return -1;
        for (size_t i = 0; i < x->clears.size(); ++i)
            if (x->clears[i].lpszValue == value) return static_cast<int>(i);
        for (size_t i = 0; i < x->clears.size(); ++i)
            if (std::strcmp(x->clears[i].lpszValue, value) == 0) return static_cast<int>(i);
        return -1;
    }

    static int findAttribute(const Data* x, const char* name)
    {
        if (!x || !name) return -1;
        for (size_t i = 0; i < x->attributes.size(); ++i)
            if (equalsNoCase(x->attributes[i].lpszName, name)) return static_cast<int>(i);
        return -1;
    }

    static Data* shallowCopy(const Data* s)
    {
        Data* t = new Data;
        t->name = dupText(s->name);
        t->declaration = s->declaration;
        for (const XMLAttribute& a : s->attributes) t->attributes.push_back({dupText(a.lpszName), dupText(a.lpszValue)});
        for (const char* text : s->texts) t->texts.push_back(dupText(text));
        for (const XMLClear& c : s->clears)
            t->clears.push_back({dupText(c.lpszValue), dupText(c.lpszOpenTag), dupText(c.lpszCloseTag)});
        t->order = s->order;
        return t;
    }

    // A name the parser ended at a blank may end in '/' or '?'; a blank
    // after it keeps the writing from reading back as the end of the tag.
    static void appendName(std::string& out, const char* name)
    {
        out += name;
        const size_t n = std::strlen(name);
        if (n > 0 && (name[n - 1] == '/' || name[n - 1] == '?')) out += ' ';
    }

    static void writeAttributes(std::string& out, const Data* x, XMLCharEncoding encoding)
    {
        for (const XMLAttribute& a : x->attributes) {
            out += ' ';
            if (!a.lpszValue) {
                appendName(out, a.lpszName);
                continue;
            }
            out += a.lpszName;
            out += "=\"";
            appendEscaped(out, a.lpszValue, encoding);
            out += '"';
        }
    }

    // Writes a node (with its tag, or only its content) without recursion.
    static void write(std::string& out, Data* root, bool withTag, bool indent)
    {
        const XMLCharEncoding encoding = g_options.encoding;
        struct Frame {
            Data* node;
            size_t next;
            int depth;
            bool close;
        };
        std::vector<Frame> stack;
        auto tabs = [&](int n) {
            if (indent) out.append(static_cast<size_t>(n), '\t');
        };
        auto newline = [&] {
            if (indent) out += '\n';
        };
        auto openElement = [&](Data* x, int depth) {
            if (!x->name) {  // a nameless top node has no tag of its own
                stack.push_back({x, 0, depth, false});
                return;
            }
            tabs(depth);
            out += '<';
            if (x->declaration) out += '?';
            const size_t tag = out.size() - 1;
            appendName(out, x->name);
            writeAttributes(out, x, encoding);
            // An element called PRE would read back as the opening of a
            // clear item: a blank keeps its start tag an element's.
            if (!x->declaration && !x->order.empty() && clearMarkAt((out.substr(tag) + '>').c_str())) out += ' ';
            if (x->declaration) {
                out += "?>";
                newline();
                if (!x->order.empty()) stack.push_back({x, 0, depth, false});
            } else if (x->order.empty()) {
                out += "/>";
                newline();
            } else if (indent && x->order.size() == 1 && x->order[0].kind == eNodeText) {
                out += '>';
                appendText(out, x->texts[0], encoding);
                out += "</";
                appendName(out, x->name);
                out += ">\n";
            } else {
                out += '>';
                newline();
                stack.push_back({x, 0, depth + 1, true});
            }
        };
        if (withTag)
            openElement(root, 0);
        else
            stack.push_back({root, 0, 0, false});
        while (!stack.empty()) {
            Frame& f = stack.back();
            Data* x = f.node;
            int depth = f.depth;
            if (f.next == x->order.size()) {
                bool close = f.close;
                stack.pop_back();
                if (close) {
                    tabs(depth - 1);
                    out += "</";
                    appendName(out, x->name);
                    out += '>';
                    newline();
                }
                continue;
            }
            Data::Item item = x->order[f.next++];
            switch (item.kind) {
            case eNodeChild:
                openElement(x->children[static_cast<size_t>(item.index)], depth);
                break;
            case eNodeText:
                tabs(depth);
                appendText(out, x->texts[static_cast<size_t>(item.index)], encoding);
                newline();
                break;
            case eNodeClear: {
                const XMLClear& c = x->clears[static_cast<size_t>(item.index)];
                tabs(depth);
                out += c.lpszOpenTag ? c.lpszOpenTag : "";
                out += c.lpszValue ? c.lpszValue : "";
                out += c.lpszCloseTag ? c.lpszCloseTag : "";
                newline();
                break;
            }
            default:
                break;
            }
        }
    }

    static char* toCallerText(const std::string& s, int* size)
    {
        if (size) *size = static_cast<int>(s.size());
        return dupRange(s.data(), s.size());
    }
};

// ---- Parser ---------------------------------------------------------------------

// Reads one text into a tree. Elements are kept on an explicit stack, so
// nesting depth costs heap, not call stack.
class XMLNode::Parser {
public:
    Parser(const char* text, Data* top) : p_(text), top_(top), encoding_(g_options.encoding) {}

    void run();
    XMLError error() const { return error_; }
    const char* stop() const { return error_ >= eXMLErrorEmpty ? errorAt_ : p_; }

private:
    Data* current() const { return open_.empty() ? top_ : open_.back(); }
    void fail(XMLError code, const char* at)
    {
        error_ = code;
        errorAt_ = at;
    }
    bool failed() const { return error_ >= eXMLErrorEmpty; }
    void warnUnmatched()
    {
        if (error_ == eXMLErrorNone) error_ = eXMLErrorMissingEndTag;
    }

    void parseText();
    void parseClear(const ClearMark& mark);
    void parseEndTag();
    void parseStartTag();
    void mergeText(Data* x, int index, const std::string& more);
    void flushMerge();

    const char* p_;
    Data* top_;
    XMLCharEncoding encoding_;
    bool dropWhiteSpace_ = g_options.dropWhiteSpace;
    bool removeComments_ = g_options.removeCommentsInMiddleOfText;
    std::vector<Data*> open_;
    XMLError error_ = eXMLErrorNone;
    const char* errorAt_ = nullptr;
    std::string decoded_;
    // A text that grows by comment removal is collected here and written back
    // once, so that many comments in one text cost linear time.
    Data* mergeNode_ = nullptr;
    int mergeIndex_ = -1;
    std::string mergeText_;
};

void XMLNode::Parser::run()
{
    while (*p_ && !failed()) {
        if (*p_ != '<') {
            parseText();
        } else if (const ClearMark* mark = clearMarkAt(p_)) {
            parseClear(*mark);
        } else if (p_[1] == '/') {
            parseEndTag();
        } else {
            parseStartTag();
        }
    }
    flushMerge();
    if (!failed() && !open_.empty()) {  // elements still open at the end are closed there
        open_.clear();
        warnUnmatched();
    }
}

void XMLNode::Parser::parseText()
{
    const char* s = p_;
    while (*p_ && *p_ != '<') p_ += charLength(p_, encoding_);
    const char* e = p_;
    if (dropWhiteSpace_) {
        while (s < e && isBlank(*s)) ++s;
        while (e > s && isBlank(e[-1])) --e;
        if (s == e) return;
    }
    if (!decodeEntities(s, e, encoding_, decoded_, error_, errorAt_)) return;
    Data* x = current();
    size_t n = x->order.size();
    if (removeComments_ && n >= 2 && x->order[n - 1].kind == eNodeClear && x->order[n - 2].kind == eNodeText) {
        const XMLClear& last = x->clears[static_cast<size_t>(x->order[n - 1].index)];
        if (std::strcmp(last.lpszOpenTag, "<!--") == 0) {
            // The comment is the last item, hence the last clear item.
            Impl::freeClear(last);
            x->clears.pop_back();
            x->order.pop_back();
            mergeText(x, x->order[n - 2].index, decoded_);
            return;
        }
    }
    Impl::insertText(x, dupRange(decoded_.data(), decoded_.size()), -1);
}

void XMLNode::Parser::mergeText(Data* x, int index, const std::string& more)
{
    if (mergeNode_ != x || mergeIndex_ != index) {
        flushMerge();
        mergeNode_ = x;
        mergeIndex_ = index;
        mergeText_ = x->texts[static_cast<size_t>(index)];
    }
    mergeText_ += more;
}

void XMLNode::Parser::flushMerge()
{
    if (!mergeNode_) return;
    const char*& slot = mergeNode_->texts[static_cast<size_t>(mergeIndex_)];
    freeText(slot);
    slot = dupRange(mergeText_.data(), mergeText_.size());
    mergeNode_ = nullptr;
    mergeIndex_ = -1;
    mergeText_.clear();
}

void XMLNode::Parser::parseClear(const ClearMark& mark)
{
    const char* body = p_ + std::strlen(mark.open);
    size_t closeLength = std::strlen(mark.close);
    const char* q = body;
    while (*q && std::strncmp(q, mark.close, closeLength) != 0) q += charLength(q, encoding_);
    if (!*q) {
        fail(eXMLErrorUnmatchedEndClearTag, p_);
        return;
    }
    XMLClear clear{dupRange(body, static_cast<size_t>(q - body)), dupText(mark.open), dupText(mark.close)};
    Impl::insertClear(current(), clear, -1);
    p_ = q + closeLength;
}

void XMLNode::Parser::parseEndTag()
{
    const char* start = p_;
    const char* name = p_ + 2;
    const char* nameEnd = wordEnd(name, encoding_);
    if (nameEnd == name) {
        fail(eXMLErrorMissingEndTagName, start);
        return;
    }
    const char* q = nameEnd;
    while (isBlank(*q)) ++q;
    if (*q != '>') {
        fail(eXMLErrorUnexpectedToken, q);
        return;
    }
    size_t length = static_cast<size_t>(nameEnd - name);
    size_t k = open_.size();
    while (k > 0 && !equalsNoCaseN(name, length, open_[k - 1]->name)) --k;
    if (k == 0) {
        fail(eXMLErrorUnmatchedEndTag, start);
        return;
    }
    if (k != open_.size()) warnUnmatched();  // closes the elements in between
    open_.resize(k - 1);
    p_ = q + 1;
}

void XMLNode::Parser::parseStartTag()
{
    const char* start = p_;
    bool declaration = p_[1] == '?';
    const char* name = p_ + (declaration ? 2 : 1);
    const char* nameEnd = wordEnd(name, encoding_);
    if (nameEnd == name) {
        fail(eXMLErrorMissingTagName, start);
        return;
    }
    Data* node = new Data;
    node->name = dupRange(name, static_cast<size_t>(nameEnd - name));
    node->declaration = declaration;
    Impl::attachChild(current(), node, -1);

    const char* q = nameEnd;
    for (;;) {
        while (isBlank(*q)) ++q;
        char c = *q;
        if (c == '\0') {
            fail(eXMLErrorUnexpectedToken, q);
            return;
        }
        if (c == '>') {
            ++q;
            if (!declaration) open_.push_back(node);
            break;
        }
        if ((c == '/' || c == '?') && q[1] == '>') {
            if (c == '?' && !declaration) {
                fail(eXMLErrorUnexpectedToken, q);
                return;
            }
            q += 2;
            break;
        }
        const char* attrEnd = wordEnd(q, encoding_);
        if (attrEnd == q) {  // "=", a quote or "<" where a name belongs
            fail(eXMLErrorUnexpectedToken, q);
            return;
        }
        const char* attrName = q;
        q = attrEnd;
        const char* r = q;
        while (isBlank(*r)) ++r;
        char* value = nullptr;
        if (*r == '=') {
            ++r;
            while (isBlank(*r)) ++r;
            const char* vs = r;
            const char* ve;
            if (*r == '"' || *r == '\'') {
                char quote = *r;
                vs = r + 1;
                ve = vs;
                while (*ve && *ve != quote) ve += charLength(ve, encoding_);
                if (!*ve) {
                    fail(eXMLErrorUnexpectedToken, r);
                    return;
                }
                r = ve + 1;
            } else {
                ve = wordEnd(r, encoding_);
                if (ve == r) {
                    fail(eXMLErrorUnexpectedToken, r);
                    return;
                }
                r = ve;
            }
            if (!decodeEntities(vs, ve, encoding_, decoded_, error_, errorAt_)) return;
            value = dupRange(decoded_.data(), decoded_.size());
            q = r;
        }
        node->attributes.push_back({dupRange(attrName, static_cast<size_t>(attrEnd - attrName)), value});
    }
    p_ = q;
}

namespace {

// Line and column (from 1) of `stop`, counting characters.
void lineAndColumn(const char* text, const char* stop, XMLCharEncoding encoding, int& line, int& column)
{
    line = 1;
    column = 1;
    for (const char* q = text; q < stop && *q;) {
        if (*q == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        q += charLength(q, encoding);
    }
}

void setResults(XMLResults* results, XMLError error, int line, int column)
{
    if (!results) return;
    results->error = error;
    results->nLine = line;
    results->nColumn = column;
}

}  // namespace

// ---- Construction -------------------------------------------------------------

XMLNode::XMLNode() : d(nullptr) {}

XMLNode::XMLNode(Data* data) : d(data)
{
    if (d) ++d->refCount;
}

XMLNode::XMLNode(const XMLNode& other) : d(other.d)
{
    if (d) ++d->refCount;
}

XMLNode& XMLNode::operator=(const XMLNode& other)
{
    if (other.d) ++other.d->refCount;
    Impl::release(d);
    d = other.d;
    return *this;
}

XMLNode::~XMLNode()
{
    Impl::release(d);
}

XMLNode XMLNode::emptyNode()
{
    return XMLNode();
}

XMLNode XMLNode::createXMLTopNode_WOSD(char* name, char isDeclaration)
{
    Data* x = new Data;
    x->name = name;
    x->declaration = isDeclaration != 0;
    return XMLNode(x);
}

XMLNode XMLNode::createXMLTopNode(const char* name, char isDeclaration)
{
    return createXMLTopNode_WOSD(dupText(name), isDeclaration);
}

// ---- Parsing ------------------------------------------------------------------

XMLNode XMLNode::parseString(const char* text, const char* tag, XMLResults* results)
{
    if (!text) {
        setResults(results, eXMLErrorNoElements, 0, 0);
        return XMLNode();
    }
    XMLNode result(new Data);
    Parser parser(text, result.d);
    parser.run();
    XMLError error = parser.error();
    int line, column;
    lineAndColumn(text, parser.stop(), g_options.encoding, line, column);
    if (error >= eXMLErrorEmpty) {
        setResults(results, error, line, column);
        return XMLNode();
    }
    Data* top = result.d;
    if (top->children.empty()) {
        error = eXMLErrorNoXMLTagFound;
    } else if (top->children.size() == 1 && top->texts.empty() && top->clears.empty()) {
        XMLNode only(top->children[0]);
        Impl::detach(only.d);
        result = only;
    }
    if (tag && *tag && !equalsNoCase(result.getName(), tag)) {
        XMLNode child = result.getChildNode(tag);
        if (child.isEmpty()) {
            setResults(results, eXMLErrorFirstTagNotFound, line, column);
            return XMLNode();
        }
        result = child;
    }
    setResults(results, error, line, column);
    return result;
}

XMLNode XMLNode::parseFile(const char* path, const char* tag, XMLResults* results)
{
    std::string bytes;
    if (!readFile(path, bytes, static_cast<size_t>(-1))) {
        setResults(results, eXMLErrorFileNotFound, 0, 0);
        return XMLNode();
    }
    if (bytes.empty()) {
        setResults(results, eXMLErrorEmpty, 0, 0);
        return XMLNode();
    }
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t bom = 0;
    int wide = g_options.guessWideChars ? utf16Kind(b, bytes.size(), &bom) : 0;
    if (wide) {
        std::string converted;
        if (!convertUtf16(b + bom, bytes.size() - bom, wide == 2, converted)) {
            setResults(results, eXMLErrorCharConversionError, 0, 0);
            return XMLNode();
        }
        return parseString(converted.c_str(), tag, results);
    }
    size_t skip = (bytes.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) ? 3 : 0;
    return parseString(bytes.c_str() + skip, tag, results);
}

XMLNode XMLNode::openFileHelper(const char* path, const char* tag, XMLResults* results, std::string* message)
{
    std::string head;
    if (readFile(path, head, 200)) {
        XMLCharEncoding guessed = guessCharEncoding(head.data(), static_cast<int>(head.size()), 1);
        if (guessed != char_encoding_error) g_options.encoding = guessed;
    }
    XMLResults r{eXMLErrorNone, 0, 0};
    XMLNode node = parseFile(path, tag, &r);
    if (message) message->clear();
    if (r.error >= eXMLErrorEmpty) {
        node = XMLNode();
        if (message) {
            bool firstTag = r.error == eXMLErrorFirstTagNotFound;
            *message = formatText("XML Parsing error inside file '%s'.\n%s\nAt line %i, column %i.\n%s%s%s",
                                  path ? path : "", getError(r.error), r.nLine, r.nColumn,
                                  firstTag ? "First Tag should be '" : "", firstTag && tag ? tag : "",
                                  firstTag ? "'.\n" : "");
        }
    }
    if (results) *results = r;
    return node;
}

const char* XMLNode::getError(XMLError error)
{
    switch (error) {
    case eXMLErrorNone: return "No error";
    case eXMLErrorMissingEndTag: return "Warning: Unmatched end tag";
    case eXMLErrorNoXMLTagFound: return "Warning: No XML tag found";
    case eXMLErrorEmpty: return "Error: No XML data";
    case eXMLErrorMissingTagName: return "Error: Missing start tag name";
    case eXMLErrorMissingEndTagName: return "Error: Missing end tag name";
    case eXMLErrorUnmatchedEndTag: return "Error: Unmatched end tag";
    case eXMLErrorUnmatchedEndClearTag: return "Error: Unmatched clear tag end";
    case eXMLErrorUnexpectedToken: return "Error: Unexpected token found";
    case eXMLErrorNoElements: return "Error: No elements found";
    case eXMLErrorFileNotFound: return "Error: File not found";
    case eXMLErrorFirstTagNotFound: return "Error: First Tag not found";
    case eXMLErrorUnknownCharacterEntity: return "Error: Unknown character entity";
    case eXMLErrorCharacterCodeAbove255:
        return "Error: Character code above 255 is forbidden in MultiByte char mode.";
    case eXMLErrorCharConversionError: return "Error: unable to convert between WideChar and MultiByte chars";
    case eXMLErrorCannotOpenWriteFile: return "Error: unable to open file for writing";
    case eXMLErrorCannotWriteFile: return "Error: cannot write into file";
    case eXMLErrorBase64DataSizeIsNotMultipleOf4: return "Warning: Base64-string length is not a multiple of 4";
    case eXMLErrorBase64DecodeIllegalCharacter: return "Error: Base64-string contains an illegal character";
    case eXMLErrorBase64DecodeTruncatedData: return "Warning: Base64-string is truncated";
    case eXMLErrorBase64DecodeBufferTooSmall: return "Error: Base64 decode output buffer is too small";
    }
    return "Unknown";
}

const char* XMLNode::getVersion()
{
    return "v2.39";
}

int XMLNode::setGlobalOptions(XMLCharEncoding encoding, char guessWideChars, char dropWhiteSpace,
                              char removeCommentsInMiddleOfText)
{
    if (encoding < char_encoding_UTF8 || encoding > char_encoding_GBK) return 1;
    g_options.encoding = encoding;
    g_options.guessWideChars = guessWideChars != 0;
    g_options.dropWhiteSpace = dropWhiteSpace != 0;
    g_options.removeCommentsInMiddleOfText = removeCommentsInMiddleOfText != 0;
    return 0;
}

XMLCharEncoding XMLNode::guessCharEncoding(const void* buffer, int length, char useEncodingAttribute)
{
    if (!buffer || length < 25) return char_encoding_error;
    const unsigned char* b = static_cast<const unsigned char*>(buffer);
    size_t n = static_cast<size_t>(length);
    size_t bom = 0;
    if (g_options.guessWideChars && utf16Kind(b, n, &bom)) return char_encoding_error;
    if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return char_encoding_UTF8;
    bool utf8 = isValidUtf8(b, n);
    XMLCharEncoding guess = utf8 ? char_encoding_UTF8 : char_encoding_legacy;
    if (!useEncodingAttribute) return guess;

    // The "encoding" attribute within the first 200 bytes decides.
    const char* s = static_cast<const char*>(buffer);
    size_t limit = std::min(n, static_cast<size_t>(200));
    static const char kKey[] = "encoding";
    const size_t keyLength = sizeof kKey - 1;
    size_t i = 0;
    while (i + keyLength <= limit && !equalsNoCaseN(s + i, keyLength, kKey)) ++i;
    if (i + keyLength > limit) return guess;
    i += keyLength;
    while (i < limit && isBlank(s[i])) ++i;
    if (i >= limit || s[i] != '=') return guess;
    ++i;
    while (i < limit && isBlank(s[i])) ++i;
    if (i < limit && (s[i] == '"' || s[i] == '\'')) ++i;
    size_t start = i;
    while (i < limit && s[i] != '"' && s[i] != '\'' && s[i] != '?' && s[i] != '>' && !isBlank(s[i])) ++i;
    const char* value = s + start;
    size_t valueLength = i - start;
    auto is = [&](const char* name) { return equalsNoCaseN(value, valueLength, name); };
    if (is("utf-8") || is("utf8")) return guess;
    if (is("shiftjis") || is("shift-jis") || is("sjis")) return char_encoding_ShiftJIS;
    if (is("GB2312")) return char_encoding_GB2312;
    if (is("Big5")) return char_encoding_Big5;
    if (is("GBK")) return char_encoding_GBK;
    return char_encoding_legacy;
}

// ---- Writing ------------------------------------------------------------------

char* XMLNode::createXMLString(int format, int* size) const
{
    if (size) *size = 0;
    if (!d) return nullptr;
    std::string out;
    Impl::write(out, d, true, format != 0 && g_options.dropWhiteSpace);
    return Impl::toCallerText(out, size);
}

char* XMLNode::createXMLStringElement(int format, int* size) const
{
    if (size) *size = 0;
    if (!d) return nullptr;
    std::string out;
    Impl::write(out, d, false, format != 0 && g_options.dropWhiteSpace);
    return Impl::toCallerText(out, size);
}

XMLError XMLNode::writeToFile(const char* path, const char* encoding, char format) const
{
    FILE* f = path ? std::fopen(path, "wb") : nullptr;
    if (!f) return eXMLErrorCannotOpenWriteFile;
    std::string out;
    if (g_options.encoding == char_encoding_UTF8) out += "\xEF\xBB\xBF";
    bool hasDeclaration = d && (d->declaration || (!d->name && !d->children.empty() && d->children[0]->declaration));
    if (!hasDeclaration) {
        const char* name = g_options.encoding == char_encoding_UTF8       ? "utf-8"
                           : g_options.encoding == char_encoding_ShiftJIS ? "SHIFT-JIS"
                           : encoding                                     ? encoding
                                                                          : "ISO-8859-1";
        out += formatText("<?xml version=\"1.0\" encoding=\"%s\"?>\n", name);
    }
    if (d) Impl::write(out, d, true, format != 0 && g_options.dropWhiteSpace);
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok ? eXMLErrorNone : eXMLErrorCannotWriteFile;
}

// ---- Queries ------------------------------------------------------------------

const char* XMLNode::getName() const
{
    return d ? d->name : nullptr;
}

XMLNode XMLNode::getParentNode() const
{
    return XMLNode(d ? d->parent : nullptr);
}

bool XMLNode::isDeclaration() const
{
    return d && d->declaration;
}

bool XMLNode::isEmpty() const
{
    return d == nullptr;
}

int XMLNode::nChildNode() const
{
    return d ? static_cast<int>(d->children.size()) : 0;
}

int XMLNode::nChildNode(const char* name) const
{
    if (!d || !name) return 0;
    int n = 0;
    for (const Data* c : d->children)
        if (equalsNoCase(c->name, name)) ++n;
    return n;
}

XMLNode XMLNode::getChildNode(int index) const
{
    if (!d || index < 0 || index >= static_cast<int>(d->children.size())) return XMLNode();
    return XMLNode(d->children[static_cast<size_t>(index)]);
}

XMLNode XMLNode::getChildNode(const char* name, int index) const
{
    if (!d || !name) return XMLNode();
    if (index < 0) {
        for (size_t i = d->children.size(); i-- > 0;)
            if (equalsNoCase(d->children[i]->name, name)) return XMLNode(d->children[i]);
        return XMLNode();
    }
    for (Data* c : d->children)
        if (equalsNoCase(c->name, name) && index-- == 0) return XMLNode(c);
    return XMLNode();
}

XMLNode XMLNode::getChildNode(const char* name, int* iterator) const
{
    if (!d || !name) return XMLNode();
    size_t i = iterator && *iterator > 0 ? static_cast<size_t>(*iterator) : 0;
    for (; i < d->children.size(); ++i) {
        if (equalsNoCase(d->children[i]->name, name)) {
            if (iterator) *iterator = static_cast<int>(i + 1);
            return XMLNode(d->children[i]);
        }
    }
    return XMLNode();
}

XMLNode XMLNode::getChildNodeWithAttribute(const char* tag, const char* attributeName, const char* attributeValue,
                                           int* iterator) const
{
    if (!d || !tag || !attributeName) return XMLNode();
    size_t i = iterator && *iterator > 0 ? static_cast<size_t>(*iterator) : 0;
    for (; i < d->children.size(); ++i) {
        const Data* c = d->children[i];
        if (!equalsNoCase(c->name, tag)) continue;
        for (const XMLAttribute& a : c->attributes) {
            if (!equalsNoCase(a.lpszName, attributeName)) continue;
            if (attributeValue && !(a.lpszValue && equalsNoCase(a.lpszValue, attributeValue))) continue;
            if (iterator) *iterator = static_cast<int>(i + 1);
            return XMLNode(d->children[i]);
        }
    }
    return XMLNode();
}

XMLNode XMLNode::getChildNodeByPath(const char* path, char separator) const
{
    if (!d || !path) return XMLNode();
    Data* x = d;
    const char* s = path;
    while (*s) {
        const char* e = s;
        while (*e && *e != separator) ++e;
        if (e != s) {
            Data* next = nullptr;
            for (Data* c : x->children) {
                if (equalsNoCaseN(s, static_cast<size_t>(e - s), c->name)) {
                    next = c;
                    break;
                }
            }
            if (!next) return XMLNode();
            x = next;
        }
        s = *e ? e + 1 : e;
    }
    return XMLNode(x);
}

int XMLNode::nAttribute() const
{
    return d ? static_cast<int>(d->attributes.size()) : 0;
}

XMLAttribute XMLNode::getAttribute(int index) const
{
    if (!d || index < 0 || index >= static_cast<int>(d->attributes.size())) return XMLAttribute{nullptr, nullptr};
    return d->attributes[static_cast<size_t>(index)];
}

const char* XMLNode::getAttributeName(int index) const
{
    return getAttribute(index).lpszName;
}

const char* XMLNode::getAttributeValue(int index) const
{
    return getAttribute(index).lpszValue;
}

const char* XMLNode::getAttribute(const char* name, int* iterator) const
{
    if (!d || !name) return nullptr;
    size_t i = iterator && *iterator > 0 ? static_cast<size_t>(*iterator) : 0;
    for (; i < d->attributes.size(); ++i) {
        if (equalsNoCase(d->attributes[i].lpszName, name)) {
            if (iterator) *iterator = static_cast<int>(i + 1);
            return d->attributes[i].lpszValue;
        }
    }
    return nullptr;
}

bool XMLNode::isAttributeSet(const char* name) const
{
    return Impl::findAttribute(d, name) >= 0;
}

int XMLNode::nText() const
{
    return d ? static_cast<int>(d->texts.size()) : 0;
}

const char* XMLNode::getText(int index) const
{
    if (!d || index < 0 || index >= static_cast<int>(d->texts.size())) return nullptr;
    return d->texts[static_cast<size_t>(index)];
}

int XMLNode::nClear() const
{
    return d ? static_cast<int>(d->clears.size()) : 0;
}

XMLClear XMLNode::getClear(int index) const
{
    if (!d || index < 0 || index >= static_cast<int>(d->clears.size())) return XMLClear{nullptr, nullptr, nullptr};
    return d->clears[static_cast<size_t>(index)];
}

int XMLNode::nElement() const
{
    return d ? static_cast<int>(d->order.size() + d->attributes.size()) : 0;
}

XMLNodeContents XMLNode::enumContents(int index) const
{
    XMLNodeContents c{eNodeNULL, XMLNode(), XMLAttribute{nullptr, nullptr}, nullptr, XMLClear{nullptr, nullptr, nullptr}};
    if (!d || index < 0) return c;
    size_t i = static_cast<size_t>(index);
    if (i < d->attributes.size()) {
        c.etype = eNodeAttribute;
        c.attrib = d->attributes[i];
        return c;
    }
    i -= d->attributes.size();
    if (i >= d->order.size()) return c;
    const Data::Item& item = d->order[i];
    size_t k = static_cast<size_t>(item.index);
    c.etype = item.kind;
    switch (item.kind) {
    case eNodeChild: c.child = XMLNode(d->children[k]); break;
    case eNodeText: c.text = d->texts[k]; break;
    case eNodeClear: c.clear = d->clears[k]; break;
    default: break;
    }
    return c;
}

int XMLNode::positionOfText(int index) const
{
    return Impl::positionOf(d, eNodeText, index);
}

int XMLNode::positionOfText(const char* text) const
{
    return Impl::positionOf(d, eNodeText, Impl::findText(d, text));
}

int XMLNode::positionOfClear(int index) const
{
    return Impl::positionOf(d, eNodeClear, index);
}

int XMLNode::positionOfClear(const char* value) const
{
    return Impl::positionOf(d, eNodeClear, Impl::findClear(d, value));
}

int XMLNode::positionOfChildNode(int index) const
{
    return Impl::positionOf(d, eNodeChild, index);
}

int XMLNode::positionOfChildNode(const XMLNode& child) const
{
    if (!d || !child.d) return -1;
    auto it = std::find(d->children.begin(), d->children.end(), child.d);
    if (it == d->children.end()) return -1;
    return Impl::positionOf(d, eNodeChild, static_cast<int>(it - d->children.begin()));
}

int XMLNode::positionOfChildNode(const char* name, int index) const
{
    return positionOfChildNode(getChildNode(name, index));
}

XMLNode XMLNode::deepCopy() const
{
    if (!d) return XMLNode();
    Data* root = Impl::shallowCopy(d);
    std::vector<std::pair<const Data*, Data*>> work{{d, root}};
    while (!work.empty()) {
        auto [source, target] = work.back();
        work.pop_back();
        for (const Data* c : source->children) {
            Data* copy = Impl::shallowCopy(c);
            copy->parent = target;
            copy->refCount = 1;
            target->children.push_back(copy);
            work.emplace_back(c, copy);
        }
    }
    return XMLNode(root);
}

// ---- Building -----------------------------------------------------------------

XMLNode XMLNode::addChild_WOSD(char* name, char isDeclaration, int position)
{
    if (!d) {
        std::free(name);
        return XMLNode();
    }
    Data* child = new Data;
    child->name = name;
    child->declaration = isDeclaration != 0;
    Impl::attachChild(d, child, position);
    return XMLNode(child);
}

XMLNode XMLNode::addChild(const char* name, char isDeclaration, int position)
{
    if (!d) return XMLNode();
    return addChild_WOSD(dupText(name), isDeclaration, position);
}

XMLNode XMLNode::addChild(XMLNode child, int position)
{
    if (!d || !child.d) return XMLNode();
    for (const Data* x = d; x; x = x->parent)
        if (x == child.d) return XMLNode();  // would become its own ancestor
    Impl::detach(child.d);  // `child` still holds it
    Impl::attachChild(d, child.d, position);
    return child;
}

XMLAttribute* XMLNode::addAttribute_WOSD(char* name, char* value)
{
    if (!d || !name) {
        std::free(name);
        std::free(value);
        return nullptr;
    }
    d->attributes.push_back({name, value});
    return &d->attributes.back();
}

XMLAttribute* XMLNode::addAttribute(const char* name, const char* value)
{
    if (!d || !name) return nullptr;
    return addAttribute_WOSD(dupText(name), dupText(value));
}

const char* XMLNode::addText_WOSD(char* value, int position)
{
    if (!d || !value) {
        std::free(value);
        return nullptr;
    }
    return Impl::insertText(d, value, position);
}

const char* XMLNode::addText(const char* value, int position)
{
    if (!d || !value) return nullptr;
    return addText_WOSD(dupText(value), position);
}

XMLClear* XMLNode::addClear_WOSD(char* value, const char* openTag, const char* closeTag, int position)
{
    if (!d || !value) {
        std::free(value);
        return nullptr;
    }
    XMLClear clear{value, dupText(openTag ? openTag : ""), dupText(closeTag ? closeTag : "")};
    return Impl::insertClear(d, clear, position);
}

XMLClear* XMLNode::addClear(const char* value, const char* openTag, const char* closeTag, int position)
{
    if (!d || !value) return nullptr;
    return addClear_WOSD(dupText(value), openTag, closeTag, position);
}

const char* XMLNode::updateName_WOSD(char* name)
{
    if (!d) {
        std::free(name);
        return nullptr;
    }
    freeText(d->name);
    d->name = name;
    return name;
}

const char* XMLNode::updateName(const char* name)
{
    if (!d) return nullptr;
    return updateName_WOSD(dupText(name));
}

XMLAttribute* XMLNode::updateAttribute_WOSD(char* value, char* newName, const char* oldName)
{
    const char* key = oldName ? oldName : newName;
    if (!d || !key) {
        std::free(value);
        std::free(newName);
        return nullptr;
    }
    int i = Impl::findAttribute(d, key);
    if (i < 0) return addAttribute_WOSD(newName ? newName : dupText(oldName), value);
    XMLAttribute& a = d->attributes[static_cast<size_t>(i)];
    freeText(a.lpszValue);
    a.lpszValue = value;
    if (newName) {
        freeText(a.lpszName);
        a.lpszName = newName;
    }
    return &a;
}

XMLAttribute* XMLNode::updateAttribute(const char* value, const char* newName, const char* oldName)
{
    if (!d || !(oldName || newName)) return nullptr;
    return updateAttribute_WOSD(dupText(value), dupText(newName), oldName);
}

const char* XMLNode::updateText_WOSD(char* value, int index)
{
    if (!d || !value) {
        std::free(value);
        return nullptr;
    }
    if (index < 0 || index >= static_cast<int>(d->texts.size())) return addText_WOSD(value);
    const char*& slot = d->texts[static_cast<size_t>(index)];
    freeText(slot);
    slot = value;
    return value;
}

const char* XMLNode::updateText_WOSD(char* value, const char* oldValue)
{
    if (!d || !value) {
        std::free(value);
        return nullptr;
    }
    int i = Impl::findText(d, oldValue);
    return i < 0 ? addText_WOSD(value) : updateText_WOSD(value, i);
}

const char* XMLNode::updateText(const char* value, int index)
{
    if (!d || !value) return nullptr;
    return updateText_WOSD(dupText(value), index);
}

const char* XMLNode::updateText(const char* value, const char* oldValue)
{
    if (!d || !value) return nullptr;
    return updateText_WOSD(dupText(value), oldValue);
}

XMLClear* XMLNode::updateClear_WOSD(char* value, int index)
{
    if (!d || !value) {
        std::free(value);
        return nullptr;
    }
    if (index < 0 || index >= static_cast<int>(d->clears.size())) return addClear_WOSD(value);
    XMLClear& c = d->clears[static_cast<size_t>(index)];
    freeText(c.lpszValue);
    c.lpszValue = value;
    return &c;
}

XMLClear* XMLNode::updateClear_WOSD(char* value, const char* oldValue)
{
    if (!d || !value) {
        std::free(value);
        return nullptr;
    }
    int i = Impl::findClear(d, oldValue);
    return i < 0 ? addClear_WOSD(value) : updateClear_WOSD(value, i);
}

XMLClear* XMLNode::updateClear(const char* value, int index)
{
    if (!d || !value) return nullptr;
    return updateClear_WOSD(dupText(value), index);
}

XMLClear* XMLNode::updateClear(const char* value, const char* oldValue)
{
    if (!d || !value) return nullptr;
    return updateClear_WOSD(dupText(value), oldValue);
}

void XMLNode::deleteNodeContent()
{
    if (!d) return;
    Data* x = d;
    d = nullptr;
    if (x->parent) {
        ++x->refCount;  // keep it while it leaves its parent
        Impl::detach(x);
    }
    std::vector<Data*> dead;
    Impl::dropContent(x, dead);
    Impl::destroy(dead);
    Impl::release(x);
}

void XMLNode::deleteAttribute(int index)
{
    if (!d || index < 0 || index >= static_cast<int>(d->attributes.size())) return;
    auto it = d->attributes.begin() + index;
    freeText(it->lpszName);
    freeText(it->lpszValue);
    d->attributes.erase(it);
}

void XMLNode::deleteAttribute(const char* name)
{
    deleteAttribute(Impl::findAttribute(d, name));
}

void XMLNode::deleteText(int index)
{
    if (!d || index < 0 || index >= static_cast<int>(d->texts.size())) return;
    freeText(d->texts[static_cast<size_t>(index)]);
    d->texts.erase(d->texts.begin() + index);
    Impl::removeSlot(d, eNodeText, index);
}

void XMLNode::deleteText(const char* value)
{
    deleteText(Impl::findText(d, value));
}

void XMLNode::deleteClear(int index)
{
    if (!d || index < 0 || index >= static_cast<int>(d->clears.size())) return;
    Impl::freeClear(d->clears[static_cast<size_t>(index)]);
    d->clears.erase(d->clears.begin() + index);
    Impl::removeSlot(d, eNodeClear, index);
}

void XMLNode::deleteClear(const char* value)
{
    deleteClear(Impl::findClear(d, value));
}
