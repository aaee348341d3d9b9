#include "ServiceHandler.h"

#include "SafeXml.h"
#include "wsVeloqua.h"

#include <QHostAddress>
#include <QXmlStreamWriter>

#include <map>

namespace vq::server {

namespace {

const QString kSoapNs = QString::fromLatin1(kSoapEnvelopeNamespace);
const QString kNs = QString::fromLatin1(kServiceNamespace);
const QString kXsNs = QStringLiteral("http://www.w3.org/2001/XMLSchema");
const QString kMsdataNs = QStringLiteral("urn:schemas-microsoft-com:xml-msdata");
const QString kDiffgrNs = QStringLiteral("urn:schemas-microsoft-com:xml-diffgram-v1");

enum class Kind { Text, Int, DateTime, Table };

struct Param {
    const char *name;
    bool isInt;
};

struct OperationInfo {
    const char *name;
    Kind result;
    std::vector<Param> params;
};

// The 18 operations in their declaration order.
const std::vector<OperationInfo> &Operations()
{
    static const std::vector<OperationInfo> ops = {
        {"GetIPAddress", Kind::Text, {}},
        {"GetISPs", Kind::Table, {}},
        {"GetLastUpdatedISPs", Kind::DateTime, {}},
        {"GetConnectionTypes", Kind::Table, {}},
        {"GetLastUpdatedConnectionTypes", Kind::DateTime, {}},
        {"GetLastUpdatedSites", Kind::DateTime, {}},
        {"GetSites", Kind::Table, {}},
        {"SaveUser", Kind::Int, {{"ProcessorType", false}, {"ProcessorSpeed", false}, {"OS", false}, {"OSVersion", false},
                                 {"SysManufacturer", false}, {"SysModel", false}}},
        {"SaveProfile", Kind::Int, {{"ProfileId", true}, {"UserId", true}, {"MacAddress", false}, {"Name", false},
                                    {"IPAddress", false}, {"ISPId", true}, {"ZipCode", false}, {"State", false},
                                    {"Country", false}, {"TimeZone", true}, {"SatisfactionLevel", false},
                                    {"ContractSpeed", false}, {"ConnectionTypeId", true}}},
        {"InsertVeloqua", Kind::Int, {{"ProfileId", true}, {"Veloqua", true}, {"RAM", false}, {"RAMAvailable", false},
                                      {"HDFreeSpace", false}}},
        {"InsertTestResults", Kind::Int, {{"VeloquaId", true}, {"DownloadTimeMS", true}, {"PageSize", true}, {"SiteId", true}}},
        {"GetVeloquaByISPDate", Kind::Table, {{"ProfileId", true}, {"Period", false}, {"Area", false}}},
        {"GetVeloquaByConnDate", Kind::Table, {{"ProfileId", true}, {"Period", false}, {"Area", false}}},
        {"GetAvgVeloquaByState", Kind::Table, {{"ProfileId", true}, {"Area", false}}},
        {"GetAvgVeloquaByISP", Kind::Table, {{"ProfileId", true}, {"Area", false}}},
        {"GetMyAvgVeloqua", Kind::Int, {{"ProfileId", true}, {"Period", false}}},
        {"GetMyVeloquaByDate", Kind::Table, {{"ProfileId", true}, {"Period", false}}},
        {"GetAvgVeloqua", Kind::Int, {{"ProfileId", true}, {"Area", false}, {"Period", false}}},
    };
    return ops;
}

const OperationInfo *FindOperation(const QString &name)
{
    for (const OperationInfo &op : Operations()) {
        if (name == QLatin1String(op.name))
            return &op;
    }
    return nullptr;
}

// The parameters of a request, checked against the operation's list.
class Args
{
public:
    Args(const OperationInfo &op, const XmlElement &element)
    {
        for (const XmlElement &c : element.children) {
            if (c.ns == kNs && !m_values.count(c.name))
                m_values.emplace(c.name, c.text);
        }
        for (const Param &p : op.params) {
            const QString name = QLatin1String(p.name);
            if (p.isInt && !m_values.count(name))
                throw EBadRequest(QStringLiteral("%1 is missing.").arg(name));
        }
    }
    QString text(const char *name) const
    {
        const auto it = m_values.find(QLatin1String(name));
        return it == m_values.end() ? QString() : it->second;
    }
    int integer(const char *name) const
    {
        bool ok = false;
        const int v = text(name).trimmed().toInt(&ok);
        if (!ok)
            throw EBadRequest(QStringLiteral("%1 is not a whole number: \"%2\".").arg(QLatin1String(name), text(name).left(40)));
        return v;
    }

private:
    std::map<QString, QString> m_values;
};

void StartEnvelope(QXmlStreamWriter &w)
{
    w.writeStartDocument();
    w.writeNamespace(kSoapNs, QStringLiteral("soap"));
    w.writeNamespace(QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"), QStringLiteral("xsi"));
    w.writeNamespace(kXsNs, QStringLiteral("xsd"));
    w.writeStartElement(kSoapNs, QStringLiteral("Envelope"));
    w.writeStartElement(kSoapNs, QStringLiteral("Body"));
}

void EndEnvelope(QXmlStreamWriter &w)
{
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
}

QByteArray ScalarReply(const QString &operation, const QString &value)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    StartEnvelope(w);
    w.writeStartElement(operation + QLatin1String("Response"));
    w.writeDefaultNamespace(kNs);
    w.writeTextElement(operation + QLatin1String("Result"), value);
    w.writeEndElement();
    EndEnvelope(w);
    return out;
}

// A table as a .NET DataSet: its schema, then a diffgram with one Table element per row.
QByteArray TableReply(const QString &operation, const ResultTable &table)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    StartEnvelope(w);
    w.writeStartElement(operation + QLatin1String("Response"));
    w.writeDefaultNamespace(kNs);
    w.writeStartElement(operation + QLatin1String("Result"));

