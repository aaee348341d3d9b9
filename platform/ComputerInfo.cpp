#include "ComputerInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSysInfo>

#include <cmath>

#include <sys/statvfs.h>
#include <sys/utsname.h>

namespace vq::platform {

namespace {

QString readText(const QString &fileName, qint64 maxSize = 1024 * 1024)
{
    // Files under /proc report a size of 0: read in pieces up to the end.
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes;
    while (bytes.size() < maxSize) {
        const QByteArray piece = file.read(64 * 1024);
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    return QString::fromUtf8(bytes);
}

// "key<blanks>: value" lines of the first block (/proc/cpuinfo lists one block per core).
QHash<QString, QString> firstBlock(const QString &text)
{
    QHash<QString, QString> values;
    const QStringList lines = text.split(u'\n');
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty()) {
            if (!values.isEmpty())
                break;
            continue;
        }
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0)
            continue;
        const QString key = line.left(colon).trimmed();
        if (!values.contains(key))
            values.insert(key, line.mid(colon + 1).trimmed());
    }
    return values;
}

int frequencyFile(const QString &fileName)
{
    bool ok = false;
    const qint64 kHz = readText(fileName).trimmed().toLongLong(&ok);
    return ok && kHz > 0 ? static_cast<int>((kHz + 500) / 1000) : 0;
}

// A value of an os-release file: quotes removed, backslash escapes resolved.
QString osReleaseValue(const QString &raw)
{
    QString v = raw.trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    QString out;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v.at(i) == u'\\' && i + 1 < v.size())
            ++i;
        out += v.at(i);
    }
    return out;
}

// Mount points in mountinfo escape blanks, tabs, line feeds and backslashes in octal.
QString unescapeMountField(const QString &field)
{
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == u'\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += field.at(i);
    }
    return out;
}

} // namespace

std::uint64_t ComputerInfo::FixedDisksFreeBytes() const
{
    std::uint64_t sum = 0;
    for (const FixedVolume &v : FixedVolumes())
        sum += v.freeBytes;
    return sum;
}

LinuxComputerInfo::LinuxComputerInfo(const QString &root)
    : m_root(root.endsWith(u'/') ? root : root + u'/')
{
}

QString LinuxComputerInfo::path(const QString &relative) const
{
    return m_root + relative;
}

ProcessorInfo LinuxComputerInfo::ParseCpuInfo(const QString &cpuInfo)
{
    const QHash<QString, QString> v = firstBlock(cpuInfo);
    ProcessorInfo p;
    // x86 says "model name"; other architectures use one of the others.
    for (const char *key : {"model name", "Processor", "cpu model", "cpu", "Hardware"}) {
        const QString name = v.value(QLatin1String(key)).simplified();
        if (!name.isEmpty()) {
            p.name = name;
            break;
        }
    }
    p.manufacturer = v.value(QStringLiteral("vendor_id"));
    if (p.manufacturer.isEmpty())
        p.manufacturer = v.value(QStringLiteral("vendor"));
    p.family = v.value(QStringLiteral("cpu family")).toInt();
    p.model = v.value(QStringLiteral("model")).toInt();
    p.stepping = v.value(QStringLiteral("stepping")).toInt();
    bool ok = false;
    const double mhz = v.value(QStringLiteral("cpu MHz")).toDouble(&ok);
    if (ok && mhz > 0)
        p.normFreqMHz = static_cast<int>(std::lround(mhz));
    return p;
}

ProcessorInfo LinuxComputerInfo::Processor() const
{
    ProcessorInfo p = ParseCpuInfo(readText(path(QStringLiteral("proc/cpuinfo")), 4 * 1024 * 1024));
    // "cpu MHz" is the momentary clock where the kernel scales it; the nominal one, where the
    // driver knows it, is the processor's normal clock.
    const QString cpufreq = path(QStringLiteral("sys/devices/system/cpu/cpu0/cpufreq/"));
    if (const int base = frequencyFile(cpufreq + QStringLiteral("base_frequency")); base > 0)
        p.normFreqMHz = base;
    else if (p.normFreqMHz == 0)
        p.normFreqMHz = frequencyFile(cpufreq + QStringLiteral("cpuinfo_max_freq"));
    return p;
}

QString LinuxComputerInfo::ParseOsRelease(const QString &osRelease)
{
    QHash<QString, QString> v;
    for (const QString &line : osRelease.split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0 || line.trimmed().startsWith(u'#'))
            continue;
        v.insert(line.left(eq).trimmed(), osReleaseValue(line.mid(eq + 1)));
    }
    QString name = v.value(QStringLiteral("PRETTY_NAME"));
    if (name.isEmpty())
        name = (v.value(QStringLiteral("NAME")) + u' ' + v.value(QStringLiteral("VERSION"))).trimmed();
    return name.isEmpty() ? QStringLiteral("Linux") : name;
}

