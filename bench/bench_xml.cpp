// Parse throughput of the in-place XML parser against pugixml (in-situ parse)
// and libxml2 (xmlReadMemory) on generated camera replies of 1 KB, 20 KB,
// 200 KB and 2 MB. Every iteration, for all three alike: copy the reply into
// a work buffer (the in-place parsers cut it), build the whole tree, free it.
// BM_Copy measures the copy alone so that it can be taken out.
#include <benchmark/benchmark.h>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/replies.hpp"
#include "xml/xml_node.h"

namespace
{

enum Reply { kDeviceInfo, kServices, kProfiles, kLarge, kReplyCount };

const char *reply_name(int r)
{
    static const char *names[kReplyCount] = {"GetDeviceInformation_1KB", "GetServices_20KB",
                                             "GetProfiles_200KB", "EventSearch_2MB"};
    return (r >= 0 && r < kReplyCount) ? names[r] : "?";
}

const std::string &reply(int r)
{
    static const std::string replies[kReplyCount] = {
        bench::device_information_reply(), bench::services_reply(20 * 1024),
        bench::profiles_reply(200 * 1024), bench::event_search_reply(2 * 1024 * 1024)};
    return replies[r];
}

// Elements of our tree (for the sanity check that all three read the same).
long count_ours(const XML_NODE *n)
{
    long c = 0;
    for (; n; n = n->next_sibling)
        if (n->kind == XML_NODE_ELEMENT) c += 1 + count_ours(n->first_child);
    return c;
}

long count_pugi(const pugi::xml_node &n)
{
    long c = 0;
    for (pugi::xml_node ch = n.first_child(); ch; ch = ch.next_sibling())
        if (ch.type() == pugi::node_element) c += 1 + count_pugi(ch);
    return c;
}

long count_libxml(const xmlNode *n)
{
    long c = 0;
    for (; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE) c += 1 + count_libxml(n->children);
    return c;
}

// Work buffer with one NUL behind the data, as every receive buffer has.
struct Work {
    explicit Work(const std::string &src) : text(src), buf(src.size() + 1, '\0') {}
    void refill() { memcpy(buf.data(), text.data(), text.size()); }
    const std::string &text;
    std::vector<char> buf;
};

void set_result(benchmark::State &state, int r, long elements)
{
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)reply(r).size());
    state.counters["bytes"] = (double)reply(r).size();
    state.counters["elements"] = (double)elements;
    state.SetLabel(reply_name(r));
}

void BM_Copy(benchmark::State &state)
{
    int r = (int)state.range(0);
    Work w(reply(r));
    for (auto _ : state) {
        w.refill();
        benchmark::DoNotOptimize(w.buf.data());
        benchmark::ClobberMemory();
    }
    set_result(state, r, 0);
}

void BM_Ours(benchmark::State &state)
{
    int r = (int)state.range(0);
    Work w(reply(r));
    long elements = 0;
    for (auto _ : state) {
        w.refill();
        XML_NODE *root = xxx_hxml_parse(w.buf.data(), (int)w.text.size());
        if (!root) {
            state.SkipWithError("xxx_hxml_parse refused the reply");
            break;
        }
        if (elements == 0) elements = count_ours(root);
        benchmark::DoNotOptimize(root);
        xml_node_del(root);
    }
    set_result(state, r, elements);
}

void BM_Pugixml(benchmark::State &state)
{
    int r = (int)state.range(0);
    Work w(reply(r));
    long elements = 0;
    for (auto _ : state) {
        w.refill();
        pugi::xml_document doc;
        pugi::xml_parse_result res =
            doc.load_buffer_inplace(w.buf.data(), w.text.size(), pugi::parse_default);
        if (!res) {
            state.SkipWithError("pugixml refused the reply");
            break;
        }
        if (elements == 0) elements = count_pugi(doc);
        benchmark::DoNotOptimize(doc.first_child());
    }
    set_result(state, r, elements);
}

void BM_Libxml2(benchmark::State &state)
{
    int r = (int)state.range(0);
    Work w(reply(r));
    long elements = 0;
    for (auto _ : state) {
        w.refill();
        xmlDocPtr doc = xmlReadMemory(w.buf.data(), (int)w.text.size(), "reply.xml", nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!doc) {
            state.SkipWithError("libxml2 refused the reply");
            break;
        }
        if (elements == 0) elements = count_libxml(xmlDocGetRootElement(doc));
        benchmark::DoNotOptimize(doc);
        xmlFreeDoc(doc);
    }
    set_result(state, r, elements);
}

void replies(benchmark::internal::Benchmark *b)
{
    for (int r = 0; r < kReplyCount; r++)
        b->Arg(r);
}

BENCHMARK(BM_Copy)->Apply(replies);
BENCHMARK(BM_Ours)->Apply(replies);
BENCHMARK(BM_Pugixml)->Apply(replies);
BENCHMARK(BM_Libxml2)->Apply(replies);

} // namespace

int main(int argc, char **argv)
{
    xmlInitParser();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    xmlCleanupParser();
    return 0;
}
