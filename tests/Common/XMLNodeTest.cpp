#include "Common/XMLNode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

// Every test starts from the process-wide defaults and leaves them so.
class XMLNodeTest : public ::testing::Test {
protected:
    void SetUp() override { XMLNode::setGlobalOptions(); }
    void TearDown() override
    {
        XMLNode::setGlobalOptions();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    std::string path(const char* name)
    {
        if (dir_.empty()) {
            char tmpl[] = "/tmp/xmlnode-test-XXXXXX";
            dir_ = mkdtemp(tmpl);
        }
        return dir_ + "/" + name;
    }

    static std::string text(const XMLNode& node, int format = 0)
    {
        int size = -1;
        char* s = node.createXMLString(format, &size);
        std::string out = s ? s : "";
        EXPECT_EQ(size, static_cast<int>(out.size()));
        std::free(s);
        return out;
    }

    static void writeBytes(const std::string& file, const std::string& bytes)
    {
        std::ofstream(file, std::ios::binary) << bytes;
    }

    static std::string readBytes(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string dir_;
};

XMLResults parse(const char* s, XMLNode* out = nullptr, const char* tag = nullptr)
{
    XMLResults r{eXMLErrorNone, -1, -1};
    XMLNode n = XMLNode::parseString(s, tag, &r);
    if (out) *out = n;
    return r;
}

TEST_F(XMLNodeTest, ChatBodyAndHoleCommand)
{
    XMLResults r;
    XMLNode msg = XMLNode::parseString("<msg>word<br/>word</msg>", nullptr, &r);
    EXPECT_EQ(r.error, eXMLErrorNone);
    EXPECT_STREQ(msg.getName(), "msg");
    EXPECT_EQ(msg.nText(), 2);
    EXPECT_EQ(msg.nElement(), 3);
    EXPECT_EQ(msg.positionOfChildNode(0), 1);
    EXPECT_STREQ(msg.getChildNode(0).getName(), "br");

    XMLNode q = XMLNode::parseString("<q cmd='5'><hole fromid='1' gid='2' toid='3'/></q>");
    EXPECT_STREQ(q.getAttribute("cmd"), "5");
    XMLNode hole = q.getChildNode("HOLE");  // names compare ignoring case
    ASSERT_FALSE(hole.isEmpty());
    EXPECT_EQ(hole.nAttribute(), 3);
    EXPECT_STREQ(hole.getAttribute("TOID"), "3");
    EXPECT_EQ(hole.getAttribute("fromip"), nullptr);
    EXPECT_EQ(hole.getParentNode().getName(), q.getName());
}

TEST_F(XMLNodeTest, IteratorsAndLookups)
{
    XMLNode a = XMLNode::parseString("<a><x v='1'/><y/><X v='2' w/><x v='3'/></a>");
    int it = 0;
    EXPECT_STREQ(a.getChildNode("x", &it).getAttribute("v"), "1");
    EXPECT_STREQ(a.getChildNode("x", &it).getAttribute("v"), "2");
    EXPECT_STREQ(a.getChildNode("x", &it).getAttribute("v"), "3");
    EXPECT_TRUE(a.getChildNode("x", &it).isEmpty());
    EXPECT_EQ(a.nChildNode("x"), 3);
    EXPECT_STREQ(a.getChildNode("x", -1).getAttribute("v"), "3");
    EXPECT_STREQ(a.getChildNode("x", 1).getAttribute("v"), "2");
    EXPECT_TRUE(a.getChildNode("x", 3).isEmpty());
    EXPECT_STREQ(a.getChildNodeWithAttribute("x", "V", "2").getName(), "X");
    EXPECT_TRUE(a.getChildNode("x", 1).isAttributeSet("w"));
    EXPECT_EQ(a.getChildNode("x", 1).getAttribute("w"), nullptr);  // written without "="

    XMLNode deep = XMLNode::parseString("<r><s><t>v</t></s></r>");
    EXPECT_STREQ(deep.getChildNodeByPath("S/t").getText(), "v");
    EXPECT_STREQ(deep.getChildNodeByPath("s.t", '.').getName(), "t");
    EXPECT_TRUE(deep.getChildNodeByPath("s/u").isEmpty());

    XMLNode empty;
    EXPECT_EQ(empty.getName(), nullptr);
    EXPECT_EQ(empty.nElement(), 0);
    EXPECT_EQ(empty.getText(), nullptr);
    EXPECT_TRUE(empty.getChildNode("x").isEmpty());
    EXPECT_EQ(empty.createXMLString(), nullptr);
}

TEST_F(XMLNodeTest, Entities)
{
    XMLNode n;
    EXPECT_EQ(parse("<t a='&QUOT;&#x41;'>&lt;b&gt; &amp; &#65;&apos;</t>", &n).error, eXMLErrorNone);
    EXPECT_STREQ(n.getText(), "<b> & A'");
    EXPECT_STREQ(n.getAttribute("a"), "\"A");

    XMLResults r = parse("<t>\n ok &#300; </t>", &n);
    EXPECT_EQ(r.error, eXMLErrorCharacterCodeAbove255);
    EXPECT_TRUE(n.isEmpty());
    EXPECT_EQ(r.nLine, 2);
    EXPECT_EQ(r.nColumn, 5);
    EXPECT_EQ(parse("<t>&nbsp;</t>").error, eXMLErrorUnknownCharacterEntity);
    EXPECT_EQ(parse("<t>a & b</t>").error, eXMLErrorUnknownCharacterEntity);
    EXPECT_EQ(parse("<t>&#65</t>").error, eXMLErrorUnknownCharacterEntity);
    EXPECT_EQ(parse("<t v='&bad;'/>").error, eXMLErrorUnknownCharacterEntity);
}

TEST_F(XMLNodeTest, ErrorsWithLineAndColumn)
{
    struct Case {
        const char* text;
        XMLError error;
        int line, column;
    };
    const Case cases[] = {
        {"<a>\n  <b></c></b></a>", eXMLErrorUnmatchedEndTag, 2, 6},
        {"<a>< b/></a>", eXMLErrorMissingTagName, 1, 4},
        {"<a></>", eXMLErrorMissingEndTagName, 1, 4},
        {"<a>\n<![CDATA[never closed</a>", eXMLErrorUnmatchedEndClearTag, 2, 1},
        {"<a b=>x</a>", eXMLErrorUnexpectedToken, 1, 6},
        {"<a b='open>", eXMLErrorUnexpectedToken, 1, 6},
        {"<a x", eXMLErrorUnexpectedToken, 1, 5},
        {"<a></a junk>", eXMLErrorUnexpectedToken, 1, 8},
        {"<a>\xE4\xB8\xAD\xE6\x96\x87</b>", eXMLErrorUnmatchedEndTag, 1, 6},  // columns count characters
    };
    for (const Case& c : cases) {
        XMLNode n;
        XMLResults r = parse(c.text, &n);
        EXPECT_EQ(r.error, c.error) << c.text;
        EXPECT_EQ(r.nLine, c.line) << c.text;
        EXPECT_EQ(r.nColumn, c.column) << c.text;
        EXPECT_TRUE(n.isEmpty()) << c.text;
        EXPECT_STRNE(XMLNode::getError(r.error), "Unknown");
    }
    EXPECT_STREQ(XMLNode::getError(eXMLErrorUnmatchedEndTag), "Error: Unmatched end tag");
    EXPECT_STREQ(XMLNode::getError(static_cast<XMLError>(99)), "Unknown");
    EXPECT_STREQ(XMLNode::getVersion(), "v2.39");
}

TEST_F(XMLNodeTest, WarningsKeepTheTree)
{
    XMLNode n;
    // An end tag naming an enclosing element closes the ones in between.
    XMLResults r = parse("<a><b><c>x</a><d/>", &n);
    EXPECT_EQ(r.error, eXMLErrorMissingEndTag);
    EXPECT_EQ(n.nChildNode(), 2);
    EXPECT_STREQ(n.getChildNode("a").getChildNode("b").getChildNode("c").getText(), "x");

    // Elements still open at the end are closed there.
    r = parse("<a>\n<b>text", &n);
    EXPECT_EQ(r.error, eXMLErrorMissingEndTag);
    EXPECT_EQ(r.nLine, 2);
    EXPECT_EQ(r.nColumn, 8);
    EXPECT_STREQ(n.getChildNode("b").getText(), "text");

    r = parse("", &n);
    EXPECT_EQ(r.error, eXMLErrorNoXMLTagFound);
    EXPECT_FALSE(n.isEmpty());
    EXPECT_EQ(n.getName(), nullptr);
    EXPECT_EQ(n.nElement(), 0);

    r = parse("just text", &n);
    EXPECT_EQ(r.error, eXMLErrorNoXMLTagFound);
    EXPECT_STREQ(n.getText(), "just text");

    r = parse(nullptr, &n);
    EXPECT_EQ(r.error, eXMLErrorNoElements);
    EXPECT_TRUE(n.isEmpty());
}

TEST_F(XMLNodeTest, TagArgumentAndTopNode)
{
    XMLNode n;
    XMLResults r = parse("<?xml version='1.0'?><root><a/></root>", &n);
    EXPECT_EQ(r.error, eXMLErrorNone);
    EXPECT_EQ(n.getName(), nullptr);  // two top-level elements: the nameless top node
    EXPECT_TRUE(n.getChildNode(0).isDeclaration());
    EXPECT_STREQ(n.getChildNode(0).getAttribute("version"), "1.0");

    EXPECT_EQ(parse("<?xml version='1.0'?><root><a/></root>", &n, "ROOT").error, eXMLErrorNone);
    EXPECT_STREQ(n.getName(), "root");
    EXPECT_EQ(parse("<root><a/></root>", &n, "a").error, eXMLErrorNone);
    EXPECT_STREQ(n.getName(), "a");
    EXPECT_EQ(parse("<root><a/></root>", &n, "zz").error, eXMLErrorFirstTagNotFound);
    EXPECT_TRUE(n.isEmpty());
}

TEST_F(XMLNodeTest, WhiteSpaceClearItemsAndComments)
{
    XMLNode n = XMLNode::parseString("<a>  <b/> \r\n\t <c>  word  </c></a>");
    EXPECT_EQ(n.nText(), 0);
    EXPECT_STREQ(n.getChildNode("c").getText(), "word");

    n = XMLNode::parseString("<a><![CDATA[<x> & ]]><!DOCTYPE html><!-- note --><PRE> <b>&</PRE></a>");
    ASSERT_EQ(n.nClear(), 4);
    EXPECT_STREQ(n.getClear(0).lpszValue, "<x> & ");
    EXPECT_STREQ(n.getClear(1).lpszOpenTag, "<!DOCTYPE");
    EXPECT_STREQ(n.getClear(2).lpszValue, " note ");
    EXPECT_STREQ(n.getClear(3).lpszValue, " <b>&");
    EXPECT_STREQ(n.getClear(3).lpszCloseTag, "</PRE>");
    EXPECT_EQ(n.nChildNode(), 0);

    // A comment inside a text disappears and the text is joined.
    n = XMLNode::parseString("<a>one<!-- c1 -->two<!-- c2 -->three<b/>four<!-- c3 --></a>");
    EXPECT_EQ(n.nText(), 2);
    EXPECT_STREQ(n.getText(0), "onetwothree");
    EXPECT_STREQ(n.getText(1), "four");
    EXPECT_EQ(n.nClear(), 1);
    EXPECT_EQ(n.positionOfClear(0), 3);

    XMLNode::setGlobalOptions(char_encoding_UTF8, 1, 0, 0);
    n = XMLNode::parseString("<a> x <!--c--> y </a>");
    EXPECT_EQ(n.nText(), 2);
    EXPECT_STREQ(n.getText(0), " x ");
    EXPECT_EQ(n.nClear(), 1);
}

TEST_F(XMLNodeTest, MultiByteTextIsNeverMarkup)
{
    // UTF-8: Chinese text around tags and in attributes.
    XMLNode n = XMLNode::parseString("<msg>\xE4\xB8\xAD\xE6\x96\x87<br/>\xE6\xB6\x88 \xE6\x81\xAF</msg>");
    EXPECT_EQ(n.nText(), 2);
    EXPECT_STREQ(n.getText(0), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_STREQ(n.getText(1), "\xE6\xB6\x88 \xE6\x81\xAF");

    // Legacy bytes in UTF-8 mode: a lead byte without its trail bytes does
    // not swallow the markup that follows it.
    n = XMLNode::parseString("<msg>\xE4\xBD</msg>");
    EXPECT_STREQ(n.getName(), "msg");
    EXPECT_STREQ(n.getText(), "\xE4\xBD");

    // A sequence cut off by the end of the text.
    XMLResults r = parse("<a>\xF0\x9F", &n);
    EXPECT_EQ(r.error, eXMLErrorMissingEndTag);
    EXPECT_STREQ(n.getText(), "\xF0\x9F");
    EXPECT_EQ(r.nColumn, 6);

    // GBK text ("中文消息") in GBK and legacy modes; written back unchanged.
    const char* gbk = "<m t='\xD6\xD0\xCE\xC4'>\xD6\xD0\xCE\xC4\xCF\xFB\xCF\xA2</m>";
    for (XMLCharEncoding e : {char_encoding_GBK, char_encoding_legacy}) {
        XMLNode::setGlobalOptions(e);
        n = XMLNode::parseString(gbk);
        EXPECT_STREQ(n.getText(), "\xD6\xD0\xCE\xC4\xCF\xFB\xCF\xA2");
        EXPECT_STREQ(n.getAttribute("t"), "\xD6\xD0\xCE\xC4");
        EXPECT_EQ(text(n), "<m t=\"\xD6\xD0\xCE\xC4\">\xD6\xD0\xCE\xC4\xCF\xFB\xCF\xA2</m>");
    }
    XMLNode::setGlobalOptions(char_encoding_GBK);
    r = parse("<a>\xD6\xD0\xCE\xC4</b>", &n);
    EXPECT_EQ(r.nColumn, 6);  // two double-byte characters
}

TEST_F(XMLNodeTest, WritingEscapesAndForms)
{
    XMLNode file = XMLNode::createXMLTopNode("file");
    file.addAttribute("id", "a\"b<&>'");
    file.addAttribute("flag", nullptr);
    EXPECT_EQ(text(file), "<file id=\"a&quot;b&lt;&amp;&gt;&apos;\" flag/>");

    XMLNode q = XMLNode::parseString("<q cmd='5'><hole fromid='1'/><n>t</n>tail<![CDATA[x]]></q>");
    EXPECT_EQ(text(q), "<q cmd=\"5\"><hole fromid=\"1\"/><n>t</n>tail<![CDATA[x]]></q>");
    EXPECT_EQ(text(q, 1), "<q cmd=\"5\">\n\t<hole fromid=\"1\"/>\n\t<n>t</n>\n\ttail\n\t<![CDATA[x]]>\n</q>\n");
    int size = 0;
    char* content = q.createXMLStringElement(0, &size);
    EXPECT_STREQ(content, "<hole fromid=\"1\"/><n>t</n>tail<![CDATA[x]]>");
    EXPECT_EQ(size, static_cast<int>(std::strlen(content)));
    std::free(content);

    // Without white-space dropping the indented form would add texts.
    XMLNode::setGlobalOptions(char_encoding_UTF8, 1, 0);
    EXPECT_EQ(text(q, 1), text(q, 0));
    XMLNode::setGlobalOptions();

    // Round trip, through both forms.
    const char* doc = "<?xml version=\"1.0\"?><r a=\"1 &amp; 2\"><x>&lt;\xE4\xB8\xAD&gt;</x><y/>z<!--c--></r>";
    XMLNode first = XMLNode::parseString(doc);
    for (int format : {0, 1}) {
        std::string written = text(first, format);
        XMLResults r;
        XMLNode again = XMLNode::parseString(written.c_str(), nullptr, &r);
        EXPECT_EQ(r.error, eXMLErrorNone);
        EXPECT_EQ(text(again), text(first));
    }
    EXPECT_EQ(text(first), doc);

    // A name the parser ended at a blank may end in '?' or '/', and an
    // element may be called PRE; written plainly they would read back as the
    // end of their tag or as the opening of a clear item.
    // Blanks at a text's ends, which only references can give it (the
    // reader drops blanks around texts), read back too.
    for (const char* odd : {"<p? a/ b? >t</p? >", "<p/ a?='1'/>", "<r><p/ ></p/ ></r>", "<PRE ><PRE >x</PRE></PRE>",
                            "<r>&#32;a b&#9;<x/>&#10;</r>"}) {
        XMLNode read = XMLNode::parseString(odd);
        ASSERT_FALSE(read.isEmpty()) << odd;
        for (int format : {0, 1}) {
            std::string written = text(read, format);
            XMLResults r;
            XMLNode again = XMLNode::parseString(written.c_str(), nullptr, &r);
            EXPECT_EQ(r.error, eXMLErrorNone) << written;
            EXPECT_EQ(text(again), text(read)) << written;
        }
    }
    XMLNode blanks = XMLNode::parseString("<r>&#32;a b&#9;<x/>&#10;</r>");
    ASSERT_EQ(blanks.nText(), 2);
    EXPECT_STREQ(blanks.getText(0), " a b\t");
    EXPECT_STREQ(XMLNode::parseString(text(blanks).c_str()).getText(1), "\n");
}

TEST_F(XMLNodeTest, BuildingAndHandles)
{
    XMLNode root = XMLNode::createXMLTopNode("r");
    XMLNode b = root.addChild("b");
    root.addText("t1");
    root.addChild("a", 0, 0);
    root.addText("t0", 0);
    root.addClear("c", "<!--", "-->", 2);
    EXPECT_EQ(text(root), "<r>t0<a/><!--c--><b/>t1</r>");
    EXPECT_STREQ(root.getText(0), "t0");
    EXPECT_EQ(root.positionOfText("t1"), 4);
    EXPECT_EQ(root.positionOfChildNode(b), 3);
    EXPECT_EQ(root.enumContents(1).etype, eNodeChild);
    EXPECT_STREQ(root.enumContents(1).child.getName(), "a");

    b.updateAttribute("1", "k");
    b.updateAttribute("2", "K2", "k");
    EXPECT_STREQ(b.getAttributeName(0), "K2");
    EXPECT_STREQ(b.getAttributeValue(0), "2");
    EXPECT_EQ(root.enumContents(0).etype, eNodeText);
    root.updateText("T1", root.getText(1));
    root.deleteText(0);
    root.deleteClear("c");
    EXPECT_EQ(text(root), "<r><a/><b K2=\"2\"/>T1</r>");

    char* owned = static_cast<char*>(std::malloc(4));
    std::strcpy(owned, "own");
    root.addText_WOSD(owned);
    EXPECT_EQ(root.getText(1), owned);

    // Moving a child detaches it; a node cannot become its own ancestor.
    XMLNode a = root.getChildNode("a");
    b.addChild(a);
    EXPECT_EQ(root.nChildNode(), 1);
    EXPECT_EQ(b.nChildNode("a"), 1);
    EXPECT_TRUE(a.addChild(root).isEmpty());

    // A deep copy is independent; a child handle outlives its parent.
    XMLNode copy = root.deepCopy();
    root.updateName("changed");
    EXPECT_STREQ(copy.getName(), "r");
    EXPECT_EQ(text(copy), "<r><b K2=\"2\"><a/></b>T1own</r>");
    root = XMLNode();
    EXPECT_STREQ(b.getName(), "b");
    EXPECT_TRUE(b.getParentNode().isEmpty());

    XMLNode keep = b;
    b.deleteNodeContent();
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(keep.nElement(), 0);
    EXPECT_TRUE(a.getParentNode().isEmpty());
}

TEST_F(XMLNodeTest, FilesAndEncodings)
{
    std::string file = path("doc.xml");
    XMLNode doc = XMLNode::parseString("<r><m>\xE4\xB8\xAD</m></r>");
    ASSERT_EQ(doc.writeToFile(file.c_str()), eXMLErrorNone);
    std::string bytes = readBytes(file);
    EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r>\n", 0), 0u);
    XMLResults r;
    XMLNode back = XMLNode::parseFile(file.c_str(), "r", &r);
    EXPECT_EQ(r.error, eXMLErrorNone);
    EXPECT_STREQ(back.getChildNode("m").getText(), "\xE4\xB8\xAD");
    EXPECT_EQ(XMLNode::guessCharEncoding(bytes.data(), static_cast<int>(bytes.size())), char_encoding_UTF8);

    // A document that carries its own declaration gets no second one.
    XMLNode::parseFile(file.c_str()).writeToFile(file.c_str(), nullptr, 0);
    EXPECT_EQ(readBytes(file), "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?><r><m>\xE4\xB8\xAD</m></r>");

    // UTF-16 little-endian with its byte-order mark ("中" is U+4E2D).
    std::string wide = "\xFF\xFE";
    for (char c : std::string("<a>x</a>")) {
        wide += c;
        wide += '\0';
        if (c == 'x') wide += std::string("\x2D\x4E", 2);
    }
    writeBytes(file, wide);
    back = XMLNode::parseFile(file.c_str(), nullptr, &r);
    EXPECT_EQ(r.error, eXMLErrorNone);
    EXPECT_STREQ(back.getText(), "x\xE4\xB8\xAD");
    writeBytes(file, std::string("\xFF\xFE\x00\xD8<\0", 6));  // unpaired surrogate
    EXPECT_TRUE(XMLNode::parseFile(file.c_str(), nullptr, &r).isEmpty());
    EXPECT_EQ(r.error, eXMLErrorCharConversionError);

    writeBytes(file, "");
    XMLNode::parseFile(file.c_str(), nullptr, &r);
    EXPECT_EQ(r.error, eXMLErrorEmpty);
    XMLNode::parseFile(path("missing.xml").c_str(), nullptr, &r);
    EXPECT_EQ(r.error, eXMLErrorFileNotFound);
    EXPECT_EQ(doc.writeToFile(path("no/such/dir.xml").c_str()), eXMLErrorCannotOpenWriteFile);

    // Legacy encodings: the declaration names the encoding given.
    XMLNode::setGlobalOptions(char_encoding_legacy);
    doc.writeToFile(file.c_str(), "GBK", 0);
    EXPECT_EQ(readBytes(file), "<?xml version=\"1.0\" encoding=\"GBK\"?>\n<r><m>\xE4\xB8\xAD</m></r>");
}

TEST_F(XMLNodeTest, GuessCharEncoding)
{
    auto guess = [](const std::string& s, char useAttribute = 1) {
        return XMLNode::guessCharEncoding(s.data(), static_cast<int>(s.size()), useAttribute);
    };
    const std::string pad = "<root>padding padding padding</root>";
    EXPECT_EQ(guess("<a/>"), char_encoding_error);
    EXPECT_EQ(guess(pad), char_encoding_UTF8);
    EXPECT_EQ(guess("<a>\xD6\xD0\xCE\xC4</a>" + pad), char_encoding_legacy);
    EXPECT_EQ(guess("<?xml version='1.0' encoding='GBK'?>" + pad), char_encoding_GBK);
    EXPECT_EQ(guess("<?xml version='1.0' encoding=\"Shift-JIS\"?>" + pad), char_encoding_ShiftJIS);
    EXPECT_EQ(guess("<?xml version='1.0' encoding='big5'?>" + pad), char_encoding_Big5);
    EXPECT_EQ(guess("<?xml version='1.0' encoding='gb2312'?>" + pad), char_encoding_GB2312);
    EXPECT_EQ(guess("<?xml version='1.0' encoding='ISO-8859-1'?>" + pad), char_encoding_legacy);
    EXPECT_EQ(guess("<?xml version='1.0' encoding='UTF8'?>\xD6\xD0" + pad), char_encoding_legacy);
    EXPECT_EQ(guess("<?xml version='1.0' encoding='GBK'?>" + pad, 0), char_encoding_UTF8);
    std::string wide;  // UTF-16 without a byte-order mark
    for (char c : pad) wide += std::string{c, '\0'};
    EXPECT_EQ(guess(wide), char_encoding_error);
    XMLNode::setGlobalOptions(char_encoding_UTF8, 0);
    EXPECT_EQ(guess(wide), char_encoding_UTF8);
    // A multi-byte character cut off at the end of the buffer is not invalid.
    EXPECT_EQ(guess(pad + "\xE4\xB8"), char_encoding_UTF8);
}

TEST_F(XMLNodeTest, OpenFileHelperReportsInsteadOfExiting)
{
    XMLResults r;
    std::string message;
    std::string missing = path("missing.xml");
    XMLNode n = XMLNode::openFileHelper(missing.c_str(), nullptr, &r, &message);
    EXPECT_TRUE(n.isEmpty());
    EXPECT_EQ(r.error, eXMLErrorFileNotFound);
    EXPECT_EQ(message, "XML Parsing error inside file '" + missing + "'.\nError: File not found\nAt line 0, column 0.\n");

    std::string bad = path("bad.xml");
    writeBytes(bad, "<?xml version='1.0' encoding='GBK'?>\n<a>\n  <b></c>\n</a>\n");
    n = XMLNode::openFileHelper(bad.c_str(), nullptr, &r, &message);
    EXPECT_TRUE(n.isEmpty());
    EXPECT_EQ(r.error, eXMLErrorUnmatchedEndTag);
    EXPECT_EQ(message, "XML Parsing error inside file '" + bad + "'.\nError: Unmatched end tag\nAt line 3, column 6.\n");

    std::string good = path("good.xml");
    writeBytes(good, "<?xml version='1.0' encoding='GBK'?>\n<a><b/></a>\n");
    n = XMLNode::openFileHelper(good.c_str(), "b", &r, &message);
    EXPECT_EQ(r.error, eXMLErrorFirstTagNotFound);
    EXPECT_NE(message.find("First Tag should be 'b'.\n"), std::string::npos);
    n = XMLNode::openFileHelper(good.c_str(), "a", &r, &message);
    EXPECT_STREQ(n.getName(), "a");
    EXPECT_TRUE(message.empty());
    // The encoding guessed from the file now applies to the process.
    XMLNode::parseString("<m>\xD6\xD0</b>", nullptr, &r);
    EXPECT_EQ(r.nColumn, 5);
}

TEST_F(XMLNodeTest, DeepNestingUsesNoCallStack)
{
    const int depth = 100000;
    std::string doc;
    for (int i = 0; i < depth; ++i) doc += "<e>";
    doc += "x";
    for (int i = 0; i < depth; ++i) doc += "</e>";
    XMLResults r;
    XMLNode n = XMLNode::parseString(doc.c_str(), nullptr, &r);
    ASSERT_EQ(r.error, eXMLErrorNone);
    XMLNode copy = n.deepCopy();
    EXPECT_EQ(text(copy), doc);
    n = XMLNode();

    // Unclosed to the end, and comments joining texts many times.
    doc.resize(static_cast<size_t>(depth) * 3);
    for (int i = 0; i < depth; ++i) doc += "a<!---->";
    n = XMLNode::parseString(doc.c_str(), nullptr, &r);
    EXPECT_EQ(r.error, eXMLErrorMissingEndTag);
    XMLNode leaf = n;
    while (leaf.nChildNode()) leaf = leaf.getChildNode();
    EXPECT_EQ(std::strlen(leaf.getText()), static_cast<size_t>(depth));
}

}  // namespace
