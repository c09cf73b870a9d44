// The XML document, as chat bodies, notices and transfer commands from peers
// and the service reach it.
//
// The first byte chooses what the rest is:
//   even: a text to parse. Whatever parses is walked whole, written, and the
//         written text parsed again must write the same text (a document
//         the client passes on reads back as it was).
//   odd:  the parts of a document the client builds from a peer's values
//         (a transfer command with a peer's path as text and values in
//         attributes), split at zero bytes. Written and parsed again, every
//         value must come back exactly and nothing else may appear.
// Bits 1-3 of the first byte pick the character encoding.
#include "Common/XMLNode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const XMLCharEncoding kEncodings[] = {char_encoding_UTF8, char_encoding_GBK,      char_encoding_legacy,
                                      char_encoding_ShiftJIS, char_encoding_Big5, char_encoding_UTF8,
                                      char_encoding_GB2312,   char_encoding_UTF8};

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b = std::string())
{
    fprintf(stderr, "property broken: %s\n  first:  [%s]\n  second: [%s]\n", what, a.c_str(), b.c_str());
    abort();
}

// Touches everything a reader of the document can reach.
size_t Walk(const XMLNode& root)
{
    size_t sum = 0;
    std::vector<XMLNode> stack{root};
    while (!stack.empty()) {
        XMLNode node = stack.back();
        stack.pop_back();
        if (const char* name = node.getName()) sum += strlen(name);
        for (int i = 0; i < node.nAttribute(); ++i) {
            const XMLAttribute a = node.getAttribute(i);
            if (a.lpszName) sum += strlen(a.lpszName);
            if (a.lpszValue) sum += strlen(a.lpszValue);
        }
        for (int i = 0; i < node.nText(); ++i)
            if (const char* t = node.getText(i)) sum += strlen(t);
        for (int i = 0; i < node.nClear(); ++i)
            if (const char* v = node.getClear(i).lpszValue) sum += strlen(v);
        for (int i = 0; i < node.nElement(); ++i) sum += static_cast<size_t>(node.enumContents(i).etype);
        for (int i = 0; i < node.nChildNode(); ++i) stack.push_back(node.getChildNode(i));
    }
    return sum;
}

std::string Write(const XMLNode& node)
{
    char* text = node.createXMLString(0);
    std::string out = text ? text : "";
    free(text);
    return out;
}

void RoundTrip(const std::string& text)
{
    XMLResults results{};
    XMLNode first = XMLNode::parseString(text.c_str(), nullptr, &results);
    if (first.isEmpty()) return;
    Walk(first);
    (void)first.deepCopy();
    const std::string written = Write(first);
    XMLResults again{};
    XMLNode second = XMLNode::parseString(written.c_str(), nullptr, &again);
    const std::string rewritten = Write(second);
    if (rewritten != written) Fail("a written document does not read back as itself", written, rewritten);
}

void BuiltValues(const std::vector<std::string>& parts)
{
    // The values a transfer command carries: a peer's path as the text and
    // ids in attributes.
    XMLNode q = XMLNode::createXMLTopNode("q");
    q.addAttribute("cmd", "13");
    XMLNode file = q.addChild("file");
    std::vector<std::string> values;
    for (size_t i = 1; i < parts.size() && i < 4; ++i) values.push_back(parts[i]);
    static const char* const kNames[] = {"id", "userid", "gid"};
    for (size_t i = 0; i < values.size(); ++i) file.addAttribute(kNames[i], values[i].c_str());
    const std::string text = parts.empty() ? std::string() : parts[0];
    if (!text.empty()) file.addText(text.c_str());
    const std::string written = Write(q);

    XMLResults results{};
    XMLNode back = XMLNode::parseString(written.c_str(), "q", &results);
    if (back.isEmpty() || results.error != eXMLErrorNone) Fail("a built document does not parse", written);
    if (back.nChildNode() != 1 || back.nAttribute() != 1) Fail("a built document gained or lost items", written);
    XMLNode readFile = back.getChildNode("file");
    if (readFile.isEmpty()) Fail("the built child is gone", written);
    if (readFile.nAttribute() != static_cast<int>(values.size()) || readFile.nChildNode() != 0)
        Fail("the built child gained or lost items", written);
    for (size_t i = 0; i < values.size(); ++i) {
        const char* v = readFile.getAttribute(kNames[i]);
        if (!v || values[i] != v) Fail("an attribute value changed", values[i], v ? v : "(none)");
    }
    if (!text.empty()) {
        const char* t = readFile.getText();
        if (readFile.nText() != 1 || !t || text != t) Fail("the text changed", text, t ? t : "(none)");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    XMLNode::setGlobalOptions(kEncodings[(mode >> 1) & 7]);
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if ((mode & 1) == 0) {
        RoundTrip(rest.c_str());  // a text ends at its first zero byte
    } else {
        std::vector<std::string> parts;
        size_t start = 0;
        for (size_t i = 0; i <= rest.size(); ++i) {
            if (i == rest.size() || rest[i] == '\0') {
                parts.push_back(rest.substr(start, i - start));
                start = i + 1;
            }
        }
        BuiltValues(parts);
    }
    return 0;
}
