#pragma once

#include "ProfileLookups.h"

namespace vq {

class TdmMain;

// The lists of the profile dialogs, read from the data module's datasets at the moment a dialog
// asks, in each dataset's current order: ISPs (iISPId, vcISPName), connection types
// (iConnectionTypeId, vcConnectionType), countries (Code, Country) and states (Code, Code). A
// closed dataset gives an empty list.
class DataModuleLookups : public IProfileLookups
{
public:
    explicit DataModuleLookups(const TdmMain &dmMain);

    QList<LookupRow> Isps() const override;
    QList<LookupRow> ConnectionTypes() const override;
    QList<LookupRow> Countries() const override;
    QList<LookupRow> States() const override;

private:
    const TdmMain &m_dm;
};

} // namespace vq
