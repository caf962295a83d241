#include "soap_service.h"

namespace camsim
{

namespace
{

// The services camsim answers; a new service adds its table here.
SoapOpTable (*const kServices[])() = {
    // clang-format off
    deviceServiceOps,
    eventsServiceOps,
    recordingServiceOps,
    searchServiceOps,
    replayServiceOps,
    analyticsServiceOps,
    thermalServiceOps,
    receiverServiceOps,
    provisioningServiceOps,
    mediaServiceOps,
    media2ServiceOps,
    pacsServiceOps,
    ptzServiceOps,
    imagingServiceOps,
    deviceIoServiceOps,
    // clang-format on
};

} // namespace

const SoapOp *findSoapOp(const QString &uri, const QString &name)
{
    const SoapOp *byName = nullptr;
    int named = 0;
    for (auto table : kServices) {
        const SoapOpTable t = table();
        for (size_t i = 0; i < t.count; ++i) {
            const SoapOp &op = t.rows[i];
            if (name != QLatin1String(op.name)) continue;
            if (uri == QLatin1String(nsUri(op.ns))) return &op;
            byName = &op;
            ++named;
        }
    }
    return named == 1 ? byName : nullptr;
}

} // namespace camsim
