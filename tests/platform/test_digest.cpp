// SHA-1, MD5, Base64 and digest hex, against published test vectors and
// values computed independently when the tests were written.
#include "platform/encoding.h"
#include "platform/md5.h"
#include "platform/sha1.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

namespace
{

std::string to_hex(const uint8_t *d, size_t n)
{
    std::string s;
    char two[3];
    for (size_t i = 0; i < n; i++) {
        snprintf(two, sizeof(two), "%02x", d[i]);
        s += two;
    }
    return s;
}

// Hashes data fed in pieces of the given size.
std::string sha1_hex(const std::string &data, size_t piece)
{
    sha1_context ctx;
    sha1_starts(&ctx);
    for (size_t off = 0; off < data.size(); off += piece) {
        size_t n = std::min(piece, data.size() - off);
        sha1_update(&ctx, (const uint8_t *)data.data() + off, (uint32_t)n);
    }
    uint8_t out[20];
    sha1_finish(&ctx, out);
    return to_hex(out, 20);
}

std::string md5_hex(const std::string &data, size_t piece)
{
    MD5_CTX ctx;
    MD5Init(&ctx);
    for (size_t off = 0; off < data.size(); off += piece) {
        size_t n = std::min(piece, data.size() - off);
        MD5Update(&ctx, (const uint8_t *)data.data() + off, (uint32_t)n);
    }
    uint8_t out[16];
    MD5Final(out, &ctx);
    return to_hex(out, 16);
}

std::string md5_of(const std::string &data)
{
    uint8_t bin[16];
    char hex[33];
    MD5String(data.data(), (int)data.size(), bin);
    BinToHexStr(bin, hex);
    return hex;
}

// A fixed byte pattern, the same one the reference digests were taken from.
std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = (char)((i * 31 + 7) & 255);
    return s;
}

const size_t PIECES[] = {1, 3, 7, 55, 56, 63, 64, 65, 127, 128, 1000000};

struct Vector {
    std::string data;
    const char *digest;
};

TEST(Sha1, Fips180Vectors)
{
    const Vector vectors[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {pattern(55), "749bbefb28edc4638b28b2b9a9e03ab9a4032b90"},
        {pattern(56), "a5b6e9c29d201c774753ff8e7fb64931656f5e63"},
        {pattern(63), "d1a454409359fc372b4d22b3cea6488d6ba1be00"},
        {pattern(64), "39a0d8b645ad85f1f976731ed112ac9455e28b78"},
        {pattern(65), "d0c96e18890114a14716e9686528d2e3fdba8d9e"},
        {pattern(128), "0060f2a7e34b6e4d459f560197ef93243732a400"},
        {pattern(1000), "414475341017ec91703435a6f290324818f983e9"},
    };
    for (const Vector &v : vectors)
        for (size_t piece : PIECES)
            EXPECT_EQ(v.digest, sha1_hex(v.data, piece))
                << "length " << v.data.size() << " piece " << piece;
}

TEST(Sha1, OneMillionA)
{
    std::string a(1000000, 'a');
    for (size_t piece : {size_t(1000000), size_t(64), size_t(65), size_t(999)})
        EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", sha1_hex(a, piece)) << piece;
}

TEST(Sha1, WsSecurityPasswordDigest)
{
    // PasswordDigest = Base64(SHA-1(nonce + created + password)).
    uint8_t nonce[16];
    for (int i = 0; i < 16; i++)
        nonce[i] = (uint8_t)i;
    const char *created = "2024-05-06T07:08:09Z";
    const char *password = "secret";

    char nonce_b64[32];
    ASSERT_EQ(1, base64_encode(nonce, 16, nonce_b64, sizeof(nonce_b64)));
    EXPECT_STREQ("AAECAwQFBgcICQoLDA0ODw==", nonce_b64);

    sha1_context ctx;
    sha1_starts(&ctx);
    sha1_update(&ctx, nonce, 16);
    sha1_update(&ctx, (const uint8_t *)created, (uint32_t)strlen(created));
    sha1_update(&ctx, (const uint8_t *)password, (uint32_t)strlen(password));
    uint8_t digest[20];
    sha1_finish(&ctx, digest);

    char b64[29];
    ASSERT_EQ(1, base64_encode(digest, 20, b64, sizeof(b64)));
    EXPECT_STREQ("K8N+k9xitbOL0Kty1dVwqUAtz1o=", b64);

    // And back: the nonce text decodes to the nonce bytes.
    uint8_t back[16];
    EXPECT_EQ(16, base64_decode(nonce_b64, (int)strlen(nonce_b64), back, sizeof(back)));
    EXPECT_EQ(0, memcmp(back, nonce, 16));
}

