#pragma once

#include "Comparisons.h"
#include "Storage.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace vq::server {

struct SoapReply {
    int status = 200;
    QByteArray body;
    QString operation; // for the log; empty when the request named none
};

// The SOAP side of the service: reads a request envelope, runs the operation on the storage,
// writes the answer or a fault. Safe to call from several threads at once.
class ServiceHandler
{
public:
    explicit ServiceHandler(Storage &storage);

    // peerAddress: the caller's address as the connection shows it (the answer of GetIPAddress).
    SoapReply handle(const QByteArray &request, const QString &peerAddress);

    // The service description for an endpoint address.
    static QByteArray Wsdl(const QString &endpoint);
    // A SOAP 1.1 fault; client: the request was at fault (else the service).
    static QByteArray Fault(const QString &text, bool client);

    // The clock of the comparisons and inserts (UTC seconds); replaceable for tests.
    std::function<qint64()> now = [] { return Storage::NowUtc(); };

    // Request documents are refused beyond these.
    static constexpr int kMaxRequestDepth = 256;

private:
    Storage &m_storage;
    Comparisons m_comparisons;
};

// The caller's address as GetIPAddress reports it: an IPv4 address mapped into IPv6 is written
// as plain IPv4.
QString CallerAddress(const QString &peer);

} // namespace vq::server
