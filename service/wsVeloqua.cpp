#include "wsVeloqua.h"
#include "CurlGlobal.h"

#include <QRegularExpression>
#include <QXmlStreamWriter>

#include <curl/curl.h>


namespace vq {

namespace {

const QString &Ns()
{
    static const QString ns = QString::fromLatin1(kServiceNamespace);
    return ns;
}

const QString &SoapNs()
{
    static const QString ns = QString::fromLatin1(kSoapEnvelopeNamespace);
    return ns;
}


struct Sink {
    QByteArray body;
    qint64 limit = 0;
    bool overflow = false;
};

size_t WriteBody(char *data, size_t size, size_t count, void *user)
{
    auto *sink = static_cast<Sink *>(user);
    const size_t n = size * count;
    if (sink->body.size() + qint64(n) > sink->limit) {
        sink->overflow = true;
        return 0; // makes libcurl stop with CURLE_WRITE_ERROR
    }
    sink->body.append(data, qsizetype(n));
    return n;
}

QString FaultText(const XmlElement &fault)
{
    const XmlElement *s = fault.child(QStringLiteral("faultstring"));
    return s ? s->text.trimmed() : QStringLiteral("The service reported a fault without a text.");
}

QString IntText(int value)
{
    return QString::number(value);
}

} // namespace

QString DefaultServiceEndpoint()
{
    return QStringLiteral("http://%1:%2%3")
        .arg(QLatin1String(kDefaultServiceHost))
        .arg(kDefaultServicePort)
        .arg(QLatin1String(kServicePath));
}

QDateTime ParseXsDateTime(const QString &text)
{
    QString t = text.trimmed();
    // Qt reads at most milliseconds; other services send up to seven fraction digits.
    static const QRegularExpression fraction(QStringLiteral("(\\.\\d{3})\\d+"));
    t.replace(fraction, QStringLiteral("\\1"));
    QDateTime value = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!value.isValid())
        return {};
    return value.toLocalTime();
}

XmlElement DecodeSoapResponse(const QByteArray &response, const XmlLimits &limits)
{
    XmlElement root;
    try {
        root = ParseXmlSafely(response, limits);
    } catch (const EXmlRefused &e) {
        throw ESOAPHTTPException(QStringLiteral("The service's answer was refused: %1").arg(e.message()));
    }
    if (root.ns != SoapNs() || root.name != QLatin1String("Envelope"))
        throw ESOAPHTTPException(QStringLiteral("The service's answer is not a SOAP 1.1 envelope."));
    const XmlElement *body = root.child(QStringLiteral("Body"), &SoapNs());
    if (!body || body->children.empty())
        throw ESOAPHTTPException(QStringLiteral("The service's answer has an empty SOAP body."));
    XmlElement operation = body->children.front();
    if (operation.ns == SoapNs() && operation.name == QLatin1String("Fault")) {
        const XmlElement *code = operation.child(QStringLiteral("faultcode"));
        throw ERemotableException(FaultText(operation), code ? code->text.trimmed() : QString());
    }
    return operation;
}

// ---------------------------------------------------------------------------------------------

THTTPRIO::THTTPRIO()
{
    platform::EnsureCurlGlobalInit();
    m_curl = curl_easy_init();
}

THTTPRIO::~THTTPRIO()
{
    if (m_curl)
        curl_easy_cleanup(static_cast<CURL *>(m_curl));
}

