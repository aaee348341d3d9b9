#pragma once

#include "ProfileService.h"

#include <cstdint>

namespace vq {

class Service1Soap;

// The profile operations over the central service's client. Every call is a scalar call, so
// FPendingRequest is set to 6 first (no table answer is expected). A transport failure
// (ESOAPHTTPException) becomes EServiceUnreachable with the same message; a fault that the
// service reports itself (ERemotableException) passes through unchanged.
class SoapProfileService : public IProfileService
{
public:
    SoapProfileService(Service1Soap &service, std::uint8_t &FPendingRequest);

    QString GetIPAddress() override;
    int SaveUser(const QString &ProcessorType, const QString &ProcessorSpeed, const QString &OS,
                 const QString &OSVersion, const QString &SysManufacturer, const QString &SysModel) override;
    int SaveProfile(int ProfileId, int UserId, const QString &MacAddress, const QString &Name_,
                    const QString &IPAddress, int ISPId, const QString &ZipCode, const QString &State,
                    const QString &Country, int TimeZone, const QString &SatisfactionLevel,
                    const QString &ContractSpeed, int ConnectionTypeId) override;

private:
    template <typename Call>
    auto scalarCall(Call call);

    Service1Soap &m_service;
    std::uint8_t &m_pendingRequest;
};

} // namespace vq
