#include "platform/bstr.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

// "中文消息" in the two code pages and as wide text.
const std::string kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87\xE6\xB6\x88\xE6\x81\xAF";
const std::string kGbk = "\xD6\xD0\xCE\xC4\xCF\xFB\xCF\xA2";
const std::wstring kWide = L"\u4E2D\u6587\u6D88\u606F";

// Every test leaves the ANSI code page as it found it.
class CodePageTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = GetACP(); }
    void TearDown() override
    {
        SetAnsiCodePage(saved_);
        EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    }

private:
    UINT saved_ = CP_UTF8;
};

std::wstring toWide(UINT cp, const std::string& s, DWORD flags = 0)
{
    int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (n > 0) {
        EXPECT_EQ(MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), &w[0], n), n);
    }
    return w;
}

}  // namespace

TEST_F(CodePageTest, ChineseBetweenUtf8AndGbkBothWays)
{
    EXPECT_EQ(ConvertCodePage(CP_UTF8, CP_GBK, kUtf8), kGbk);
    EXPECT_EQ(ConvertCodePage(CP_GBK, CP_UTF8, kGbk), kUtf8);
    EXPECT_EQ(MultiByteToWide(CP_GBK, kGbk), kWide);
    EXPECT_EQ(MultiByteToWide(CP_UTF8, kUtf8), kWide);
    EXPECT_EQ(WideToMultiByte(CP_GBK, kWide), kGbk);
    EXPECT_EQ(WideToMultiByte(CP_UTF8, kWide), kUtf8);

    // ASCII around the Chinese passes unchanged.
    EXPECT_EQ(ConvertCodePage(CP_UTF8, CP_GBK, "id=7 " + kUtf8 + " ok"), "id=7 " + kGbk + " ok");

    // A text far longer than one conversion buffer, both ways.
    std::string longUtf8, longGbk;
    for (int i = 0; i < 1000; ++i) {
        longUtf8 += kUtf8 + "x";
        longGbk += kGbk + "x";
    }
    EXPECT_EQ(ConvertCodePage(CP_UTF8, CP_GBK, longUtf8), longGbk);
    EXPECT_EQ(ConvertCodePage(CP_GBK, CP_UTF8, longGbk), longUtf8);
}

TEST_F(CodePageTest, AnsiToUtf8FollowsTheAnsiCodePage)
{
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    // With UTF-8 as the ANSI code page both directions keep the bytes.
    EXPECT_EQ(AnsiToUtf8(CString(kUtf8)).str(), kUtf8);
    EXPECT_EQ(Utf8ToAnsi(CString(kUtf8)).str(), kUtf8);

    ASSERT_TRUE(SetAnsiCodePage(CP_GBK));
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_GBK));
    EXPECT_EQ(AnsiToUtf8(CString(kGbk)).str(), kUtf8);
    EXPECT_EQ(Utf8ToAnsi(CString(kUtf8)).str(), kGbk);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(CString("abc" + kGbk))).str(), "abc" + kGbk);
    // CP_ACP names the current ANSI code page in the low-level functions too.
    EXPECT_EQ(toWide(CP_ACP, kGbk), kWide);

    ASSERT_TRUE(SetAnsiCodePage(CP_UTF8));
    EXPECT_EQ(AnsiToUtf8(CString(kUtf8)).str(), kUtf8);
    EXPECT_EQ(toWide(CP_ACP, kUtf8), kWide);

    // Unknown code pages, and CP_ACP itself, are refused and change nothing.
    EXPECT_FALSE(SetAnsiCodePage(12345));
    EXPECT_FALSE(SetAnsiCodePage(CP_ACP));
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    EXPECT_EQ(MultiByteToWideChar(12345, 0, "abc", 3, nullptr, 0), 0);
    wchar_t w[4] = L"abc";
    EXPECT_EQ(WideCharToMultiByte(12345, 0, w, 3, nullptr, 0, nullptr, nullptr), 0);
}

