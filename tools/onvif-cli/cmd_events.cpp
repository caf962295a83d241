// onvif-cli events: a pull-point subscription, printed as events come.
#include <csignal>
#include <chrono>
#include <cstring>

#include "onvif/onvif_calls.h"
#include "onvif/onvif_enum.h"
#include "onvif/onvif_event.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "tools/onvif-cli/cli.h"

namespace cli
{

namespace
{

using Clock = std::chrono::steady_clock;

const int kDefaultSeconds = 10;
const int kPullWait = 2;       // seconds the device may hold one PullMessages
const int kPullLimit = 32;     // messages per PullMessages
const int kTermination = 60;   // seconds the subscription lives unless renewed
const int kMaxFailedPulls = 3; // in a row, before giving up

volatile sig_atomic_t g_stop = 0;

void on_signal(int)
{
    g_stop = 1;
}

Value items_of(SimpleItemList *simple, ElementItemList *element)
{
    Value r = Value::record();
    for (SimpleItemList *p = simple; p; p = p->next)
        r.set(field(p->SimpleItem.name), field(p->SimpleItem.value));
    for (ElementItemList *p = element; p; p = p->next)
        r.set(field(p->ElementItem.name), p->ElementItem.any ? p->ElementItem.any : "");
    return r;
}

Value message_record(const ONVIF_NOTIFICATION_MESSAGE &m)
{
    Value r = Value::record();
    const ONVIF_MESSAGE &msg = m.message;
    r.set("time", (msg.flags & ONVIF_MSG_FLAG_UTC_TIME) ? Value(field(msg.utc_time)) : Value());
    r.set("topic", field(m.topic));
    r.set("operation", (msg.flags & ONVIF_MSG_FLAG_PROPERTY_OPERATION)
                           ? Value(onvif_PropertyOperationToString(msg.property_operation))
                           : Value());
    r.set("source", items_of(msg.source_simple, msg.source_element));
    r.set("key", items_of(msg.key_simple, msg.key_element));
    r.set("data", items_of(msg.data_simple, msg.data_element));
    return r;
}

// One event as it comes: a JSON line, a CSV row (header before the first),
// or a text block.
void emit(const Value &event, Format format, bool first)
{
    std::string s;
    if (format == Format::Json) {
        s = to_json(event, false) + "\n";
    } else if (format == Format::Csv) {
        Value one = Value::list();
        one.add(event);
        s = to_csv(one);
        if (!first) s = s.substr(s.find("\r\n") + 2);
    } else {
        s = (first ? "" : "\n") + to_text(event);
    }
    fwrite(s.data(), 1, s.size(), stdout);
    fflush(stdout);
}

} // namespace

int cmd_events(const Args &args)
{
    Device dev;
    if (int rc = open_host(args, &dev)) return rc;
    if (int rc = begin(dev.get())) return rc;
    prepare(dev.get());
    if (!GetCapabilities(dev.get())) {
        if (!refused_only(dev.get())) return call_failed(dev.get(), "reading the capabilities");
        prepare(dev.get());
        if (!GetServices(dev.get())) return call_failed(dev.get(), "reading the services");
    }
    if (!(dev->capabilities.events.flags & ONVIF_CAP_EVENTS_PRESENT))
        return fail(kRefused, host_text(dev.get()) + ": the device offers no events service");

    dev->renew_interval = kTermination;
    prepare(dev.get());
    if (!CreatePullPointSubscription(dev.get()))
        return call_failed(dev.get(), "creating the pull point");

    // Ctrl-C or a TERM ends the listening, not the program: the
    // subscription is still ended below.
    struct sigaction sa;
    memset(&sa, 0, sizeof(sa));
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const int seconds = args.seconds > 0 ? args.seconds : kDefaultSeconds;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(seconds);
    auto renewed = start;
    int received = 0, failed_pulls = 0, rc = kOk;
    // Each pass waits at most kPullWait seconds at the device, so the count
    // of passes is bounded by the time (plus the refused ones, counted).
    while (!g_stop && Clock::now() < deadline && (args.count == 0 || received < args.count)) {
        if (Clock::now() - renewed >= std::chrono::seconds(kTermination / 2)) {
            ONVIF_RENEW_REQ req;
            memset(&req, 0, sizeof(req));
            req.termination_time = kTermination;
            prepare(dev.get());
            if (onvif_tev_Renew(dev.get(), &req, nullptr)) renewed = Clock::now();
        }
        ONVIF_PULL_MESSAGES_RES res;
        prepare(dev.get());
        if (!PullMessages(dev.get(), kPullWait, kPullLimit, &res)) {
            if (++failed_pulls >= kMaxFailedPulls) {
                rc = call_failed(dev.get(), "pulling events");
                break;
            }
            continue;
        }
        failed_pulls = 0;
        for (NotificationMessageList *p = res.messages; p; p = p->next) {
            if (args.count != 0 && received >= args.count) break;
            emit(message_record(p->NotificationMessage), args.format, received == 0);
            received++;
        }
        onvif_free_NotificationMessages(&res.messages);
    }

    prepare(dev.get());
    Unsubscribe(dev.get());
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    if (rc == kOk && received == 0 && args.format == Format::Text)
        fprintf(stderr, "onvif-cli: no event within %d s\n", seconds);
    return rc;
}

} // namespace cli
