#include "NetworkAdapters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <numeric>
#include <utility>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

namespace vq::platform {

namespace {

QString readLine(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(4096)).trimmed();
}

QString ipv4Text(const void *address)
{
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, address, text, sizeof text) ? QString::fromLatin1(text) : QString();
}

// Gateways of the default routes per interface, in the routing table's order. The kernel writes
// the addresses as hexadecimal numbers in the machine's byte order.
QHash<QString, QStringList> defaultGateways(const QString &routeFile)
{
    QHash<QString, QStringList> gateways;
    QFile file(routeFile);
    if (!file.open(QIODevice::ReadOnly))
        return gateways;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines.at(i).simplified().split(' ');
        if (f.size() < 4)
            continue;
        bool ok1 = false, ok2 = false, ok3 = false;
        const quint32 destination = f.at(1).toUInt(&ok1, 16);
        const quint32 gateway = f.at(2).toUInt(&ok2, 16);
        const quint32 flags = f.at(3).toUInt(&ok3, 16);
        if (!ok1 || !ok2 || !ok3 || destination != 0 || !(flags & 0x2 /* RTF_GATEWAY */))
            continue;
        in_addr a {};
        a.s_addr = gateway;
        gateways[QString::fromUtf8(f.at(0))].append(ipv4Text(&a));
    }
    return gateways;
}

} // namespace

QString MacAddressText(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("00-00-00-00-00-00");
    QStringList pairs;
    for (const char b : bytes)
        pairs.append(QStringLiteral("%1").arg(static_cast<unsigned char>(b), 2, 16, QLatin1Char('0')).toUpper());
    return pairs.join(u'-');
}

std::uint32_t IanaInterfaceType(int arpHardwareType, bool wireless)
{
    switch (arpHardwareType) {
    case ARPHRD_ETHER:
    case ARPHRD_EETHER:
        return wireless ? 71 : 6;
    case ARPHRD_IEEE802_TR:
        return 9;    // token ring
    case ARPHRD_FDDI:
        return 15;
    case ARPHRD_PPP:
        return 23;
    case ARPHRD_LOOPBACK:
        return 24;
    case ARPHRD_SLIP:
    case ARPHRD_CSLIP:
    case ARPHRD_SLIP6:
    case ARPHRD_CSLIP6:
        return 28;
    case ARPHRD_ATM:
        return 37;
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP:
        return 71;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case 823: // ARPHRD_IP6GRE, which glibc's header lacks
    case ARPHRD_NONE: // tun, WireGuard: layer-3 tunnels
        return 131;
    case ARPHRD_IEEE1394:
        return 144;
    case ARPHRD_INFINIBAND:
        return 199;
    default:
        return 1;
    }
}

QString FirstAdapterMacAddress(const TAdaptorRows &adapters)
{
    return adapters.isEmpty() ? QString() : adapters.front().macAddress;
}

LinuxNetworkAdapters::LinuxNetworkAdapters(const QString &root)
    : m_root(root)
{
}

TAdaptorRows LinuxNetworkAdapters::Adapters() const
{
    return ReadAdapters(m_root, SystemAddresses());
}

InterfaceAddresses LinuxNetworkAdapters::SystemAddresses()
{
    InterfaceAddresses result;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs *a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name)
            continue;
        const auto *address = reinterpret_cast<const sockaddr_in *>(a->ifa_addr);
        const auto *mask = reinterpret_cast<const sockaddr_in *>(a->ifa_netmask);
        result[QString::fromUtf8(a->ifa_name)].append(
            {ipv4Text(&address->sin_addr), mask ? ipv4Text(&mask->sin_addr) : QStringLiteral("0.0.0.0")});
    }
    ::freeifaddrs(list);
    return result;
}

TAdaptorRows LinuxNetworkAdapters::ReadAdapters(const QString &root, const InterfaceAddresses &addresses)
{
    const QString base = QDir(root).filePath(QStringLiteral("sys/class/net"));
    const QHash<QString, QStringList> gateways = defaultGateways(QDir(root).filePath(QStringLiteral("proc/net/route")));

    TAdaptorRows rows;
    QList<bool> ofDevice;
    const QStringList names = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &name : names) {
        const QString dir = base + u'/' + name + u'/';
        bool ok = false;
        const int arpType = readLine(dir + QStringLiteral("type")).toInt(&ok);
        if (!ok)
            continue; // not an interface folder
        const uint flags = readLine(dir + QStringLiteral("flags")).toUInt(nullptr, 16);
        if (arpType == ARPHRD_LOOPBACK || (flags & IFF_LOOPBACK))
            continue;

        TAdaptorRow row;
        row.adapterName = name;
        row.index = readLine(dir + QStringLiteral("ifindex")).toUInt();
        const bool wireless = QFileInfo::exists(dir + QStringLiteral("wireless"))
                              || QFileInfo::exists(dir + QStringLiteral("phy80211"));
        row.type = IanaInterfaceType(arpType, wireless);

        row.description = readLine(dir + QStringLiteral("ifalias"));
        if (row.description.isEmpty()) {
            const QFileInfo driver(dir + QStringLiteral("device/driver"));
            if (driver.isSymLink())
                row.description = QFileInfo(driver.symLinkTarget()).fileName();
        }
        if (row.description.isEmpty())
            row.description = name;

        QByteArray hardwareAddress;
        const int length = readLine(dir + QStringLiteral("addr_len")).toInt();
        if (length > 0)
            hardwareAddress = QByteArray::fromHex(readLine(dir + QStringLiteral("address")).toLatin1()).left(length);
        row.macAddress = MacAddressText(hardwareAddress);

        for (const auto &[address, mask] : addresses.value(name)) {
            row.addresses.append(address);
            row.masks.append(mask);
        }
        if (row.addresses.isEmpty()) { // as a disconnected adapter reports itself
            row.addresses.append(QStringLiteral("0.0.0.0"));
            row.masks.append(QStringLiteral("0.0.0.0"));
        }
        row.gateways = gateways.value(name);
        rows.append(row);
        ofDevice.append(QFileInfo::exists(dir + QStringLiteral("device")));
    }
    // Adapters of a device come first, so that the first adapter is a piece of hardware whose
    // address stays the same, not a bridge or tunnel that a container tool made at boot.
    QList<qsizetype> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return std::pair(!ofDevice.at(a), rows.at(a).index) < std::pair(!ofDevice.at(b), rows.at(b).index);
    });
    TAdaptorRows sorted;
    for (const qsizetype i : order)
        sorted.append(rows.at(i));
    return sorted;
}

} // namespace vq::platform
