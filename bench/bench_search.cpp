// Reading large search-result replies: a GetEventSearchResults envelope of N
// results (about 700 bytes each, 3000 results make 2 MB) parsed in place and
// read into the result list, which keeps at most SOAP_LIST_MAX of them. The
// bytes per second stay flat as the reply grows when the reader does no
// quadratic work.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "onvif/onvif_act.h"
#include "onvif/onvif_list.h"
#include "onvif/soap_parse.h"
#include "xml/xml_node.h"

namespace
{

std::string reply(int results)
{
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope "
                    "xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
                    "xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
                    "xmlns:tse=\"http://www.onvif.org/ver10/search/wsdl\" "
                    "xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\"><s:Body>"
                    "<tse:GetEventSearchResultsResponse><tse:ResultList>"
                    "<tt:SearchState>Completed</tt:SearchState>";
    for (int i = 0; i < results; i++) {
        char t[32];
        snprintf(t, sizeof(t), "2024-05-%02dT%02d:%02d:00Z", 1 + i / 1440, i / 60 % 24, i % 60);
        s += std::string("<tt:Result><tt:RecordingToken>Recording_1</tt:RecordingToken>"
                         "<tt:TrackToken>VIDEO001</tt:TrackToken><tt:Time>") +
             t +
             "</tt:Time><tt:Event><wsnt:Topic Dialect=\"http://www.onvif.org/ver10/tev/"
             "topicExpression/ConcreteSet\" xmlns:tns1=\"http://www.onvif.org/ver10/topics\">"
             "tns1:VideoSource/MotionAlarm</wsnt:Topic><wsnt:Message><tt:Message UtcTime=\"" +
             t +
             "\" PropertyOperation=\"Changed\"><tt:Source><tt:SimpleItem Name=\"Source\" "
             "Value=\"VideoSource_1\"/></tt:Source><tt:Key><tt:SimpleItem Name=\"Index\" "
             "Value=\"" +
             std::to_string(i) +
             "\"/></tt:Key><tt:Data><tt:SimpleItem Name=\"State\" Value=\"true\"/></tt:Data>"
             "</tt:Message></wsnt:Message></tt:Event><tt:StartStateEvent>false"
             "</tt:StartStateEvent></tt:Result>";
    }
    return s + "</tse:ResultList></tse:GetEventSearchResultsResponse></s:Body></s:Envelope>";
}

void BM_ReadEventSearchResults(benchmark::State &state)
{
    const std::string xml = reply((int)state.range(0));
    std::vector<char> buf(xml.size() + 1);
    int kept = 0;
    for (auto _ : state) {
        memcpy(buf.data(), xml.c_str(), xml.size() + 1); // the parser cuts in place
        XML_NODE *root = xxx_hxml_parse(buf.data(), (int)xml.size());
        tse_GetEventSearchResults_RES res;
        memset(&res, 0, sizeof(res));
        onvif_parse_response(xml_node_soap_get(root, "Body"), ACT_tse_GetEventSearchResults,
                             nullptr, &res);
        kept = onvif_list_count(res.result, 1 << 20);
        onvif_free_FindEventResults(&res.result);
        xml_node_del(root);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)xml.size());
    state.counters["reply_kB"] = (double)xml.size() / 1024;
    state.counters["kept"] = kept;
}
BENCHMARK(BM_ReadEventSearchResults)
    ->Arg(250)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(6000)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
