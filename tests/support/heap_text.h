// Test support: a heap copy of exactly the bytes of a text, with or without
// the NUL that receive buffers keep behind their data, so AddressSanitizer
// sees any read or write outside it.
#ifndef TESTS_SUPPORT_HEAP_TEXT_H
#define TESTS_SUPPORT_HEAP_TEXT_H

#include <cstring>
#include <memory>
#include <string>

struct HeapText {
    std::unique_ptr<char[]> buf;
    int len = 0;
    // The first n bytes of text.
    HeapText(const std::string &text, size_t n, bool with_nul)
        : buf(new char[n + (with_nul ? 1 : 0)]), len((int)n)
    {
        if (n) std::memcpy(buf.get(), text.data(), n);
        if (with_nul) buf[n] = '\0';
    }
    explicit HeapText(const std::string &text, bool with_nul = true)
        : HeapText(text, text.size(), with_nul)
    {
    }
    char *data() { return buf.get(); }
    int size() const { return len; }
};

#endif
