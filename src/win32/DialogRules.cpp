// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/DialogRules.h"

#include <cstdio>

namespace sarvik::win32 {

std::string exactSizeText(std::uint64_t bytes, const std::string& listed)
{
    std::string digits = std::to_string(bytes);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits + (bytes == 1 ? " byte" : " bytes") + (listed.empty() ? "" : " (" + listed + ")");
}

std::string conditionText(const std::string& condition, bool folder)
{
    if (!condition.empty())
        return condition;
    return folder ? std::string() : "Not estimated";
}

std::string clustersText(std::uint64_t toRead, std::uint64_t inUse)
{
    if (toRead == 0)
        return {};
    return std::to_string(toRead) + " to read, " + std::to_string(inUse) + " of them now in use by other files";
}

std::wstring renamedName(const std::wstring& typed)
{
    constexpr std::size_t kMostUnits = 255;
    if (typed.size() <= kMostUnits)
        return typed;
    std::size_t keep = kMostUnits;
    // The last unit kept the first half of a pair: the pair goes whole.
    const auto last = static_cast<std::uint32_t>(typed[keep - 1]);
    if (last >= 0xD800 && last <= 0xDBFF)
        --keep;
    return typed.substr(0, keep);
}

recovery::RecoverySettings chosenSettings(const recovery::RecoverySettings& before, const SettingsChoices& choices)
{
    recovery::RecoverySettings settings = before;
    if (choices.sectorsPerRead >= 1 && choices.sectorsPerRead <= kMostSectorsPerRead)
        settings.SectorsPerRead = choices.sectorsPerRead;
    if (choices.retries >= 1 && choices.retries <= kMostRetries)
        settings.BadSectorRetries = static_cast<std::uint16_t>(choices.retries);
    if (choices.duplicatePolicy == recovery::DuplicatePolicy::Rename ||
        choices.duplicatePolicy == recovery::DuplicatePolicy::Overwrite ||
        choices.duplicatePolicy == recovery::DuplicatePolicy::Skip)
        settings.DuplicatePolicy = choices.duplicatePolicy;
    settings.KeepOriginalTimes = choices.keepTimes;
    settings.ThoroughScan = choices.thorough;
    settings.DeepSearch = choices.thorough && choices.deep;
    return settings;
}

SettingsStep settingsStep(const std::wstring& input)
{
    SettingsStep step;
    if (input == L"skip" || input == L"overwrite" || input == L"rename") {
        step.duplicatePolicy = input == L"skip"        ? recovery::DuplicatePolicy::Skip
                               : input == L"overwrite" ? recovery::DuplicatePolicy::Overwrite
                                                       : recovery::DuplicatePolicy::Rename;
        step.understood = true;
        return step;
    }
    const std::wstring prefix = L"sectors=";
    if (input.rfind(prefix, 0) != 0 || input.size() == prefix.size() || input.size() > prefix.size() + 3)
        return step;
    int n = 0;
    for (std::size_t i = prefix.size(); i < input.size(); ++i) {
        if (input[i] < L'0' || input[i] > L'9')
            return step;
        n = n * 10 + (input[i] - L'0');
    }
    if (n < 1 || n > kMostSectorsPerRead)
        return step;
    step.sectorsPerRead = n;
    step.understood = true;
    return step;
}

std::string summaryBoxText(const std::string& summary, const std::vector<std::string>& details, std::size_t most)
{
    std::string text = summary;
    for (std::size_t i = 0; i < details.size() && i < most; ++i)
        text += "\n" + details[i];
    if (details.size() > most)
        text += "\n...";
    return text;
}

OpenedCopy openedCopy(bool stopped, std::optional<recovery::FileOutcome> outcome)
{
    using recovery::FileOutcome;
    if (stopped)
        return outcome == FileOutcome::CutShort ? OpenedCopy::CancelledCutShort : OpenedCopy::Cancelled;
    if (!outcome)
        return OpenedCopy::NotCopied;
    const bool readable = *outcome == FileOutcome::Written || *outcome == FileOutcome::Incomplete ||
                          *outcome == FileOutcome::CutAtVolumeEnd;
    return readable ? OpenedCopy::Open : OpenedCopy::Failed;
}

std::string copyProgressLine(const std::string& fileName, const std::string& total)
{
    return "Saving " + fileName + "   Total Files: " + total;
}

std::string scanTookText(double seconds, bool stopped)
{
    char took[64];
    std::snprintf(took, sizeof took, "   (%.1f s%s)", seconds < 0 ? 0.0 : seconds, stopped ? ", stopped" : "");
    return took;
}

} // namespace sarvik::win32
