// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The flags a copy polls: the thread that asks sets them, the copy reads them.

#include <atomic>

namespace sarvik::catalogue {

/// Stop and skip requests of a copy, polled by the copy and by FAT chain walks.
struct RecoveryControl {
    std::atomic<int> StopRecovery{0};
    std::atomic<int> SkipFile{0};
    [[nodiscard]] bool interrupted() const noexcept
    {
        return StopRecovery.load(std::memory_order_relaxed) == 1 || SkipFile.load(std::memory_order_relaxed) == 1;
    }
};

} // namespace sarvik::catalogue
