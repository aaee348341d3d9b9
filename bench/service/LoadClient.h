#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace vq::bench {

struct LoadResult {
    double requestsPerSecond = 0;
    double p50Ms = 0;
    double p99Ms = 0;
    int errors = 0;
    long requests = 0;
};

// Keeps `connections` kept-alive HTTP/1.1 connections to 127.0.0.1:port busy with POST
// requests for `seconds`, each connection on a thread of its own; makeBody(n) gives the body of
// the n-th request of a connection. Answers other than 200 count as errors.
LoadResult RunLoad(int port, const QByteArray &path, int connections, double seconds,
                   const std::function<QByteArray(int connection, long n)> &makeBody);

} // namespace vq::bench
