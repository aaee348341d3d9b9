#pragma once

#include "TestRunner.h"

#include <cstdint>

namespace vq {

class Service1Soap;
namespace platform {
class ComputerInfo;
}

// What the upload of one standard run sent.
struct TUploadReceipt {
    int veloquaId = 0;   // the number the service gave the run
    int resultsSent = 0; // sites sent with InsertTestResults
};

// Sends a standard run that reached its last row to the central service under a profile:
// InsertVeloqua with the overall speed in whole bytes per second (halves to even), the
// computer's total and available physical memory and the free bytes of its fixed disks, then
// InsertTestResults with the run's number for every row that has bytes, in list order. Rows
// without bytes are not sent. Every call is a scalar one (FPendingRequest 6).
//
// The first failure ends the upload and leaves the service's exception (ESOAPHTTPException or
// ERemotableException) to the caller; what was not sent by then is not sent.
TUploadReceipt UploadStandardRun(Service1Soap &service, std::uint8_t &FPendingRequest, int profileId,
                                 const TStandardRunResult &run, const platform::ComputerInfo &computer);

} // namespace vq
