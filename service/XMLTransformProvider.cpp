#include "XMLTransformProvider.h"

#include "SafeXml.h"
#include "wsVeloqua.h"

#include <QFile>
#include <QFileInfo>

namespace vq {

namespace {
const QString kDiffgramNs = QStringLiteral("urn:schemas-microsoft-com:xml-diffgram-v1");

// The diffgram of the response's DataSet, searched below the SOAP body.
const XmlElement *FindDiffgram(const XmlElement &element)
{
    if (element.name == QLatin1String("diffgram") && element.ns == kDiffgramNs)
        return &element;
    for (const XmlElement &c : element.children) {
        if (const XmlElement *found = FindDiffgram(c))
            return found;
    }
    return nullptr;
}
} // namespace

QList<TFieldDef> TransformationRules::fieldDefs() const
{
    QList<TFieldDef> defs;
    for (const Field &f : fields)
        defs.append(f.def);
    return defs;
}

TransformationRules TransformationRules::Parse(const QByteArray &text, const QString &fileName)
{
    XmlElement root;
    try {
        XmlLimits limits;
        limits.maxBytes = 1024 * 1024;
        limits.maxDepth = 4;
        root = ParseXmlSafely(text, limits);
    } catch (const EXmlRefused &e) {
        throw ETransformFileError(QStringLiteral("The transformation file %1 cannot be read: %2").arg(fileName, e.message()));
    }
    TransformationRules rules;
    rules.rowElement = root.attribute(QStringLiteral("Row"));
    if (root.name != QLatin1String("Transformation") || root.attribute(QStringLiteral("Version")) != QLatin1String("1")
        || rules.rowElement.isEmpty())
        throw ETransformFileError(QStringLiteral("%1 is not a transformation file of this program.").arg(fileName));
    for (const XmlElement &f : root.children) {
        Field field;
        field.def.name = f.attribute(QStringLiteral("Name"));
        field.source = f.attribute(QStringLiteral("Source"));
        if (field.source.isEmpty())
            field.source = field.def.name;
        if (f.name != QLatin1String("Field") || field.def.name.isEmpty()
            || !TClientDataSet::FieldTypeFromName(f.attribute(QStringLiteral("Type")), &field.def.type))
            throw ETransformFileError(QStringLiteral("The transformation file %1 has a field it cannot use.").arg(fileName));
        if (field.def.type == TFieldType::String)
            field.def.size = f.attribute(QStringLiteral("Width")).toInt();
        rules.fields.append(field);
    }
    if (rules.fields.isEmpty())
        throw ETransformFileError(QStringLiteral("The transformation file %1 has no fields.").arg(fileName));
    return rules;
}

TransformationRules TransformationRules::Load(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw ETransformFileError(QStringLiteral("The transformation file %1 cannot be opened: %2")
                                      .arg(fileName, file.errorString()));
    return Parse(file.read(1024 * 1024 + 1), QFileInfo(fileName).fileName());
}

XMLTransformResult ApplyTransformation(const TransformationRules &rules, const QByteArray &response)
{
    const XmlElement operation = DecodeSoapResponse(response);
    const XmlElement *diffgram = FindDiffgram(operation);
    if (!diffgram)
        throw ESOAPHTTPException(QStringLiteral("The service's answer carries no table."));

    XMLTransformResult result;
    result.fields = rules.fieldDefs();
    // The diffgram holds the DataSet element (none when the table is empty), which holds the rows.
    for (const XmlElement &dataSet : diffgram->children) {
        for (const XmlElement &row : dataSet.children) {
            if (row.name != rules.rowElement)
                continue;
            QVariantList values;
            values.reserve(rules.fields.size());
            for (const TransformationRules::Field &f : rules.fields) {
                QVariant v;
                const XmlElement *cell = row.child(f.source);
                if (cell && !TClientDataSet::Convert(cell->text, f.def.type, &v))
                    throw ESOAPHTTPException(QStringLiteral("The service's answer has a value of %1 that is not of its type: '%2'")
                                                 .arg(f.def.name, cell->text.left(40)));
                values.append(v);
            }
            result.rows.append(values);
        }
    }
    return result;
}

XMLTransformResult TXMLTransformProvider::GetRecords() const
{
    return ApplyTransformation(TransformationRules::Load(TransformationFile), m_document);
}

} // namespace vq
