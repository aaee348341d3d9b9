#include "LoadClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace vq::bench {

namespace {

using Clock = std::chrono::steady_clock;

int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

// Reads one response; returns its status, or -1.
int ReadResponse(int fd, QByteArray &buffer)
{
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end >= 0) {
            qsizetype length = 0;
            const QByteArray head = buffer.left(end).toLower();
            const qsizetype cl = head.indexOf("content-length:");
            if (cl >= 0)
                length = head.mid(cl + 15, head.indexOf('\r', cl) - cl - 15).trimmed().toLongLong();
            if (buffer.size() >= end + 4 + length) {
                const int status = buffer.mid(9, 3).toInt();
                buffer.remove(0, end + 4 + length);
                return status;
            }
        }
        char chunk[65536];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return -1;
        buffer.append(chunk, n);
    }
}

} // namespace

LoadResult RunLoad(int port, const QByteArray &path, int connections, double seconds,
                   const std::function<QByteArray(int, long)> &makeBody)
{
    std::mutex mutex;
    std::vector<double> latencies;
    std::atomic<int> errors{0};
    std::atomic<long> total{0};
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::microseconds(qint64(seconds * 1e6));
    std::vector<std::thread> threads;
    for (int c = 0; c < connections; ++c) {
        threads.emplace_back([&, c] {
            std::vector<double> mine;
            int fd = Connect(port);
            QByteArray buffer;
            long n = 0;
            while (fd >= 0 && Clock::now() < end) {
                const QByteArray body = makeBody(c, n++);
                const QByteArray request = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml; charset=utf-8\r\n"
                                           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
                const Clock::time_point t0 = Clock::now();
                if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size()) {
                    ++errors;
                    break;
                }
                const int status = ReadResponse(fd, buffer);
                if (status >= 0)
                    mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                if (status >= 0 && status != 200)
                    ++errors;
                if (status < 0) { // the server ended the kept-alive connection: open a new one
                    ::close(fd);
                    buffer.clear();
                    fd = Connect(port);
                }
            }
            if (fd >= 0)
                ::close(fd);
            total += long(mine.size());
            std::lock_guard<std::mutex> lock(mutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    }
    for (std::thread &t : threads)
        t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    LoadResult r;
    r.requests = total;
    r.errors = errors;
    r.requestsPerSecond = double(total) / elapsed;
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        r.p50Ms = latencies[latencies.size() / 2];
        r.p99Ms = latencies[std::min(latencies.size() - 1, size_t(double(latencies.size()) * 0.99))];
    }
    return r;
}

} // namespace vq::bench