TEST(Md5, Rfc1321Suite)
{
    const Vector vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "0",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {pattern(55), "c9e512626618c9980ef21a96597af94c"},
        {pattern(56), "ecde7caa08e9f5657c863df107cac60a"},
        {pattern(63), "2f0301069e1c40af7f6c8f843b1b13f2"},
        {pattern(64), "b6bf87c24b1bc334e2541387a92b981b"},
        {pattern(65), "f168246f08b6134d66bd2a10343fa9f1"},
        {pattern(128), "3e85b70ffc8df5c735ecf2a8f14f1bee"},
        {pattern(1000), "2b1e78d5765de9e10495a01412a1cf22"},
    };
    for (const Vector &v : vectors) {
        for (size_t piece : PIECES)
            EXPECT_EQ(v.digest, md5_hex(v.data, piece))
                << "length " << v.data.size() << " piece " << piece;
        EXPECT_EQ(v.digest, md5_of(v.data));
    }
}

TEST(Md5, HttpDigestResponse)
{
    // The worked example of RFC 2617 section 3.5, with the challenge's
    // parameters as the server sent them.
    const char *ha1_in = "Mufasa:testrealm@host.com:Circle Of Life";
    const char *ha2_in = "GET:/dir/index.html";
    std::string ha1 = md5_of(ha1_in);
    std::string ha2 = md5_of(ha2_in);
    EXPECT_EQ("939e7578ed9e3c518a452acee763bce9", ha1);
    EXPECT_EQ("39aff3a2bab6126f332b942af96d3366", ha2);
    std::string resp =
        md5_of(ha1 + ":dcd98b7102dd2f0e8b11d0f600bfb0c093:00000001:0a4f113b:auth:" + ha2);
    EXPECT_EQ("6629fae49393a05397450978507c4ef1", resp);
}

TEST(Hex, DigestHexRoundTrip)
{
    uint8_t zero[16] = {0};
    char hex[33];
    memset(hex, 'X', sizeof(hex));
    BinToHexStr(zero, hex);
    EXPECT_STREQ("00000000000000000000000000000000", hex);

    uint8_t bin[16];
    memset(bin, 0xEE, sizeof(bin));
    EXPECT_EQ(1, HexStrToBin(hex, bin));
    EXPECT_EQ(0, memcmp(bin, zero, 16));

    uint8_t all[16];
    for (int i = 0; i < 16; i++)
        all[i] = (uint8_t)(i * 17 + 0x0F);
    BinToHexStr(all, hex);
    EXPECT_STREQ("0f2031425364758697a8b9cadbecfd0e", hex);
    EXPECT_EQ(1, HexStrToBin(hex, bin));
    EXPECT_EQ(0, memcmp(bin, all, 16));
}

TEST(Hex, HexStrToBinRejects)
{
    uint8_t bin[16];
    memset(bin, 0x5A, sizeof(bin));
    const char *bad[] = {
        "0000000000000000000000000000000",   // 31 characters
        "000000000000000000000000000000000", // 33 characters
        "",
        "0000000000000000000000000000000g", // not a hex digit
        "000000000000000000000000000000zz",
        "0000000000000000000000000000000A", // digests are lowercase
        "000000000000000 0000000000000000",
    };
    for (const char *text : bad)
        EXPECT_EQ(0, HexStrToBin(text, bin)) << "'" << text << "'";
    EXPECT_EQ(0, HexStrToBin(nullptr, bin));
    for (uint8_t b : bin)
        EXPECT_EQ(0x5A, b); // untouched by the failures
}

std::string b64(const std::string &in)
{
    char out[128];
    if (base64_encode((const uint8_t *)in.data(), (int)in.size(), out, sizeof(out)) != 1)
        return "<fail>";
    return out;
}

