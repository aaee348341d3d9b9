// The response decoder: any bytes from the network, as a SOAP answer of a scalar operation.
#include "wsVeloqua.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    vq::XmlLimits limits;
    limits.maxBytes = 1 << 20;
    try {
        const vq::XmlElement operation = vq::DecodeSoapResponse(bytes, limits);
        if (const vq::XmlElement *result = operation.child(QStringLiteral("GetLastUpdatedSitesResult")))
            (void)vq::ParseXsDateTime(result->text);
    } catch (const vq::Error &) {
        // refused: what a hostile answer must get
    }
    return 0;
}