TEST_F(CodePageTest, EmptyTextGivesEmptyText)
{
    EXPECT_EQ(AnsiToUtf8(CString()).str(), "");
    EXPECT_EQ(Utf8ToAnsi(CString()).str(), "");
    ASSERT_TRUE(SetAnsiCodePage(CP_GBK));
    EXPECT_EQ(AnsiToUtf8(CString()).str(), "");
    EXPECT_EQ(Utf8ToAnsi(CString()).str(), "");
    EXPECT_EQ(ConvertCodePage(CP_GBK, CP_UTF8, ""), "");
    EXPECT_EQ(MultiByteToWide(CP_GBK, ""), L"");
    EXPECT_EQ(WideToMultiByte(CP_GBK, L""), "");
    // The low-level functions report 0 for an empty source.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "", 0, nullptr, 0), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"", 0, nullptr, 0, nullptr, nullptr), 0);
    // With -1 the terminator alone is converted.
    wchar_t w[2] = {L'x', L'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "", -1, w, 2), 1);
    EXPECT_EQ(w[0], L'\0');
}

TEST_F(CodePageTest, CharactersTheTargetLacksBecomeTheDefaultChar)
{
    // An emoji and a Thai letter have no GBK form.
    const std::wstring wide = L"a\U0001F600b\u0E01c";
    BOOL used = FALSE;
    int n = WideCharToMultiByte(CP_GBK, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, &used);
    EXPECT_EQ(n, 5);
    EXPECT_TRUE(used);
    std::string out(static_cast<size_t>(n), '\0');
    used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_GBK, 0, wide.c_str(), static_cast<int>(wide.size()), &out[0], n, nullptr, &used),
              n);
    EXPECT_EQ(out, "a?b?c");
    EXPECT_TRUE(used);

    // A caller's default character replaces them instead.
    char buf[16] = {};
    n = WideCharToMultiByte(CP_GBK, 0, wide.c_str(), static_cast<int>(wide.size()), buf, sizeof buf, "#", &used);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "a#b#c");

    // Text that converts cleanly does not report the default character.
    used = TRUE;
    EXPECT_EQ(WideCharToMultiByte(CP_GBK, 0, kWide.c_str(), static_cast<int>(kWide.size()), nullptr, 0, nullptr, &used),
              8);
    EXPECT_FALSE(used);

    // The same through AnsiToUtf8's counterpart with GBK as the ANSI code page.
    ASSERT_TRUE(SetAnsiCodePage(CP_GBK));
    EXPECT_EQ(Utf8ToAnsi(CString("x\xF0\x9F\x98\x80y" + kUtf8)).str(), "x?y" + kGbk);
}

TEST_F(CodePageTest, UndecodableBytesBecomeReplacementCharacter)
{
    // A stray continuation byte and an invalid lead byte inside UTF-8.
    std::wstring w = toWide(CP_UTF8, "a\x80" "b\xFF" "c");
    EXPECT_EQ(w, L"a\uFFFDb\uFFFDc");

    // Overlong forms and encoded surrogates are not decoded: an overlong '/'
    // must not turn into a path separator.
    w = toWide(CP_UTF8, "a\xC0\xAF" "b\xED\xA0\x80" "c");
    EXPECT_EQ(w.find(L'/'), std::wstring::npos);
    EXPECT_EQ(w.front(), L'a');
    EXPECT_EQ(w.back(), L'c');
    EXPECT_NE(w.find(L'\uFFFD'), std::wstring::npos);
    for (wchar_t ch : w) EXPECT_FALSE(ch >= 0xD800 && ch <= 0xDFFF);

    // A multi-byte sequence cut off at the end: the text before it survives,
    // and the end is marked as replaced.
    w = toWide(CP_UTF8, kUtf8.substr(0, kUtf8.size() - 1));
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(w.substr(0, 3), kWide.substr(0, 3));
    for (size_t i = 3; i < w.size(); ++i) EXPECT_EQ(w[i], L'\uFFFD');

    // GBK: an invalid byte, then a lead byte cut off at the end.
    w = toWide(CP_GBK, "\xD6\xD0" "\xFF" "z" "\xD6");
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(w[0], L'\u4E2D');
    EXPECT_EQ(w[1], L'\uFFFD');
    EXPECT_EQ(w[2], L'z');
    EXPECT_EQ(w.back(), L'\uFFFD');

    // Invalid bytes beyond the first conversion buffer are handled the same.
    std::string big(5000, 'q');
    big[3000] = '\xFF';
    w = toWide(CP_UTF8, big);
    ASSERT_EQ(w.size(), 5000u);
    EXPECT_EQ(w[3000], L'\uFFFD');
    EXPECT_EQ(w[4999], L'q');

    // UTF-8 to GBK through undecodable input keeps the rest.
    EXPECT_EQ(ConvertCodePage(CP_UTF8, CP_GBK, "\xFF" + kUtf8), "?" + kGbk);
}

TEST_F(CodePageTest, ErrorOnInvalidCharsFlag)
{
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, nullptr, 0), 0);
    wchar_t w[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, w, 8), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_GBK, MB_ERR_INVALID_CHARS, "\xD6", 1, w, 8), 0);
    // Valid text converts normally with the flag.
    EXPECT_EQ(MultiByteToWideChar(CP_GBK, MB_ERR_INVALID_CHARS, kGbk.data(), static_cast<int>(kGbk.size()), w, 8), 4);
    EXPECT_EQ(std::wstring(w, 4), kWide);
}