    w.writeNamespace(kMsdataNs, QStringLiteral("msdata"));
    w.writeStartElement(kXsNs, QStringLiteral("schema"));
    w.writeAttribute(QStringLiteral("id"), QStringLiteral("NewDataSet"));
    w.writeStartElement(kXsNs, QStringLiteral("element"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("NewDataSet"));
    w.writeAttribute(kMsdataNs, QStringLiteral("IsDataSet"), QStringLiteral("true"));
    w.writeStartElement(kXsNs, QStringLiteral("complexType"));
    w.writeStartElement(kXsNs, QStringLiteral("choice"));
    w.writeAttribute(QStringLiteral("minOccurs"), QStringLiteral("0"));
    w.writeAttribute(QStringLiteral("maxOccurs"), QStringLiteral("unbounded"));
    w.writeStartElement(kXsNs, QStringLiteral("element"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("Table"));
    w.writeStartElement(kXsNs, QStringLiteral("complexType"));
    w.writeStartElement(kXsNs, QStringLiteral("sequence"));
    for (const ResultTable::Column &c : table.columns) {
        w.writeEmptyElement(kXsNs, QStringLiteral("element"));
        w.writeAttribute(QStringLiteral("name"), c.name);
        w.writeAttribute(QStringLiteral("type"), c.type == QMetaType::Int ? QStringLiteral("xsd:int") : QStringLiteral("xsd:string"));
        w.writeAttribute(QStringLiteral("minOccurs"), QStringLiteral("0"));
    }
    for (int i = 0; i < 6; ++i)
        w.writeEndElement(); // sequence, complexType, element, choice, complexType, element
    w.writeEndElement();     // schema

    w.writeNamespace(kDiffgrNs, QStringLiteral("diffgr"));
    w.writeStartElement(kDiffgrNs, QStringLiteral("diffgram"));
    if (!table.rows.isEmpty()) {
        w.writeStartElement(QStringLiteral("NewDataSet"));
        w.writeDefaultNamespace(QString());
        int n = 0;
        for (const QVariantList &row : table.rows) {
            w.writeStartElement(QStringLiteral("Table"));
            w.writeAttribute(kDiffgrNs, QStringLiteral("id"), QStringLiteral("Table%1").arg(n + 1));
            w.writeAttribute(kMsdataNs, QStringLiteral("rowOrder"), QString::number(n));
            for (int c = 0; c < table.columns.size(); ++c) {
                if (!row.at(c).isNull())
                    w.writeTextElement(table.columns.at(c).name, row.at(c).toString());
            }
            w.writeEndElement();
            ++n;
        }
        w.writeEndElement();
    }
    w.writeEndElement(); // diffgram
    w.writeEndElement(); // Result
    w.writeEndElement(); // Response
    EndEnvelope(w);
    return out;
}

ResultTable RefTableResult(Storage &storage, RefTable table)
{
    ResultTable t;
    switch (table) {
    case RefTable::Sites:
        t.columns = {{QStringLiteral("iSiteId"), QMetaType::Int}, {QStringLiteral("vcUrl"), QMetaType::QString}};
        break;
    case RefTable::ConnectionTypes:
        t.columns = {{QStringLiteral("iConnectionTypeId"), QMetaType::Int}, {QStringLiteral("vcConnectionType"), QMetaType::QString}};
        break;
    case RefTable::Isps:
        t.columns = {{QStringLiteral("iISPId"), QMetaType::Int}, {QStringLiteral("vcISPName"), QMetaType::QString}};
        break;
    }
    for (const RefRow &r : storage.list(table))
        t.rows.append({r.id, r.text});
    return t;
}

QString XsDateTime(const QDateTime &utc)
{
    return utc.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

} // namespace

QString CallerAddress(const QString &peer)
{
    QHostAddress a(peer);
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    if (ok)
        return QHostAddress(v4).toString();
    return peer;
}

ServiceHandler::ServiceHandler(Storage &storage)
    : m_storage(storage)
    , m_comparisons(storage)
{
}

QByteArray ServiceHandler::Fault(const QString &text, bool client)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    StartEnvelope(w);
    w.writeStartElement(kSoapNs, QStringLiteral("Fault"));
    w.writeTextElement(QStringLiteral("faultcode"), client ? QStringLiteral("soap:Client") : QStringLiteral("soap:Server"));
    w.writeTextElement(QStringLiteral("faultstring"), text);
    w.writeEmptyElement(QStringLiteral("detail"));
    w.writeEndElement();
    EndEnvelope(w);
    return out;
}

SoapReply ServiceHandler::handle(const QByteArray &request, const QString &peerAddress)
{
    SoapReply reply;
    try {
        XmlLimits limits;
        limits.maxDepth = kMaxRequestDepth;
        XmlElement root;
        try {
            root = ParseXmlSafely(request, limits);
        } catch (const EXmlRefused &e) {
            throw EBadRequest(QStringLiteral("The request was refused: %1").arg(e.message()));
        }
        const XmlElement *body = root.ns == kSoapNs && root.name == QLatin1String("Envelope")
                                     ? root.child(QStringLiteral("Body"), &kSoapNs)
                                     : nullptr;
        if (!body || body->children.empty())
            throw EBadRequest(QStringLiteral("The request is not a SOAP 1.1 envelope with a body."));
        const XmlElement &element = body->children.front();
        reply.operation = element.name;
        const OperationInfo *op = element.ns == kNs ? FindOperation(element.name) : nullptr;
        if (!op)
            throw EBadRequest(QStringLiteral("Unknown operation {%1}%2.").arg(element.ns, element.name.left(80)));
        const Args a(*op, element);
        const QString name = reply.operation;
        const qint64 t = now();

        if (name == QLatin1String("GetIPAddress"))
            reply.body = ScalarReply(name, CallerAddress(peerAddress));
        else if (name == QLatin1String("GetISPs"))
            reply.body = TableReply(name, RefTableResult(m_storage, RefTable::Isps));
        else if (name == QLatin1String("GetConnectionTypes"))
            reply.body = TableReply(name, RefTableResult(m_storage, RefTable::ConnectionTypes));
        else if (name == QLatin1String("GetSites"))
            reply.body = TableReply(name, RefTableResult(m_storage, RefTable::Sites));
        else if (name == QLatin1String("GetLastUpdatedISPs"))
            reply.body = ScalarReply(name, XsDateTime(m_storage.lastChanged(RefTable::Isps)));
        else if (name == QLatin1String("GetLastUpdatedConnectionTypes"))
            reply.body = ScalarReply(name, XsDateTime(m_storage.lastChanged(RefTable::ConnectionTypes)));
        else if (name == QLatin1String("GetLastUpdatedSites"))
            reply.body = ScalarReply(name, XsDateTime(m_storage.lastChanged(RefTable::Sites)));
        else if (name == QLatin1String("SaveUser"))
            reply.body = ScalarReply(name, QString::number(m_storage.saveUser(a.text("ProcessorType"), a.text("ProcessorSpeed"),
                                                                              a.text("OS"), a.text("OSVersion"),
                                                                              a.text("SysManufacturer"), a.text("SysModel"))));
        else if (name == QLatin1String("SaveProfile")) {
            ProfileRecord p;
            p.profileId = a.integer("ProfileId");
            p.userId = a.integer("UserId");
            p.macAddress = a.text("MacAddress");
            p.name = a.text("Name");
            p.ipAddress = a.text("IPAddress");
            p.ispId = a.integer("ISPId");
            p.zipCode = a.text("ZipCode");
            p.state = a.text("State");
            p.country = a.text("Country");
            p.timeZone = a.integer("TimeZone");
            p.satisfactionLevel = a.text("SatisfactionLevel");
            p.contractSpeed = a.text("ContractSpeed");
            p.connectionTypeId = a.integer("ConnectionTypeId");
            if (p.profileId < 0)
                throw EBadRequest(QStringLiteral("Unknown profile %1.").arg(p.profileId));
            reply.body = ScalarReply(name, QString::number(m_storage.saveProfile(p)));
        } else if (name == QLatin1String("InsertVeloqua")) {
            const int speed = a.integer("Veloqua");
            if (speed < 0)
                throw EBadRequest(QStringLiteral("Veloqua cannot be negative."));
            reply.body = ScalarReply(name, QString::number(m_storage.insertVeloqua(a.integer("ProfileId"), speed, a.text("RAM"),
                                                                                   a.text("RAMAvailable"),
                                                                                   a.text("HDFreeSpace"), t)));
        } else if (name == QLatin1String("InsertTestResults")) {
            reply.body = ScalarReply(name, QString::number(m_storage.insertTestResult(a.integer("VeloquaId"),
                                                                                      a.integer("DownloadTimeMS"),
                                                                                      a.integer("PageSize"), a.integer("SiteId"))));
        } else if (name == QLatin1String("GetVeloquaByISPDate") || name == QLatin1String("GetVeloquaByConnDate")) {
            const auto by = name == QLatin1String("GetVeloquaByISPDate") ? Comparisons::GroupBy::Isp
                                                                        : Comparisons::GroupBy::ConnectionType;
            reply.body = TableReply(name, m_comparisons.veloquaByDate(by, a.integer("ProfileId"), a.text("Period"),
                                                                      a.text("Area"), t));
        } else if (name == QLatin1String("GetAvgVeloquaByState"))
            reply.body = TableReply(name, m_comparisons.avgByState(a.integer("ProfileId"), a.text("Area"), t));
        else if (name == QLatin1String("GetAvgVeloquaByISP"))
            reply.body = TableReply(name, m_comparisons.avgByIsp(a.integer("ProfileId"), a.text("Area"), t));
        else if (name == QLatin1String("GetMyAvgVeloqua"))
            reply.body = ScalarReply(name, QString::number(m_comparisons.myAvg(a.integer("ProfileId"), a.text("Period"), t)));
        else if (name == QLatin1String("GetMyVeloquaByDate"))
            reply.body = TableReply(name, m_comparisons.myVeloquaByDate(a.integer("ProfileId"), a.text("Period"), t));
        else if (name == QLatin1String("GetAvgVeloqua"))
            reply.body = ScalarReply(name, QString::number(m_comparisons.avg(a.integer("ProfileId"), a.text("Area"),
                                                                             a.text("Period"), t)));
        reply.status = 200;
    } catch (const EBadRequest &e) {
        reply.status = 500;
        reply.body = Fault(e.message(), true);
    } catch (const EQueryTimeout &e) {
        reply.status = 500;
        reply.body = Fault(QStringLiteral("The comparison took too long and was stopped; try a smaller area or period. (%1)")
                               .arg(e.message()),
                           false);
    } catch (const Error &e) {
        reply.status = 500;
        reply.body = Fault(e.message(), false);
    }
    return reply;
}

QByteArray ServiceHandler::Wsdl(const QString &endpoint)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    const QString wsdlNs = QStringLiteral("http://schemas.xmlsoap.org/wsdl/");
    const QString soapBindNs = QStringLiteral("http://schemas.xmlsoap.org/wsdl/soap/");
    w.writeStartDocument();
    w.writeNamespace(wsdlNs, QStringLiteral("wsdl"));
    w.writeNamespace(soapBindNs, QStringLiteral("soap"));
    w.writeNamespace(kXsNs, QStringLiteral("s"));
    w.writeNamespace(kNs, QStringLiteral("tns"));
    w.writeStartElement(wsdlNs, QStringLiteral("definitions"));
    w.writeAttribute(QStringLiteral("targetNamespace"), kNs);

