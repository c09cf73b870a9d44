#include "Common/MD5Crypt.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string md5(const std::string& bytes)
{
    CMD5Crypt crypt;
    CString out;
    crypt.GetMd5String(out, bytes.data(), static_cast<int>(bytes.size()));
    return out.str();
}

std::string hex(const unsigned char digest[16])
{
    CString out;
    for (int i = 0; i < 16; ++i) out.AppendFormat("%02x", digest[i]);
    return out.str();
}

}  // namespace

TEST(MD5CryptTest, TestSuiteOfTheStandard)
{
    EXPECT_EQ(md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(md5("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(md5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5CryptTest, LengthsAroundTheBlockAndPaddingBoundaries)
{
    // 55 bytes leave room for the length in the same block, 56 do not.
    EXPECT_EQ(md5(std::string(55, 'x')), "04364420e25c512fd958a70738aa8f72");
    EXPECT_EQ(md5(std::string(56, 'x')), "668a72d5ba17f08e62dabcafad6db14b");
    EXPECT_EQ(md5(std::string(57, 'x')), "693037871c4a9d3d8685018905cb530a");
    EXPECT_EQ(md5(std::string(63, 'x')), "7dc2ca208106a2f703567bdff99d8981");
    EXPECT_EQ(md5(std::string(64, 'x')), "c1bb4f81d892b2d57947682aeb252456");
    EXPECT_EQ(md5(std::string(65, 'x')), "1bc932052302d074bdec39795fe00cf6");
    EXPECT_EQ(md5(std::string(127, 'x')), "a0b28c1da68705c2ff883fe279b72753");
    EXPECT_EQ(md5(std::string(128, 'x')), "d69cb61a6ee87200676eb0d4b90edbcb");
    EXPECT_EQ(md5(std::string(129, 'x')), "3926841d393c00c3f36260e5ace10dc1");
}

TEST(MD5CryptTest, GetMd5StringAppends)
{
    CMD5Crypt crypt;
    CString out("key:");
    crypt.GetMd5String(out, CString("abc"));
    EXPECT_EQ(out, "key:900150983cd24fb0d6963f7d28e17f72");

    // The same object and output text again: a second digest is added.
    CString twice;
    crypt.GetMd5String(twice, CString("abc"));
    crypt.GetMd5String(twice, CString("abc"));
    EXPECT_EQ(twice.GetLength(), 64);
    EXPECT_EQ(twice, "900150983cd24fb0d6963f7d28e17f72900150983cd24fb0d6963f7d28e17f72");

    // The verify code of a login: password followed directly by a text.
    CString code;
    CString joined;
    joined.Format("%s%s", "secret", "20240305");
    crypt.GetMd5String(code, joined);
    EXPECT_EQ(code, "16daec1a1b525f678c76255831567025");

    // Digits are lower case.
    for (char ch : twice.str()) EXPECT_TRUE((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f')) << ch;
}

TEST(MD5CryptTest, BinaryBytesIncludingZeros)
{
    const std::string bytes("\x00\x01\x00\xFF\x00" "abc\x00", 9);
    EXPECT_EQ(md5(bytes), "04aa9bd909a11d09fa2fa126c87ff403");

    // A CString holding zero bytes is digested whole, by its length.
    CMD5Crypt crypt;
    CString out;
    crypt.GetMd5String(out, CString(bytes));
    EXPECT_EQ(out, "04aa9bd909a11d09fa2fa126c87ff403");

    // Multi-byte text is digested as the bytes it is stored in.
    EXPECT_EQ(md5("\xD6\xD0\xCE\xC4\xCF\xFB\xCF\xA2"), "ab6b0c3de97b0ba2f800326cf698c4b8");
    EXPECT_EQ(md5("\xE4\xB8\xAD\xE6\x96\x87\xE6\xB6\x88\xE6\x81\xAF"), "7a759f4a3a17eea9a1cb9e6030557913");

    // Nothing to digest: a negative length or no data gives the empty digest.
    out.Empty();
    crypt.GetMd5String(out, "abc", -5);
    EXPECT_EQ(out, "d41d8cd98f00b204e9800998ecf8427e");
    out.Empty();
    crypt.GetMd5String(out, nullptr, 10);
    EXPECT_EQ(out, "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(MD5CryptTest, UpdateInPiecesMatchesOneCall)
{
    std::string text;
    for (int i = 0; i < 1000; ++i) text += static_cast<char>((i * 31 + 7) & 0xFF);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    ASSERT_EQ(md5(text), "2b1e78d5765de9e10495a01412a1cf22");

    // Pieces of every awkward size: 1, 63, 64, 65 bytes and the rest.
    CMD5Crypt crypt;
    crypt.Init();
    const unsigned pieces[] = {1, 63, 64, 65, 0, 7, 200};
    unsigned done = 0;
    for (unsigned n : pieces) {
        crypt.Update(bytes + done, n);
        done += n;
    }
    crypt.Update(bytes + done, static_cast<unsigned>(text.size()) - done);
    unsigned char digest[16];
    crypt.Final(digest);
    EXPECT_EQ(hex(digest), "2b1e78d5765de9e10495a01412a1cf22");

    // One million 'a' in pieces of 1000 (a standard long vector).
    const std::string chunk(1000, 'a');
    crypt.Init();
    for (int i = 0; i < 1000; ++i) crypt.Update(reinterpret_cast<const unsigned char*>(chunk.data()), 1000);
    crypt.Final(digest);
    EXPECT_EQ(hex(digest), "7707d6ae4e027c70eea2a935c2296f21");

    // Init starts over after a digest was left unfinished.
    crypt.Update(bytes, 10);
    crypt.Init();
    crypt.Update(reinterpret_cast<const unsigned char*>("abc"), 3);
    crypt.Final(digest);
    EXPECT_EQ(hex(digest), "900150983cd24fb0d6963f7d28e17f72");
}
