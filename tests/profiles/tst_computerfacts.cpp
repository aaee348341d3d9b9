#include "ComputerInfo.h"
#include "NetworkAdapters.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/statvfs.h>

using namespace vq::platform;

namespace {

// A folder standing in for "/" with the files a test writes into it.
class FakeRoot
{
public:
    QString path(const QString &relative) const { return m_dir.path() + u'/' + relative; }
    void write(const QString &relative, const QByteArray &content) const
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    void mkdir(const QString &relative) const { QDir().mkpath(path(relative)); }
    void link(const QString &relative, const QString &target) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QVERIFY(QFile::link(target, path(relative)));
    }
    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

const QByteArray kIntelCpuInfo = "processor\t: 0\n"
                                 "vendor_id\t: GenuineIntel\n"
                                 "cpu family\t: 6\n"
                                 "model\t\t: 142\n"
                                 "model name\t:   Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz  \n"
                                 "stepping\t: 10\n"
                                 "cpu MHz\t\t: 799.512\n"
                                 "\n"
                                 "processor\t: 1\n"
                                 "model name\t: Something else\n"
                                 "cpu MHz\t\t: 3999.000\n";

std::uint64_t freeBytesOf(const QString &path)
{
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return std::uint64_t(st.f_bfree) * st.f_frsize;
}

} // namespace

class TestComputerFacts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void processorFromCpuInfo();
    void processorClockPrefersTheNominalOne();
    void osProductName_data();
    void osProductName();
    void kernelRelease_data();
    void kernelRelease();
    void osVersionText_data();
    void osVersionText();
    void memory();
    void fixedVolumes();
    void liveSystem();
    void macAddressText_data();
    void macAddressText();
    void interfaceTypes();
    void adapterList();
    void liveAdapters();
};

void TestComputerFacts::processorFromCpuInfo()
{
    const ProcessorInfo p = LinuxComputerInfo::ParseCpuInfo(QString::fromUtf8(kIntelCpuInfo));
    QCOMPARE(p.name, QStringLiteral("Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz"));
    QCOMPARE(p.manufacturer, QStringLiteral("GenuineIntel"));
    QCOMPARE(p.family, 6);
    QCOMPARE(p.model, 142);
    QCOMPARE(p.stepping, 10);
    QCOMPARE(p.normFreqMHz, 800); // the first core's, rounded

    // ARM boards name the processor on another line and give no clock.
    const ProcessorInfo arm = LinuxComputerInfo::ParseCpuInfo(
        QStringLiteral("Processor\t: ARMv7 Processor rev 4 (v7l)\nBogoMIPS\t: 38.40\n"));
    QCOMPARE(arm.name, QStringLiteral("ARMv7 Processor rev 4 (v7l)"));
    QCOMPARE(arm.normFreqMHz, 0);
}

