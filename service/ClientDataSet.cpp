#include "ClientDataSet.h"

#include "AtomicFile.h"
#include "SafeXml.h"
#include "XMLTransformProvider.h"

#include <QFile>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace vq {

namespace {
// A cache file holds one table of the service; anything near this size is not ours.
constexpr qint64 kMaxPacketBytes = 64 * 1024 * 1024;

int CompareValues(const QVariant &a, const QVariant &b, TFieldType type)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    switch (type) {
    case TFieldType::Integer: {
        const int x = a.toInt(), y = b.toInt();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case TFieldType::Float: {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case TFieldType::String:
        return a.toString().compare(b.toString());
    }
    return 0;
}
} // namespace

TClientDataSet::TClientDataSet(const QString &name, QObject *parent)
    : QObject(parent)
{
    setObjectName(name);
}

void TClientDataSet::SetFieldDefs(const QList<TFieldDef> &fields)
{
    m_fields = fields;
    m_rows.clear();
    m_order.clear();
}

int TClientDataSet::FieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int TClientDataSet::requireField(const QString &name) const
{
    const int i = FieldIndex(name);
    if (i < 0)
        throw Error(QStringLiteral("%1: field '%2' not found").arg(objectName(), name));
    return i;
}

void TClientDataSet::Open()
{
    if (m_active)
        return;
    if (m_provider) {
        XMLTransformResult data = m_provider->GetRecords();
        m_fields = data.fields;
        m_rows = std::move(data.rows);
    }
    m_active = true;
    reorder();
    Q_EMIT changed();
}

void TClientDataSet::CreateDataSet()
{
    m_rows.clear();
    m_active = true;
    reorder();
    Q_EMIT changed();
}

void TClientDataSet::Close()
{
    m_active = false;
    m_rows.clear();
    m_order.clear();
    Q_EMIT changed();
}

void TClientDataSet::EmptyDataSet()
{
    m_rows.clear();
    m_order.clear();
    Q_EMIT changed();
}

void TClientDataSet::AppendRecord(const QVariantList &values)
{
    if (!m_active)
        throw Error(QStringLiteral("%1: the dataset is not open").arg(objectName()));
    if (values.size() > m_fields.size())
        throw Error(QStringLiteral("%1: a record with more values than fields").arg(objectName()));
    QVariantList row;
    row.reserve(m_fields.size());
    for (int i = 0; i < m_fields.size(); ++i) {
        QVariant v;
        if (i < values.size() && !Convert(values.at(i), m_fields.at(i).type, &v))
            throw Error(QStringLiteral("%1: '%2' is not a value for field %3")
                            .arg(objectName(), values.at(i).toString(), m_fields.at(i).name));
        row.append(v);
    }
    m_rows.append(row);
    reorder();
}

QVariant TClientDataSet::Value(int row, int field) const
{
    if (row < 0 || row >= m_order.size() || field < 0 || field >= m_fields.size())
        return {};
    return m_rows.at(m_order.at(row)).at(field);
}

QVariant TClientDataSet::Value(int row, const QString &fieldName) const
{
    return Value(row, requireField(fieldName));
}

int TClientDataSet::AsInteger(int row, const QString &fieldName) const
{
    return Value(row, fieldName).toInt();
}

QString TClientDataSet::AsString(int row, const QString &fieldName) const
{
    const int f = requireField(fieldName);
    const QVariant v = Value(row, f);
    if (m_fields.at(f).type == TFieldType::Float && !v.isNull())
        return QString::number(v.toDouble(), 'g', 17);
    return v.toString();
}

double TClientDataSet::AsFloat(int row, const QString &fieldName) const
{
    return Value(row, fieldName).toDouble();
}

void TClientDataSet::SetIndexFieldNames(const QString &names)
{
    m_indexFieldNames = names;
    reorder();
}

void TClientDataSet::reorder()
{
    m_order.resize(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        m_order[i] = i;
    QList<int> keys;
    for (const QString &name : m_indexFieldNames.split(u';', Qt::SkipEmptyParts)) {
        const int f = FieldIndex(name.trimmed());
        if (f >= 0)
            keys.append(f);
    }
    if (keys.isEmpty())
        return;
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        for (int f : keys) {
            const int c = CompareValues(m_rows.at(a).at(f), m_rows.at(b).at(f), m_fields.at(f).type);
            if (c != 0)
                return c < 0;
        }
        return false;
    });
}

QString TClientDataSet::FieldTypeName(TFieldType type)
{
    switch (type) {
    case TFieldType::Integer:
        return QStringLiteral("i4");
    case TFieldType::Float:
        return QStringLiteral("r8");
    case TFieldType::String:
        break;
    }
    return QStringLiteral("string");
}

bool TClientDataSet::FieldTypeFromName(const QString &name, TFieldType *type)
{
    if (name == QLatin1String("i4"))
        *type = TFieldType::Integer;
    else if (name == QLatin1String("r8"))
        *type = TFieldType::Float;
    else if (name == QLatin1String("string"))
        *type = TFieldType::String;
    else
        return false;
    return true;
}

