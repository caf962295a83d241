// Tokenizer: lines, words and name=value pairs, one table each. Inputs are
// exact-size heap copies, most of them without a terminator, so that
// AddressSanitizer sees any read past the given length.
#include "platform/text_scan.h"
#include "tests/support/heap_text.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace
{

TEST(TextScan, IntegerText)
{
    struct Int {
        const char *text;
        int want;
    };
    for (const Int &i :
         {Int{"", 1}, Int{"0123456789", 1}, Int{"12a", 0}, Int{"-1", 0}, Int{nullptr, 0}})
        EXPECT_EQ(i.want, is_integer(i.text)) << (i.text ? i.text : "(null)");
}

// GetLineText: where a line ends, where the next begins, and the "," that
// continues a line over its line end (blanked in place).
TEST(TextScan, Lines)
{
    const std::string req = "GET / HTTP/1.1\r\nHost: x\nAccept: y\r\n";
    struct Row {
        std::string text;
        bool nul; // a NUL behind the data
        int pos, ret, len, next;
        std::string after; // the buffer's start afterwards ("" = unchanged)
    };
    const Row rows[] = {
        {req, true, 0, 1, 14, 16, ""},
        {req, true, 16, 1, 7, 24, ""},
        {req, true, 24, 0, 9, 35, ""}, // last line: nothing follows
        {req, true, 35, 0, 0, 35, ""}, // at the end
        {"Allow: GET,\r\n POST\r\nX: 1\r\n", true, 0, 1, 18, 20, "Allow: GET,   POST"},
        {"no line end here", false, 0, 0, 16, 16, ""},
        {"abc\r", false, 0, 0, 3, 3, ""},            // a CR in the last byte is a lone CR
        {"a,\r\n\r\n", false, 0, 0, 6, 6, "a,    "}, // a continuation into the end
    };
    for (const Row &r : rows) {
        HeapText in(r.text, r.nul);
        int len = -1, next = -1;
        EXPECT_EQ(r.ret, GetLineText(in.data(), r.pos, in.size(), &len, &next)) << r.text;
        EXPECT_EQ(r.len, len) << r.text << " at " << r.pos;
        EXPECT_EQ(r.next, next) << r.text << " at " << r.pos;
        std::string want = r.after.empty() ? r.text : r.after;
        EXPECT_EQ(want.substr(0, 18), std::string(in.data(), want.substr(0, 18).size()));
    }
}

// GetSipLine ends the first line in place with NULs.
TEST(TextScan, SipLines)
{
    struct Row {
        std::string text;
        bool nul;
        int ret, len, more;
        std::string after; // the first bytes afterwards
    };
    const Row rows[] = {
        {"Host: x\r\nAccept: y\r\n", true, 1, 9, 1, std::string("Host: x\0\0A", 10)},
        {"Accept: y\r\n", true, 1, 11, 0, std::string("Accept: y\0\0", 11)},
        {"a\n\nb", true, 1, 3, 1, std::string("a\0\0b", 4)},
        {"a\rb", true, 1, 2, 1, std::string("a\0b", 3)},
        {std::string("ab\0cd", 5), true, 1, 2, 1, std::string("ab\0cd", 5)},
        {"Host: x", false, 0, 0, 1, "Host: x"},                     // no line end within the buffer
        {"Host: x\r", false, 1, 8, 0, std::string("Host: x\0", 8)}, // ends at the last byte
        {"", false, 0, 0, 1, ""},
    };
    for (const Row &r : rows) {
        HeapText in(r.text, r.nul);
        int len = -1, more = -1;
        EXPECT_EQ(r.ret, GetSipLine(in.data(), in.size(), &len, &more)) << r.text;
        EXPECT_EQ(r.len, len) << r.text;
        EXPECT_EQ(r.more, more) << r.text;
        EXPECT_EQ(r.after, std::string(in.data(), r.after.size())) << r.text;
    }
    int len, more;
    EXPECT_EQ(0, GetSipLine(nullptr, 5, &len, &more));
}

// GetLineWord: the word, the position behind it, and whether text follows,
// for each word type and word buffer size (the buffer is exactly that size).
TEST(TextScan, Words)
{
    const int S = WORD_TYPE_STRING, N = WORD_TYPE_NUM, P = WORD_TYPE_SEPARATOR;
    struct Row {
        std::string text;
        bool nul;
        int pos, size, type, ret;
        const char *word;
        int next;
    };
    const Row rows[] = {
        {"  Digest realm", true, 0, 64, S, 1, "Digest", 8},
        {"  Digest realm", true, 8, 64, S, 0, "realm", 14},
        {"  Digest realm", true, 14, 64, S, 0, "", 14},
        {"=abc", true, 0, 64, S, 1, "=", 1}, // a lone separator is a word
        {"=", true, 0, 64, S, 0, "=", 1},
        {"12a 34;", true, 0, 64, N, 1, "", 3}, // not all digits: empty
        {"12a 34;", true, 3, 64, N, 1, "34", 6},
        {"abc:def", true, 0, 64, P, 1, ":", 4},
        {"ab   ", true, 2, 64, S, 0, "", 5},
        {"abcdefg hij", true, 0, 8, S, 1, "abcdefg", 7}, // 7 + NUL fill 8 bytes
        {"abcdefgh ij", true, 0, 8, S, 1, "", 8},        // 8 do not fit: skipped
        {"=x", true, 0, 1, S, 1, "", 1},                 // no room for "=": still moves on
        {"abc", false, 0, 16, S, 0, "abc", 3},           // up to an unterminated end
    };
    for (const Row &r : rows) {
        HeapText in(r.text, r.nul);
        std::vector<char> word((size_t)r.size, 'X');
        int next = -1;
        EXPECT_EQ(r.ret,
                  GetLineWord(in.data(), r.pos, in.size(), word.data(), r.size, &next, r.type))
            << r.text << " at " << r.pos;
        EXPECT_STREQ(r.word, word.data()) << r.text << " at " << r.pos;
        EXPECT_EQ(r.next, next) << r.text << " at " << r.pos;
    }
    char word[8];
    int next;
    char eq[] = "=x";
    EXPECT_EQ(0, GetLineWord(eq, 0, 2, word, 0, &next, S));
    EXPECT_EQ(0, GetLineWord(nullptr, 0, 2, word, sizeof(word), &next, S));
    EXPECT_STREQ("", word);
}

TEST(TextScan, WordWalkEndsForEveryBufferSize)
{
    char text[] = "a,,b = \"c\" ;d:  {e}(f)?<g>'h' 1234567890123";
    int max = (int)strlen(text);
    for (int size = 1; size <= 12; size++) {
        std::vector<char> word((size_t)size);
        int pos = 0, calls = 0;
        while (calls < 200) {
            int next = pos;
            int more = GetLineWord(text, pos, max, word.data(), size, &next, WORD_TYPE_STRING);
            calls++;
            ASSERT_LT((int)strlen(word.data()), size);
            if (!more) break;
            ASSERT_GT(next, pos) << "no progress at " << pos << " size " << size;
            pos = next;
        }
        EXPECT_LT(calls, 200);
    }
}

// GetNameValuePair over Digest challenges, query strings and broken items.
TEST(TextScan, NameValuePairs)
{
    const std::string auth = "realm=\"cam\", nonce=\"abc\"";
    const std::string rfc = "realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                            "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", stale=FALSE, "
                            "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
    const std::string query = "a=1&b=two;flag, c = 3 ";
    const std::string two = "realm=\"a\", nonce=\"b\"";
    const std::string cut = "n=\"12345678\", m=abcdefghijkl";
    const std::string longname(300, 'k');
    struct Row {
        std::string text;
        bool nul;
        int len; // -1: the whole text
        std::string name;
        int size, ret;
        const char *value;
    };
    const Row rows[] = {
        {auth, true, -1, "nonce", 64, 1, "abc"},
        {auth, true, -1, "realm", 64, 1, "cam"},
        {auth, true, -1, "qop", 64, 0, ""},
        {auth, true, -1, "Nonce", 64, 0, ""}, // names match exactly
        {auth, true, 0, "nonce", 64, 0, ""},
        {"algorithm=MD5", true, -1, "algorithm", 64, 1, "MD5"},
        // Quoted values hold separators; names inside values are not matched.
        {rfc, true, -1, "qop", 64, 1, "auth,auth-int"},
        {rfc, true, -1, "stale", 64, 1, "FALSE"},
        {rfc, true, -1, "opaque", 64, 1, "5ccc069c403ebaf9f0171e9517f40e41"},
        {rfc, true, -1, "auth", 64, 0, ""},
        {query, true, -1, "b", 64, 1, "two"},
        {query, true, -1, "flag", 64, 1, ""}, // a name without value
        {query, true, -1, "c", 64, 1, "3"},
        // Broken items: an open quote, junk where "=" belongs, junk after a
        // quoted value.
        {"nonce=\"abc", true, -1, "nonce", 16, 0, ""},
        {"realm=\"abc, nonce=x", true, -1, "nonce", 16, 0, ""},
        {"realm x, nonce=1", true, -1, "nonce", 16, 0, ""},
        {"nonce x", true, -1, "nonce", 16, 0, ""},
        {"realm=\"a\" b, nonce=1", true, -1, "nonce", 16, 0, ""},
        // The length bounds the search, closing quote included.
        {two, true, 11, "nonce", 16, 0, ""},
        {two, true, 19, "nonce", 16, 0, ""},
        {two, true, 20, "nonce", 16, 1, "b"},
        // Values are cut to the buffer.
        {"n=\"1234567\"", true, -1, "n", 8, 1, "1234567"},
        {cut, true, -1, "n", 8, 1, "1234567"},
        {cut, true, -1, "m", 8, 1, "abcdefg"},
        {cut, true, -1, "m", 1, 1, ""},
        {"a=1, n=xyz", false, -1, "n", 32, 1, "xyz"}, // up to an unterminated end
        // A name longer than the scanner's word is never matched and is passed over.
        {longname + "=1, n=2", true, -1, longname, 32, 0, ""},
        {longname + "=1, n=2", true, -1, "n", 32, 1, "2"},
    };
    for (const Row &r : rows) {
        HeapText in(r.text, r.nul);
        std::vector<char> value((size_t)r.size, 'X');
        int len = r.len < 0 ? in.size() : r.len;
        EXPECT_EQ(r.ret, GetNameValuePair(in.data(), len, r.name.c_str(), value.data(), r.size))
            << r.text << " / " << r.name;
        EXPECT_STREQ(r.value, value.data()) << r.text << " / " << r.name;
    }
    char value[8];
    EXPECT_EQ(0, GetNameValuePair(nullptr, 5, "nonce", value, sizeof(value)));
}

} // namespace
