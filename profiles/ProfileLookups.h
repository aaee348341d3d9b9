#pragma once

#include "ProfileTypes.h"

#include <QList>

namespace vq {

// The reference tables the profile dialogs offer, each in the order the lists show it. The
// program reads them from the data module's datasets; tests give fixed rows.
class IProfileLookups
{
public:
    virtual ~IProfileLookups() = default;
    virtual QList<LookupRow> Isps() const = 0;            // key iISPId, text vcISPName
    virtual QList<LookupRow> ConnectionTypes() const = 0; // key iConnectionTypeId, text vcConnectionType
    virtual QList<LookupRow> Countries() const = 0;       // key Code, text Country
    virtual QList<LookupRow> States() const = 0;          // key Code, text Code
};

// Lookups held as plain lists.
class StaticProfileLookups : public IProfileLookups
{
public:
    QList<LookupRow> Isps() const override { return isps; }
    QList<LookupRow> ConnectionTypes() const override { return connectionTypes; }
    QList<LookupRow> Countries() const override { return countries; }
    QList<LookupRow> States() const override { return states; }

    QList<LookupRow> isps;
    QList<LookupRow> connectionTypes;
    QList<LookupRow> countries;
    QList<LookupRow> states;
};

} // namespace vq
