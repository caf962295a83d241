// Test support: SOAP texts as devices and clients write them, and replies
// parsed into a node tree that the test owns.
#ifndef TESTS_SUPPORT_SOAP_TEXT_H
#define TESTS_SUPPORT_SOAP_TEXT_H

#include <string>
#include <vector>

#include "xml/xml_node.h"

namespace soaptest
{

// A SOAP 1.2 envelope around body. prefix names the envelope's prefix ("s",
// "env", "SOAP-ENV"; "" for the default namespace); header, when given, is
// the content of a Header element. The prefixes of the ONVIF services, the
// ONVIF schema, the error codes, WS-Notification, WS-Addressing (a) and
// WS-Discovery (d) are declared on the envelope.
inline std::string envelope(const std::string &body, const std::string &prefix = "s",
                            const std::string &header = std::string())
{
    const std::string p = prefix.empty() ? "" : prefix + ":";
    const std::string ns = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    std::string env = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" + p + "Envelope " + ns +
                      "=\"http://www.w3.org/2003/05/soap-envelope\"";
    static const char *const kNamespaces[][2] = {
        {"tds", "http://www.onvif.org/ver10/device/wsdl"},
        {"tt", "http://www.onvif.org/ver10/schema"},
        {"ter", "http://www.onvif.org/ver10/error"},
        {"trt", "http://www.onvif.org/ver10/media/wsdl"},
        {"tr2", "http://www.onvif.org/ver20/media/wsdl"},
        {"tev", "http://www.onvif.org/ver10/events/wsdl"},
        {"wsnt", "http://docs.oasis-open.org/wsn/b-2"},
        {"tmd", "http://www.onvif.org/ver10/deviceIO/wsdl"},
        {"tptz", "http://www.onvif.org/ver20/ptz/wsdl"},
        {"timg", "http://www.onvif.org/ver20/imaging/wsdl"},
        {"tan", "http://www.onvif.org/ver20/analytics/wsdl"},
        {"trc", "http://www.onvif.org/ver10/recording/wsdl"},
        {"tse", "http://www.onvif.org/ver10/search/wsdl"},
        {"trp", "http://www.onvif.org/ver10/replay/wsdl"},
        {"tpv", "http://www.onvif.org/ver10/provisioning/wsdl"},
        {"tcr", "http://www.onvif.org/ver10/credential/wsdl"},
        {"a", "http://schemas.xmlsoap.org/ws/2004/08/addressing"},
        {"d", "http://schemas.xmlsoap.org/ws/2005/04/discovery"},
    };
    for (const auto &n : kNamespaces)
        env += std::string(" xmlns:") + n[0] + "=\"" + n[1] + "\"";
    env += ">";
    if (!header.empty()) env += "<" + p + "Header>" + header + "</" + p + "Header>";
    return env + "<" + p + "Body>" + body + "</" + p + "Body></" + p + "Envelope>";
}

// The text of an envelope up to its Body: what a reply that is cut or never
// ends starts with.
inline std::string envelope_head(const std::string &prefix = "s")
{
    const std::string env = envelope("", prefix);
    return env.substr(0, env.find(prefix.empty() ? "<Body>" : "<" + prefix + ":Body>"));
}

// A parsed reply: keeps the text buffer alive as long as the tree.
class Reply
{
  public:
    explicit Reply(const std::string &xml) : buf_(xml.begin(), xml.end())
    {
        buf_.push_back('\0');
        root_ = xxx_hxml_parse(buf_.data(), (int)xml.size());
    }
    ~Reply()
    {
        if (root_) xml_node_del(root_);
    }
    Reply(const Reply &) = delete;
    Reply &operator=(const Reply &) = delete;

    XML_NODE *root() const { return root_; }
    XML_NODE *body() const { return xml_node_soap_get(root_, "s:Body"); }
    // A child of the Body, looked up the way the dispatcher does it.
    XML_NODE *element(const char *name) const { return xml_node_soap_get(body(), name); }

  private:
    std::vector<char> buf_;
    XML_NODE *root_ = nullptr;
};

} // namespace soaptest

#endif
