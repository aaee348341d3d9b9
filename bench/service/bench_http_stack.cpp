// Which HTTP server carries the reference service: Qt HttpServer or cpp-httplib, each serving
// the same canned SOAP answer to kept-alive loopback clients. Prints requests per second and
// p99 latency per concurrency, and the ratio of the two.
#include "LoadClient.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QThread>

#include <httplib.h>

#include <cstdio>
#include <thread>

using namespace vq::bench;

namespace {

const QByteArray kCanned =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
    "<soap:Body><GetAvgVeloquaResponse xmlns=\"http://tavistel.invalid/Veloqua/Service1\"><GetAvgVeloquaResult>123456"
    "</GetAvgVeloquaResult></GetAvgVeloquaResponse></soap:Body></soap:Envelope>";
const QByteArray kRequest =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
    "<GetAvgVeloqua xmlns=\"http://tavistel.invalid/Veloqua/Service1\"><ProfileId>1</ProfileId><Area>zipcode</Area>"
    "<Period>anytime</Period></GetAvgVeloqua></soap:Body></soap:Envelope>";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;

    // Qt HttpServer on a thread with its own event loop (its handlers run there).
    QThread qtThread;
    qtThread.start();
    QObject holder;
    holder.moveToThread(&qtThread);
    QHttpServer *qtServer = nullptr;
    int qtPort = 0;
    QMetaObject::invokeMethod(
        &holder,
        [&] {
            qtServer = new QHttpServer;
            qtServer->route(QStringLiteral("/Veloqua/wsVeloqua.asmx"), QHttpServerRequest::Method::Post,
                            [](const QHttpServerRequest &) { return QHttpServerResponse("text/xml; charset=utf-8", kCanned); });
            // The same answer after 2 ms of blocking work, as a synchronous commit or an
            // aggregate costs the real service.
            qtServer->route(QStringLiteral("/slow"), QHttpServerRequest::Method::Post, [](const QHttpServerRequest &) {
                QThread::usleep(2000);
                return QHttpServerResponse("text/xml; charset=utf-8", kCanned);
            });
            qtPort = qtServer->listen(QHostAddress::LocalHost, 0);
        },
        Qt::BlockingQueuedConnection);

    httplib::Server hl;
    hl.new_task_queue = [] { return new httplib::ThreadPool(16); };
    hl.set_tcp_nodelay(true); // as the service does; without it every answer waits for a delayed ACK
    hl.set_keep_alive_max_count(100);
    hl.Post("/Veloqua/wsVeloqua.asmx", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(std::string(kCanned.constData(), size_t(kCanned.size())), "text/xml; charset=utf-8");
    });
    hl.Post("/slow", [](const httplib::Request &, httplib::Response &res) {
        std::this_thread::sleep_for(std::chrono::microseconds(2000));
        res.set_content(std::string(kCanned.constData(), size_t(kCanned.size())), "text/xml; charset=utf-8");
    });
    const int hlPort = hl.bind_to_any_port("127.0.0.1");
    std::thread hlThread([&] { hl.listen_after_bind(); });

    std::printf("canned SOAP answer, %.1f s per figure, kept-alive connections on loopback\n", seconds);
    std::printf("%-22s %12s %10s %14s %10s %12s\n", "handler, connections", "Qt rps", "Qt p99", "httplib rps", "httplib p99", "httplib/Qt");
    for (const char *path : {"/Veloqua/wsVeloqua.asmx", "/slow"}) {
        for (int connections : {1, 8, 32}) {
            const auto body = [](int, long) { return kRequest; };
            const LoadResult q = RunLoad(qtPort, path, connections, seconds, body);
            const LoadResult h = RunLoad(hlPort, path, connections, seconds, body);
            std::printf("%-18s %3d %12.0f %8.2fms %14.0f %8.2fms %11.2fx   (errors %d/%d)\n",
                        path[1] == 's' ? "2 ms of work" : "immediate", connections, q.requestsPerSecond, q.p99Ms,
                        h.requestsPerSecond, h.p99Ms, h.requestsPerSecond / std::max(1.0, q.requestsPerSecond), q.errors, h.errors);
        }
    }

    hl.stop();
    hlThread.join();
    QMetaObject::invokeMethod(&holder, [&] { delete qtServer; }, Qt::BlockingQueuedConnection);
    qtThread.quit();
    qtThread.wait();
    return 0;
}
