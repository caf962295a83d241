// Small helpers shared by the fuzz targets (not part of the library).
#ifndef FUZZ_FUZZ_COMMON_HPP
#define FUZZ_FUZZ_COMMON_HPP

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// A broken property is a finding: report it and abort so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

namespace fuzz
{

// Heap copy of data with exactly one NUL behind it (the receive-buffer
// convention), so that ASan sees any read or write past the end.
inline char *dup_text(const uint8_t *data, size_t size)
{
    char *p = static_cast<char *>(malloc(size + 1));
    if (!p) abort();
    if (size) memcpy(p, data, size);
    p[size] = '\0';
    return p;
}

// Heap block of exactly size bytes (at least one allocated), filled with a
// non-NUL byte so that a missing terminator shows up as an overrun.
inline char *exact_buf(size_t size)
{
    char *p = static_cast<char *>(malloc(size ? size : 1));
    if (!p) abort();
    memset(p, 'x', size ? size : 1);
    return p;
}

// Whether a field of `size` bytes holds a terminated text.
inline bool terminated(const char *field, size_t size)
{
    return memchr(field, '\0', size) != nullptr;
}

// FNV-1a over the input: a deterministic choice that depends on every byte.
inline uint32_t hash(const uint8_t *data, size_t size)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; i++)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

} // namespace fuzz

#endif
