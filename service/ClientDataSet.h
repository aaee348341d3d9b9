#pragma once

#include "Error.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace vq {

class TXMLTransformProvider;

// A data packet (cache file) that cannot be read: missing, damaged or of the wrong shape.
class EDataPacketError : public Error
{
public:
    using Error::Error;
};

enum class TFieldType { Integer, String, Float };

struct TFieldDef {
    QString name;
    TFieldType type = TFieldType::String;
    int size = 0; // width of a string field; 0 for the others

    bool operator==(const TFieldDef &) const = default;
};

// A small in-memory table: typed fields, rows, an ordering by fields, and the XML data packet
// it is saved to and loaded from. Values are QVariants of the field's type (int, QString,
// double) or null.
class TClientDataSet : public QObject
{
    Q_OBJECT
public:
    explicit TClientDataSet(const QString &name, QObject *parent = nullptr);

    // Field definitions; changing them empties the dataset.
    const QList<TFieldDef> &FieldDefs() const { return m_fields; }
    void SetFieldDefs(const QList<TFieldDef> &fields);
    int FieldIndex(const QString &name) const; // -1 when there is none

    // The provider that Open() takes its rows from (not owned); none for a dataset filled by code.
    void SetProvider(TXMLTransformProvider *provider) { m_provider = provider; }
    TXMLTransformProvider *Provider() const { return m_provider; }

    bool Active() const { return m_active; }
    // Fills the dataset from its provider (field definitions and rows) and opens it.
    void Open();
    // Opens the dataset with its current field definitions and no rows.
    void CreateDataSet();
    void Close();
    void EmptyDataSet();

    // Appends a record; values are converted to the field types (missing trailing values are null).
    void AppendRecord(const QVariantList &values);

    // Rows in the current order (IndexFieldNames), and typed access by field name.
    int RecordCount() const { return int(m_order.size()); }
    QVariant Value(int row, int field) const;
    QVariant Value(int row, const QString &fieldName) const;
    int AsInteger(int row, const QString &fieldName) const;
    QString AsString(int row, const QString &fieldName) const;
    double AsFloat(int row, const QString &fieldName) const;

    // Orders the rows by these fields, separated by ";" (empty: the order of arrival). Ties keep
    // the order of arrival.
    QString IndexFieldNames() const { return m_indexFieldNames; }
    void SetIndexFieldNames(const QString &names);

    // The XML data packet: field definitions and rows. SaveToFile replaces the file atomically.
    QByteArray SaveToXml() const;
    void SaveToFile(const QString &fileName) const;
    // Loads a data packet; with expected field definitions, a packet of another shape is
    // refused. Throws EDataPacketError; the dataset is unchanged then.
    void LoadFromXml(const QByteArray &packet, const QList<TFieldDef> *expected = nullptr);
    void LoadFromFile(const QString &fileName, const QList<TFieldDef> *expected = nullptr);

    // The packet's type name of a field type ("i4", "string", "r8"), and back.
    static QString FieldTypeName(TFieldType type);
    static bool FieldTypeFromName(const QString &name, TFieldType *type);
    // A value converted to a field's type; false when it does not convert. Null stays null.
    static bool Convert(const QVariant &in, TFieldType type, QVariant *out);

Q_SIGNALS:
    void changed();

private:
    void reorder();
    int requireField(const QString &name) const;

    QList<TFieldDef> m_fields;
    QList<QVariantList> m_rows; // in arrival order
    QList<int> m_order;         // row indexes in the current order
    QString m_indexFieldNames;
    TXMLTransformProvider *m_provider = nullptr;
    bool m_active = false;
};

} // namespace vq
