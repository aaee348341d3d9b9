#include "ResultUpload.h"

#include "ComputerInfo.h"
#include "SpeedUnits.h"
#include "wsVeloqua.h"

#include <limits>

namespace vq {

namespace {

// The service's numbers are 32-bit; a figure beyond that range is sent as the nearest one
// instead of wrapping round to a wrong (possibly negative) value.
int ToServiceInteger(std::int64_t value)
{
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return int(value);
}

} // namespace

TUploadReceipt UploadStandardRun(Service1Soap &service, std::uint8_t &FPendingRequest, int profileId,
                                 const TStandardRunResult &run, const platform::ComputerInfo &computer)
{
    const platform::MemoryStatus memory = computer.Memory();
    const std::uint64_t diskFree = computer.FixedDisksFreeBytes();

    TUploadReceipt receipt;
    FPendingRequest = 6; // no table answer is expected
    receipt.veloquaId = service.InsertVeloqua(profileId, ToServiceInteger(RoundHalfEven(run.bytesPerSecond)),
                                              QString::number(memory.totalPhysical),
                                              QString::number(memory.availablePhysical), QString::number(diskFree));
    for (qsizetype i = 0; i < run.rows.size(); ++i) {
        const TSiteFigures figures = run.figures.value(i);
        if (figures.bytes == 0)
            continue;
        FPendingRequest = 6;
        service.InsertTestResults(receipt.veloquaId, ToServiceInteger(figures.milliseconds),
                                  ToServiceInteger(figures.bytes), run.rows.at(i).siteId.toInt());
        ++receipt.resultsSent;
    }
    return receipt;
}

} // namespace vq
