#include "RegisteredUser.h"

namespace vq::test {

QByteArray RegisteredUserConfig(const QString &address)
{
    return "[UserInfo]\nUserId=1\nLastProfile=Default\n"
           "[Profiles]\nDefault=1\n"
           "[PrfDefault]\nMacAddress=00-00-00-00-00-00\nIPAddress="
           + address.toUtf8()
           + "\nISPId=1\nZipCode=10115\nState=--\nCountry=GERMANY\nTimeZone=0\nSatisfaction=\nSpeed=16 Mbps\n"
             "ConnectionId=1\n";
}

} // namespace vq::test
