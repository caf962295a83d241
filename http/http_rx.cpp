// Assembling HTTP messages from a TCP byte stream, for the client
// connection (responses) and the listener connection (requests).

#include "http/http_rx.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "platform/sys_log.h"

namespace
{

const char *rx_name(const HTTP_RX *rx)
{
    return rx->role == HTTP_RX_CLIENT ? "http_cln_rx" : "http_srv_rx";
}

bool is_text_type(uint32_t ctt)
{
    return ctt >= HTTP_CTT_SDP && ctt <= HTTP_CTT_SOAP_XML;
}

// Back to an empty fixed buffer; the heap buffer is freed.
void rx_clear(HTTP_RX *rx)
{
    free(rx->dyn_rcv_buf);
    rx->dyn_rcv_buf = nullptr;
    rx->rbuf = rx->rcv_buf;
    rx->mlen = HTTP_RX_BUF_SIZE - 1;
    rx->dlen = 0;
    rx->hlen = 0;
    rx->clen = 0;
    rx->until_close = 0;
    rx->chunked = 0;
    rx->chunk_pos = 0;
    rx->chunk_out = 0;
    rx->content_type = HTTP_CTT_NONE;
    rx->rcv_buf[0] = '\0';
}

int rx_fail(HTTP_RX *rx)
{
    rx_clear(rx);
    return HTTP_RX_ERROR;
}

// Debug lines of what was received, secrets (credentials, cookies,
// passwords) hidden.
void log_head(const HTTP_RX *rx, const char *head, int len)
{
    if (log_get_level() > LOG_DEBUG) return;
    char *shown = http_redact_for_log(head, len);
    if (rx->role == HTTP_RX_CLIENT)
        log_print(LOG_DEBUG, "RX from %s << %s\r\n", rx->peer, shown ? shown : "");
    else
        log_print(LOG_DEBUG, "RX << %s\r\n", shown ? shown : "");
    free(shown);
}

void log_body(const char *body, int len)
{
    if (log_get_level() > LOG_DEBUG) return;
    char *shown = http_redact_for_log(body, len);
    log_print(LOG_DEBUG, "%s\r\n\r\n", shown ? shown : "");
    free(shown);
}

// Takes a record whose buffer holds `need` bytes and a NUL, copies the head
// into it and parses it. `mismatch_text` names the length in the log line.
HTTP_MSG *rx_parse_head(HTTP_RX *rx, int need, const char *mismatch_text)
{
    const char *name = rx_name(rx);
    HTTP_MSG *msg = need < HTTP_RX_BUF_SIZE ? http_get_msg_buf() : http_get_msg_large_buf(need + 1);
    if (!msg) {
        log_print(LOG_ERROR, "%s, get_msg_buf ret null!!!\r\n", name);
        return nullptr;
    }
    if (msg->msg_buf_size < need + 1) {
        log_print(LOG_ERROR, "%s, msg buf size[%d] < %d!!!\r\n", name, msg->msg_buf_size, need + 1);
        http_free_msg(msg);
        return nullptr;
    }
    memcpy(msg->msg_buf, rx->rbuf, (size_t)rx->hlen);
    msg->msg_buf[rx->hlen] = '\0';
    log_head(rx, msg->msg_buf, rx->hlen);

    int r = http_msg_parse_part1(msg->msg_buf, rx->hlen, msg);
    if (r != rx->hlen) {
        log_print(LOG_ERROR, "%s, http_msg_parse_part1=%d, %s=%d!!!\r\n", name, r, mismatch_text,
                  rx->hlen);
        http_free_msg(msg);
        return nullptr;
    }
    return msg;
}

// The whole message is in the heap buffer: the buffer becomes the message's
// (its head parsed in place, the body left where it is) and the state drops
// it. Null on failure (the buffer is then freed with the state).
HTTP_MSG *rx_adopt(HTTP_RX *rx)
{
    const char *name = rx_name(rx);
    int need = rx->hlen + rx->clen;
    if (rx->mlen > need) {
        // A body that ran until the close came short of the room it had:
        // the buffer shrinks to what it holds (in place as a rule).
        char *p = (char *)realloc(rx->dyn_rcv_buf, (size_t)need + 1);
        if (p) {
            rx->dyn_rcv_buf = p;
            rx->rbuf = p;
            rx->mlen = need;
        }
    }
    char *buf = rx->dyn_rcv_buf;
    HTTP_MSG *msg = http_get_msg_adopt(buf, rx->mlen + 1);
    if (!msg) {
        log_print(LOG_ERROR, "%s, get_msg_buf ret null!!!\r\n", name);
        return nullptr;
    }
    rx->dyn_rcv_buf = nullptr;
    rx->rbuf = rx->rcv_buf; // the state no longer points into the message
    // The head is parsed as a text of its own: the body's first byte stands
    // where its terminator goes, for the time of the parse.
    char first = buf[rx->hlen];
    buf[rx->hlen] = '\0';
    log_head(rx, buf, rx->hlen);
    int r = http_msg_parse_part1(buf, rx->hlen, msg);
    buf[rx->hlen] = first;
    if (r != rx->hlen) {
        log_print(LOG_ERROR, "%s, http_msg_parse_part1=%d, %s=%d!!!\r\n", name, r, "sip_pkt_len",
                  rx->hlen);
        http_free_msg(msg);
        return nullptr;
    }
    return msg;
}

// The whole message (hlen + clen bytes) is in rbuf: attach the body, hand the
// record out and keep any bytes behind it (listener) for the next message.
int rx_complete(HTTP_RX *rx, HTTP_MSG *msg, HTTP_MSG **out)
{
    const char *name = rx_name(rx);
    int need = rx->hlen + rx->clen;
    bool adopted = false;
    if (!msg && rx->dyn_rcv_buf && rx->rbuf == rx->dyn_rcv_buf) {
        msg = rx_adopt(rx);
        if (!msg) return rx_fail(rx);
        adopted = true;
    }
    if (!msg) {
        msg = rx_parse_head(rx, need, "sip_pkt_len");
        if (!msg) return rx_fail(rx);
    }
    if (rx->until_close || rx->chunked) msg->content_len = rx->clen;

    if (rx->clen > 0) {
        char *body = msg->msg_buf + rx->hlen;
        if (!adopted) memcpy(body, rx->rbuf + rx->hlen, (size_t)rx->clen);
        body[rx->clen] = '\0';
        if (is_text_type(msg->content_type)) log_body(body, rx->clen);
        int r = http_msg_parse_part2(body, rx->clen, msg);
        if (r != rx->clen) {
            bool fatal = r < 0 || rx->role == HTTP_RX_CLIENT;
            log_print(fatal ? LOG_ERROR : LOG_WARN,
                      "%s, http_msg_parse_part2=%d, sdp_pkt_len=%d!!!\r\n", name, r, rx->clen);
            if (fatal) {
                http_free_msg(msg);
                return rx_fail(rx);
            }
        }
    }

    if (!adopted && rx->role == HTTP_RX_LISTENER && rx->rbuf == rx->rcv_buf) {
        int rest = rx->dlen - need;
        if (rest > 0) memmove(rx->rcv_buf, rx->rcv_buf + need, (size_t)rest);
        rx->dlen = rest > 0 ? rest : 0;
        rx->rcv_buf[rx->dlen] = '\0';
        rx->hlen = 0;
        rx->clen = 0;
        rx->until_close = 0;
        rx->chunked = 0;
        rx->chunk_pos = 0;
        rx->chunk_out = 0;
        rx->content_type = HTTP_CTT_NONE;
    } else {
        rx_clear(rx);
    }
    *out = msg;
    return HTTP_RX_DONE;
}

// A response without Content-Length has a body that runs until the peer
// closes, except the bodiless statuses 1xx, 204 and 304. This holds however
// the bytes were cut into reads: a body that hasn't arrived yet still counts.
bool body_until_close(const HTTP_MSG *msg)
{
    if (msg->msg_type != HTTP_MSG_RESPONSE) return false;
    return !(msg->code / 100 == 1 || msg->code == 204 || msg->code == 304);
}

// True when the message's last transfer coding is "chunked".
bool is_chunked(HTTP_MSG *msg)
{
    const char *te = http_get_headline(msg, "Transfer-Encoding");
    if (!te) return false;
    size_t n = strlen(te);
    while (n > 0 && (te[n - 1] == ' ' || te[n - 1] == '\t'))
        n--;
    const size_t k = sizeof("chunked") - 1;
    if (n < k || strncasecmp(te + n - k, "chunked", k) != 0) return false;
    return n == k || te[n - k - 1] == ' ' || te[n - k - 1] == '\t' || te[n - k - 1] == ',';
}

// The largest joined body of a chunked message.
int chunked_cap(const HTTP_RX *rx)
{
    int cap = HTTP_LEN_UNTIL_CLOSE;
    if (rx->max_content > 0 && rx->max_content < cap) cap = rx->max_content;
    return cap;
}

// The line at p (at most n bytes available): its length up to the LF, the
// length with its line end in *total. 0 when the LF has not arrived yet
// within `longest` bytes, -1 when the line is longer than that.
int chunk_line(const char *p, int n, int longest, int *total)
{
    int lim = n < longest ? n : longest;
    const char *lf = (const char *)memchr(p, '\n', (size_t)lim);
    if (!lf) return n >= longest ? -1 : 0;
    int len = (int)(lf - p);
    *total = len + 1;
    if (len > 0 && p[len - 1] == '\r') len--;
    return len;
}

const int kChunkLineMax = 1024;    // size line with its extensions
const int kChunkTrailerMax = 8192; // all trailer lines together

int chunked_scan(HTTP_RX *rx);

// Takes apart the chunks received so far, joining their data at the body's
// start. 1: the last chunk and the trailers are in (rx->clen is the joined
// length, the bytes behind the message follow the joined body), 0: more
// bytes are needed, -1: a broken or oversized chunk. While more is needed,
// the bytes not yet taken apart move up to the joined data, so chunk lines
// never take room from the body (tiny chunks cost no more than large ones).
int chunked_advance(HTTP_RX *rx)
{
    int r = chunked_scan(rx);
    int gap = rx->chunk_pos - rx->chunk_out;
    if (r == 0 && gap > 0) {
        char *body = rx->rbuf + rx->hlen;
        int tail = rx->dlen - rx->hlen - rx->chunk_pos;
        if (tail > 0) memmove(body + rx->chunk_out, body + rx->chunk_pos, (size_t)tail);
        rx->dlen -= gap;
        rx->rbuf[rx->dlen] = '\0';
        rx->chunk_pos = rx->chunk_out;
    }
    return r;
}

int chunked_scan(HTTP_RX *rx)
{
    const char *name = rx_name(rx);
    char *body = rx->rbuf + rx->hlen;
    const int have = rx->dlen - rx->hlen;
    const int cap = chunked_cap(rx);
    for (int i = 0; i < 1000000; i++) {
        int pos = rx->chunk_pos;
        int total = 0;
        int len = chunk_line(body + pos, have - pos, kChunkLineMax, &total);
        if (len == 0 && total == 0) return 0;
        if (len < 0) {
            log_print(LOG_ERROR, "%s, chunk size line too long!!!\r\n", name);
            return -1;
        }
        // hex digits, then optional blanks and ";extensions"
        long size = 0;
        int digits = 0, j = 0;
        for (; j < len; j++) {
            char c = body[pos + j];
            int v = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
            if (v < 0) break;
            if (size > (long)cap) break; // stays small enough to compare below
            size = size * 16 + v;
            digits++;
        }
        char stop = j < len ? body[pos + j] : ';';
        if (digits == 0 || (stop != ';' && stop != ' ' && stop != '\t')) {
            log_print(LOG_ERROR, "%s, bad chunk size line!!!\r\n", name);
            return -1;
        }
        if (size > (long)(cap - rx->chunk_out)) {
            log_print(LOG_ERROR, "%s, chunked body above the limit of %d bytes!!!\r\n", name, cap);
            return -1;
        }
        int data = pos + total;
        if (size == 0) {
            // trailers up to an empty line
            int at = data;
            for (int t = 0; t < kChunkTrailerMax; t++) {
                int lt = 0;
                int l = chunk_line(body + at, have - at, kChunkTrailerMax, &lt);
                if (l == 0 && lt == 0) {
                    if (at - data >= kChunkTrailerMax) break;
                    return 0;
                }
                if (l < 0 || at - data + lt > kChunkTrailerMax) break;
                at += lt;
                if (l == 0) {
                    // the whole message: the bytes behind it move up to the joined body
                    int rest = have - at;
                    if (rest > 0) memmove(body + rx->chunk_out, body + at, (size_t)rest);
                    rx->dlen = rx->hlen + rx->chunk_out + (rest > 0 ? rest : 0);
                    rx->rbuf[rx->dlen] = '\0';
                    rx->clen = rx->chunk_out;
                    return 1;
                }
            }
            log_print(LOG_ERROR, "%s, chunk trailers too long!!!\r\n", name);
            return -1;
        }
        if (have - data < size + 1) return 0; // the data and at least the LF
        int end = data + (int)size;
        int crlf = body[end] == '\r' ? 2 : 1;
        if (crlf == 2 && have - end < 2) return 0;
        if (body[end + crlf - 1] != '\n') {
            log_print(LOG_ERROR, "%s, chunk data not followed by its line end!!!\r\n", name);
            return -1;
        }
        memmove(body + rx->chunk_out, body + data, (size_t)size);
        rx->chunk_out += (int)size;
        rx->chunk_pos = end + crlf;
    }
    return -1;
}

// Moves the received bytes into a heap buffer of exactly need + 1 bytes.
int rx_grow(HTTP_RX *rx, int need)
{
    char *p = (char *)malloc((size_t)need + 1);
    if (!p) {
        log_print(LOG_ERROR, "%s, memory malloc failed, len[%d]!!!\r\n", rx_name(rx), need + 1);
        return -1;
    }
    memcpy(p, rx->rbuf, (size_t)rx->dlen);
    p[rx->dlen] = '\0';
    free(rx->dyn_rcv_buf);
    rx->dyn_rcv_buf = p;
    rx->rbuf = p;
    rx->mlen = need;
    return 0;
}

int rx_advance(HTTP_RX *rx, HTTP_MSG **out)
{
    const char *name = rx_name(rx);
    if (rx->dlen < HTTP_RX_MIN_LEN) return HTTP_RX_MORE;
    if (!http_is_http_msg(rx->rbuf)) {
        log_print(LOG_ERROR, "%s, not an http message!!!\r\n", name);
        return rx_fail(rx);
    }

    HTTP_MSG *msg = nullptr;
    if (rx->hlen == 0) {
        rx->hlen = http_pkt_find_end(rx->rbuf);
        if (rx->hlen == 0) {
            if (rx->dlen >= rx->mlen) {
                log_print(LOG_ERROR, "%s, http head longer than %d bytes!!!\r\n", name,
                          HTTP_RX_BUF_SIZE - 1);
                return rx_fail(rx);
            }
            return HTTP_RX_MORE;
        }
        msg = rx_parse_head(rx, rx->hlen, "http_pkt_len");
        if (!msg) return rx_fail(rx);
        rx->clen = msg->content_len;
        rx->content_type = msg->content_type;
        int limit = rx->max_content > 0 ? rx->max_content : HTTP_MAX_CONTENT_LEN;
        if (rx->clen > limit) {
            // Refused before a byte of the body is stored.
            log_print(LOG_ERROR, "%s, Content-Length %d above the limit of %d bytes!!!\r\n", name,
                      rx->clen, limit);
            http_free_msg(msg);
            return rx_fail(rx);
        }

        if (rx->role == HTTP_RX_LISTENER && msg->content_type == HTTP_CTT_RTSP_TUNNEL) {
            *out = msg;
            return HTTP_RX_TUNNEL;
        }
        if (is_chunked(msg) && (rx->role == HTTP_RX_LISTENER || body_until_close(msg))) {
            // The chunks say where the body ends; a Content-Length beside them is ignored.
            rx->chunked = 1;
            rx->clen = 0;
        } else if (rx->role == HTTP_RX_CLIENT && !http_find_headline(msg, "Content-Length") &&
                   body_until_close(msg)) {
            rx->clen = HTTP_LEN_UNTIL_CLOSE;
            rx->until_close = 1;
        }
    }

    if (rx->chunked) {
        // Room for the largest joined body at once, as for an until-close body.
        int room = rx->hlen + chunked_cap(rx) + kChunkLineMax + kChunkTrailerMax;
        if (rx->mlen < room) {
            http_free_msg(msg); // parsed again once the message is complete
            msg = nullptr;
            if (rx_grow(rx, room) < 0) return rx_fail(rx);
        }
        int r = chunked_advance(rx);
        if (r < 0) {
            http_free_msg(msg);
            return rx_fail(rx);
        }
        if (r == 0) {
            http_free_msg(msg);
            if (rx->dlen >= rx->mlen) {
                log_print(LOG_ERROR, "%s, chunked message larger than %d bytes!!!\r\n", name,
                          rx->mlen);
                return rx_fail(rx);
            }
            return HTTP_RX_MORE;
        }
        // Bytes behind the message (a pipelined request) go back to the fixed
        // buffer once the heap buffer has become the message's.
        int rest = rx->role == HTTP_RX_LISTENER ? rx->dlen - rx->hlen - rx->clen : 0;
        char saved[HTTP_RX_BUF_SIZE];
        if (rest > HTTP_RX_BUF_SIZE - 1) {
            log_print(LOG_ERROR, "%s, %d bytes behind a chunked request!!!\r\n", name, rest);
            http_free_msg(msg);
            return rx_fail(rx);
        }
        if (rest > 0) memcpy(saved, rx->rbuf + rx->hlen + rx->clen, (size_t)rest);
        int done = rx_complete(rx, msg, out);
        if (done == HTTP_RX_DONE && rest > 0 && rx->rbuf == rx->rcv_buf && rx->dlen == 0) {
            memcpy(rx->rcv_buf, saved, (size_t)rest);
            rx->dlen = rest;
            rx->rcv_buf[rest] = '\0';
        }
        return done;
    }

    int need = rx->hlen + rx->clen;
    if (need > rx->mlen) {
        http_free_msg(msg); // parsed again once the message is complete
        if (rx_grow(rx, need) < 0) return rx_fail(rx);
        return HTTP_RX_MORE;
    }
    if (rx->dlen < need) {
        http_free_msg(msg);
        return HTTP_RX_MORE;
    }
    return rx_complete(rx, msg, out);
}

} // namespace

