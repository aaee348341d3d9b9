#pragma once

#include "ClientDataSet.h"
#include "XMLTransformProvider.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace vq {

// The tables that a service response can carry, numbered as FPendingRequest counts them.
enum class TPendingTable : std::uint8_t {
    Sites = 0,
    ConnectionTypes = 1,
    Isps = 2,
    Veloqua = 3,   // a period comparison
    MyVeloqua = 4, // the user's own speeds by date
    Current = 5,   // a current comparison
    None = 6,
};

// A cache file that is missing (never written) or was damaged and has been removed.
class ECacheFileError : public EDataPacketError
{
public:
    ECacheFileError(const QString &message, bool damaged)
        : EDataPacketError(message)
        , m_damaged(damaged)
    {
    }
    bool damaged() const { return m_damaged; }

private:
    bool m_damaged;
};

// The data module: the datasets of the reference data and the comparisons, their transform
// providers, and the built-in country and state tables. Created before the main window and
// alive until the program ends.
class TdmMain : public QObject
{
    Q_OBJECT
public:
    // programFolder: where the transformation files are (empty: beside the executable).
    explicit TdmMain(const QString &programFolder = QString(), QObject *parent = nullptr);
    ~TdmMain() override;

    TClientDataSet *cdsSites;
    TClientDataSet *cdsConnectionTypes;
    TClientDataSet *cdsIsps;
    TClientDataSet *cdsVeloqua;
    TClientDataSet *cdsMyVeloqua;
    TClientDataSet *cdsCurrent;
    TClientDataSet *cdsCountries;
    TClientDataSet *cdsStates;

    TXMLTransformProvider xtpSites{QStringLiteral("xtpSites")};
    TXMLTransformProvider xtpConnectionTypes{QStringLiteral("xtpConnectionTypes")};
    TXMLTransformProvider xtpIsps{QStringLiteral("xtpIsps")};
    TXMLTransformProvider xtpVeloqua{QStringLiteral("xtpVeloqua")};
    TXMLTransformProvider xtpMyVeloqua{QStringLiteral("xtpMyVeloqua")};
    TXMLTransformProvider xtpCurrent{QStringLiteral("xtpCurrent")};

    QString programFolder() const { return m_programFolder; }

    // What belongs to one table response: the dataset, its provider, its transformation file
    // and its cache file. For the comparisons the transformation depends on what the page
    // compares: periodByConnectionType (by connection type, else by ISP) for Veloqua, and
    // currentByIsp (other ISPs, else the user's ISP by state) for Current.
    struct Binding {
        TClientDataSet *dataset = nullptr;
        TXMLTransformProvider *provider = nullptr;
        QString transformationFile;
        QString cacheFile;
    };
    Binding binding(TPendingTable table, bool periodByConnectionType = true, bool currentByIsp = true);

    // Turns a table response into the dataset's rows through its transformation file and saves
    // the dataset to its cache file in dataFolder.
    void TransformResponse(const Binding &b, const QByteArray &response, const QString &dataFolder);

    // Closes a reference dataset and refills it from its cache file in dataFolder. A missing
    // file raises ECacheFileError; a damaged one is removed, then ECacheFileError says so
    // (damaged() true). The dataset is left open and empty in both cases.
    void LoadCache(TPendingTable table, const QString &dataFolder);

    // A human name of a reference table ("site list", ...), for messages.
    static QString TableTitle(TPendingTable table);

private:
    void fillCountries();
    void fillStates();

    QString m_programFolder;
};

} // namespace vq
