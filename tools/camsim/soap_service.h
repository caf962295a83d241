// How camsim answers SOAP operations: every service is a table of rows
// (namespace, operation name, handler). The camera's SOAP entry authenticates
// the request, picks the answer mode, finds the row and runs its handler;
// the handler reads the request element, changes the camera's state and
// fills in the reply element (or a fault).
//
// Adding a service: write <service>_service.cpp with a table of SoapOp rows
// and a function returning it, declare that function below and list it in
// soap_service.cpp. Per-camera state of the service lives in a record of its
// own that Camera holds (see device_state.h).
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

#include "http.h"
#include "xml.h"

namespace camsim
{

class Camera;

// An xs:float text as the PTZ and imaging replies write it: seven significant digits.
inline QString floatText(double v)
{
    return QString::number(v, 'g', 7);
}

// Milliseconds of a steady clock, for moves and focus runs that take time.
inline qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A binary part sent after the envelope in a multipart/related (MTOM/XOP)
// reply; the envelope refers to it with xop:Include href="cid:<id>".
struct SoapAttachment {
    QByteArray id; // Content-ID without the angle brackets
    QByteArray contentType;
    QByteArray data;
};

struct SoapCall {
    const XNode &env;       // the request envelope
    const XNode &in;        // the operation element (first child of the Body)
    const HttpRequest &req; // the HTTP request it came in
    QJsonObject &log;       // the request-log line; handlers may add fields

    El out;                                  // the reply's Body element
    std::vector<SoapAttachment> attachments; // non-empty: an MTOM reply
    HttpResponse err;                        // the answer when the handler refuses
    std::function<void()> afterReply;        // runs once the reply was sent
};

// Returns true with call.out filled in, or false with call.err.
using SoapHandler = bool (*)(Camera &cam, SoapCall &call);

struct SoapOp {
    int ns;           // namespace of the operation element (Ns)
    const char *name; // local name of the operation element
    SoapHandler run;
};

struct SoapOpTable {
    const SoapOp *rows;
    size_t count;
};

SoapOpTable deviceServiceOps();       // device_service.cpp
SoapOpTable eventsServiceOps();       // events.cpp
SoapOpTable recordingServiceOps();    // recording_service.cpp
SoapOpTable searchServiceOps();       // search_service.cpp
SoapOpTable replayServiceOps();       // replay_service.cpp
SoapOpTable analyticsServiceOps();    // analytics_service.cpp
SoapOpTable thermalServiceOps();      // thermal_service.cpp
SoapOpTable receiverServiceOps();     // receiver_service.cpp
SoapOpTable provisioningServiceOps(); // provisioning_service.cpp
SoapOpTable mediaServiceOps();        // media_service.cpp
SoapOpTable media2ServiceOps();       // media2_service.cpp
SoapOpTable pacsServiceOps();         // pacs_service.cpp
SoapOpTable ptzServiceOps();          // ptz_service.cpp
SoapOpTable imagingServiceOps();      // imaging_service.cpp
SoapOpTable deviceIoServiceOps();     // deviceio_service.cpp

// The row for an operation element: the one with its namespace and name;
// else, when the namespace is not the row's, the only row of that name (a
// client that puts a device call in an older namespace is still answered).
// Null for an unknown operation.
const SoapOp *findSoapOp(const QString &uri, const QString &name);

} // namespace camsim
