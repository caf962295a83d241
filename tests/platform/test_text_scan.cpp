// Tokenizer: lines, words and name=value pairs, including buffers that are
// not NUL-terminated at their length (held in exact-size heap blocks so that
// AddressSanitizer sees any read past the end).
#include "platform/text_scan.h"

#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>
#include <vector>

namespace
{

// Copy of text without any terminator, in a heap block of exactly its size.
struct Exact {
    explicit Exact(const std::string &text) : bytes(text.begin(), text.end()) {}
    char *data() { return bytes.data(); }
    int size() const { return (int)bytes.size(); }
    std::vector<char> bytes;
};

TEST(TextScan, CharacterClasses)
{
    const char seps[] = " \t\r\n,:{}()'\"?<>=;";
    for (const char *p = seps; *p; p++)
        EXPECT_EQ(1, is_separator(*p)) << "char " << (int)*p;
    EXPECT_EQ(1, is_separator('\0'));
    for (char ch : std::string("aZ0/-_.&@#"))
        EXPECT_EQ(0, is_separator(ch)) << ch;

    EXPECT_EQ(1, is_char('A'));
    EXPECT_EQ(1, is_char('z'));
    EXPECT_EQ(1, is_char('#'));
    EXPECT_EQ(1, is_char('@'));
    EXPECT_EQ(1, is_char('/'));
    EXPECT_EQ(0, is_char('0'));
    EXPECT_EQ(0, is_char('['));
    EXPECT_EQ(0, is_char((char)0xC4));

    EXPECT_EQ(1, is_num('0'));
    EXPECT_EQ(1, is_num('9'));
    EXPECT_EQ(0, is_num('a'));
    EXPECT_EQ(0, is_num('/'));

    EXPECT_EQ(1, is_integer(""));
    EXPECT_EQ(1, is_integer("0123456789"));
    EXPECT_EQ(0, is_integer("12a"));
    EXPECT_EQ(0, is_integer("-1"));
    EXPECT_EQ(0, is_integer(nullptr));
}

TEST(TextScan, LineTextWalksHeaderLines)
{
    char buf[] = "GET / HTTP/1.1\r\nHost: x\nAccept: y\r\n";
    int max = (int)strlen(buf);
    int len = -1, next = -1;

    EXPECT_EQ(1, GetLineText(buf, 0, max, &len, &next));
    EXPECT_EQ(14, len);
    EXPECT_EQ(16, next);

    int pos = next;
    EXPECT_EQ(1, GetLineText(buf, pos, max, &len, &next));
    EXPECT_EQ(7, len);
    EXPECT_EQ(pos + 8, next);

    pos = next;
    EXPECT_EQ(0, GetLineText(buf, pos, max, &len, &next)); // last line: nothing follows
    EXPECT_EQ(9, len);
    EXPECT_EQ(max, next);

    EXPECT_EQ(0, GetLineText(buf, max, max, &len, &next)); // at the end
    EXPECT_EQ(0, len);
}

TEST(TextScan, LineTextContinuesAfterComma)
{
    char buf[] = "Allow: GET,\r\n POST\r\nX: 1\r\n";
    int max = (int)strlen(buf);
    int len = 0, next = 0;
    EXPECT_EQ(1, GetLineText(buf, 0, max, &len, &next));
    EXPECT_EQ(18, len);
    EXPECT_EQ(0, strncmp(buf, "Allow: GET,   POST", 18));
    EXPECT_EQ(20, next);
}

TEST(TextScan, LineTextStopsAtBufferEnd)
{
    // No line end and no terminator: the line is the whole buffer.
    Exact ex("no line end here");
    int len = 0, next = 0;
    EXPECT_EQ(0, GetLineText(ex.data(), 0, ex.size(), &len, &next));
    EXPECT_EQ(ex.size(), len);
    EXPECT_EQ(ex.size(), next);

    // A CR in the last byte cannot be followed by LF: a lone CR.
    Exact cr("abc\r");
    EXPECT_EQ(0, GetLineText(cr.data(), 0, cr.size(), &len, &next));
    EXPECT_EQ(3, len);
    EXPECT_EQ(3, next);

    // A "," continuation running into the end of the buffer.
    Exact cont("a,\r\n\r\n");
    EXPECT_EQ(0, GetLineText(cont.data(), 0, cont.size(), &len, &next));
    EXPECT_EQ(cont.size(), len);
    EXPECT_EQ(std::string("a,    "), std::string(cont.data(), 6));
}

TEST(TextScan, SipLineEndsLineInPlace)
{
    char buf[] = "Host: x\r\nAccept: y\r\n";
    int len = 0, more = 0;
    EXPECT_EQ(1, GetSipLine(buf, (int)strlen(buf), &len, &more));
    EXPECT_EQ(9, len);
    EXPECT_EQ(1, more);
    EXPECT_STREQ("Host: x", buf);
    EXPECT_EQ('\0', buf[8]);

    char *second = buf + len;
    int rest = (int)strlen(second);
    EXPECT_EQ(1, GetSipLine(second, rest, &len, &more));
    EXPECT_EQ(rest, len);
    EXPECT_EQ(0, more);
    EXPECT_STREQ("Accept: y", second);
}

TEST(TextScan, SipLineEndVariants)
{
    int len = 0, more = 0;

    char lflf[] = "a\n\nb";
    EXPECT_EQ(1, GetSipLine(lflf, 4, &len, &more));
    EXPECT_EQ(3, len);
    EXPECT_EQ(0, lflf[1]);
    EXPECT_EQ(0, lflf[2]);
    EXPECT_EQ(1, more);

    char lonecr[] = "a\rb";
    EXPECT_EQ(1, GetSipLine(lonecr, 3, &len, &more));
    EXPECT_EQ(2, len);
    EXPECT_EQ('b', lonecr[2]);

    char nul[] = "ab\0cd";
    EXPECT_EQ(1, GetSipLine(nul, 5, &len, &more));
    EXPECT_EQ(2, len);

    // No line end inside the buffer (and no terminator after it).
    Exact open("Host: x");
    EXPECT_EQ(0, GetSipLine(open.data(), open.size(), &len, &more));
    EXPECT_EQ(std::string("Host: x"), std::string(open.data(), 7));

    // Line end exactly at the buffer's last byte.
    Exact last("Host: x\r");
    EXPECT_EQ(1, GetSipLine(last.data(), last.size(), &len, &more));
    EXPECT_EQ(8, len);
    EXPECT_EQ(0, more);

    EXPECT_EQ(0, GetSipLine(nullptr, 5, &len, &more));
    EXPECT_EQ(0, GetSipLine(lflf, 0, &len, &more));
}

TEST(TextScan, LineWordTypes)
{
    char word[64];
    int next = -1;

    char digest[] = "  Digest realm";
    int max = (int)strlen(digest);
    EXPECT_EQ(1, GetLineWord(digest, 0, max, word, sizeof(word), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("Digest", word);
    EXPECT_EQ(8, next);
    EXPECT_EQ(0, GetLineWord(digest, 8, max, word, sizeof(word), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("realm", word);
    EXPECT_EQ(max, next);
    EXPECT_EQ(0, GetLineWord(digest, max, max, word, sizeof(word), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("", word);

    char eq[] = "=abc";
    EXPECT_EQ(1, GetLineWord(eq, 0, 4, word, sizeof(word), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("=", word);
    EXPECT_EQ(1, next);

    // A lone separator at the end: nothing follows it.
    char lone[] = "=";
    EXPECT_EQ(0, GetLineWord(lone, 0, 1, word, sizeof(word), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("=", word);
    EXPECT_EQ(1, next);

    char num[] = "12a 34;";
    EXPECT_EQ(1, GetLineWord(num, 0, 7, word, sizeof(word), &next, WORD_TYPE_NUM));
    EXPECT_STREQ("", word);
    EXPECT_EQ(3, next);
    EXPECT_EQ(1, GetLineWord(num, next, 7, word, sizeof(word), &next, WORD_TYPE_NUM));
    EXPECT_STREQ("34", word);
    EXPECT_EQ(6, next);

    char sep[] = "abc:def";
    EXPECT_EQ(1, GetLineWord(sep, 0, 7, word, sizeof(word), &next, WORD_TYPE_SEPARATOR));
    EXPECT_STREQ(":", word);
    EXPECT_EQ(4, next);

    char tail[] = "ab   ";
    EXPECT_EQ(0, GetLineWord(tail, 2, 5, word, sizeof(word), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("", word);
}

TEST(TextScan, LineWordBufferLimits)
{
    char word[8];
    int next = 0;

    // 7 characters plus the terminator fill the 8-byte buffer exactly.
    char fits[] = "abcdefg hij";
    memset(word, 'X', sizeof(word));
    EXPECT_EQ(1, GetLineWord(fits, 0, 11, word, sizeof(word), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("abcdefg", word);
    EXPECT_EQ(7, next);

    // 8 characters do not fit: empty word, the position moves past it.
    char toolong[] = "abcdefgh ij";
    memset(word, 'X', sizeof(word));
    EXPECT_EQ(1, GetLineWord(toolong, 0, 11, word, sizeof(word), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("", word);
    EXPECT_EQ(8, next);

    // A separator word needs two bytes; with one the caller still moves on.
    char one[2];
    char eq[] = "=x";
    EXPECT_EQ(1, GetLineWord(eq, 0, 2, one, 1, &next, WORD_TYPE_STRING));
    EXPECT_STREQ("", one);
    EXPECT_EQ(1, next);

    EXPECT_EQ(0, GetLineWord(eq, 0, 2, word, 0, &next, WORD_TYPE_STRING));
    EXPECT_EQ(0, GetLineWord(nullptr, 0, 2, word, sizeof(word), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("", word);

    // A word running up to the end of an unterminated buffer.
    Exact ex("abc");
    char big[16];
    EXPECT_EQ(0, GetLineWord(ex.data(), 0, ex.size(), big, sizeof(big), &next, WORD_TYPE_STRING));
    EXPECT_STREQ("abc", big);
    EXPECT_EQ(3, next);
}

TEST(TextScan, LineWordWalkTerminates)
{
    // Walking every word of a text ends within a bounded number of calls,
    // whatever the word buffer size.
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

TEST(TextScan, NameValuePairs)
{
    char value[64];
    const char *auth = "realm=\"cam\", nonce=\"abc\"";
    int len = (int)strlen(auth);
    EXPECT_EQ(1, GetNameValuePair(auth, len, "nonce", value, sizeof(value)));
    EXPECT_STREQ("abc", value);
    EXPECT_EQ(1, GetNameValuePair(auth, len, "realm", value, sizeof(value)));
    EXPECT_STREQ("cam", value);
    EXPECT_EQ(0, GetNameValuePair(auth, len, "qop", value, sizeof(value)));
    EXPECT_STREQ("", value);
    EXPECT_EQ(0, GetNameValuePair(auth, len, "Nonce", value, sizeof(value)));

    EXPECT_EQ(1, GetNameValuePair("algorithm=MD5", 13, "algorithm", value, sizeof(value)));
    EXPECT_STREQ("MD5", value);

    // Quoted values may hold separators; names inside values are not matched.
    const char *rfc = "realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                      "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", stale=FALSE, "
                      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
    len = (int)strlen(rfc);
    EXPECT_EQ(1, GetNameValuePair(rfc, len, "qop", value, sizeof(value)));
    EXPECT_STREQ("auth,auth-int", value);
    EXPECT_EQ(1, GetNameValuePair(rfc, len, "stale", value, sizeof(value)));
    EXPECT_STREQ("FALSE", value);
    EXPECT_EQ(1, GetNameValuePair(rfc, len, "opaque", value, sizeof(value)));
    EXPECT_STREQ("5ccc069c403ebaf9f0171e9517f40e41", value);
    EXPECT_EQ(0, GetNameValuePair(rfc, len, "auth", value, sizeof(value)));

    // Query-string style items and a name without value.
    const char *query = "a=1&b=two;flag, c = 3 ";
    len = (int)strlen(query);
    EXPECT_EQ(1, GetNameValuePair(query, len, "b", value, sizeof(value)));
    EXPECT_STREQ("two", value);
    EXPECT_EQ(1, GetNameValuePair(query, len, "flag", value, sizeof(value)));
    EXPECT_STREQ("", value);
    EXPECT_EQ(1, GetNameValuePair(query, len, "c", value, sizeof(value)));
    EXPECT_STREQ("3", value);

    EXPECT_EQ(0, GetNameValuePair(auth, 0, "nonce", value, sizeof(value)));
    EXPECT_EQ(0, GetNameValuePair(nullptr, 5, "nonce", value, sizeof(value)));
}

TEST(TextScan, NameValuePairMalformed)
{
    char value[16];
    // Unterminated quote, for the wanted value and for one that is skipped.
    EXPECT_EQ(0, GetNameValuePair("nonce=\"abc", 10, "nonce", value, sizeof(value)));
    EXPECT_EQ(0, GetNameValuePair("realm=\"abc, nonce=x", 19, "nonce", value, sizeof(value)));
    // Junk where "=" belongs.
    EXPECT_EQ(0, GetNameValuePair("realm x, nonce=1", 16, "nonce", value, sizeof(value)));
    EXPECT_EQ(0, GetNameValuePair("nonce x", 7, "nonce", value, sizeof(value)));
    // A quoted value followed by junk instead of an item end.
    EXPECT_EQ(0, GetNameValuePair("realm=\"a\" b, nonce=1", 20, "nonce", value, sizeof(value)));
    // The length limits the search: the item after it is not seen.
    const char *text = "realm=\"a\", nonce=\"b\"";
    EXPECT_EQ(0, GetNameValuePair(text, 11, "nonce", value, sizeof(value)));
    // A closing quote beyond the length does not count.
    EXPECT_EQ(0, GetNameValuePair(text, 19, "nonce", value, sizeof(value)));
    EXPECT_EQ(1, GetNameValuePair(text, 20, "nonce", value, sizeof(value)));
    EXPECT_STREQ("b", value);
}

TEST(TextScan, NameValuePairCutsToBuffer)
{
    char value[8];
    // Exactly 7 characters fit; 8 are cut to 7.
    const char *fits = "n=\"1234567\"";
    memset(value, 'X', sizeof(value));
    EXPECT_EQ(1, GetNameValuePair(fits, (int)strlen(fits), "n", value, sizeof(value)));
    EXPECT_STREQ("1234567", value);

    const char *longer = "n=\"12345678\", m=abcdefghijkl";
    EXPECT_EQ(1, GetNameValuePair(longer, (int)strlen(longer), "n", value, sizeof(value)));
    EXPECT_STREQ("1234567", value);
    EXPECT_EQ(1, GetNameValuePair(longer, (int)strlen(longer), "m", value, sizeof(value)));
    EXPECT_STREQ("abcdefg", value);

    char one[1] = {'X'};
    EXPECT_EQ(1, GetNameValuePair(longer, (int)strlen(longer), "m", one, 1));
    EXPECT_EQ('\0', one[0]);

    // Unterminated source buffer, value running to its end.
    Exact ex("a=1, n=xyz");
    char big[32];
    EXPECT_EQ(1, GetNameValuePair(ex.data(), ex.size(), "n", big, sizeof(big)));
    EXPECT_STREQ("xyz", big);

    // A name longer than the scanner's word buffer is never matched, and the
    // scan moves past it.
    std::string longname(300, 'k');
    std::string text = longname + "=1, n=2";
    EXPECT_EQ(0,
              GetNameValuePair(text.c_str(), (int)text.size(), longname.c_str(), big, sizeof(big)));
    EXPECT_EQ(1, GetNameValuePair(text.c_str(), (int)text.size(), "n", big, sizeof(big)));
    EXPECT_STREQ("2", big);
}

TEST(TextScan, RandomTextStaysInBounds)
{
    // Random header-like bytes in exact-size blocks: every call stays inside
    // the block, keeps its outputs in range and terminates its word/value.
    const char alphabet[] = "ab=\",;& \t\r\n:\0x1";
    std::mt19937 rng(4242);
    for (int round = 0; round < 2000; round++) {
        int size = 1 + (int)(rng() % 40);
        std::vector<char> buf((size_t)size);
        for (char &c : buf)
            c = alphabet[rng() % (sizeof(alphabet) - 1)];

        std::vector<char> lines = buf;
        int pos = 0;
        for (int guard = 0; guard < 64 && pos < size; guard++) {
            int len = -1, next = -1;
            int more = GetLineText(lines.data(), pos, size, &len, &next);
            ASSERT_GE(len, 0);
            ASSERT_LE(pos + len, size);
            ASSERT_LE(next, size);
            if (!more) break;
            ASSERT_GT(next, pos);
            pos = next;
        }

        std::vector<char> sip = buf;
        int used = -1, more = -1;
        if (GetSipLine(sip.data(), size, &used, &more)) {
            ASSERT_GE(used, 0);
            ASSERT_LE(used, size);
        }

        char word[4];
        pos = 0;
        for (int guard = 0; guard < 64; guard++) {
            int next = -1;
            int type = 1 + (int)(rng() % 3);
            int r = GetLineWord(buf.data(), pos, size, word, sizeof(word), &next, type);
            ASSERT_LT(strlen(word), sizeof(word));
            ASSERT_LE(next, size);
            if (!r || next <= pos) break;
            pos = next;
        }

        char value[5];
        GetNameValuePair(buf.data(), size, "a", value, sizeof(value));
        ASSERT_LT(strlen(value), sizeof(value));
    }
}

} // namespace