QByteArray THTTPRIO::post(const QString &methodName, const QByteArray &request, long *status)
{
    auto *curl = static_cast<CURL *>(m_curl);
    if (!curl)
        throw ESOAPHTTPException(QStringLiteral("The HTTP client could not be set up."));
    const QByteArray url = URL.toUtf8();
    const QByteArray action = "SOAPAction: \"" + QByteArray(kServiceNamespace) + '/' + methodName.toUtf8() + '"';

    curl_slist *headers = nullptr;
    headers = curl_slist_append(headers, "Content-Type: text/xml; charset=utf-8");
    headers = curl_slist_append(headers, action.constData());
    headers = curl_slist_append(headers, "Expect:"); // no 100-continue round trip
    Sink sink;
    sink.limit = ResponseLimits.maxBytes;

    // The service is usually on this computer; a proxy from the environment must not catch it.
    QByteArray noProxy = qgetenv("no_proxy");
    if (noProxy.isEmpty())
        noProxy = qgetenv("NO_PROXY");
    if (noProxy != "*")
        noProxy = noProxy.isEmpty() ? QByteArray("localhost,127.0.0.1,::1") : noProxy + ",localhost,127.0.0.1,::1";

    char errorText[CURL_ERROR_SIZE] = {0};
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Veloqua/1.0");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(ConnectTimeout));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(ResponseTimeout));
    curl_easy_setopt(curl, CURLOPT_NOPROXY, noProxy.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);

    if (sink.overflow)
        throw ESOAPHTTPException(QStringLiteral("The answer of the service at %1 is larger than %2 bytes and was refused.")
                                     .arg(URL)
                                     .arg(ResponseLimits.maxBytes));
    if (rc != CURLE_OK) {
        const QString why = errorText[0] ? QString::fromLocal8Bit(errorText) : QString::fromLatin1(curl_easy_strerror(rc));
        if (rc == CURLE_OPERATION_TIMEDOUT)
            throw ESOAPHTTPException(QStringLiteral("The service at %1 did not answer in time (%2).").arg(URL, why));
        throw ESOAPHTTPException(QStringLiteral("Could not reach the service at %1: %2").arg(URL, why));
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, status);
    return sink.body;
}

XmlElement THTTPRIO::Execute(const QString &methodName, const QByteArray &request)
{
    try {
        if (OnBeforeExecute)
            OnBeforeExecute(methodName, request);
        long status = 0;
        const QByteArray response = post(methodName, request, &status);
        XmlElement operation;
        try {
            operation = DecodeSoapResponse(response, ResponseLimits);
        } catch (const ESOAPHTTPException &e) {
            if (status != 200)
                throw ESOAPHTTPException(QStringLiteral("The service at %1 answered with HTTP status %2.").arg(URL).arg(status),
                                         int(status));
            throw ESOAPHTTPException(e.message(), int(status));
        }
        if (status != 200)
            throw ESOAPHTTPException(QStringLiteral("The service at %1 answered with HTTP status %2.").arg(URL).arg(status),
                                     int(status));
        if (operation.ns != Ns() || operation.name != methodName + QLatin1String("Response"))
            throw ESOAPHTTPException(QStringLiteral("The service answered %1 with an unexpected element <%2>.")
                                         .arg(methodName, operation.name));
        if (OnAfterExecute)
            OnAfterExecute(methodName, response);
        return operation;
    } catch (...) {
        if (OnExecuteFailed)
            OnExecuteFailed(methodName);
        throw;
    }
}

// ---------------------------------------------------------------------------------------------

Service1Soap::Service1Soap(std::shared_ptr<THTTPRIO> rio)
    : m_rio(std::move(rio))
{
}

