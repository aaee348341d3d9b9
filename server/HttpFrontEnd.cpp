#include "HttpFrontEnd.h"

#include "ServiceHandler.h"
#include "Storage.h"
#include "wsVeloqua.h"

#include <QDateTime>

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vq::server {

namespace {

thread_local std::chrono::steady_clock::time_point t_started;
thread_local std::string t_operation;

// The worker pool: like httplib's own, but every worker gives its database connection back
// when it ends.
class WorkerPool : public httplib::TaskQueue
{
public:
    WorkerPool(int n, Storage &storage)
        : m_storage(storage)
    {
        for (int i = 0; i < n; ++i)
            m_threads.emplace_back([this] { work(); });
    }

    void enqueue(std::function<void()> fn) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_jobs.push_back(std::move(fn));
        }
        m_cond.notify_one();
    }

    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_shutdown = true;
        }
        m_cond.notify_all();
        for (std::thread &t : m_threads)
            t.join();
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_cond.wait(lock, [this] { return m_shutdown || !m_jobs.empty(); });
                if (m_jobs.empty())
                    break; // shut down and nothing left
                fn = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            fn();
        }
        m_storage.releaseThreadConnection();
    }

    Storage &m_storage;
    std::vector<std::thread> m_threads;
    std::deque<std::function<void()>> m_jobs;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_shutdown = false;
};

std::string Utf8(const QByteArray &b)
{
    return std::string(b.constData(), size_t(b.size()));
}

} // namespace

HttpFrontEnd::HttpFrontEnd(ServiceHandler &handler, Storage &storage, const FrontEndOptions &options)
    : m_server(std::make_unique<httplib::Server>())
    , m_handler(handler)
    , m_storage(storage)
    , m_options(options)
{
    httplib::Server &s = *m_server;
    const int threads = options.threads;
    s.new_task_queue = [threads, &storage] { return new WorkerPool(threads, storage); };
    s.set_read_timeout(options.readTimeoutSec, 0);
    s.set_write_timeout(options.writeTimeoutSec, 0);
    s.set_keep_alive_timeout(options.keepAliveTimeoutSec);
    s.set_keep_alive_max_count(size_t(options.keepAliveMaxCount));
    s.set_payload_max_length(size_t(options.maxRequestBytes));
    s.set_tcp_nodelay(true);

    const qint64 maxBytes = options.maxRequestBytes;
    // Runs after the headers and before the body is read: an oversized or unsized body is
    // refused here, so its bytes are never taken in.
    s.set_pre_routing_handler([maxBytes](const httplib::Request &req, httplib::Response &res) {
        t_started = std::chrono::steady_clock::now();
        t_operation.clear();
        if (req.method != "POST")
            return httplib::Server::HandlerResponse::Unhandled;
        const bool chunked = req.get_header_value("Transfer-Encoding").find("chunked") != std::string::npos;
        const unsigned long long length = std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10);
        if (!chunked && length <= (unsigned long long)maxBytes)
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = chunked ? 411 : 413;
        const QString text = chunked ? QStringLiteral("The request must state its length (Content-Length).")
                                     : QStringLiteral("The request is larger than %1 bytes and was refused.").arg(maxBytes);
        res.set_header("Connection", "close");
        res.set_content(Utf8(ServiceHandler::Fault(text, true)), "text/xml; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    });

    s.Post(kServicePath, [this](const httplib::Request &req, httplib::Response &res) {
        const SoapReply reply = m_handler.handle(QByteArray::fromRawData(req.body.data(), qsizetype(req.body.size())),
                                                 QString::fromStdString(req.remote_addr));
        t_operation = reply.operation.left(64).toStdString();
        res.status = reply.status;
        res.set_content(Utf8(reply.body), "text/xml; charset=utf-8");
    });

    s.Get(kServicePath, [](const httplib::Request &req, httplib::Response &res) {
        // "?wsdl" in any case, with or without a value.
        bool wsdl = false;
        for (const auto &[key, value] : req.params) {
            if (QString::fromStdString(key).compare(QLatin1String("wsdl"), Qt::CaseInsensitive) == 0)
                wsdl = true;
        }
        if (!wsdl) {
            res.set_content("Veloqua central service. Its description is at ?wsdl.\n", "text/plain; charset=utf-8");
            return;
        }
        std::string host = req.get_header_value("Host");
        if (host.empty())
            host = "127.0.0.1";
        const QString endpoint = QStringLiteral("http://%1%2").arg(QString::fromStdString(host), QLatin1String(kServicePath));
        t_operation = "wsdl";
        res.set_content(Utf8(ServiceHandler::Wsdl(endpoint)), "text/xml; charset=utf-8");
    });

    s.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (!res.body.empty())
            return;
        if (res.status == 413) {
            res.set_content(Utf8(ServiceHandler::Fault(QStringLiteral("The request is too large and was refused."), true)),
                            "text/xml; charset=utf-8");
            return;
        }
        // Not the service's answer: a plain page, so no client takes it for a SOAP fault.
        res.set_content(QStringLiteral("HTTP %1: the service is at %2\n").arg(res.status).arg(QLatin1String(kServicePath)).toStdString(),
                        "text/plain; charset=utf-8");
    });

    s.set_exception_handler([](const httplib::Request &, httplib::Response &res, std::exception_ptr ep) {
        QString text = QStringLiteral("The service failed.");
        try {
            if (ep)
                std::rethrow_exception(ep);
        } catch (const std::exception &e) {
            text = QStringLiteral("The service failed: %1").arg(QString::fromLocal8Bit(e.what()));
        } catch (...) {
        }
        res.status = 500;
        res.set_content(Utf8(ServiceHandler::Fault(text, false)), "text/xml; charset=utf-8");
    });

    if (options.logRequests) {
        s.set_logger([](const httplib::Request &req, const httplib::Response &res) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t_started).count();
            const QByteArray when = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
            std::fprintf(stderr, "%s %s %s %s %s %d %zu %.1fms\n", when.constData(), req.remote_addr.c_str(),
                         req.method.c_str(), req.path.c_str(), t_operation.empty() ? "-" : t_operation.c_str(), res.status,
                         res.body.size(), ms);
        });
    }
}

HttpFrontEnd::~HttpFrontEnd() = default;

int HttpFrontEnd::bind(const QString &host, int port)
{
    const std::string h = host.toStdString();
    if (port == 0)
        return m_server->bind_to_any_port(h);
    return m_server->bind_to_port(h, port) ? port : -1;
}

bool HttpFrontEnd::run()
{
    return m_server->listen_after_bind();
}

void HttpFrontEnd::stop()
{
    m_server->stop();
}

} // namespace vq::server
