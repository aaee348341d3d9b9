#include "DataModuleLookups.h"

#include "MainModule.h"

namespace vq {

namespace {

enum class KeyType { Integer, Text };

QList<LookupRow> Rows(const TClientDataSet *dataset, const char *keyField, KeyType keyType, const char *textField)
{
    QList<LookupRow> rows;
    if (!dataset->Active())
        return rows;
    const QString key = QLatin1String(keyField);
    const QString text = QLatin1String(textField);
    if (dataset->FieldIndex(key) < 0 || dataset->FieldIndex(text) < 0)
        return rows;
    rows.reserve(dataset->RecordCount());
    for (int i = 0; i < dataset->RecordCount(); ++i) {
        const QVariant k = keyType == KeyType::Integer ? QVariant(dataset->AsInteger(i, key))
                                                       : QVariant(dataset->AsString(i, key));
        rows.append({k, dataset->AsString(i, text)});
    }
    return rows;
}

} // namespace

DataModuleLookups::DataModuleLookups(const TdmMain &dmMain)
    : m_dm(dmMain)
{
}

QList<LookupRow> DataModuleLookups::Isps() const
{
    return Rows(m_dm.cdsIsps, "iISPId", KeyType::Integer, "vcISPName");
}

QList<LookupRow> DataModuleLookups::ConnectionTypes() const
{
    return Rows(m_dm.cdsConnectionTypes, "iConnectionTypeId", KeyType::Integer, "vcConnectionType");
}

QList<LookupRow> DataModuleLookups::Countries() const
{
    return Rows(m_dm.cdsCountries, "Code", KeyType::Text, "Country");
}

QList<LookupRow> DataModuleLookups::States() const
{
    return Rows(m_dm.cdsStates, "Code", KeyType::Text, "Code");
}

} // namespace vq
