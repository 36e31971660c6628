// EncryptString and DecryptString, raw and hexadecimal.

#include "cls_des.h"
#include "text_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ostrel::des::clsDES;
using ostrel::des::kErrorHexText;
using ostrel::des::TextBuffer;

TEST(DesText, HexOutputIsUpperCaseDigitPairs) {
    clsDES des;
    std::string hex;
    ASSERT_TRUE(des.EncryptString("Crédit 100", hex, "key", true));
    EXPECT_EQ(hex.size(), 2u * 24u);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;

    std::string plain;
    ASSERT_TRUE(des.DecryptString(hex, plain, "key", true));
    EXPECT_EQ(plain, "Crédit 100");
}

TEST(DesText, RawTextKeepsEveryByte) {
    const std::string text("\0\x01\x7F\x80\xE9\xFF zero", 12);
    clsDES des;
    std::string cipher, plain;
    ASSERT_TRUE(des.EncryptString(text, cipher, "key"));
    EXPECT_EQ(cipher.size(), 24u);
    ASSERT_TRUE(des.DecryptString(cipher, plain, "key"));
    EXPECT_EQ(plain, text);
}

TEST(DesText, LowerCaseHexIsRead) {
    clsDES des;
    std::string hex, plain;
    ASSERT_TRUE(des.EncryptString("abc", hex, "key", true));
    for (char& c : hex) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    ASSERT_TRUE(des.DecryptString(hex, plain, "key", true));
    EXPECT_EQ(plain, "abc");
}

TEST(DesText, MalformedHexIsRefused) {
    clsDES des;
    std::string hex;
    ASSERT_TRUE(des.EncryptString("abc", hex, "key", true));
    std::string notDigit = hex, blank = hex;
    notDigit[0] = 'G';
    blank[10] = ' ';
    for (const std::string& bad :
         {hex.substr(1), hex + "0", notDigit, blank, std::string("0x12")}) {
        std::string result = "unchanged";
        EXPECT_EQ(des.DecryptString(bad, result, "key", true).number, kErrorHexText) << bad;
        EXPECT_EQ(result, "unchanged");
    }
}

TEST(DesText, TextBufferGrowsByItsStep) {
    TextBuffer buffer;
    EXPECT_EQ(buffer.capacity(), 1024u);
    for (int i = 0; i < 1025; ++i) {
        buffer.append('x');
    }
    EXPECT_EQ(buffer.capacity(), 2048u);
    EXPECT_EQ(buffer.text(), std::string(1025, 'x'));
    buffer.reset();
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.capacity(), 1024u);
}

} // namespace