void LinuxComputerInfo::ParseKernelRelease(const QString &release, int &major, int &minor, int &build)
{
    int parts[3] = {0, 0, 0};
    int index = 0;
    bool inNumber = false;
    for (const QChar c : release) {
        if (c.isDigit() && c.unicode() < 128) {
            parts[index] = parts[index] * 10 + (c.unicode() - u'0');
            inNumber = true;
            if (parts[index] > 1000000) // not a version number any more
                break;
        } else if (c == u'.' && inNumber && index < 2) {
            ++index;
            inNumber = false;
        } else {
            break;
        }
    }
    major = parts[0];
    minor = parts[1];
    build = parts[2];
}

OSInfo LinuxComputerInfo::OS() const
{
    OSInfo os;
    QString release = readText(path(QStringLiteral("etc/os-release")));
    if (release.isEmpty())
        release = readText(path(QStringLiteral("usr/lib/os-release")));
    os.productName = ParseOsRelease(release);
    struct utsname u {};
    if (::uname(&u) == 0) {
        ParseKernelRelease(QString::fromUtf8(u.release), os.versionMajor, os.versionMinor, os.versionBuild);
        os.versionCSD = QString::fromUtf8(u.version).trimmed();
    }
    return os;
}

QString LinuxComputerInfo::ComputerName() const
{
    return QSysInfo::machineHostName();
}

MemoryStatus LinuxComputerInfo::ParseMemInfo(const QString &memInfo)
{
    QHash<QString, std::uint64_t> kB;
    for (const QString &line : memInfo.split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0)
            continue;
        const QString number = line.mid(colon + 1).simplified().section(u' ', 0, 0);
        bool ok = false;
        const qulonglong value = number.toULongLong(&ok);
        if (ok)
            kB.insert(line.left(colon).trimmed(), value);
    }
    MemoryStatus m;
    m.totalPhysical = kB.value(QStringLiteral("MemTotal")) * 1024;
    // Kernels before 3.14 do not report MemAvailable.
    const QString available = kB.contains(QStringLiteral("MemAvailable")) ? QStringLiteral("MemAvailable")
                                                                           : QStringLiteral("MemFree");
    m.availablePhysical = kB.value(available) * 1024;
    return m;
}

MemoryStatus LinuxComputerInfo::Memory() const
{
    return ParseMemInfo(readText(path(QStringLiteral("proc/meminfo"))));
}

QList<FixedVolume> LinuxComputerInfo::FixedVolumes() const
{
    QList<FixedVolume> volumes;
    QSet<QString> seen;
    const QString mountInfo = readText(path(QStringLiteral("proc/self/mountinfo")), 16 * 1024 * 1024);
    for (const QString &line : mountInfo.split(u'\n', Qt::SkipEmptyParts)) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const QStringList f = line.split(u' ', Qt::SkipEmptyParts);
        const qsizetype dash = f.indexOf(QStringLiteral("-"), 6);
        if (f.size() < 7 || dash < 0 || dash + 1 >= f.size())
            continue;
        const QString device = f.at(2);
        // A device mounted twice (bind mounts, subvolumes) is one volume.
        if (seen.contains(device))
            continue;
        const QFileInfo node(path(QStringLiteral("sys/dev/block/") + device));
        if (!node.exists())
            continue; // not a block device: tmpfs, proc, overlay, network file systems
        QString disk = node.canonicalFilePath();
        if (QFileInfo::exists(disk + QStringLiteral("/partition")))
            disk = QFileInfo(disk).path(); // a partition's removable flag is its disk's
        if (readText(disk + QStringLiteral("/removable")).trimmed() == QLatin1String("1"))
            continue;
        seen.insert(device);

        FixedVolume v;
        v.mountPoint = unescapeMountField(f.at(4));
        v.device = device;
        v.fileSystem = f.at(dash + 1);
        struct statvfs st {};
        if (::statvfs(QFile::encodeName(v.mountPoint).constData(), &st) != 0)
            continue; // not readable by us: counts as nothing
        v.totalBytes = static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize;
        v.freeBytes = static_cast<std::uint64_t>(st.f_bfree) * st.f_frsize;
        volumes.append(v);
    }
    return volumes;
}

QString OSVersionText(const OSInfo &os)
{
    QString word;
    switch (os.productType) {
    case NtProductType::ptWorkStation: word = QStringLiteral("WorkStation"); break;
    case NtProductType::ptServer: word = QStringLiteral("Server"); break;
    case NtProductType::ptAdvancedServer: word = QStringLiteral("Advanced server"); break;
    case NtProductType::ptPersonal: word = QStringLiteral("Home edition"); break;
    case NtProductType::ptProfessional: word = QStringLiteral("Professional"); break;
    case NtProductType::ptDatacenterServer: word = QStringLiteral("Datacenter server"); break;
    case NtProductType::ptEnterprise: word = QStringLiteral("Enterprise"); break;
    case NtProductType::ptWebEdition: word = QStringLiteral("Web edition"); break;
    case NtProductType::ptUnknown: break;
    }
    QString text = word + QStringLiteral(" Build ") + QString::number(os.versionMajor) + u'.'
                   + QString::number(os.versionMinor) + u'.' + QString::number(os.versionBuild);
    if (!os.versionCSD.isEmpty())
        text += u' ' + os.versionCSD;
    return text;
}

} // namespace vq::platform