    // Types: a request and a response element per operation.
    w.writeStartElement(wsdlNs, QStringLiteral("types"));
    w.writeStartElement(kXsNs, QStringLiteral("schema"));
    w.writeAttribute(QStringLiteral("elementFormDefault"), QStringLiteral("qualified"));
    w.writeAttribute(QStringLiteral("targetNamespace"), kNs);
    for (const OperationInfo &op : Operations()) {
        const QString name = QLatin1String(op.name);
        w.writeStartElement(kXsNs, QStringLiteral("element"));
        w.writeAttribute(QStringLiteral("name"), name);
        w.writeStartElement(kXsNs, QStringLiteral("complexType"));
        w.writeStartElement(kXsNs, QStringLiteral("sequence"));
        for (const Param &p : op.params) {
            w.writeEmptyElement(kXsNs, QStringLiteral("element"));
            w.writeAttribute(QStringLiteral("minOccurs"), p.isInt ? QStringLiteral("1") : QStringLiteral("0"));
            w.writeAttribute(QStringLiteral("maxOccurs"), QStringLiteral("1"));
            w.writeAttribute(QStringLiteral("name"), QLatin1String(p.name));
            w.writeAttribute(QStringLiteral("type"), p.isInt ? QStringLiteral("s:int") : QStringLiteral("s:string"));
        }
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();

        w.writeStartElement(kXsNs, QStringLiteral("element"));
        w.writeAttribute(QStringLiteral("name"), name + QLatin1String("Response"));
        w.writeStartElement(kXsNs, QStringLiteral("complexType"));
        w.writeStartElement(kXsNs, QStringLiteral("sequence"));
        if (op.result == Kind::Table) {
            w.writeStartElement(kXsNs, QStringLiteral("element"));
            w.writeAttribute(QStringLiteral("minOccurs"), QStringLiteral("0"));
            w.writeAttribute(QStringLiteral("maxOccurs"), QStringLiteral("1"));
            w.writeAttribute(QStringLiteral("name"), name + QLatin1String("Result"));
            w.writeStartElement(kXsNs, QStringLiteral("complexType"));
            w.writeStartElement(kXsNs, QStringLiteral("sequence"));
            w.writeEmptyElement(kXsNs, QStringLiteral("element"));
            w.writeAttribute(QStringLiteral("ref"), QStringLiteral("s:schema"));
            w.writeEmptyElement(kXsNs, QStringLiteral("any"));
            w.writeEndElement();
            w.writeEndElement();
            w.writeEndElement();
        } else {
            w.writeEmptyElement(kXsNs, QStringLiteral("element"));
            const bool isInt = op.result == Kind::Int;
            w.writeAttribute(QStringLiteral("minOccurs"), isInt || op.result == Kind::DateTime ? QStringLiteral("1")
                                                                                                : QStringLiteral("0"));
            w.writeAttribute(QStringLiteral("maxOccurs"), QStringLiteral("1"));
            w.writeAttribute(QStringLiteral("name"), name + QLatin1String("Result"));
            w.writeAttribute(QStringLiteral("type"), isInt ? QStringLiteral("s:int")
                                                           : (op.result == Kind::DateTime ? QStringLiteral("s:dateTime")
                                                                                          : QStringLiteral("s:string")));
        }
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    }
    w.writeEndElement(); // schema
    w.writeEndElement(); // types

