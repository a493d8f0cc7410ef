// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the desktop program's boxes show and take, apart from the boxes: the
// Properties box's exact size, the Recovery Settings box's choices made
// settings, a run without a user's choices for that box, the lines that end
// and follow a copy and a scan.
//
// Plain C++ (no Windows headers), so that it is tested on every system.

#include "recovery/RecoveryReport.h"
#include "recovery/RecoverySettings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::win32 {

/// The most sectors per read and retries the settings box offers (from 1).
inline constexpr int kMostSectorsPerRead = 100;
inline constexpr int kMostRetries = 10;

/// A size to the byte, its digits in groups of three: "3,145,851 bytes (3 MB)"
/// with `listed` the list's own text of it (none when empty).
[[nodiscard]] std::string exactSizeText(std::uint64_t bytes, const std::string& listed);

/// The Properties box's Condition: the row's own, "Not estimated" for a file
/// without one, nothing for a folder without one.
[[nodiscard]] std::string conditionText(const std::string& condition, bool folder);

/// The Properties box's clusters line: "12 to read, 3 of them now in use by
/// other files"; empty when there is none to read.
[[nodiscard]] std::string clustersText(std::uint64_t toRead, std::uint64_t inUse);

/// The name typed in the Rename box as the catalogue may hold it: at most 255
/// UTF-16 units, never cut between the two halves of a character beyond
/// U+FFFF.
[[nodiscard]] std::wstring renamedName(const std::wstring& typed);

/// What the Recovery Settings box shows chosen when OK is pressed.
struct SettingsChoices {
    int sectorsPerRead = 0; ///< the list's number; 0 when none is chosen
    int retries = 0;        ///< the list's number; 0 when none is chosen
    std::uint16_t duplicatePolicy = recovery::DuplicatePolicy::Rename;
    bool keepTimes = true;
    bool thorough = true;
    bool deep = false;
};

/// `before` with the box's choices: a number the lists offer no longer (none
/// chosen) keeps the one before; the deep search goes with the thorough rules only.
[[nodiscard]] recovery::RecoverySettings chosenSettings(const recovery::RecoverySettings& before,
                                                        const SettingsChoices& choices);

/// What a run without a user asks of the settings box: "skip", "overwrite"
/// or "rename" (what to do with a duplicate), or "sectors=N".
struct SettingsStep {
    std::optional<std::uint16_t> duplicatePolicy;
    std::optional<int> sectorsPerRead; ///< 1 to kMostSectorsPerRead
    bool understood = false;           ///< false for anything else (empty: just OK)
};
[[nodiscard]] SettingsStep settingsStep(const std::wstring& input);

/// The text of the box that ends a copy: the summary, then at most `most` of
/// its lines on what did not come back whole, "..." when there are more.
[[nodiscard]] std::string summaryBoxText(const std::string& summary, const std::vector<std::string>& details,
                                         std::size_t most);

/// What a file copied to open it (Open, Open With) leads to.
enum class OpenedCopy {
    Cancelled,         ///< Stop was pressed: nothing is opened
    CancelledCutShort, ///< Stop was pressed with the copy part written: it is deleted, nothing is opened
    NotCopied,         ///< no copy was made
    Failed,            ///< a copy was begun but is no file to open; the copy's error says why
    Open,              ///< the copy is opened (one cut at the volume's end or with unread parts too)
};
/// `outcome`: the copy's, none when nothing was written.
[[nodiscard]] OpenedCopy openedCopy(bool stopped, std::optional<recovery::FileOutcome> outcome);

/// The copy's progress line: "Saving NAME   Total Files: TOTAL".
[[nodiscard]] std::string copyProgressLine(const std::string& fileName, const std::string& total);

/// What the status line says of a scan that ended: "   (2.5 s)", "   (2.5 s, stopped)".
[[nodiscard]] std::string scanTookText(double seconds, bool stopped);

} // namespace sarvik::win32
