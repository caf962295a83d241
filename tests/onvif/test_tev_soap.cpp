// Events service requests and replies: every request envelope checked
// against the schemas, the addressing headers towards the subscription
// manager and the pull point, the reply parsers (subscription references
// with their reference parameters, notification messages with their item
// lists), and the notification list helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "onvif/onvif_act.h"
#include "onvif/onvif_device.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"
#include "onvif/soap_build.h"
#include "onvif/soap_parse.h"
#include "tests/support/onvif_records.h"
#include "tests/support/schema_check.h"
#include "tests/support/soap_text.h"

namespace
{

// A device record that knows its events service.
std::unique_ptr<ONVIF_DEVICE> events_device()
{
    std::unique_ptr<ONVIF_DEVICE> dev = new_device();
    strcpy(dev->capabilities.events.xaddr.host, "192.168.0.9");
    dev->capabilities.events.xaddr.port = 8080;
    strcpy(dev->capabilities.events.xaddr.path, "/onvif/events_service");
    return dev;
}

std::string body_of(const std::string &env)
{
    size_t a = env.find("<s:Body>");
    size_t b = env.rfind("</s:Body>");
    if (a == std::string::npos || b == std::string::npos) return "";
    return env.substr(a + 8, b - a - 8);
}

std::string header_of(const std::string &env)
{
    size_t a = env.find("<s:Header>");
    size_t b = env.find("</s:Header>");
    if (a == std::string::npos || b == std::string::npos) return "";
    return env.substr(a, b + 11 - a);
}

std::string events_envelope(const std::string &body)
{
    return "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
           "xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:wsa5=\"http://www.w3.org/2005/08/addressing\" "
           "xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\" "
           "xmlns:tev=\"http://www.onvif.org/ver10/events/wsdl\" "
           "xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
           "xmlns:vnd=\"http://vendor.example/ns\"><SOAP-ENV:Body>" +
           body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

} // namespace

// ---- requests ----

TEST(TevBuild, EveryEventRequestValidates)
{
    SKIP_WITHOUT_SCHEMAS();
    auto dev = events_device();
    strcpy(dev->subscription_address, "http://192.168.0.9:8080/onvif/subscription?id=1&k=2");
    strcpy(dev->reference_parameters,
           "<vnd:SubscriptionId xmlns:vnd=\"http://vendor.example/ns\">7</vnd:SubscriptionId>");

    ONVIF_SUBSCRIBE_REQ sub;
    memset(&sub, 0, sizeof(sub));
    strcpy(sub.consumer_address, "http://10.0.0.1:8086/subscription1/1700000000?a=1&b=<2>");
    sub.flags = ONVIF_SUBSCRIBE_FLAG_TERMINATION;
    sub.termination_time = 60;
    ONVIF_SUBSCRIBE_REQ filtered = sub;
    filtered.flags |= ONVIF_SUBSCRIBE_FLAG_TOPIC | ONVIF_SUBSCRIBE_FLAG_CONTENT;
    strcpy(filtered.topic_expression, "tns1:VideoSource//.|tns1:RuleEngine//.");
    strcpy(filtered.message_content, "boolean(//tt:SimpleItem[@Name=\"State\"])");
    ONVIF_RENEW_REQ renew = {30};
    ONVIF_PULL_MESSAGES_REQ pull = {5, 10};

    // The bodies written by hand, and the subscription manager's requests
    // with the reference's parameters in their headers.
    std::vector<std::string> envs = {
        build(ACT_tev_Subscribe, dev.get(), &sub),
        build(ACT_tev_Subscribe, dev.get(), &filtered),
        build(ACT_tev_Renew, dev.get(), &renew),
        build(ACT_tev_Unsubscribe, dev.get(), nullptr),
        build(ACT_tev_CreatePullPointSubscription, dev.get(), nullptr),
        build(ACT_tev_CreatePullPointSubscription, dev.get(), &filtered),
        build(ACT_tev_PullMessages, dev.get(), &pull),
    };
    for (size_t i = 0; i < envs.size(); i++)
        ASSERT_FALSE(envs[i].empty()) << "request " << i << " was not built";
    expect_valid(envs);

    // Texts are escaped on the way out.
    EXPECT_NE(body_of(envs[0]).find("<wsa:Address>http://10.0.0.1:8086/subscription1/"
                                    "1700000000?a=1&amp;b=&lt;2&gt;</wsa:Address>"),
              std::string::npos)
        << envs[0];
    EXPECT_NE(body_of(envs[1]).find("Dialect=\"http://www.onvif.org/ver10/tev/topicExpression/"
                                    "ConcreteSet\">tns1:VideoSource//.|tns1:RuleEngine//."),
              std::string::npos)
        << envs[1];
    EXPECT_NE(body_of(envs[1]).find("[@Name=&quot;State&quot;]"), std::string::npos);
    EXPECT_EQ(body_of(envs[2]),
              "<wsnt:Renew><wsnt:TerminationTime>PT30S</wsnt:TerminationTime></wsnt:Renew>");
    EXPECT_EQ(body_of(envs[6]), "<tev:PullMessages><tev:Timeout>PT5S</tev:Timeout>"
                                "<tev:MessageLimit>10</tev:MessageLimit></tev:PullMessages>");
    EXPECT_EQ(body_of(envs[4]), "<tev:CreatePullPointSubscription />");
}

TEST(TevBuild, RequiredInputMissingIsRefused)
{
    auto dev = events_device();
    int ret = 0;
    build(ACT_tev_Subscribe, dev.get(), nullptr, &ret);
    EXPECT_EQ(ret, -1);
    ONVIF_SUBSCRIBE_REQ sub;
    memset(&sub, 0, sizeof(sub)); // no consumer address
    build(ACT_tev_Subscribe, dev.get(), &sub, &ret);
    EXPECT_EQ(ret, -1);
    build(ACT_tev_Renew, dev.get(), nullptr, &ret);
    EXPECT_EQ(ret, -1);
    build(ACT_tev_PullMessages, dev.get(), nullptr, &ret);
    EXPECT_EQ(ret, -1);

    // A consumer address that fills its field without a terminator is read
    // up to the field's end.
    memset(sub.consumer_address, 'a', sizeof(sub.consumer_address));
    std::string env = build(ACT_tev_Subscribe, dev.get(), &sub, &ret);
    ASSERT_GT(ret, 0);
    EXPECT_NE(env.find("<wsa:Address>" + std::string(256, 'a') + "</wsa:Address>"),
              std::string::npos);
}

TEST(TevBuild, PullMessagesGoesToThePullPointOnceThereIsOne)
{
    auto dev = events_device();
    strcpy(dev->subscription_address, "http://192.168.0.9:8080/sub/4");
    strcpy(dev->reference_parameters, "<x:Id xmlns:x=\"urn:x\">4</x:Id>");
    // PullMessages: the events service until a pull point exists, then the
    // pull point with its reference parameters.
    ONVIF_PULL_MESSAGES_REQ pull = {1, 1};
    std::string h = header_of(build(ACT_tev_PullMessages, dev.get(), &pull));
    EXPECT_NE(h.find("<wsa:To>http://192.168.0.9:8080/onvif/events_service</wsa:To>"),
              std::string::npos)
        << h;
    EXPECT_EQ(h.find("x:Id"), std::string::npos);
    dev->pull_point = 1;
    h = header_of(build(ACT_tev_PullMessages, dev.get(), &pull));
    EXPECT_NE(h.find("<wsa:To>http://192.168.0.9:8080/sub/4</wsa:To><x:Id"), std::string::npos)
        << h;
}

// ---- replies ----

TEST(TevParse, SubscribeReplyCarriesItsReferenceParametersSelfContained)
{
    // The vendor prefix is declared on the envelope only: the stored text
    // must declare it itself, or it could not be sent back.
    soaptest::Reply r(events_envelope(
        "<wsnt:SubscribeResponse><wsnt:SubscriptionReference>"
        "<wsa5:Address>http://192.168.0.9/sub?id=3&amp;x=1</wsa5:Address>"
        "<wsa5:ReferenceParameters><vnd:SubscriptionId>3</vnd:SubscriptionId>"
        "<Other xmlns=\"urn:other\" a=\"&lt;\">t</Other></wsa5:ReferenceParameters>"
        "</wsnt:SubscriptionReference><wsnt:CurrentTime>2024-05-01T10:00:00Z</wsnt:CurrentTime>"
        "<wsnt:TerminationTime>2024-05-01T10:01:00Z</wsnt:TerminationTime>"
        "</wsnt:SubscribeResponse>"));
    ASSERT_NE(r.body(), nullptr);
    ONVIF_SUBSCRIBE_RES res;
    memset(&res, 0x5a, sizeof(res));
    auto dev = events_device();
    ASSERT_EQ(onvif_parse_response(r.body(), ACT_tev_Subscribe, dev.get(), &res), 1);
    EXPECT_STREQ(res.subscription_address, "http://192.168.0.9/sub?id=3&x=1");
    EXPECT_STREQ(res.reference_parameters,
                 "<vnd:SubscriptionId xmlns:vnd=\"http://vendor.example/ns\">3"
                 "</vnd:SubscriptionId><Other xmlns=\"urn:other\" a=\"&lt;\">t</Other>");
    EXPECT_STREQ(res.current_time, "2024-05-01T10:00:00Z");
    EXPECT_STREQ(res.termination_time, "2024-05-01T10:01:00Z");

    // The same reference in a Renew request gives a well-formed envelope.
    if (schema_unavailable().empty()) {
        strcpy(dev->subscription_address, res.subscription_address);
        strcpy(dev->reference_parameters, res.reference_parameters);
        ONVIF_RENEW_REQ renew = {60};
        expect_valid({build(ACT_tev_Renew, dev.get(), &renew)});
    }

    // CreatePullPointSubscription answers with the same shape.
    soaptest::Reply p(events_envelope(
        "<tev:CreatePullPointSubscriptionResponse><tev:SubscriptionReference>"
        "<wsa5:Address>http://192.168.0.9/pull/1</wsa5:Address></tev:SubscriptionReference>"
        "<wsnt:CurrentTime>x</wsnt:CurrentTime><wsnt:TerminationTime>y</wsnt:TerminationTime>"
        "</tev:CreatePullPointSubscriptionResponse>"));
    ASSERT_EQ(onvif_parse_response(p.body(), ACT_tev_CreatePullPointSubscription, dev.get(), &res),
              1);
    EXPECT_STREQ(res.subscription_address, "http://192.168.0.9/pull/1");
    EXPECT_STREQ(res.reference_parameters, "");

    // Without an address there is nothing to manage.
    soaptest::Reply bad(events_envelope("<wsnt:SubscribeResponse><wsnt:SubscriptionReference/>"
                                        "</wsnt:SubscribeResponse>"));
    EXPECT_EQ(onvif_parse_response(bad.body(), ACT_tev_Subscribe, dev.get(), &res), 0);
}

TEST(TevParse, ReferenceParametersAtTheFieldBoundary)
{
    // "<a>" + text + "</a>" of exactly 511 characters fits; 512 does not and
    // is refused whole rather than cut into broken XML.
    for (int total : {511, 512}) {
        std::string text(total - 7, 'r');
        soaptest::Reply r(events_envelope(
            "<wsnt:SubscribeResponse><wsnt:SubscriptionReference><wsa5:Address>http://h/s"
            "</wsa5:Address><wsa5:ReferenceParameters><a>" +
            text +
            "</a></wsa5:ReferenceParameters></wsnt:SubscriptionReference>"
            "</wsnt:SubscribeResponse>"));
        ONVIF_SUBSCRIBE_RES res;
        memset(&res, 0, sizeof(res));
        int ok = onvif_parse_response(r.body(), ACT_tev_Subscribe, nullptr, &res);
        if (total == 511) {
            EXPECT_EQ(ok, 1);
            EXPECT_EQ(strlen(res.reference_parameters), 511u);
        } else {
            EXPECT_EQ(ok, 0);
            EXPECT_STREQ(res.reference_parameters, "");
        }
    }
}

namespace
{

const char kTwoMessages[] =
    "<wsnt:NotificationMessage>"
    "<wsnt:SubscriptionReference><wsa5:Address>http://cam/sub/1</wsa5:Address>"
    "</wsnt:SubscriptionReference>"
    "<wsnt:Topic Dialect=\"http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet\">"
    "tns1:VideoSource/MotionAlarm</wsnt:Topic>"
    "<wsnt:ProducerReference><wsa5:Address>http://cam/ev</wsa5:Address></wsnt:ProducerReference>"
    "<wsnt:Message><tt:Message UtcTime=\"2024-05-01T10:00:00Z\" PropertyOperation=\"Changed\">"
    "<tt:Source><tt:SimpleItem Name=\"Source\" Value=\"VS&amp;1\"/></tt:Source>"
    "<tt:Key><tt:SimpleItem Name=\"Index\" Value=\"0\"/></tt:Key>"
    "<tt:Data><tt:SimpleItem Name=\"State\" Value=\"true\"/>"
    "<tt:ElementItem Name=\"Region\"><tt:Polygon><tt:Point x=\"0.1\" y=\"0.2\"/></tt:Polygon>"
    "</tt:ElementItem></tt:Data></tt:Message></wsnt:Message></wsnt:NotificationMessage>"
    "<wsnt:NotificationMessage><wsnt:Topic Dialect=\"d\"></wsnt:Topic>"
    "<wsnt:Message><tt:Message PropertyOperation=\"Sideways\"><tt:Data>"
    "<tt:ElementItem Name=\"Empty\"/></tt:Data></tt:Message></wsnt:Message>"
    "</wsnt:NotificationMessage>";

} // namespace

TEST(TevParse, PullMessagesReplyGivesTheMessagesWithTheirItems)
{
    soaptest::Reply r(
        events_envelope("<tev:PullMessagesResponse><tev:CurrentTime>c"
                        "</tev:CurrentTime><tev:TerminationTime>t</tev:TerminationTime>" +
                        std::string(kTwoMessages) + "</tev:PullMessagesResponse>"));
    ONVIF_PULL_MESSAGES_RES res;
    memset(&res, 0, sizeof(res));
    ASSERT_EQ(onvif_parse_response(r.body(), ACT_tev_PullMessages, nullptr, &res), 1);
    EXPECT_STREQ(res.current_time, "c");
    ASSERT_EQ(onvif_get_NotificationMessages_nums(res.messages), 2);

    const ONVIF_NOTIFICATION_MESSAGE &a = res.messages->NotificationMessage;
    EXPECT_EQ(a.flags, ONVIF_NOTIFY_FLAG_SUBSCRIPTION | ONVIF_NOTIFY_FLAG_TOPIC |
                           ONVIF_NOTIFY_FLAG_PRODUCER | ONVIF_NOTIFY_FLAG_MESSAGE);
    EXPECT_STREQ(a.subscription_reference, "http://cam/sub/1");
    EXPECT_STREQ(a.topic, "tns1:VideoSource/MotionAlarm");
    EXPECT_STREQ(a.topic_dialect, "http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet");
    EXPECT_STREQ(a.producer_reference, "http://cam/ev");
    EXPECT_STREQ(a.message.utc_time, "2024-05-01T10:00:00Z");
    EXPECT_EQ(a.message.property_operation, 2);
    ASSERT_NE(a.message.source_simple, nullptr);
    EXPECT_STREQ(a.message.source_simple->SimpleItem.value, "VS&1");
    EXPECT_STREQ(onvif_format_SimpleItem(a.message.key_simple), "Index:0\r\n");
    EXPECT_STREQ(onvif_format_SimpleItem(a.message.data_simple), "State:true\r\n");
    ASSERT_NE(a.message.data_element, nullptr);
    EXPECT_STREQ(a.message.data_element->ElementItem.name, "Region");
    ASSERT_NE(a.message.data_element->ElementItem.any, nullptr);
    // The element's XML stands on its own: its prefix's declaration, made on
    // the envelope, comes with it.
    EXPECT_STREQ(a.message.data_element->ElementItem.any,
                 "<tt:Polygon xmlns:tt=\"http://www.onvif.org/ver10/schema\"><tt:Point x=\"0.1\" "
                 "y=\"0.2\"/></tt:Polygon>");

    // A topic without text is absent; an unknown operation reads as -1; an
    // ElementItem without an element has no text.
    const ONVIF_NOTIFICATION_MESSAGE &b = res.messages->next->NotificationMessage;
    EXPECT_EQ(b.flags, ONVIF_NOTIFY_FLAG_MESSAGE);
    EXPECT_EQ(b.message.property_operation, -1);
    ASSERT_NE(b.message.data_element, nullptr);
    EXPECT_EQ(b.message.data_element->ElementItem.any, nullptr);
    onvif_free_NotificationMessages(&res.messages);
    EXPECT_EQ(res.messages, nullptr);
}

TEST(TevParse, ItemFieldsAtTheirBoundariesAndTheItemBound)
{
    std::string items;
    items += "<tt:SimpleItem Name=\"" + std::string(31, 'n') + "\" Value=\"" +
             std::string(99, 'v') + "\"/>";
    items += "<tt:SimpleItem Name=\"" + std::string(32, 'N') + "\" Value=\"" +
             std::string(100, 'V') + "\"/>";
    for (int i = 0; i < 100; i++)
        items += "<tt:SimpleItem Name=\"i\" Value=\"" + std::to_string(i) + std::string(80, 'z') +
                 "\"/>";
    soaptest::Reply r(events_envelope("<wsnt:NotificationMessage><wsnt:Message><tt:Message>"
                                      "<tt:Source>" +
                                      items +
                                      "</tt:Source></tt:Message></wsnt:Message>"
                                      "</wsnt:NotificationMessage>"));
    ONVIF_NOTIFICATION_MESSAGE m;
    memset(&m, 0, sizeof(m));
    ASSERT_EQ(parse_NotificationMessage(xml_node_soap_get(r.body(), "NotificationMessage"), &m), 1);
    SimpleItemList *s = m.message.source_simple;
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::string(s->SimpleItem.name), std::string(31, 'n'));
    EXPECT_EQ(std::string(s->SimpleItem.value), std::string(99, 'v'));
    ASSERT_NE(s->next, nullptr);
    EXPECT_EQ(std::string(s->next->SimpleItem.name), std::string(31, 'N'));
    EXPECT_EQ(std::string(s->next->SimpleItem.value), std::string(99, 'V'));
    EXPECT_EQ(onvif_list_count(s, 1000), 64); // a hostile list is bounded

