#pragma once

#include "ClientDataSet.h"
#include "Error.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace vq {

// A transformation file that is missing or not one of ours.
class ETransformFileError : public Error
{
public:
    using Error::Error;
};

struct XMLTransformResult {
    QList<TFieldDef> fields;
    QList<QVariantList> rows;
};

// A transformation file: which element of a table response is a row, and which of its
// children become which typed fields. Our own small format:
//
//   <Transformation Version="1" Row="Table">
//     <Field Name="iSiteId" Type="i4"/>
//     <Field Name="vcUrl" Type="string" Width="255"/>
//   </Transformation>
//
// A field may name its source element with Source="..." when it differs from Name.
struct TransformationRules {
    QString rowElement;
    struct Field {
        TFieldDef def;
        QString source;
    };
    QList<Field> fields;

    QList<TFieldDef> fieldDefs() const;
    // Throws ETransformFileError.
    static TransformationRules Parse(const QByteArray &text, const QString &fileName);
    static TransformationRules Load(const QString &fileName);
};

// Applies a transformation to a SOAP response that carries a DataSet: one record per row
// element of the diffgram. Field types come from the transformation only; the response's own
// schema is never consulted. A response that does not fit (no DataSet, a value not of its
// field's type) raises ESOAPHTTPException, as any other malformed answer does.
XMLTransformResult ApplyTransformation(const TransformationRules &rules, const QByteArray &response);

// Turns a table response into dataset rows through a transformation file (TransformationFile,
// read when the records are asked for).
class TXMLTransformProvider
{
public:
    explicit TXMLTransformProvider(const QString &name)
        : m_name(name)
    {
    }
    QString Name() const { return m_name; }

    QString TransformationFile;
    void SetSourceDocument(const QByteArray &document) { m_document = document; }
    XMLTransformResult GetRecords() const;

private:
    QString m_name;
    QByteArray m_document;
};

} // namespace vq
