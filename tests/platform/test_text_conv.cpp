// Case folding, URL escaping, UTF-16LE copies and masked hex dumps.
#include "platform/text_conv.h"
#include "platform/sys_os.h"

#include <gtest/gtest.h>

#include <ctype.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{

TEST(TextConv, CaseFolding)
{
    char text[] = "Hello, WORLD 09 \xC4\xE4 [`{@";
    EXPECT_EQ(text, lowercase(text));
    EXPECT_STREQ("hello, world 09 \xC4\xE4 [`{@", text);
    EXPECT_EQ(text, uppercase(text));
    EXPECT_STREQ("HELLO, WORLD 09 \xC4\xE4 [`{@", text);
    EXPECT_EQ(nullptr, lowercase(nullptr));
    EXPECT_EQ(nullptr, uppercase(nullptr));
}

TEST(TextConv, UrlRoundTripAllBytes)
{
    std::string all;
    for (int i = 1; i < 256; i++)
        all.push_back((char)i);
    std::vector<char> enc(all.size() * 3 + 1);
    int n = url_encode(all.data(), (int)all.size(), enc.data(), (int)enc.size());
    ASSERT_GT(n, 0);
    EXPECT_EQ((size_t)n, strlen(enc.data()));
    for (int i = 0; i < n; i++) {
        char ch = enc[(size_t)i];
        EXPECT_TRUE(isalnum((unsigned char)ch) || strchr(".-_*+%", ch)) << (int)ch;
    }
    std::vector<char> dec((size_t)n + 1);
    EXPECT_EQ((int)all.size(), url_decode(dec.data(), enc.data(), n));
    EXPECT_EQ(all, std::string(dec.data()));

    // Decoding in place.
    EXPECT_EQ((int)all.size(), url_decode(enc.data(), enc.data(), n));
    EXPECT_EQ(all, std::string(enc.data()));
}

TEST(TextConv, UrlEncodeLimits)
{
    // Heap blocks of exact size so that a write past them is caught.
    std::vector<char> fit(8);
    EXPECT_EQ(7, url_encode("a b/c", 5, fit.data(), 8));
    EXPECT_STREQ("a+b%2Fc", fit.data());
    char out[16];
    EXPECT_EQ(11, url_encode("Az09.-_*~", 9, out, sizeof(out)));
    EXPECT_STREQ("Az09.-_*%7E", out);

    // One byte short: the plain "c" is cut off.
    std::vector<char> seven(7, 'X');
    EXPECT_EQ(6, url_encode("a b/c", 5, seven.data(), 7));
    EXPECT_STREQ("a+b%2F", seven.data());

    // An escape that does not fit with its terminator fails the call.
    std::vector<char> six(6, 'X');
    EXPECT_EQ(0, url_encode("a b/c", 5, six.data(), 6));
    EXPECT_STREQ("", six.data());

    // Plain characters are cut at the last one that fits with the terminator.
    std::vector<char> cut(4, 'X');
    EXPECT_EQ(3, url_encode("abcdef", 6, cut.data(), 4));
    EXPECT_STREQ("abc", cut.data());

    std::vector<char> one(1, 'X');
    EXPECT_EQ(0, url_encode("abc", 3, one.data(), 1));
    EXPECT_EQ('\0', one[0]);

    EXPECT_EQ(0, url_encode(nullptr, 3, out, sizeof(out)));
    EXPECT_EQ(0, url_encode("abc", 0, out, sizeof(out)));
    EXPECT_EQ(0, url_encode("abc", -1, out, sizeof(out)));
    EXPECT_EQ(0, url_encode("abc", 3, out, 0));
    EXPECT_EQ(0, url_encode("abc", 3, nullptr, 8));
}