void TestComputerFacts::processorClockPrefersTheNominalOne()
{
    FakeRoot root;
    root.write("proc/cpuinfo", kIntelCpuInfo);
    QCOMPARE(LinuxComputerInfo(root.root()).Processor().normFreqMHz, 800);
    root.write("sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "4000000\n");
    QCOMPARE(LinuxComputerInfo(root.root()).Processor().normFreqMHz, 800); // the maximum is no help here
    root.write("sys/devices/system/cpu/cpu0/cpufreq/base_frequency", "1800000\n");
    QCOMPARE(LinuxComputerInfo(root.root()).Processor().normFreqMHz, 1800);

    FakeRoot arm;
    arm.write("proc/cpuinfo", "Processor\t: ARMv7\n");
    arm.write("sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "1500000\n");
    QCOMPARE(LinuxComputerInfo(arm.root()).Processor().normFreqMHz, 1500);
}

void TestComputerFacts::osProductName_data()
{
    QTest::addColumn<QString>("osRelease");
    QTest::addColumn<QString>("name");
    QTest::newRow("pretty name") << "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                 << "Debian GNU/Linux 12 (bookworm)";
    QTest::newRow("single quotes, escape") << "PRETTY_NAME='Say \\\"hi\\\"'" << "Say \"hi\"";
    QTest::newRow("name and version") << "NAME=Fedora\nVERSION=\"39 (Workstation Edition)\""
                                      << "Fedora 39 (Workstation Edition)";
    QTest::newRow("comment ignored") << "#PRETTY_NAME=x\nNAME=Arch" << "Arch";
    QTest::newRow("nothing") << "" << "Linux";
}

void TestComputerFacts::osProductName()
{
    QFETCH(QString, osRelease);
    QFETCH(QString, name);
    QCOMPARE(LinuxComputerInfo::ParseOsRelease(osRelease), name);
}

void TestComputerFacts::kernelRelease_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<QList<int>>("version");
    QTest::newRow("Debian") << "6.1.0-18-amd64" << QList<int>{6, 1, 0};
    QTest::newRow("four parts") << "5.15.153.1-microsoft-standard-WSL2" << QList<int>{5, 15, 153};
    QTest::newRow("plus suffix") << "6.10.3+deb13-amd64" << QList<int>{6, 10, 3};
    QTest::newRow("two parts") << "6.8" << QList<int>{6, 8, 0};
    QTest::newRow("empty") << "" << QList<int>{0, 0, 0};
}

void TestComputerFacts::kernelRelease()
{
    QFETCH(QString, release);
    QFETCH(QList<int>, version);
    int major = -1, minor = -1, build = -1;
    LinuxComputerInfo::ParseKernelRelease(release, major, minor, build);
    QCOMPARE((QList<int>{major, minor, build}), version);
}

void TestComputerFacts::osVersionText_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("csd");
    QTest::addColumn<QString>("text");
    QTest::newRow("Linux: no product type") << int(NtProductType::ptUnknown) << "#1 SMP Debian 6.1.76-1"
                                            << " Build 6.1.0 #1 SMP Debian 6.1.76-1";
    QTest::newRow("workstation, no pack") << int(NtProductType::ptWorkStation) << "" << "WorkStation Build 6.1.0";
    QTest::newRow("home edition") << int(NtProductType::ptPersonal) << "Service Pack 2"
                                  << "Home edition Build 6.1.0 Service Pack 2";
    QTest::newRow("advanced server") << int(NtProductType::ptAdvancedServer) << "" << "Advanced server Build 6.1.0";
    QTest::newRow("web edition") << int(NtProductType::ptWebEdition) << "" << "Web edition Build 6.1.0";
}

void TestComputerFacts::osVersionText()
{
    QFETCH(int, type);
    QFETCH(QString, csd);
    QFETCH(QString, text);
    OSInfo os;
    os.productType = NtProductType(type);
    os.versionMajor = 6;
    os.versionMinor = 1;
    os.versionBuild = 0;
    os.versionCSD = csd;
    QCOMPARE(OSVersionText(os), text);
}

void TestComputerFacts::memory()
{
    const MemoryStatus m = LinuxComputerInfo::ParseMemInfo(
        QStringLiteral("MemTotal:       16318412 kB\nMemFree:          512000 kB\nMemAvailable:    8000000 kB\n"));
    QCOMPARE(m.totalPhysical, std::uint64_t(16318412) * 1024);
    QCOMPARE(m.availablePhysical, std::uint64_t(8000000) * 1024);
    // Older kernels: the free memory stands in.
    QCOMPARE(LinuxComputerInfo::ParseMemInfo(QStringLiteral("MemTotal: 1000 kB\nMemFree: 300 kB\n")).availablePhysical,
             std::uint64_t(300) * 1024);
}

