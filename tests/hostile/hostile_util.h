// Shared helpers of the hostile-peer tests: the texts of good SOAP replies
// (bounded waits and raw loopback clients are in tests/support).
#ifndef TESTS_HOSTILE_HOSTILE_UTIL_H
#define TESTS_HOSTILE_HOSTILE_UTIL_H

#include "tests/support/loopback_client.h"
#include "tests/support/soap_text.h"
#include "tests/support/wait.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace hostile
{

using Clock = std::chrono::steady_clock;

// ---- replies of a device ----

// A SOAP envelope with the "env" prefix around body_content, and its text up
// to the Body.
inline std::string envelope(const std::string &body_content)
{
    return soaptest::envelope(body_content, "env");
}
inline const std::string kEnvOpen = soaptest::envelope_head("env");

inline std::string device_info_body(const std::string &manufacturer = "Acme")
{
    return "<tds:GetDeviceInformationResponse><tds:Manufacturer>" + manufacturer +
           "</tds:Manufacturer><tds:Model>M1</tds:Model><tds:FirmwareVersion>1.2.3"
           "</tds:FirmwareVersion><tds:SerialNumber>SN42</tds:SerialNumber>"
           "<tds:HardwareId>HW9</tds:HardwareId></tds:GetDeviceInformationResponse>";
}

// A whole HTTP response; content_length < 0 leaves the header out.
inline std::string http_response(int status, const std::string &body,
                                 const std::string &ctype = "application/soap+xml; charset=utf-8",
                                 long content_length = -2)
{
    std::string h =
        "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Error") + "\r\n";
    if (!ctype.empty()) h += "Content-Type: " + ctype + "\r\n";
    if (content_length == -2) content_length = (long)body.size();
    if (content_length >= 0) h += "Content-Length: " + std::to_string(content_length) + "\r\n";
    return h + "Connection: close\r\n\r\n" + body;
}

inline std::string good_reply()
{
    return http_response(200, envelope(device_info_body()));
}

} // namespace hostile

#endif
