// Received chat bodies turned into what a pane shows: decoding, the plain
// text, pictures and file offers, and everything a hostile peer could put
// into a message kept from the page's script.
#include "Lum/chat/MessageBody.h"
#include "tests/platform/TempDir.h"
#include "tests/standin/WireFormat.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

class Display : public ::testing::Test {
protected:
    void SetUp() override
    {
        rewrite.filesFolder = (dir.path() + "/").c_str();
        rewrite.webBase = "http://127.0.0.1:8080";
        rewrite.gid = 7;
    }
    std::string Show(const std::string& inner) { return DisplayMarkupOf(standin::PercentEncode(inner), rewrite).str(); }

    TempDir dir;
    DisplayRewrite rewrite;
};

TEST(MessageBody, PercentDecodingAndNotices)
{
    EXPECT_EQ(PercentDecode("a%20b+c%2f%2F%zz%4"), "a b c//%zz%4");
    EXPECT_EQ(PercentDecode("%41%4a%4A"), "AJJ");
    EXPECT_EQ(PercentDecode("%E4%BD%A0"), "\xE4\xBD\xA0");
    // A beginning alone: decoding stops once that much is out.
    EXPECT_EQ(PercentDecode("a%20b+c%2f", 3), "a b");
    EXPECT_EQ(PercentDecode("%E4%BD%A0", 0), "");
    XMLNode body = ParseMessageBody(standin::PercentEncode("hello<info cmd=\"x\" a=\"1\"/>"));
    ASSERT_FALSE(body.isEmpty());
    EXPECT_FALSE(NoticeOf(body, "x").isEmpty());
    EXPECT_TRUE(NoticeOf(body, "y").isEmpty());
    EXPECT_EQ(AttributeText(NoticeOf(body, "x"), "a"), "1");
    EXPECT_EQ(AttributeText(NoticeOf(body, "x"), "b"), "");
    EXPECT_EQ(CleanNoticeName("a'b/c>d"), "abcd");
    EXPECT_EQ(PlainTextOf(ParseMessageBody(standin::PercentEncode("你好<br/>世界"))), "你好世界");
}

TEST_F(Display, FormattingPassesAndTextIsEscaped)
{
    EXPECT_EQ(Show("<span style=\"font-family:'宋体';color:#FF0000\">It's &lt;ok&gt; &amp; \"fine\"</span><br/>"),
              "<msg><span style=\"font-family:宋体;color:#FF0000\">It&#39;s &lt;ok&gt; &amp; &quot;fine&quot;</span>"
              "<br/></msg>");
}

TEST_F(Display, HostileMarkupNeverReachesThePageAsMarkup)
{
    const std::string shown = Show("<script>window.external.HTMLSendMsg()</script>"
                                   "<img src=\"x\" onerror=\"window.external.HTMLCloseDlg()\"/>"
                                   "<span onclick=\"evil()\" style=\"background:url(javascript:evil())\">a</span>"
                                   "<a href=\"javascript:evil()\">link</a>"
                                   "<iframe src=\"http://evil\"></iframe>");
    EXPECT_EQ(shown.find("<script"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("onerror"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("onclick"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("url("), std::string::npos) << shown;
    EXPECT_EQ(shown.find("<a "), std::string::npos) << shown;
    EXPECT_EQ(shown.find("<iframe"), std::string::npos) << shown;
    // What the elements said stays readable, as text.
    EXPECT_NE(shown.find("window.external.HTMLSendMsg()"), std::string::npos) << shown;
    EXPECT_NE(shown.find("link"), std::string::npos) << shown;

    // A body that is not XML at all ("</div>" closing nothing) shows as text.
    const std::string broken = Show("\"quoted\" </div><b>");
    EXPECT_EQ(broken, "<msg>&quot;quoted&quot; &lt;/div&gt;&lt;b&gt;</msg>");
}

TEST_F(Display, PicturesStayInTheFilesFolder)
{
    std::ofstream(dir.file("pic 1#.png")) << "png";
    const std::string there = Show("<span><img id=\"p1\" src=\"file:///pic 1#.png\"/></span>");
    EXPECT_NE(there.find("src=\"file://" + dir.path() + "/pic%201%23.png\""), std::string::npos) << there;
    EXPECT_TRUE(rewrite.missingPictures.empty());

    const std::string missing = Show("<span><img id=\"p2\" src=\"file:///new.png\"/></span>");
    EXPECT_NE(missing.find("http://127.0.0.1:8080/upload/imgloading.gif"), std::string::npos);
    ASSERT_EQ(rewrite.missingPictures.size(), 1u);
    EXPECT_EQ(rewrite.missingPictures[0], "new.png");

    // Names that would leave the folder are never looked up or fetched.
    rewrite.missingPictures.clear();
    for (const char* name : {"../../etc/passwd", "/etc/passwd", "a/../b.png", "..%2Fx.png"}) {
        const std::string shown = Show(std::string("<span><img src=\"file:///") + name + "\"/></span>");
        EXPECT_EQ(shown.find("passwd\""), std::string::npos) << shown;
        EXPECT_NE(shown.find("imgloading.gif"), std::string::npos) << shown;
    }
    EXPECT_TRUE(rewrite.missingPictures.empty());

    // Face pictures of the web server load; pictures from elsewhere do not.
    EXPECT_NE(Show("<img src=\"/upload/face_images/hh.gif\"/>").find("src=\"/upload/face_images/hh.gif\""),
              std::string::npos);
    EXPECT_EQ(Show("<img src=\"http://elsewhere/x.gif\"/>").find("<img"), std::string::npos);
}

TEST_F(Display, FileOffersBecomeOfferBlocksInOrder)
{
    const std::string shown = Show("<file id=\"f1\">C:\\docs\\a&lt;b&gt;.txt</file><file id=\"f2\">/home/u/b c.doc</file>"
                                   "<file id=\"x' onclick='evil()\">bad</file>");
    const size_t first = shown.find("传送文件:a&lt;b&gt;.txt");
    const size_t second = shown.find("传送文件:b c.doc");
    ASSERT_NE(first, std::string::npos) << shown;
    ASSERT_NE(second, std::string::npos) << shown;
    EXPECT_LT(first, second);
    EXPECT_NE(shown.find("onclick='parent.AcceptFile(this.name,7);'"), std::string::npos);
    EXPECT_NE(shown.find("<div id='f1_file' style='display:none;'>C:\\docs\\a&lt;b&gt;.txt</div>"), std::string::npos);
    EXPECT_EQ(shown.find("evil"), std::string::npos) << shown;
    EXPECT_EQ(rewrite.offeredFiles, (std::vector<CString>{"f1", "f2"}));
}

}  // namespace
