/*
 * Tokenizer for header-style text: lines, words and name=value pairs, plus
 * the character tests they use.
 *
 * Positions are byte indexes into the caller's buffer; `max` is the buffer's
 * length. Buffers need not be NUL-terminated at `max`: nothing reads at or
 * beyond it. A NUL inside the buffer also ends the text.
 */
#ifndef PLATFORM_TEXT_SCAN_H
#define PLATFORM_TEXT_SCAN_H

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Word types for GetLineWord. */
#define WORD_TYPE_STRING 1    /* any word; a lone separator is a word of its own */
#define WORD_TYPE_NUM 2       /* digits only, else an empty word */
#define WORD_TYPE_SEPARATOR 3 /* the separator that ends the word */

/* Lines. A line ending in "," continues over the following CR/LF (replaced by
 * blanks in place). GetLineText: 1 when text follows the line, else 0.
 * GetSipLine ends the first line of p_buf in place with NULs: 1, or 0 when no
 * line end lies within max_len; *more becomes 0 when the line used all of it. */
ONVIF_CLIENT_API int GetLineText(char *buf, int cur_line_pos, int max_pos, int *len,
                                 int *next_line_pos);
ONVIF_CLIENT_API int GetSipLine(char *p_buf, int max_len, int *len, int *more);

/* Words: the next word into word_buf (always terminated; a word that does not
 * fit gives an empty word). 1 when text follows the word, else 0. */
ONVIF_CLIENT_API int GetLineWord(char *line, int cur_word_offset, int line_max_len, char *word_buf,
                                 int buf_len, int *next_word_offset, int word_type);

/* name=value among items separated by ",", ";" or "&" (quoted or plain values).
 * The value is cut to value_len - 1 characters and terminated. 1 found, 0 not. */
ONVIF_CLIENT_API int GetNameValuePair(const char *text_buf, int text_len, const char *name,
                                      char *value, int value_len);

/* Character tests: 1 or 0. */
ONVIF_CLIENT_API int is_separator(char ch);
ONVIF_CLIENT_API int is_char(char ch); /* A-Z a-z # @ / */
ONVIF_CLIENT_API int is_num(char ch);  /* 0-9 */
ONVIF_CLIENT_API int
is_integer(const char *p_str); /* digits only (the empty text too); 0 for null */

#ifdef __cplusplus
}
#endif

#endif