TEST(TextConv, UrlDecodeIncompleteEscapes)
{
    char out[32];
    // "%" needs two hex digits; otherwise it stays as it is.
    EXPECT_EQ(4, url_decode(out, "a%4g", 4));
    EXPECT_STREQ("a%4g", out);
    EXPECT_EQ(3, url_decode(out, "a%4", 3));
    EXPECT_STREQ("a%4", out);
    EXPECT_EQ(2, url_decode(out, "a%", 2));
    EXPECT_STREQ("a%", out);
    EXPECT_EQ(2, url_decode(out, "%%41", 4));
    EXPECT_STREQ("%A", out);
    EXPECT_EQ(1, url_decode(out, "%41", 3));
    EXPECT_STREQ("A", out);

    // The length bounds the source: no read past it.
    std::vector<char> src = {'x', '%', '4'};
    EXPECT_EQ(3, url_decode(out, src.data(), (int)src.size()));
    EXPECT_STREQ("x%4", out);
    std::vector<char> src2 = {'%', '4', '1'};
    EXPECT_EQ(2, url_decode(out, src2.data(), 2));
    EXPECT_STREQ("%4", out);

    EXPECT_EQ(0, url_decode(out, "abc", 0));
    EXPECT_STREQ("", out);
    EXPECT_EQ(0, url_decode(out, nullptr, 3));
    EXPECT_EQ(0, url_decode(nullptr, "abc", 3));
}

TEST(TextConv, UnicodeCopy)
{
    char *buf = nullptr;
    EXPECT_EQ(6, unicode(&buf, "ab\xE9"));
    ASSERT_NE(nullptr, buf);
    const char expect[] = {'a', 0, 'b', 0, '\xE9', 0};
    EXPECT_EQ(0, memcmp(expect, buf, 6));
    xfree(buf);

    std::string longtext(100, 'q');
    EXPECT_EQ(128, unicode(&buf, longtext.c_str()));
    ASSERT_NE(nullptr, buf);
    for (int i = 0; i < 64; i++) {
        EXPECT_EQ('q', buf[2 * i]);
        EXPECT_EQ(0, buf[2 * i + 1]);
    }
    xfree(buf);

    buf = (char *)1;
    EXPECT_EQ(0, unicode(&buf, nullptr));
    EXPECT_EQ(nullptr, buf);
    EXPECT_EQ(0, unicode(nullptr, "abc"));

    EXPECT_EQ(0, unicode(&buf, ""));
    xfree(buf);
}

TEST(TextConv, MaskedHexRoundTrip)
{
    std::vector<uint8_t> data(256);
    for (int i = 0; i < 256; i++)
        data[(size_t)i] = (uint8_t)i;

    for (int key : {0, 7, 8, 200, 255}) {
        char *text = printmem(data.data(), (int)data.size(), (uint8_t)key);
        ASSERT_NE(nullptr, text);
        ASSERT_EQ(512u, strlen(text));
        for (size_t i = 0; i < 512; i++)
            ASSERT_TRUE(strchr("0123456789ABCDEF", text[i])) << text[i];
        uint8_t *back = scanmem(text, (uint8_t)key);
        ASSERT_NE(nullptr, back);
        EXPECT_EQ(0, memcmp(back, data.data(), data.size())) << "key " << key;
        EXPECT_EQ(0, back[256]);
        xfree(back);

        // Lowercase hex reads the same.
        std::string lower(text);
        for (char &c : lower)
            c = (char)tolower((unsigned char)c);
        back = scanmem(lower.c_str(), (uint8_t)key);
        ASSERT_NE(nullptr, back);
        EXPECT_EQ(0, memcmp(back, data.data(), data.size()));
        xfree(back);
        xfree(text);
    }

    // The mask is 7 - key: key 7 leaves the bytes as they are, key 6 flips bit 0.
    const uint8_t two[] = {0x00, 0xAB};
    char *text = printmem(two, 2, 7);
    EXPECT_STREQ("00AB", text);
    xfree(text);
    text = printmem(two, 2, 6);
    EXPECT_STREQ("01AA", text);
    xfree(text);
    text = printmem(two, 0, 6);
    EXPECT_STREQ("", text);
    xfree(text);
    EXPECT_EQ(nullptr, printmem(nullptr, 2, 0));
    EXPECT_EQ(nullptr, printmem(two, -1, 0));
}

TEST(TextConv, ScanmemRejectsBadText)
{
    EXPECT_EQ(nullptr, scanmem("ABC", 0));  // odd length
    EXPECT_EQ(nullptr, scanmem("0G", 0));   // not hex
    EXPECT_EQ(nullptr, scanmem("00 1", 0)); // blank
    EXPECT_EQ(nullptr, scanmem("-1", 0));
    EXPECT_EQ(nullptr, scanmem(nullptr, 0));
    uint8_t *empty = scanmem("", 0);
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0, empty[0]);
    xfree(empty);
}

} // namespace