TEST_F(CodePageTest, LengthQueriesAndTerminator)
{
    // Length queries: a destination length of 0 asks for the size only.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8.data(), static_cast<int>(kUtf8.size()), nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_GBK, 0, kGbk.data(), static_cast<int>(kGbk.size()), nullptr, 0), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kWide.data(), 4, nullptr, 0, nullptr, nullptr), 12);
    EXPECT_EQ(WideCharToMultiByte(CP_GBK, 0, kWide.data(), 4, nullptr, 0, nullptr, nullptr), 8);

    // -1 converts up to and including the terminator, and counts it.
    EXPECT_EQ(MultiByteToWideChar(CP_GBK, 0, kGbk.c_str(), -1, nullptr, 0), 5);
    wchar_t w[5];
    std::wmemset(w, L'x', 5);
    EXPECT_EQ(MultiByteToWideChar(CP_GBK, 0, kGbk.c_str(), -1, w, 5), 5);
    EXPECT_EQ(std::wstring(w), kWide);
    EXPECT_EQ(WideCharToMultiByte(CP_GBK, 0, kWide.c_str(), -1, nullptr, 0, nullptr, nullptr), 9);
    char b[9];
    std::memset(b, 'x', sizeof b);
    EXPECT_EQ(WideCharToMultiByte(CP_GBK, 0, kWide.c_str(), -1, b, 9, nullptr, nullptr), 9);
    EXPECT_EQ(std::string(b), kGbk);

    // A destination that is too small gets nothing written past its end.
    wchar_t small[3] = {L'#', L'#', L'#'};
    EXPECT_EQ(MultiByteToWideChar(CP_GBK, 0, kGbk.c_str(), -1, small, 2), 0);
    EXPECT_EQ(small[2], L'#');
    char tiny[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(WideCharToMultiByte(CP_GBK, 0, kWide.c_str(), -1, tiny, 3, nullptr, nullptr), 0);
    EXPECT_EQ(tiny[3], '#');

    // An explicit length may cover zero bytes, which convert like any other.
    const char withZero[] = {'a', '\0', 'b'};
    wchar_t z[3];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, withZero, 3, z, 3), 3);
    EXPECT_EQ(std::wstring(z, 3), std::wstring(L"a\0b", 3));

    // Bad arguments give 0.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, w, 5), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -2, w, 5), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, w, -1), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 5), 0);
}

TEST_F(CodePageTest, BstrRoundTripInBothCodePages)
{
    {
        _bstr_t fromAnsi(kUtf8.c_str());
        EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(fromAnsi)), kWide);
        EXPECT_EQ(fromAnsi.length(), 4u);
        _bstr_t fromWide(kWide.c_str());
        EXPECT_EQ(std::string(static_cast<const char*>(fromWide)), kUtf8);
        EXPECT_TRUE(fromAnsi == fromWide);
    }

    ASSERT_TRUE(SetAnsiCodePage(CP_GBK));
    {
        const CString gbk(kGbk);
        _bstr_t fromAnsi(gbk);
        EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(fromAnsi)), kWide);
        EXPECT_EQ(std::string(static_cast<const char*>(fromAnsi)), kGbk);
        _bstr_t fromWide(kWide.c_str());
        EXPECT_EQ(std::string(static_cast<const char*>(fromWide)), kGbk);
        // Copies share the text and compare equal; a different text does not.
        _bstr_t copy = fromWide;
        EXPECT_TRUE(copy == fromAnsi);
        EXPECT_TRUE(copy != _bstr_t("abc"));
    }

    // Empty and null texts give "" in both forms, never null pointers.
    _bstr_t empty;
    EXPECT_STREQ(static_cast<const char*>(empty), "");
    EXPECT_STREQ(static_cast<const wchar_t*>(empty), L"");
    EXPECT_EQ(empty.length(), 0u);
    EXPECT_TRUE(empty == _bstr_t(""));
    EXPECT_TRUE(empty == _bstr_t(static_cast<const wchar_t*>(nullptr)));
}

TEST_F(CodePageTest, ConversionsFromSeveralThreadsAtOnce)
{
    // Each thread keeps its own converters; mixing directions and code pages
    // on many threads must give the same results as on one.
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                std::string tag = std::to_string(t * 10000 + i);
                bool ok = ConvertCodePage(CP_UTF8, CP_GBK, tag + kUtf8) == tag + kGbk &&
                          ConvertCodePage(CP_GBK, CP_UTF8, kGbk + tag) == kUtf8 + tag &&
                          MultiByteToWide(CP_UTF8, "\xFF" + tag) == L"\uFFFD" + std::wstring(tag.begin(), tag.end()) &&
                          WideToMultiByte(CP_GBK, L"\U0001F600" + kWide) == "?" + kGbk;
                if (!ok) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}
