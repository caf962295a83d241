// Tokenizer for header-style text. Every scan is bounded by the caller's
// length: the buffers are often cut out of a larger receive buffer and are
// not NUL-terminated at their end.
#include "platform/text_scan.h"

#include <string.h>

namespace
{

const char SEPARATORS[] = {' ', '\t', '\r', '\n', ',', ':', '{', '}', '(',
                           ')', '\0', '\'', '"',  '?', '<', '>', '=', ';'};

const int NV_WORD_SIZE = 256;

bool is_blank(char ch)
{
    return ch == ' ' || ch == '\t';
}

bool is_line_end(char ch)
{
    return ch == '\r' || ch == '\n' || ch == '\0';
}

bool is_item_end(char ch)
{
    return ch == ',' || ch == ';' || ch == '&';
}

int skip_blanks(const char *text, int pos, int max)
{
    while (pos < max && is_blank(text[pos]))
        pos++;
    return pos;
}

// Scans from start to the first CR, LF or NUL (or max). A line whose last
// character is "," continues: the CR/LF run after it becomes blanks.
int scan_line(char *buf, int start, int max)
{
    int pos = start;
    for (;;) {
        while (pos < max && !is_line_end(buf[pos]))
            pos++;
        if (pos >= max || buf[pos] == '\0' || pos == start || buf[pos - 1] != ',') return pos;
        while (pos < max && (buf[pos] == '\r' || buf[pos] == '\n'))
            buf[pos++] = ' ';
    }
}

bool text_follows(const char *line, int pos, int max)
{
    return pos < max && line[pos] != '\0';
}

// Reads the word at cur (see GetLineWord); never writes more than buf_len bytes.
int scan_word(const char *line, int cur, int max, char *word, int buf_len, int *next, int type)
{
    if (next) *next = cur;
    if (!word || buf_len <= 0) return 0;
    word[0] = '\0'; // always terminated, also when there is nothing to read
    if (!line || !next || cur < 0) return 0;

    int pos = skip_blanks(line, cur, max);
    *next = pos;
    if (!text_follows(line, pos, max)) return 0;

    int end = pos;
    while (end < max && !is_separator(line[end]))
        end++;
    int wlen = end - pos;
    *next = end;
    bool on_separator = text_follows(line, end, max); // stopped on a non-NUL separator
    if (wlen >= buf_len) return text_follows(line, end, max);

    bool take_separator = false;
    if (type == WORD_TYPE_STRING)
        take_separator = (wlen == 0 && on_separator);
    else if (type == WORD_TYPE_SEPARATOR)
        take_separator = on_separator;
    else if (type == WORD_TYPE_NUM) {
        for (int i = pos; i < end; i++)
            if (!is_num(line[i])) return text_follows(line, end, max);
    }

    if (take_separator) {
        // Always step over the separator so that callers make progress,
        // even when a one-byte buffer cannot hold it.
        if (buf_len >= 2) {
            word[0] = line[end];
            word[1] = '\0';
        }
        *next = end + 1;
        return text_follows(line, end + 1, max);
    }

    memcpy(word, line + pos, (size_t)wlen);
    word[wlen] = '\0';
    return text_follows(line, end, max);
}

// Finds the closing double quote after an opening one at pos; -1 if none.
int find_quote_end(const char *text, int pos, int max)
{
    for (int i = pos + 1; i < max && text[i] != '\0'; i++)
        if (text[i] == '"') return i;
    return -1;
}

// Steps over the value of an item that is not the wanted one. Returns the
// position after the item's end character, or -1 when the text ends or is
// malformed.
int skip_item_value(const char *text, int pos, int len)
{
    int p = skip_blanks(text, pos, len);
    if (p >= len) return -1;
    if (is_item_end(text[p])) return p + 1;
    if (text[p] != '=') return -1;
    p = skip_blanks(text, p + 1, len);
    if (p < len && text[p] == '"') {
        int q = find_quote_end(text, p, len);
        if (q < 0) return -1;
        p = skip_blanks(text, q + 1, len);
    } else {
        while (p < len && text[p] != '\0' && !is_item_end(text[p]))
            p++;
    }
    if (p >= len || !is_item_end(text[p])) return -1;
    return p + 1;
}

// Copies the value that follows a matched name at pos.
int read_item_value(const char *text, int pos, int len, char *value, int value_len)
{
    int p = skip_blanks(text, pos, len);
    if (p >= len || text[p] == '\0' || is_item_end(text[p])) return 1; // a name without value
    if (text[p] != '=') return 0;
    p = skip_blanks(text, p + 1, len);

    int start = p;
    int vlen;
    if (p < len && text[p] == '"') {
        int q = find_quote_end(text, p, len);
        if (q < 0) return 0;
        start = p + 1;
        vlen = q - start;
    } else {
        while (p < len && text[p] != '\0' && !is_item_end(text[p]))
            p++;
        vlen = p - start;
        while (vlen > 0 && (is_blank(text[start + vlen - 1]) || text[start + vlen - 1] == '\r' ||
                            text[start + vlen - 1] == '\n'))
            vlen--;
    }
    if (vlen > value_len - 1) vlen = value_len - 1;
    memcpy(value, text + start, (size_t)vlen);
    value[vlen] = '\0';
    return 1;
}

} // namespace

