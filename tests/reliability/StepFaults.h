#pragma once
// Failing one system call of a save or a load, as the system would fail
// it, and recording the steps an operation takes.

#include "platform/FileStore.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace reliability {

// While it lives, records every step of the file operations and fails the
// one numbered `failAt` (from 0) with the error number `error`.
class StepFaults {
public:
    explicit StepFaults(int failAt = -1, int error = 0)
    {
        m_previous = platform::SetFileStepHook([this, failAt, error](platform::FileStep step) {
            steps.push_back(step);
            return static_cast<int>(steps.size()) - 1 == failAt ? error : 0;
        });
    }
    ~StepFaults() { platform::SetFileStepHook(std::move(m_previous)); }
    StepFaults(const StepFaults&) = delete;
    StepFaults& operator=(const StepFaults&) = delete;

    std::vector<platform::FileStep> steps;

private:
    platform::FileStepHook m_previous;
};

// The errors real disks give: no space left, a file-size limit, an I/O error.
inline const std::vector<int>& DiskErrors()
{
    static const std::vector<int> errors = {ENOSPC, EFBIG, EIO};
    return errors;
}

inline std::string StepName(platform::FileStep step)
{
    using platform::FileStep;
    switch (step) {
    case FileStep::OpenFolder: return "open folder";
    case FileStep::Inspect: return "inspect";
    case FileStep::CreateTemp: return "create temporary file";
    case FileStep::KeepOwner: return "keep owner";
    case FileStep::KeepMode: return "keep mode";
    case FileStep::Write: return "write";
    case FileStep::Sync: return "sync";
    case FileStep::Close: return "close";
    case FileStep::Replace: return "replace";
    case FileStep::SyncFolder: return "sync folder";
    case FileStep::OpenInPlace: return "open in place";
    case FileStep::ReadOld: return "read old contents";
    case FileStep::Truncate: return "truncate";
    case FileStep::Restore: return "restore";
    case FileStep::Open: return "open";
    case FileStep::Read: return "read";
    case FileStep::Lock: return "lock";
    }
    return "?";
}

// "step 3 (write) failing with No space left on device"
inline std::string Describe(int failAt, platform::FileStep step, int error)
{
    return "step " + std::to_string(failAt) + " (" + StepName(step) + ") failing with " + std::strerror(error);
}

} // namespace reliability