void TestComputerFacts::fixedVolumes()
{
    FakeRoot root;
    QTemporaryDir mounts;
    const QString a = mounts.path() + QStringLiteral("/disk a"); // a blank, escaped in mountinfo
    const QString b = mounts.path() + QStringLiteral("/b");
    QDir().mkpath(a);
    QDir().mkpath(b);
    const QByteArray aEscaped = QFile::encodeName(mounts.path()) + "/disk\\040a";
    const QByteArray bPath = QFile::encodeName(b);

    // sda is a fixed disk with a partition; sdb a removable stick; dm-0 a mapped volume.
    root.write("sys/devices/pci/block/sda/removable", "0\n");
    root.write("sys/devices/pci/block/sda/sda1/partition", "1\n");
    root.write("sys/devices/usb/block/sdb/removable", "1\n");
    root.write("sys/devices/usb/block/sdb/sdb1/partition", "1\n");
    root.write("sys/devices/virtual/block/dm-0/removable", "0\n");
    root.link("sys/dev/block/8:1", root.path("sys/devices/pci/block/sda/sda1"));
    root.link("sys/dev/block/8:17", root.path("sys/devices/usb/block/sdb/sdb1"));
    root.link("sys/dev/block/253:0", root.path("sys/devices/virtual/block/dm-0"));
    root.write("proc/self/mountinfo",
               "22 1 8:1 / " + aEscaped + " rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
               "23 22 0:21 / /proc rw - proc proc rw\n"
               "24 22 8:17 / " + bPath + " rw - vfat /dev/sdb1 rw\n"
               "25 22 253:0 / " + bPath + " rw shared:5 master:2 - xfs /dev/mapper/vg-home rw\n"
               "26 22 8:1 /srv " + bPath + " rw - ext4 /dev/sda1 rw\n" // bind mount of sda1 again
               "27 22 0:45 / /run rw - tmpfs tmpfs rw\n"
               "garbage line\n");

    const LinuxComputerInfo info(root.root());
    const QList<FixedVolume> volumes = info.FixedVolumes();
    QCOMPARE(volumes.size(), 2);
    QCOMPARE(volumes.at(0).mountPoint, a);
    QCOMPARE(volumes.at(0).device, QStringLiteral("8:1"));
    QCOMPARE(volumes.at(0).fileSystem, QStringLiteral("ext4"));
    QCOMPARE(volumes.at(1).device, QStringLiteral("253:0"));
    QCOMPARE(volumes.at(1).fileSystem, QStringLiteral("xfs"));
    QVERIFY(volumes.at(0).totalBytes >= volumes.at(0).freeBytes);
    QVERIFY(volumes.at(0).totalBytes > 0);
    // Both fixture mounts sit on the same real file system; its free space may move a little
    // between the two reads.
    const std::uint64_t expected = 2 * freeBytesOf(mounts.path());
    const std::uint64_t sum = info.FixedDisksFreeBytes();
    QVERIFY(sum + (64u << 20) >= expected && sum <= expected + (64u << 20));
}

void TestComputerFacts::liveSystem()
{
    const LinuxComputerInfo info;
    const MemoryStatus m = info.Memory();
    QVERIFY(m.totalPhysical > 0);
    QVERIFY(m.availablePhysical <= m.totalPhysical);
    const OSInfo os = info.OS();
    QVERIFY(!os.productName.isEmpty());
    QVERIFY(os.versionMajor > 0);
    QVERIFY(!info.ComputerName().isEmpty());
    QVERIFY(OSVersionText(os).startsWith(QStringLiteral(" Build ")));
}

void TestComputerFacts::macAddressText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ethernet") << QByteArray::fromHex("0050b6a1ff0e") << "00-50-B6-A1-FF-0E";
    QTest::newRow("length 0") << QByteArray() << "00-00-00-00-00-00";
    QTest::newRow("two bytes") << QByteArray::fromHex("0a0b") << "0A-0B";
}

void TestComputerFacts::macAddressText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(MacAddressText(bytes), text);
}

void TestComputerFacts::interfaceTypes()
{
    QCOMPARE(IanaInterfaceType(1, false), 6u);      // Ethernet
    QCOMPARE(IanaInterfaceType(1, true), 71u);      // wireless
    QCOMPARE(IanaInterfaceType(512, false), 23u);   // PPP
    QCOMPARE(IanaInterfaceType(772, false), 24u);   // loopback
    QCOMPARE(IanaInterfaceType(256, false), 28u);   // SLIP
    QCOMPARE(IanaInterfaceType(774, false), 15u);   // FDDI
    QCOMPARE(IanaInterfaceType(800, false), 9u);    // token ring
    QCOMPARE(IanaInterfaceType(65534, false), 131u); // tun, WireGuard
    QCOMPARE(IanaInterfaceType(12345, false), 1u);
}

