#include "platform/CString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(CStringTest, FormatLongerThanTheSmallBuffer)
{
    const std::string word(300, 'x');
    CString s;
    s.Format("<%s|%d>", word.c_str(), 42);
    EXPECT_EQ(s.GetLength(), 300 + 5);
    EXPECT_EQ(s.str(), "<" + word + "|42>");

    // Format replaces the text; AppendFormat adds, also past the small buffer.
    s.Format("%d", 7);
    EXPECT_EQ(s, "7");
    s.AppendFormat("%s", word.c_str());
    s.AppendFormat("%s", word.c_str());
    EXPECT_EQ(s.GetLength(), 601);
    EXPECT_EQ(s.Right(3), "xxx");

    // Exactly at the boundary of the small buffer (255 and 256 bytes).
    s.Format("%s", std::string(255, 'a').c_str());
    EXPECT_EQ(s.GetLength(), 255);
    s.Format("%s", std::string(256, 'b').c_str());
    EXPECT_EQ(s.GetLength(), 256);
    EXPECT_EQ(s.str(), std::string(256, 'b'));

    // Formatting a text into itself reads the old value before replacing it.
    CString self("abc");
    self.Format("%s-%s", self.GetString(), self.GetString());
    EXPECT_EQ(self, "abc-abc");
}

