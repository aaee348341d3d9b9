#pragma once

#include <QList>
#include <QString>

#include <cstdint>

namespace vq::platform {

struct ProcessorInfo {
    QString name;         // the brand string, trimmed
    QString manufacturer; // the maker's short name ("GenuineIntel", "AuthenticAMD", ...)
    int family = 0;
    int model = 0;
    int stepping = 0;
    int normFreqMHz = 0;  // the nominal clock, not the momentary one of a throttled core
};

// Product types of the operating system as the version texts distinguish them. A Linux system
// has none of them.
enum class NtProductType {
    ptUnknown,
    ptWorkStation,
    ptServer,
    ptAdvancedServer,
    ptPersonal,
    ptProfessional,
    ptDatacenterServer,
    ptEnterprise,
    ptWebEdition,
};

struct OSInfo {
    QString productName; // "Debian GNU/Linux 12 (bookworm)"
    NtProductType productType = NtProductType::ptUnknown;
    int versionMajor = 0; // the kernel's version: 6.1.0 gives 6, 1, 0
    int versionMinor = 0;
    int versionBuild = 0;
    QString versionCSD;   // the kernel's build text ("#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 ...")
};

struct MemoryStatus {
    std::uint64_t totalPhysical = 0;     // bytes installed
    std::uint64_t availablePhysical = 0; // bytes available to programs at this moment
};

// A mounted file system on a fixed (not removable) block device.
struct FixedVolume {
    QString mountPoint;
    QString device;     // "8:1"
    QString fileSystem; // "ext4"
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0; // all free bytes, including those reserved for the superuser
};

// What the program reports about the computer it runs on.
class ComputerInfo
{
public:
    virtual ~ComputerInfo() = default;

    virtual ProcessorInfo Processor() const = 0;
    virtual OSInfo OS() const = 0;
    virtual QString ComputerName() const = 0;
    // Read anew at every call.
    virtual MemoryStatus Memory() const = 0;
    virtual QList<FixedVolume> FixedVolumes() const = 0;
    // The sum of the free bytes of every fixed volume, each counted once.
    std::uint64_t FixedDisksFreeBytes() const;
};

// Reads /proc, /sys and /etc below a root folder ("/" on a running system; tests pass a folder
// with prepared files); the kernel version comes from uname and the computer name from the host
// name.
class LinuxComputerInfo : public ComputerInfo
{
public:
    explicit LinuxComputerInfo(const QString &root = QStringLiteral("/"));

    ProcessorInfo Processor() const override;
    OSInfo OS() const override;
    QString ComputerName() const override;
    MemoryStatus Memory() const override;
    QList<FixedVolume> FixedVolumes() const override;

    // The parts of the above that work on text, for the tests.
    static ProcessorInfo ParseCpuInfo(const QString &cpuInfo);
    static QString ParseOsRelease(const QString &osRelease);
    // "6.1.0-18-amd64" gives 6, 1, 0; missing parts are 0.
    static void ParseKernelRelease(const QString &release, int &major, int &minor, int &build);
    static MemoryStatus ParseMemInfo(const QString &memInfo);

private:
    QString path(const QString &relative) const;

    QString m_root;
};

// The operating-system version text: the product-type word, " Build ", major.minor.build and,
// when there is one, a blank and the build text.
QString OSVersionText(const OSInfo &os);

} // namespace vq::platform