std::string unb64(const std::string &in)
{
    uint8_t out[128];
    int n = base64_decode(in.data(), (int)in.size(), out, sizeof(out));
    if (n < 0) return "<fail>";
    return std::string((const char *)out, (size_t)n);
}

TEST(Base64, Rfc4648Vectors)
{
    const char *plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    const char *coded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    for (int i = 0; i < 7; i++) {
        EXPECT_EQ(coded[i], b64(plain[i]));
        EXPECT_EQ(plain[i], unb64(coded[i]));
    }
    EXPECT_EQ("YWJj", b64("abc"));
    EXPECT_EQ("/+8=", b64("\xff\xef"));
    EXPECT_EQ("\xff\xef", unb64("/+8="));
}

TEST(Base64, DecodeSkipsNoise)
{
    EXPECT_EQ("abc", unb64("YW Jj"));
    EXPECT_EQ("foobar", unb64("Zm9v\r\nYmFy\r\n"));
    EXPECT_EQ("foobar", unb64(" \tZm9vYmFy\xC3\xA9"));
    // A NUL ends the text, whatever the length says.
    EXPECT_EQ("foo", unb64(std::string("Zm9v\0YmFy", 9)));
    // Text starting with NUL.
    EXPECT_EQ("", unb64(std::string("\0Zm9v", 5)));
    uint8_t out[4];
    EXPECT_EQ(0, base64_decode("Zm9v", 0, out, sizeof(out)));
    EXPECT_EQ(-1, base64_decode(nullptr, 4, out, sizeof(out)));
}

TEST(Base64, RandomRoundTrips)
{
    std::mt19937 rng(12345);
    for (int len = 0; len <= 300; len++) {
        std::vector<uint8_t> data((size_t)len);
        for (auto &b : data)
            b = (uint8_t)rng();
        size_t need = 4 * (((size_t)len + 2) / 3) + 1;
        std::vector<char> text(need);
        ASSERT_EQ(1, base64_encode(data.data(), len, text.data(), (int)need)) << len;
        ASSERT_EQ(need - 1, strlen(text.data()));

        // Exact-size output for decoding, and trailing padding/line end.
        std::vector<uint8_t> back((size_t)len);
        std::string coded = std::string(text.data()) + "\r\n";
        ASSERT_EQ(len, base64_decode(coded.data(), (int)coded.size(), back.data(), len)) << len;
        ASSERT_EQ(data, back) << len;
    }
}

TEST(Base64, OutputLimits)
{
    const uint8_t abc[] = {'a', 'b', 'c'};
    // Encoding: four characters need five bytes.
    std::vector<char> five(5, 'X');
    EXPECT_EQ(1, base64_encode(abc, 3, five.data(), 5));
    EXPECT_STREQ("YWJj", five.data());
    std::vector<char> four(4, 'X');
    EXPECT_EQ(0, base64_encode(abc, 3, four.data(), 4));
    EXPECT_EQ(std::string("XXXX"), std::string(four.data(), 4)); // nothing written
    std::vector<char> one(1, 'X');
    EXPECT_EQ(1, base64_encode(abc, 0, one.data(), 1));
    EXPECT_EQ('\0', one[0]);
    EXPECT_EQ(0, base64_encode(abc, -1, five.data(), 5));
    EXPECT_EQ(0, base64_encode(nullptr, 3, five.data(), 5));

    // Decoding: exact room works, padding after a full output is fine,
    // one byte short fails without writing past the buffer.
    std::vector<uint8_t> three(3);
    EXPECT_EQ(3, base64_decode("YWJj", 4, three.data(), 3));
    std::vector<uint8_t> exact1(1);
    EXPECT_EQ(1, base64_decode("YQ==", 4, exact1.data(), 1));
    EXPECT_EQ('a', exact1[0]);
    std::vector<uint8_t> two(2);
    EXPECT_EQ(-1, base64_decode("YWJj", 4, two.data(), 2));
    EXPECT_EQ(-1, base64_decode("Zm9vYmFy", 8, three.data(), 3));
    EXPECT_EQ(-1, base64_decode("YQ==", 4, nullptr, 0));
}

} // namespace