TEST(CStringTest, FindAndReverseFindAtTheBounds)
{
    const CString s("a,b,,c");
    EXPECT_EQ(s.Find(','), 1);
    EXPECT_EQ(s.Find(',', 2), 3);
    EXPECT_EQ(s.Find(",,"), 3);
    EXPECT_EQ(s.Find('c', 5), 5);
    EXPECT_EQ(s.Find('c', 6), -1);   // start at the end
    EXPECT_EQ(s.Find('c', 100), -1);  // start past the end
    EXPECT_EQ(s.Find('a', -1), -1);
    EXPECT_EQ(s.Find("c,", 0), -1);
    EXPECT_EQ(s.Find(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(s.ReverseFind(','), 4);
    EXPECT_EQ(s.ReverseFind('a'), 0);
    EXPECT_EQ(s.ReverseFind('z'), -1);
    EXPECT_EQ(CString().ReverseFind('a'), -1);
    EXPECT_EQ(s.FindOneOf("cb"), 2);
    EXPECT_EQ(s.FindOneOf("xyz"), -1);
}

TEST(CStringTest, MidLeftRightClampToTheText)
{
    const CString s("hello");
    EXPECT_EQ(s.Mid(1, 3), "ell");
    EXPECT_EQ(s.Mid(3), "lo");
    EXPECT_EQ(s.Mid(3, 100), "lo");
    EXPECT_EQ(s.Mid(5), "");
    EXPECT_EQ(s.Mid(9, 2), "");
    EXPECT_EQ(s.Mid(-2, 3), "hel");
    EXPECT_EQ(s.Mid(1, -1), "");
    EXPECT_EQ(s.Mid(1, 0x7fffffff), "ello");
    EXPECT_EQ(s.Left(2), "he");
    EXPECT_EQ(s.Left(0), "");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Left(50), "hello");
    EXPECT_EQ(s.Right(2), "lo");
    EXPECT_EQ(s.Right(0), "");
    EXPECT_EQ(s.Right(-3), "");
    EXPECT_EQ(s.Right(50), "hello");
    EXPECT_EQ(CString().Mid(0, 1), "");
}

TEST(CStringTest, ReplaceRemoveInsertDelete)
{
    CString s("a--b--c--");
    EXPECT_EQ(s.Replace("--", "+"), 3);
    EXPECT_EQ(s, "a+b+c+");

    // The replacement may contain the searched text: no endless loop, no rescan.
    s = "aXa";
    EXPECT_EQ(s.Replace("a", "aa"), 2);
    EXPECT_EQ(s, "aaXaa");

    // Overlapping occurrences count from the left.
    s = "aaaa";
    EXPECT_EQ(s.Replace("aa", "b"), 2);
    EXPECT_EQ(s, "bb");

    s = "abc";
    EXPECT_EQ(s.Replace("", "x"), 0);
    EXPECT_EQ(s.Replace(static_cast<const char*>(nullptr), "x"), 0);
    EXPECT_EQ(s.Replace("zz", "x"), 0);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(s.Replace("b", ""), 1);
    EXPECT_EQ(s, "ac");
    EXPECT_EQ(s.Replace("c", nullptr), 1);
    EXPECT_EQ(s, "a");

    s = "x.y.z";
    EXPECT_EQ(s.Replace('.', '/'), 2);
    EXPECT_EQ(s, "x/y/z");
    EXPECT_EQ(s.Remove('/'), 2);
    EXPECT_EQ(s, "xyz");

    EXPECT_EQ(s.Insert(1, "--"), 5);
    EXPECT_EQ(s, "x--yz");
    EXPECT_EQ(s.Insert(99, '!'), 6);
    EXPECT_EQ(s, "x--yz!");
    EXPECT_EQ(s.Insert(-5, '<'), 7);
    EXPECT_EQ(s, "<x--yz!");
    EXPECT_EQ(s.Delete(2, 2), 5);
    EXPECT_EQ(s, "<xyz!");
    EXPECT_EQ(s.Delete(3, 100), 3);
    EXPECT_EQ(s, "<xy");
    EXPECT_EQ(s.Delete(10, 1), 3);
    EXPECT_EQ(s.Delete(0, 0), 3);
}

TEST(CStringTest, TokenizeSkipsEmptyTokensAndEndsWithMinusOne)
{
    const CString s(",,alpha,,beta;gamma,");
    int pos = 0;
    std::vector<std::string> tokens;
    for (CString t = s.Tokenize(",;", pos); pos != -1; t = s.Tokenize(",;", pos)) tokens.push_back(t.str());
    EXPECT_EQ(tokens, (std::vector<std::string>{"alpha", "beta", "gamma"}));
    EXPECT_EQ(pos, -1);

    // The last token ends the text without a delimiter.
    pos = 0;
    const CString t("one two");
    EXPECT_EQ(t.Tokenize(" ", pos), "one");
    EXPECT_EQ(t.Tokenize(" ", pos), "two");
    EXPECT_NE(pos, -1);
    EXPECT_EQ(t.Tokenize(" ", pos), "");
    EXPECT_EQ(pos, -1);
    // Further calls stay at the end.
    EXPECT_EQ(t.Tokenize(" ", pos), "");
    EXPECT_EQ(pos, -1);

    pos = 0;
    EXPECT_EQ(CString("   ").Tokenize(" ", pos), "");
    EXPECT_EQ(pos, -1);
    pos = 0;
    EXPECT_EQ(CString().Tokenize(" ", pos), "");
    EXPECT_EQ(pos, -1);
    pos = 100;
    EXPECT_EQ(t.Tokenize(" ", pos), "");
    EXPECT_EQ(pos, -1);
}

TEST(CStringTest, TrimAndCase)
{
    CString s(" \t\r\n text  with inner  \n");
    s.Trim();
    EXPECT_EQ(s, "text  with inner");
    s = "   ";
    s.Trim();
    EXPECT_TRUE(s.IsEmpty());
    s = "xxabcxx";
    s.Trim("x");
    EXPECT_EQ(s, "abc");
    s = "//path//";
    s.TrimLeft("/");
    EXPECT_EQ(s, "path//");
    s.TrimRight("/");
    EXPECT_EQ(s, "path");
    s = "  left";
    s.TrimRight();
    EXPECT_EQ(s, "  left");
    s.TrimLeft();
    EXPECT_EQ(s, "left");

    // Case changes touch ASCII letters only, never the bytes of multi-byte text.
    s = "Ab\xE4\xB8\xAD" "Cd";
    s.MakeUpper();
    EXPECT_EQ(s, "AB\xE4\xB8\xAD" "CD");
    s.MakeLower();
    EXPECT_EQ(s, "ab\xE4\xB8\xAD" "cd");
    s = "abc";
    EXPECT_EQ(s.MakeReverse(), "cba");
}

TEST(CStringTest, GetBufferAndReleaseBuffer)
{
    CString s("ab");
    char* p = s.GetBuffer(10);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 'a');
    std::strcpy(p, "written");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 7);
    EXPECT_EQ(s, "written");

    p = s.GetBuffer(0);
    p[3] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s, "wri");

    p = s.GetBuffer(20);
    std::memcpy(p, "a\0b", 3);
    s.ReleaseBuffer(3);  // an explicit length keeps zero bytes
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_EQ(s.str(), std::string("a\0b", 3));

    p = s.GetBufferSetLength(5);
    std::memcpy(p, "12345", 5);
    s.ReleaseBuffer(5);
    EXPECT_EQ(s, "12345");

    CString empty;
    p = empty.GetBuffer(0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);
    empty.ReleaseBuffer();
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(CStringTest, ComparisonsAndConcatenation)
{
    CString a("abc"), b("abd");
    EXPECT_LT(a.Compare("abd"), 0);
    EXPECT_GT(b.Compare("abc"), 0);
    EXPECT_EQ(a.Compare("abc"), 0);
    EXPECT_GT(a.Compare(nullptr), 0);
    EXPECT_EQ(CString().Compare(nullptr), 0);
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(b > a);
    EXPECT_TRUE(a == "abc");
    EXPECT_TRUE("abc" == a);
    EXPECT_TRUE(a != b);
    EXPECT_TRUE(a != "ab");

    EXPECT_EQ(CString("Hello").CompareNoCase("hELLO"), 0);
    EXPECT_LT(CString("apple").CompareNoCase("BANANA"), 0);
    EXPECT_GT(CString("Zeta").CompareNoCase("alpha"), 0);
    EXPECT_NE(CString("abc").CompareNoCase("abcd"), 0);
    EXPECT_EQ(CString().CompareNoCase(nullptr), 0);

    // Bytes above 0x7F compare as unsigned: multi-byte text sorts after ASCII.
    EXPECT_GT(CString("\xE4\xB8\xAD").Compare("z"), 0);

    CString c = a + "-" + b + '!';
    EXPECT_EQ(c, "abc-abd!");
    EXPECT_EQ('<' + a, "<abc");
    EXPECT_EQ("x" + a, "xabc");
    c += nullptr;
    EXPECT_EQ(c, "abc-abd!");

    // Texts built from null pointers or negative counts are empty, not crashes.
    EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
    EXPECT_TRUE(CString("abc", -1).IsEmpty());
    EXPECT_TRUE(CString('x', -2).IsEmpty());
    EXPECT_EQ(CString('x', 3), "xxx");
    EXPECT_EQ(CString("abcdef", 3), "abc");
}
