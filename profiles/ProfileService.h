#pragma once

#include "Error.h"

#include <QString>

namespace vq {

// The central service could not be reached: no connection, an HTTP error, a broken answer.
// A fault that the service reports itself is another exception and passes through unchanged.
class EServiceUnreachable : public Error
{
public:
    using Error::Error;
};

// The three operations of the central service that registration and the profile check use,
// with the service's parameters. Each call blocks until answered; a transport failure throws
// EServiceUnreachable.
class IProfileService
{
public:
    virtual ~IProfileService() = default;

    // The caller's external IPv4 address, dotted.
    virtual QString GetIPAddress() = 0;
    // Registers the computer; the result is the new user's id.
    virtual int SaveUser(const QString &ProcessorType, const QString &ProcessorSpeed, const QString &OS,
                         const QString &OSVersion, const QString &SysManufacturer, const QString &SysModel) = 0;
    // Creates (ProfileId 0) or updates a profile; the result is its id.
    virtual int SaveProfile(int ProfileId, int UserId, const QString &MacAddress, const QString &Name_,
                            const QString &IPAddress, int ISPId, const QString &ZipCode, const QString &State,
                            const QString &Country, int TimeZone, const QString &SatisfactionLevel,
                            const QString &ContractSpeed, int ConnectionTypeId) = 0;
};

} // namespace vq
