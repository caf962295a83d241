// In-place XML tokenizer: the function-pointer interface of hxml.h over the
// scanner in hxml_scan.hpp.
#include "xml/hxml.h"
#include "xml/hxml_scan.hpp"

#include <string.h>

namespace
{

// Collects the attribute pairs of a start tag in p->attrs and reports to the
// parser's callbacks.
struct CallbackHandler {
    HXML_PARSER *p;
    int count = 0;

    bool open(char *) { return true; }
    bool attr(char *name, char *value, int)
    {
        if (count >= HXML_MAX_ATTRS) return true; // read, not passed on
        p->attrs[count * 2] = name;
        p->attrs[count * 2 + 1] = value;
        count++;
        return true;
    }
    bool opened(char *name)
    {
        p->attrs[count * 2] = nullptr; // the first null name ends the list
        p->attrs[count * 2 + 1] = nullptr;
        if (p->on_element_start) p->on_element_start(p->user_data, name, p->attrs);
        memset(p->attrs, 0, sizeof(p->attrs[0]) * 2 * (size_t)count);
        count = 0;
        return true;
    }
    bool close(char *name)
    {
        if (p->on_element_end) p->on_element_end(p->user_data, name);
        return true;
    }
    bool text(char *text, int len)
    {
        if (p->on_text) p->on_text(p->user_data, text, len);
        return true;
    }
};

} // namespace

extern "C" {

int hxml_parse_header(HXML_PARSER *p)
{
    CallbackHandler h{p};
    return hxml_scan::Scanner<CallbackHandler>(p, h).header();
}

int hxml_parse_attr(HXML_PARSER *p)
{
    memset(p->attrs, 0, sizeof(p->attrs));
    CallbackHandler h{p};
    return hxml_scan::Scanner<CallbackHandler>(p, h).attributes();
}

int hxml_parse_element_start(HXML_PARSER *p)
{
    CallbackHandler h{p};
    return hxml_scan::Scanner<CallbackHandler>(p, h).element_start();
}

int hxml_parse_element_end(HXML_PARSER *p)
{
    CallbackHandler h{p};
    return hxml_scan::Scanner<CallbackHandler>(p, h).element_end();
}

int hxml_parse_element(HXML_PARSER *p)
{
    CallbackHandler h{p};
    return hxml_scan::Scanner<CallbackHandler>(p, h).elements();
}

int hxml_parse(HXML_PARSER *p)
{
    if (!p || !p->buf_start || !p->buf_end || p->buf_end < p->buf_start) return -1;
    memset(p->name_stack, 0, sizeof(p->name_stack));
    memset(p->attrs, 0, sizeof(p->attrs));
    CallbackHandler h{p};
    return hxml_scan::run(p, h);
}

} // extern "C"
