#include "SoapProfileService.h"

#include "wsVeloqua.h"

namespace vq {

SoapProfileService::SoapProfileService(Service1Soap &service, std::uint8_t &FPendingRequest)
    : m_service(service)
    , m_pendingRequest(FPendingRequest)
{
}

template <typename Call>
auto SoapProfileService::scalarCall(Call call)
{
    m_pendingRequest = 6;
    try {
        return call();
    } catch (const ESOAPHTTPException &e) {
        throw EServiceUnreachable(e.message());
    }
}

QString SoapProfileService::GetIPAddress()
{
    return scalarCall([this] { return m_service.GetIPAddress(); });
}

int SoapProfileService::SaveUser(const QString &ProcessorType, const QString &ProcessorSpeed, const QString &OS,
                                 const QString &OSVersion, const QString &SysManufacturer, const QString &SysModel)
{
    return scalarCall([&] {
        return m_service.SaveUser(ProcessorType, ProcessorSpeed, OS, OSVersion, SysManufacturer, SysModel);
    });
}

int SoapProfileService::SaveProfile(int ProfileId, int UserId, const QString &MacAddress, const QString &Name_,
                                    const QString &IPAddress, int ISPId, const QString &ZipCode, const QString &State,
                                    const QString &Country, int TimeZone, const QString &SatisfactionLevel,
                                    const QString &ContractSpeed, int ConnectionTypeId)
{
    return scalarCall([&] {
        return m_service.SaveProfile(ProfileId, UserId, MacAddress, Name_, IPAddress, ISPId, ZipCode, State, Country,
                                     TimeZone, SatisfactionLevel, ContractSpeed, ConnectionTypeId);
    });
}

} // namespace vq