extern "C" {

int is_separator(char ch)
{
    for (char sep : SEPARATORS)
        if (ch == sep) return 1;
    return 0;
}

int is_char(char ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '#' || ch == '@' ||
           ch == '/';
}

int is_num(char ch)
{
    return ch >= '0' && ch <= '9';
}

int is_integer(const char *p_str)
{
    if (!p_str) return 0;
    for (; *p_str; p_str++)
        if (!is_num(*p_str)) return 0;
    return 1;
}

int GetLineText(char *buf, int cur_line_pos, int max_pos, int *len, int *next_line_pos)
{
    if (len) *len = 0;
    if (next_line_pos) *next_line_pos = cur_line_pos;
    if (!buf || !len || !next_line_pos || cur_line_pos < 0 || cur_line_pos >= max_pos) return 0;

    int stop = scan_line(buf, cur_line_pos, max_pos);
    *len = stop - cur_line_pos;
    int next = stop;
    if (stop < max_pos && buf[stop] == '\r' && stop + 1 < max_pos && buf[stop + 1] == '\n')
        next = stop + 2;
    else if (stop < max_pos && buf[stop] == '\n')
        next = stop + 1;
    *next_line_pos = next;
    if (next == stop) return 0;
    return next < max_pos ? 1 : 0;
}

int GetSipLine(char *p_buf, int max_len, int *len, int *more)
{
    if (more) *more = 1;
    if (len) *len = 0;
    if (!p_buf || !len || !more || max_len <= 0) return 0;

    int stop = scan_line(p_buf, 0, max_len);
    if (stop >= max_len) return 0; // no line end within the buffer

    int used = stop;
    if (p_buf[stop] == '\r') {
        p_buf[stop] = '\0';
        used = stop + 1;
        if (stop + 1 < max_len && p_buf[stop + 1] == '\n') {
            p_buf[stop + 1] = '\0';
            used = stop + 2;
        }
    } else if (p_buf[stop] == '\n') {
        p_buf[stop] = '\0';
        used = stop + 1;
        if (stop + 1 < max_len && p_buf[stop + 1] == '\n') {
            p_buf[stop + 1] = '\0';
            used = stop + 2;
        }
    }
    *len = used;
    if (used == max_len) *more = 0;
    return 1;
}

int GetLineWord(char *line, int cur_word_offset, int line_max_len, char *word_buf, int buf_len,
                int *next_word_offset, int word_type)
{
    return scan_word(line, cur_word_offset, line_max_len, word_buf, buf_len, next_word_offset,
                     word_type);
}

int GetNameValuePair(const char *text_buf, int text_len, const char *name, char *value,
                     int value_len)
{
    if (!value || value_len <= 0) return 0;
    value[0] = '\0';
    if (!text_buf || !name || name[0] == '\0' || text_len < 1) return 0;

    char word[NV_WORD_SIZE];
    int pos = 0;
    while (pos < text_len) {
        int next = pos;
        scan_word(text_buf, pos, text_len, word, NV_WORD_SIZE, &next, WORD_TYPE_STRING);
        if (word[0] != '\0' && strcmp(word, name) == 0)
            return read_item_value(text_buf, next, text_len, value, value_len);
        if (word[0] != '\0' && word[1] == '\0' &&
            is_item_end(word[0])) { // an empty item: ",," or a leading ","
            pos = next;
            continue;
        }
        int after = skip_item_value(text_buf, next, text_len);
        if (after <= pos) return 0;
        pos = after;
    }
    return 0;
}

} // extern "C"