QByteArray Service1Soap::EncodeRequest(const QString &methodName, const Params &params)
{
    QByteArray body;
    QXmlStreamWriter w(&body);
    w.writeStartDocument();
    w.writeNamespace(SoapNs(), QStringLiteral("soap"));
    w.writeNamespace(QStringLiteral("http://www.w3.org/2001/XMLSchema"), QStringLiteral("xsd"));
    w.writeNamespace(QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"), QStringLiteral("xsi"));
    w.writeStartElement(SoapNs(), QStringLiteral("Envelope"));
    w.writeStartElement(SoapNs(), QStringLiteral("Body"));
    w.writeStartElement(methodName);
    w.writeDefaultNamespace(Ns());
    for (const auto &[name, value] : params)
        w.writeTextElement(name, value);
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return body;
}

XmlElement Service1Soap::call(const QString &methodName, const Params &params)
{
    return m_rio->Execute(methodName, EncodeRequest(methodName, params));
}

namespace {
QString ResultText(const XmlElement &operation, const QString &methodName, bool *present)
{
    const XmlElement *result = operation.child(methodName + QLatin1String("Result"));
    *present = result != nullptr;
    return result ? result->text : QString();
}
} // namespace

int Service1Soap::intResult(const QString &methodName, const Params &params)
{
    const XmlElement operation = call(methodName, params);
    bool present = false;
    bool ok = false;
    const int value = ResultText(operation, methodName, &present).trimmed().toInt(&ok);
    if (!present || !ok) {
        if (m_rio->OnExecuteFailed)
            m_rio->OnExecuteFailed(methodName);
        throw ESOAPHTTPException(QStringLiteral("The service's answer to %1 holds no whole number.").arg(methodName));
    }
    return value;
}

QString Service1Soap::textResult(const QString &methodName, const Params &params)
{
    bool present = false;
    return ResultText(call(methodName, params), methodName, &present); // absent: a null string
}

QDateTime Service1Soap::dateTimeResult(const QString &methodName)
{
    const XmlElement operation = call(methodName, {});
    bool present = false;
    const QDateTime value = ParseXsDateTime(ResultText(operation, methodName, &present));
    if (!value.isValid()) {
        if (m_rio->OnExecuteFailed)
            m_rio->OnExecuteFailed(methodName);
        throw ESOAPHTTPException(QStringLiteral("The service's answer to %1 holds no date and time.").arg(methodName));
    }
    return value;
}

template <class T>
std::unique_ptr<T> Service1Soap::tableResult(const QString &methodName, const Params &params)
{
    const XmlElement operation = call(methodName, params);
    auto result = std::make_unique<T>();
    if (const XmlElement *r = operation.child(methodName + QLatin1String("Result"))) {
        if (const XmlElement *schema = r->child(QStringLiteral("schema")))
            result->schema = schema->attribute(QStringLiteral("id"));
    }
    return result;
}

QString Service1Soap::GetIPAddress()
{
    return textResult(QStringLiteral("GetIPAddress"), {});
}

std::unique_ptr<GetISPsResult> Service1Soap::GetISPs()
{
    return tableResult<GetISPsResult>(QStringLiteral("GetISPs"), {});
}

QDateTime Service1Soap::GetLastUpdatedISPs()
{
    return dateTimeResult(QStringLiteral("GetLastUpdatedISPs"));
}

std::unique_ptr<GetConnectionTypesResult> Service1Soap::GetConnectionTypes()
{
    return tableResult<GetConnectionTypesResult>(QStringLiteral("GetConnectionTypes"), {});
}

QDateTime Service1Soap::GetLastUpdatedConnectionTypes()
{
    return dateTimeResult(QStringLiteral("GetLastUpdatedConnectionTypes"));
}

QDateTime Service1Soap::GetLastUpdatedSites()
{
    return dateTimeResult(QStringLiteral("GetLastUpdatedSites"));
}

std::unique_ptr<GetSitesResult> Service1Soap::GetSites()
{
    return tableResult<GetSitesResult>(QStringLiteral("GetSites"), {});
}

int Service1Soap::SaveUser(const QString &ProcessorType, const QString &ProcessorSpeed, const QString &OS,
                           const QString &OSVersion, const QString &SysManufacturer, const QString &SysModel)
{
    return intResult(QStringLiteral("SaveUser"), {{QStringLiteral("ProcessorType"), ProcessorType},
                                                  {QStringLiteral("ProcessorSpeed"), ProcessorSpeed},
                                                  {QStringLiteral("OS"), OS},
                                                  {QStringLiteral("OSVersion"), OSVersion},
                                                  {QStringLiteral("SysManufacturer"), SysManufacturer},
                                                  {QStringLiteral("SysModel"), SysModel}});
}

int Service1Soap::SaveProfile(int ProfileId, int UserId, const QString &MacAddress, const QString &Name_,
                              const QString &IPAddress, int ISPId, const QString &ZipCode, const QString &State,
                              const QString &Country, int TimeZone, const QString &SatisfactionLevel,
                              const QString &ContractSpeed, int ConnectionTypeId)
{
    // Name_ travels as "Name".
    return intResult(QStringLiteral("SaveProfile"), {{QStringLiteral("ProfileId"), IntText(ProfileId)},
                                                     {QStringLiteral("UserId"), IntText(UserId)},
                                                     {QStringLiteral("MacAddress"), MacAddress},
                                                     {QStringLiteral("Name"), Name_},
                                                     {QStringLiteral("IPAddress"), IPAddress},
                                                     {QStringLiteral("ISPId"), IntText(ISPId)},
                                                     {QStringLiteral("ZipCode"), ZipCode},
                                                     {QStringLiteral("State"), State},
                                                     {QStringLiteral("Country"), Country},
                                                     {QStringLiteral("TimeZone"), IntText(TimeZone)},
                                                     {QStringLiteral("SatisfactionLevel"), SatisfactionLevel},
                                                     {QStringLiteral("ContractSpeed"), ContractSpeed},
                                                     {QStringLiteral("ConnectionTypeId"), IntText(ConnectionTypeId)}});
}

int Service1Soap::InsertVeloqua(int ProfileId, int Veloqua, const QString &RAM, const QString &RAMAvailable,
                                const QString &HDFreeSpace)
{
    return intResult(QStringLiteral("InsertVeloqua"), {{QStringLiteral("ProfileId"), IntText(ProfileId)},
                                                       {QStringLiteral("Veloqua"), IntText(Veloqua)},
                                                       {QStringLiteral("RAM"), RAM},
                                                       {QStringLiteral("RAMAvailable"), RAMAvailable},
                                                       {QStringLiteral("HDFreeSpace"), HDFreeSpace}});
}

int Service1Soap::InsertTestResults(int VeloquaId, int DownloadTimeMS, int PageSize, int SiteId)
{
    return intResult(QStringLiteral("InsertTestResults"), {{QStringLiteral("VeloquaId"), IntText(VeloquaId)},
                                                           {QStringLiteral("DownloadTimeMS"), IntText(DownloadTimeMS)},
                                                           {QStringLiteral("PageSize"), IntText(PageSize)},
                                                           {QStringLiteral("SiteId"), IntText(SiteId)}});
}

std::unique_ptr<GetVeloquaByISPDateResult> Service1Soap::GetVeloquaByISPDate(int ProfileId, const QString &Period,
                                                                             const QString &Area)
{
    return tableResult<GetVeloquaByISPDateResult>(
        QStringLiteral("GetVeloquaByISPDate"),
        {{QStringLiteral("ProfileId"), IntText(ProfileId)}, {QStringLiteral("Period"), Period}, {QStringLiteral("Area"), Area}});
}

std::unique_ptr<GetVeloquaByConnDateResult> Service1Soap::GetVeloquaByConnDate(int ProfileId, const QString &Period,
                                                                               const QString &Area)
{
    return tableResult<GetVeloquaByConnDateResult>(
        QStringLiteral("GetVeloquaByConnDate"),
        {{QStringLiteral("ProfileId"), IntText(ProfileId)}, {QStringLiteral("Period"), Period}, {QStringLiteral("Area"), Area}});
}

std::unique_ptr<GetAvgVeloquaByStateResult> Service1Soap::GetAvgVeloquaByState(int ProfileId, const QString &Area)
{
    return tableResult<GetAvgVeloquaByStateResult>(
        QStringLiteral("GetAvgVeloquaByState"), {{QStringLiteral("ProfileId"), IntText(ProfileId)}, {QStringLiteral("Area"), Area}});
}

std::unique_ptr<GetAvgVeloquaByISPResult> Service1Soap::GetAvgVeloquaByISP(int ProfileId, const QString &Area)
{
    return tableResult<GetAvgVeloquaByISPResult>(
        QStringLiteral("GetAvgVeloquaByISP"), {{QStringLiteral("ProfileId"), IntText(ProfileId)}, {QStringLiteral("Area"), Area}});
}

int Service1Soap::GetMyAvgVeloqua(int ProfileId, const QString &Period)
{
    return intResult(QStringLiteral("GetMyAvgVeloqua"),
                     {{QStringLiteral("ProfileId"), IntText(ProfileId)}, {QStringLiteral("Period"), Period}});
}

std::unique_ptr<GetMyVeloquaByDateResult> Service1Soap::GetMyVeloquaByDate(int ProfileId, const QString &Period)
{
    return tableResult<GetMyVeloquaByDateResult>(
        QStringLiteral("GetMyVeloquaByDate"), {{QStringLiteral("ProfileId"), IntText(ProfileId)}, {QStringLiteral("Period"), Period}});
}

int Service1Soap::GetAvgVeloqua(int ProfileId, const QString &Area, const QString &Period)
{
    return intResult(QStringLiteral("GetAvgVeloqua"), {{QStringLiteral("ProfileId"), IntText(ProfileId)},
                                                       {QStringLiteral("Area"), Area},
                                                       {QStringLiteral("Period"), Period}});
}

std::unique_ptr<Service1Soap> GetServiceProxy(const QString &address, std::shared_ptr<THTTPRIO> rio)
{
    if (!rio)
        rio = std::make_shared<THTTPRIO>();
    rio->URL = address.isEmpty() ? DefaultServiceEndpoint() : address;
    return std::make_unique<Service1Soap>(std::move(rio));
}

} // namespace vq
