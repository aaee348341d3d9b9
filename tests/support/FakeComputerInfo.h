#pragma once

#include "ComputerInfo.h"

namespace vq::test {

// A computer with fixed, known facts.
class FakeComputerInfo : public platform::ComputerInfo
{
public:
    FakeComputerInfo()
    {
        processor.name = QStringLiteral("Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz");
        processor.manufacturer = QStringLiteral("GenuineIntel");
        processor.normFreqMHz = 1800;
        os.productName = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
        os.versionMajor = 6;
        os.versionMinor = 1;
        os.versionBuild = 0;
        os.versionCSD = QStringLiteral("#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1");
        memory.totalPhysical = 8ull << 30;
        memory.availablePhysical = 3ull << 30;
    }

    platform::ProcessorInfo Processor() const override { return processor; }
    platform::OSInfo OS() const override { return os; }
    QString ComputerName() const override { return computerName; }
    platform::MemoryStatus Memory() const override { return memory; }
    QList<platform::FixedVolume> FixedVolumes() const override { return volumes; }

    platform::ProcessorInfo processor;
    platform::OSInfo os;
    QString computerName = QStringLiteral("testbox");
    platform::MemoryStatus memory;
    QList<platform::FixedVolume> volumes;
};

} // namespace vq::test