extern "C" {

void http_rx_init(HTTP_RX *rx, int role, const char *peer)
{
    if (!rx) return;
    memset(rx, 0, sizeof(*rx));
    rx->role = role == HTTP_RX_CLIENT ? HTTP_RX_CLIENT : HTTP_RX_LISTENER;
    if (peer) {
        strncpy(rx->peer, peer, sizeof(rx->peer) - 1);
        rx->peer[sizeof(rx->peer) - 1] = '\0';
    }
    rx_clear(rx);
}

void http_rx_reset(HTTP_RX *rx)
{
    if (rx) rx_clear(rx);
}

char *http_rx_buf(HTTP_RX *rx, int *room)
{
    if (room) *room = 0;
    if (!rx || !rx->rbuf) return nullptr;
    int n = rx->mlen - rx->dlen;
    if (n <= 0) return nullptr;
    if (room) *room = n;
    return rx->rbuf + rx->dlen;
}

int http_rx_input(HTTP_RX *rx, int n, HTTP_MSG **msg)
{
    if (msg) *msg = nullptr;
    if (!rx || !msg || !rx->rbuf) return HTTP_RX_ERROR;
    const char *name = rx_name(rx);

    if (n == 0 && rx->until_close && rx->hlen > 0 && rx->dlen < rx->hlen + rx->clen) {
        rx->clen = rx->dlen - rx->hlen; // the body ran until the peer closed
        return rx_complete(rx, nullptr, msg);
    }
    if (n < 0 || n == 0) {
        int level = rx->role == HTTP_RX_CLIENT ? LOG_INFO : LOG_WARN;
        log_print(level, "%s, recv return = %d, dlen[%d], mlen[%d]\r\n", name, n, rx->dlen,
                  rx->mlen);
        return rx_fail(rx);
    }
    if (n > rx->mlen - rx->dlen) {
        log_print(LOG_ERROR, "%s, read %d bytes beyond the buffer, dlen[%d], mlen[%d]!!!\r\n", name,
                  n, rx->dlen, rx->mlen);
        return rx_fail(rx);
    }
    rx->dlen += n;
    rx->rbuf[rx->dlen] = '\0';
    return rx_advance(rx, msg);
}

int http_rx_next(HTTP_RX *rx, HTTP_MSG **msg)
{
    if (msg) *msg = nullptr;
    if (!rx || !msg || !rx->rbuf) return HTTP_RX_ERROR;
    return rx_advance(rx, msg);
}

char *http_rx_extra(HTTP_RX *rx, int *len)
{
    if (len) *len = 0;
    if (!rx || !rx->rbuf || rx->hlen <= 0 || rx->dlen < rx->hlen) return nullptr;
    if (len) *len = rx->dlen - rx->hlen;
    return rx->rbuf + rx->hlen;
}

} // extern "C"