    // The formatted text is cut at 1023 characters and stays terminated.
    const char *text = onvif_format_SimpleItem(s);
    EXPECT_EQ(strlen(text), 1023u);
    EXPECT_EQ(std::string(text).substr(0, 34), std::string(31, 'n') + ":vv");

    NotificationMessageList *node =
        static_cast<NotificationMessageList *>(calloc(1, sizeof(NotificationMessageList)));
    ASSERT_NE(node, nullptr);
    node->NotificationMessage = m;
    onvif_free_NotificationMessage(node);
}

TEST(TevParse, EventProperties)
{
    soaptest::Reply p(
        events_envelope("<tev:GetEventPropertiesResponse><tev:TopicNamespaceLocation>http://t</tev:"
                        "TopicNamespaceLocation><wsnt:FixedTopicSet>true</wsnt:FixedTopicSet>"
                        "<wsnt:TopicExpressionDialect>d1</wsnt:TopicExpressionDialect>"
                        "<wsnt:TopicExpressionDialect>d2</wsnt:TopicExpressionDialect>"
                        "<tev:MessageContentFilterDialect>m1</tev:MessageContentFilterDialect>"
                        "<tev:MessageContentSchemaLocation>s1</tev:MessageContentSchemaLocation>"
                        "</tev:GetEventPropertiesResponse>"));
    ONVIF_EVENT_PROPERTIES props;
    ASSERT_EQ(onvif_parse_response(p.body(), ACT_tev_GetEventProperties, nullptr, &props), 1);
    EXPECT_STREQ(props.topic_namespace_location, "http://t");
    EXPECT_EQ(props.fixed_topic_set, 1);
    EXPECT_EQ(props.topic_dialect_count, 2);
    EXPECT_STREQ(props.topic_expression_dialect[1], "d2");
    EXPECT_EQ(props.content_dialect_count, 1);
    EXPECT_STREQ(props.message_content_schema_location, "s1");
}