bool TClientDataSet::Convert(const QVariant &in, TFieldType type, QVariant *out)
{
    if (in.isNull() || !in.isValid()) {
        *out = QVariant();
        return true;
    }
    // An empty number is a null value (a service may write empty elements for them).
    if (type != TFieldType::String && in.typeId() == QMetaType::QString && in.toString().trimmed().isEmpty()) {
        *out = QVariant();
        return true;
    }
    bool ok = true;
    switch (type) {
    case TFieldType::Integer: {
        const int v = in.typeId() == QMetaType::QString ? in.toString().trimmed().toInt(&ok) : in.toInt(&ok);
        *out = v;
        break;
    }
    case TFieldType::Float: {
        const double v = in.typeId() == QMetaType::QString ? in.toString().trimmed().toDouble(&ok) : in.toDouble(&ok);
        ok = ok && std::isfinite(v);
        *out = v;
        break;
    }
    case TFieldType::String:
        *out = in.toString();
        break;
    }
    return ok;
}

QByteArray TClientDataSet::SaveToXml() const
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("DATAPACKET"));
    w.writeAttribute(QStringLiteral("Version"), QStringLiteral("2.0"));
    w.writeStartElement(QStringLiteral("METADATA"));
    w.writeStartElement(QStringLiteral("FIELDS"));
    for (const TFieldDef &f : m_fields) {
        w.writeEmptyElement(QStringLiteral("FIELD"));
        w.writeAttribute(QStringLiteral("attrname"), f.name);
        w.writeAttribute(QStringLiteral("fieldtype"), FieldTypeName(f.type));
        if (f.type == TFieldType::String && f.size > 0)
            w.writeAttribute(QStringLiteral("WIDTH"), QString::number(f.size));
    }
    w.writeEndElement();
    w.writeEmptyElement(QStringLiteral("PARAMS"));
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("ROWDATA"));
    for (const QVariantList &row : m_rows) {
        w.writeEmptyElement(QStringLiteral("ROW"));
        for (int i = 0; i < m_fields.size(); ++i) {
            const QVariant &v = row.at(i);
            if (v.isNull())
                continue; // a null value has no attribute
            const QString text = m_fields.at(i).type == TFieldType::Float ? QString::number(v.toDouble(), 'g', 17)
                                                                          : v.toString();
            w.writeAttribute(m_fields.at(i).name, text);
        }
    }
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

void TClientDataSet::SaveToFile(const QString &fileName) const
{
    const QString why = platform::WriteFileAtomically(fileName, SaveToXml());
    if (!why.isEmpty())
        throw Error(QStringLiteral("Cannot write %1: %2").arg(fileName, why));
}

void TClientDataSet::LoadFromXml(const QByteArray &packet, const QList<TFieldDef> *expected)
{
    XmlElement root;
    try {
        XmlLimits limits;
        limits.maxBytes = kMaxPacketBytes;
        limits.maxDepth = 8;
        root = ParseXmlSafely(packet, limits);
    } catch (const EXmlRefused &e) {
        throw EDataPacketError(e.message());
    }
    if (root.name != QLatin1String("DATAPACKET") || !root.ns.isEmpty())
        throw EDataPacketError(QStringLiteral("It is not a data packet."));
    const XmlElement *meta = root.child(QStringLiteral("METADATA"));
    const XmlElement *fieldsElement = meta ? meta->child(QStringLiteral("FIELDS")) : nullptr;
    const XmlElement *rowData = root.child(QStringLiteral("ROWDATA"));
    if (!fieldsElement || !rowData)
        throw EDataPacketError(QStringLiteral("The data packet has no field list or no rows."));

    QList<TFieldDef> fields;
    for (const XmlElement &f : fieldsElement->children) {
        TFieldDef def;
        def.name = f.attribute(QStringLiteral("attrname"));
        if (f.name != QLatin1String("FIELD") || def.name.isEmpty()
            || !FieldTypeFromName(f.attribute(QStringLiteral("fieldtype")), &def.type))
            throw EDataPacketError(QStringLiteral("The data packet has a field definition it cannot use."));
        if (def.type == TFieldType::String)
            def.size = f.attribute(QStringLiteral("WIDTH")).toInt();
        fields.append(def);
    }
    if (expected && fields != *expected)
        throw EDataPacketError(QStringLiteral("The data packet's fields are not the ones expected."));

    QList<QVariantList> rows;
    for (const XmlElement &r : rowData->children) {
        if (r.name != QLatin1String("ROW"))
            throw EDataPacketError(QStringLiteral("The data packet has an element <%1> among its rows.").arg(r.name));
        QVariantList row;
        for (const TFieldDef &f : fields) {
            QVariant v;
            if (r.attributes.hasAttribute(f.name)
                && !Convert(r.attributes.value(f.name).toString(), f.type, &v))
                throw EDataPacketError(QStringLiteral("The data packet has a value of field %1 that is not of its type.").arg(f.name));
            row.append(v);
        }
        rows.append(row);
    }
    m_fields = fields;
    m_rows = rows;
    m_active = true;
    reorder();
    Q_EMIT changed();
}

void TClientDataSet::LoadFromFile(const QString &fileName, const QList<TFieldDef> *expected)
{
    QFile file(fileName);
    if (!file.exists())
        throw EDataPacketError(QStringLiteral("%1 does not exist.").arg(fileName));
    if (file.size() > kMaxPacketBytes)
        throw EDataPacketError(QStringLiteral("%1 is too large to be a cache file.").arg(fileName));
    if (!file.open(QIODevice::ReadOnly))
        throw EDataPacketError(QStringLiteral("Cannot read %1: %2").arg(fileName, file.errorString()));
    try {
        LoadFromXml(file.readAll(), expected);
    } catch (const EDataPacketError &e) {
        throw EDataPacketError(QStringLiteral("%1: %2").arg(fileName, e.message()));
    }
}

} // namespace vq
