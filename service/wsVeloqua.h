#pragma once

#include "Error.h"
#include "SafeXml.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vq {

// The wire contract of the central service "Service1": SOAP 1.1, document/literal.
inline constexpr char kServiceNamespace[] = "http://tavistel.invalid/Veloqua/Service1";
inline constexpr char kServicePath[] = "/Veloqua/wsVeloqua.asmx";
inline constexpr char kSoapEnvelopeNamespace[] = "http://schemas.xmlsoap.org/soap/envelope/";
// Where the reference service listens by default, and so where the client looks when
// "ServerURL" is empty: the reference service on this computer.
inline constexpr char kDefaultServiceHost[] = "127.0.0.1";
inline constexpr int kDefaultServicePort = 8177;

// http://127.0.0.1:8177/Veloqua/wsVeloqua.asmx
QString DefaultServiceEndpoint();

// The exchange itself failed: no connection, a time limit passed, an HTTP error, or an answer
// that is not a SOAP envelope we accept.
class ESOAPHTTPException : public Error
{
public:
    explicit ESOAPHTTPException(const QString &message, int statusCode = 0)
        : Error(message)
        , m_statusCode(statusCode)
    {
    }
    int statusCode() const { return m_statusCode; } // 0 when no HTTP answer came
private:
    int m_statusCode;
};

// The service answered with a SOAP fault; the message is the fault's text.
class ERemotableException : public Error
{
public:
    ERemotableException(const QString &faultString, const QString &faultCode)
        : Error(faultString)
        , m_faultCode(faultCode)
    {
    }
    QString faultCode() const { return m_faultCode; }

private:
    QString m_faultCode;
};

// Table results. Their rows reach the program through the response hook only; the decoded
// object carries nothing but the schema text and is discarded by the callers.
class TTableResult
{
public:
    virtual ~TTableResult() = default;
    QString schema;
};
class GetISPsResult : public TTableResult {};
class GetConnectionTypesResult : public TTableResult {};
class GetSitesResult : public TTableResult {};
class GetVeloquaByISPDateResult : public TTableResult {};
class GetVeloquaByConnDateResult : public TTableResult {};
class GetAvgVeloquaByStateResult : public TTableResult {};
class GetAvgVeloquaByISPResult : public TTableResult {};
class GetMyVeloquaByDateResult : public TTableResult {};

// The HTTP transport of the service client (libcurl, blocking). One object serves one thread.
class THTTPRIO
{
public:
    THTTPRIO();
    ~THTTPRIO();
    THTTPRIO(const THTTPRIO &) = delete;
    THTTPRIO &operator=(const THTTPRIO &) = delete;

    QString URL; // the endpoint address

    // Time limits of our own: libcurl waits for ever by default, and a user expects a stuck
    // service to give up within a minute. ConnectTimeout covers reaching the host,
    // ResponseTimeout the whole exchange.
    int ConnectTimeout = 15000; // ms
    int ResponseTimeout = 60000; // ms
    // A response is refused beyond these (size is counted while it arrives).
    XmlLimits ResponseLimits;

    // Called with the request body before it is sent.
    std::function<void(const QString &methodName, const QByteArray &request)> OnBeforeExecute;
    // Called with every accepted response (a SOAP envelope that is not a fault), before its
    // result is decoded.
    std::function<void(const QString &methodName, const QByteArray &response)> OnAfterExecute;
    // Called when a call fails for any reason, before the exception leaves the call.
    std::function<void(const QString &methodName)> OnExecuteFailed;

    // Sends one request and returns the response's operation element (the child of soap:Body).
    // Throws ESOAPHTTPException or ERemotableException.
    XmlElement Execute(const QString &methodName, const QByteArray &request);

private:
    QByteArray post(const QString &methodName, const QByteArray &request, long *status);

    void *m_curl = nullptr;
};

// The interface of the central service, its 18 operations in their declaration order.
// Every call blocks until the answer has arrived and the response hook has run.
class Service1Soap
{
public:
    explicit Service1Soap(std::shared_ptr<THTTPRIO> rio);

    QString GetIPAddress();
    std::unique_ptr<GetISPsResult> GetISPs();
    QDateTime GetLastUpdatedISPs();
    std::unique_ptr<GetConnectionTypesResult> GetConnectionTypes();
    QDateTime GetLastUpdatedConnectionTypes();
    QDateTime GetLastUpdatedSites();
    std::unique_ptr<GetSitesResult> GetSites();
    int SaveUser(const QString &ProcessorType, const QString &ProcessorSpeed, const QString &OS,
                 const QString &OSVersion, const QString &SysManufacturer, const QString &SysModel);
    int SaveProfile(int ProfileId, int UserId, const QString &MacAddress, const QString &Name_,
                    const QString &IPAddress, int ISPId, const QString &ZipCode, const QString &State,
                    const QString &Country, int TimeZone, const QString &SatisfactionLevel,
                    const QString &ContractSpeed, int ConnectionTypeId);
    int InsertVeloqua(int ProfileId, int Veloqua, const QString &RAM, const QString &RAMAvailable,
                      const QString &HDFreeSpace);
    int InsertTestResults(int VeloquaId, int DownloadTimeMS, int PageSize, int SiteId);
    std::unique_ptr<GetVeloquaByISPDateResult> GetVeloquaByISPDate(int ProfileId, const QString &Period,
                                                                   const QString &Area);
    std::unique_ptr<GetVeloquaByConnDateResult> GetVeloquaByConnDate(int ProfileId, const QString &Period,
                                                                     const QString &Area);
    std::unique_ptr<GetAvgVeloquaByStateResult> GetAvgVeloquaByState(int ProfileId, const QString &Area);
    std::unique_ptr<GetAvgVeloquaByISPResult> GetAvgVeloquaByISP(int ProfileId, const QString &Area);
    int GetMyAvgVeloqua(int ProfileId, const QString &Period);
    std::unique_ptr<GetMyVeloquaByDateResult> GetMyVeloquaByDate(int ProfileId, const QString &Period);
    int GetAvgVeloqua(int ProfileId, const QString &Area, const QString &Period);

    THTTPRIO &transport() const { return *m_rio; }

    using Params = std::vector<std::pair<QString, QString>>;
    // The request body of one operation: one element in the service's namespace, one child per
    // parameter in order, values as text, UTF-8.
    static QByteArray EncodeRequest(const QString &methodName, const Params &params);

private:
    XmlElement call(const QString &methodName, const Params &params);
    int intResult(const QString &methodName, const Params &params);
    QString textResult(const QString &methodName, const Params &params);
    QDateTime dateTimeResult(const QString &methodName);
    template <class T>
    std::unique_ptr<T> tableResult(const QString &methodName, const Params &params);

    std::shared_ptr<THTTPRIO> m_rio;
};

// The service interface over a transport: an empty address selects DefaultServiceEndpoint();
// without a transport a new one is made. The address is set directly (no service description
// is fetched).
std::unique_ptr<Service1Soap> GetServiceProxy(const QString &address = QString(),
                                              std::shared_ptr<THTTPRIO> rio = nullptr);

// An xs:dateTime as a local date-time; an invalid QDateTime when the text is not one.
QDateTime ParseXsDateTime(const QString &text);

// The operation element of a SOAP response (the child of soap:Body). Throws
// ERemotableException for a fault and ESOAPHTTPException for anything that is not a SOAP 1.1
// envelope; limits as ParseXmlSafely.
XmlElement DecodeSoapResponse(const QByteArray &response, const XmlLimits &limits = XmlLimits());

} // namespace vq
