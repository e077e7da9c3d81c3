#include "plugin/host_codes.h"

#include "plugin/exports.h"
#include "platform/win32.h"

int HostCode(Status status, HostCall call, uint32_t systemError) {
    if (status == Status::OutOfMemory && systemError == 0) systemError = ERROR_NOT_ENOUGH_MEMORY;
    if (systemError != 0) SetLastError(systemError);
    if (status == Status::Ok) return HostOk;
    if (call == HostCall::Open) return HostNoMemory;
    switch (status) {
    case Status::End:
        return HostEndArchive;
    case Status::InvalidData:
        // A stream that decoded when it was listed and does not now.
        return HostBadData;
    case Status::IoError:
        return HostEWrite;
    case Status::Aborted:
        return HostAborted;
    case Status::OutOfMemory:
    case Status::Unsupported:
    case Status::NotPdf:
    case Status::NeedsPassword:
    case Status::Ok:
        break;
    }
    return HostNoMemory;
}