// ---- lists ----

TEST(TevList, DeviceMessagesAreKeptAndTrimmedFromTheFront)
{
    auto dev = events_device();
    for (int round = 0; round < 2; round++) {
        NotificationMessageList *chain = nullptr;
        int count = round == 0 ? 2 : 3;
        for (int i = 0; i < count; i++) {
            NotificationMessageList *n = onvif_add_NotificationMessage(&chain);
            ASSERT_NE(n, nullptr);
            snprintf(n->NotificationMessage.topic, sizeof(n->NotificationMessage.topic), "t%d",
                     round * 2 + i);
            SimpleItemList *s = onvif_add_SimpleItem(&n->NotificationMessage.message.data_simple);
            ASSERT_NE(s, nullptr);
            ElementItemList *e = onvif_add_ElementItem(&n->NotificationMessage.message.key_element);
            ASSERT_NE(e, nullptr);
            e->ElementItem.any = strdup("<a/>");
        }
        onvif_device_add_NotificationMessages(dev.get(), chain);
    }
    EXPECT_EQ(onvif_get_NotificationMessages_nums(dev->notify_messages), 5);
    EXPECT_EQ(onvif_get_NotificationMessages_nums(nullptr), 0);
    EXPECT_EQ(onvif_device_free_NotificationMessages(dev.get(), 2), 2);
    ASSERT_EQ(onvif_get_NotificationMessages_nums(dev->notify_messages), 3);
    EXPECT_STREQ(dev->notify_messages->NotificationMessage.topic, "t2");
    EXPECT_EQ(onvif_device_free_NotificationMessages(dev.get(), 10), 3);
    EXPECT_EQ(dev->notify_messages, nullptr);

    // onvif_free_device releases what is still kept.
    NotificationMessageList *chain = nullptr;
    onvif_add_NotificationMessage(&chain);
    onvif_device_add_NotificationMessages(dev.get(), chain);
    onvif_free_device(dev.get());
    EXPECT_EQ(dev->notify_messages, nullptr);
}

TEST(TevList, FormatSimpleItemLinesAndUnterminatedFields)
{
    SimpleItemList *list = nullptr;
    SimpleItemList *a = onvif_add_SimpleItem(&list);
    SimpleItemList *b = onvif_add_SimpleItem(&list);
    ASSERT_TRUE(a && b);
    strcpy(a->SimpleItem.name, "a");
    strcpy(a->SimpleItem.value, "1");
    strcpy(b->SimpleItem.name, "b");
    strcpy(b->SimpleItem.value, "2");
    EXPECT_STREQ(onvif_format_SimpleItem(list), "a:1\r\nb:2\r\n");
    // Fields filled to their last byte are read no further.
    memset(b->SimpleItem.name, 'x', sizeof(b->SimpleItem.name));
    memset(b->SimpleItem.value, 'y', sizeof(b->SimpleItem.value));
    EXPECT_EQ(std::string(onvif_format_SimpleItem(list)),
              "a:1\r\n" + std::string(32, 'x') + ":" + std::string(100, 'y') + "\r\n");
    EXPECT_STREQ(onvif_format_SimpleItem(nullptr), "");
    onvif_free_SimpleItems(&list);
    EXPECT_EQ(list, nullptr);
}
