#pragma once

#include <QByteArray>
#include <QList>
#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace vq::platform {

// One network adapter as the system information report and the profiles know it.
struct TAdaptorRow {
    QString adapterName;  // "eth0"
    QString description;  // the interface's alias, else its driver, else its name
    QString macAddress;   // MacAddressText of the hardware address
    std::uint32_t index = 0;
    std::uint32_t type = 0;       // IANA interface type
    std::uint32_t dhcpEnabled = 0;
    QStringList addresses;        // IPv4, dotted; "0.0.0.0" when none is bound
    QStringList masks;            // one per address
    QStringList gateways;
    QStringList dhcpServers;
    QStringList primaryWinsServers;
};
using TAdaptorRows = QList<TAdaptorRow>;

// The IPv4 addresses bound to each interface: name -> (address, mask) pairs in the system's order.
using InterfaceAddresses = QHash<QString, QList<QPair<QString, QString>>>;

// The computer's network adapters: those of a hardware device first, then the virtual ones
// (bridges, tunnels), each group in the order of the interface indexes. The loopback interface is
// not an adapter.
class NetworkAdapters
{
public:
    virtual ~NetworkAdapters() = default;
    virtual TAdaptorRows Adapters() const = 0;
};

// /sys/class/net and /proc/net/route below a root folder ("/" on a running system), with the
// addresses from getifaddrs.
class LinuxNetworkAdapters : public NetworkAdapters
{
public:
    explicit LinuxNetworkAdapters(const QString &root = QStringLiteral("/"));
    TAdaptorRows Adapters() const override;

    // The adapters described below root, with the given addresses (tests pass their own).
    static TAdaptorRows ReadAdapters(const QString &root, const InterfaceAddresses &addresses);
    static InterfaceAddresses SystemAddresses();

private:
    QString m_root;
};

// Hardware address bytes as upper-case hexadecimal pairs joined by "-"; a zero-length address
// gives "00-00-00-00-00-00".
QString MacAddressText(const QByteArray &bytes);

// The IANA interface type (ifType) of a Linux hardware type (ARPHRD_*); Ethernet-framed
// wireless interfaces are 71 (IEEE 802.11). Types without a counterpart are 1 (other).
std::uint32_t IanaInterfaceType(int arpHardwareType, bool wireless);

// The hardware address text of the first adapter, empty when there is none.
QString FirstAdapterMacAddress(const TAdaptorRows &adapters);

} // namespace vq::platform
