#pragma once

#include <QString>

#include <memory>

namespace httplib {
class Server;
}

namespace vq::server {

class ServiceHandler;
class Storage;

struct FrontEndOptions {
    int threads = 16;              // connections served at once
    int readTimeoutSec = 10;       // a client that sends nothing for this long is dropped
    int writeTimeoutSec = 10;      // ... or that takes nothing for this long
    int keepAliveTimeoutSec = 5;   // an idle kept-alive connection is closed after this
    int keepAliveMaxCount = 100;   // requests on one connection
    qint64 maxRequestBytes = 1024 * 1024;
    bool logRequests = true;       // one line per request on stderr
};

// The HTTP side of the service (cpp-httplib): POST of SOAP requests and GET of the service
// description at the service path. Requests run on a pool of worker threads, each with its
// own database connection.
class HttpFrontEnd
{
public:
    HttpFrontEnd(ServiceHandler &handler, Storage &storage, const FrontEndOptions &options = FrontEndOptions());
    ~HttpFrontEnd();

    // Binds the listening socket; port 0 takes a free one. Returns the port, or -1.
    int bind(const QString &host, int port);
    // Serves until stop() is called (from any thread). Requests in progress finish first.
    bool run();
    void stop();

private:
    std::unique_ptr<httplib::Server> m_server;
    ServiceHandler &m_handler;
    Storage &m_storage;
    FrontEndOptions m_options;
};

} // namespace vq::server