    for (const OperationInfo &op : Operations()) {
        const QString name = QLatin1String(op.name);
        for (const char *suffix : {"SoapIn", "SoapOut"}) {
            w.writeStartElement(wsdlNs, QStringLiteral("message"));
            w.writeAttribute(QStringLiteral("name"), name + QLatin1String(suffix));
            w.writeEmptyElement(wsdlNs, QStringLiteral("part"));
            w.writeAttribute(QStringLiteral("name"), QStringLiteral("parameters"));
            w.writeAttribute(QStringLiteral("element"),
                             QStringLiteral("tns:") + name + (qstrcmp(suffix, "SoapOut") == 0 ? QStringLiteral("Response") : QString()));
            w.writeEndElement();
        }
    }

    w.writeStartElement(wsdlNs, QStringLiteral("portType"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("Service1Soap"));
    for (const OperationInfo &op : Operations()) {
        const QString name = QLatin1String(op.name);
        w.writeStartElement(wsdlNs, QStringLiteral("operation"));
        w.writeAttribute(QStringLiteral("name"), name);
        w.writeEmptyElement(wsdlNs, QStringLiteral("input"));
        w.writeAttribute(QStringLiteral("message"), QStringLiteral("tns:") + name + QStringLiteral("SoapIn"));
        w.writeEmptyElement(wsdlNs, QStringLiteral("output"));
        w.writeAttribute(QStringLiteral("message"), QStringLiteral("tns:") + name + QStringLiteral("SoapOut"));
        w.writeEndElement();
    }
    w.writeEndElement();

    w.writeStartElement(wsdlNs, QStringLiteral("binding"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("Service1Soap"));
    w.writeAttribute(QStringLiteral("type"), QStringLiteral("tns:Service1Soap"));
    w.writeEmptyElement(soapBindNs, QStringLiteral("binding"));
    w.writeAttribute(QStringLiteral("transport"), QStringLiteral("http://schemas.xmlsoap.org/soap/http"));
    for (const OperationInfo &op : Operations()) {
        const QString name = QLatin1String(op.name);
        w.writeStartElement(wsdlNs, QStringLiteral("operation"));
        w.writeAttribute(QStringLiteral("name"), name);
        w.writeEmptyElement(soapBindNs, QStringLiteral("operation"));
        w.writeAttribute(QStringLiteral("soapAction"), kNs + QLatin1Char('/') + name);
        w.writeAttribute(QStringLiteral("style"), QStringLiteral("document"));
        for (const char *dir : {"input", "output"}) {
            w.writeStartElement(wsdlNs, QLatin1String(dir));
            w.writeEmptyElement(soapBindNs, QStringLiteral("body"));
            w.writeAttribute(QStringLiteral("use"), QStringLiteral("literal"));
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();

    w.writeStartElement(wsdlNs, QStringLiteral("service"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("Service1"));
    w.writeStartElement(wsdlNs, QStringLiteral("port"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("Service1Soap"));
    w.writeAttribute(QStringLiteral("binding"), QStringLiteral("tns:Service1Soap"));
    w.writeEmptyElement(soapBindNs, QStringLiteral("address"));
    w.writeAttribute(QStringLiteral("location"), endpoint);
    w.writeEndElement();
    w.writeEndElement();

    w.writeEndElement(); // definitions
    w.writeEndDocument();
    return out;
}

} // namespace vq::server