void TestComputerFacts::adapterList()
{
    FakeRoot root;
    const auto iface = [&](const QString &name, int index, int type, const QByteArray &flags,
                           const QByteArray &address, int length) {
        root.write("sys/class/net/" + name + "/ifindex", QByteArray::number(index) + '\n');
        root.write("sys/class/net/" + name + "/type", QByteArray::number(type) + '\n');
        root.write("sys/class/net/" + name + "/flags", flags + '\n');
        root.write("sys/class/net/" + name + "/address", address + '\n');
        root.write("sys/class/net/" + name + "/addr_len", QByteArray::number(length) + '\n');
    };
    iface("lo", 1, 772, "0x9", "00:00:00:00:00:00", 6);
    iface("dummy0", 2, 1, "0x1003", "02:42:ac:11:00:01", 6); // virtual: no device
    iface("wlp2s0", 5, 1, "0x1003", "a4:c3:f0:11:22:33", 6);
    root.mkdir("sys/class/net/wlp2s0/wireless");
    root.mkdir("sys/class/net/wlp2s0/device");
    iface("enp0s31f6", 4, 1, "0x1003", "54:e1:ad:aa:bb:cc", 6);
    root.write("sys/devices/pci/net/driver-stub", "");
    root.mkdir("sys/bus/pci/drivers/e1000e");
    root.link("sys/class/net/enp0s31f6/device/driver", root.path("sys/bus/pci/drivers/e1000e"));
    iface("wg0", 7, 65534, "0x91", "", 0);
    root.write("sys/class/net/wg0/ifalias", "office tunnel\n");
    root.write("proc/net/route",
               "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
               "enp0s31f6\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
               "enp0s31f6\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
               "wlp2s0\t00000000\t010AA8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n");

    InterfaceAddresses addresses;
    addresses[QStringLiteral("enp0s31f6")] = {{"192.168.1.20", "255.255.255.0"}, {"10.0.0.5", "255.0.0.0"}};
    addresses[QStringLiteral("lo")] = {{"127.0.0.1", "255.0.0.0"}};

    const TAdaptorRows rows = LinuxNetworkAdapters::ReadAdapters(root.root(), addresses);
    QCOMPARE(rows.size(), 4); // no loopback
    QCOMPARE(rows.at(0).adapterName, QStringLiteral("enp0s31f6"));
    QCOMPARE(rows.at(0).index, 4u);
    QCOMPARE(rows.at(0).type, 6u);
    QCOMPARE(rows.at(0).description, QStringLiteral("e1000e"));
    QCOMPARE(rows.at(0).macAddress, QStringLiteral("54-E1-AD-AA-BB-CC"));
    QCOMPARE(rows.at(0).addresses, (QStringList{"192.168.1.20", "10.0.0.5"}));
    QCOMPARE(rows.at(0).masks, (QStringList{"255.255.255.0", "255.0.0.0"}));
    QCOMPARE(rows.at(0).gateways, QStringList{"192.168.1.1"}); // only default routes count
    QCOMPARE(rows.at(1).adapterName, QStringLiteral("wlp2s0"));
    QCOMPARE(rows.at(1).type, 71u);
    QCOMPARE(rows.at(1).description, QStringLiteral("wlp2s0"));
    QCOMPARE(rows.at(1).addresses, QStringList{"0.0.0.0"});
    QCOMPARE(rows.at(1).gateways, QStringList{"192.168.10.1"});
    QCOMPARE(rows.at(2).adapterName, QStringLiteral("dummy0")); // virtual ones after the hardware
    QCOMPARE(rows.at(3).adapterName, QStringLiteral("wg0"));
    QCOMPARE(rows.at(3).description, QStringLiteral("office tunnel"));
    QCOMPARE(rows.at(3).macAddress, QStringLiteral("00-00-00-00-00-00"));
    QCOMPARE(FirstAdapterMacAddress(rows), QStringLiteral("54-E1-AD-AA-BB-CC"));

    QCOMPARE(FirstAdapterMacAddress({}), QString());
    FakeRoot empty;
    QVERIFY(LinuxNetworkAdapters::ReadAdapters(empty.root(), {}).isEmpty());
}

void TestComputerFacts::liveAdapters()
{
    const TAdaptorRows rows = LinuxNetworkAdapters().Adapters();
    const QRegularExpression mac(QStringLiteral("^[0-9A-F]{2}(-[0-9A-F]{2})*$"));
    for (const TAdaptorRow &row : rows) {
        QVERIFY(row.type != 24u);
        QVERIFY2(mac.match(row.macAddress).hasMatch(), qPrintable(row.macAddress));
        QCOMPARE(row.addresses.size(), row.masks.size());
    }
}

QTEST_GUILESS_MAIN(TestComputerFacts)
#include "tst_computerfacts.moc"
