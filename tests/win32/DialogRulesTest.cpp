// SPDX-License-Identifier: GPL-3.0-or-later
// What the Windows desktop program's boxes show and take.

#include "win32/DialogRules.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace sarvik::win32 {
namespace {

TEST(DesktopDialogRules, ExactSizeGroupsItsDigitsByThree)
{
    EXPECT_EQ(exactSizeText(0, ""), "0 bytes");
    EXPECT_EQ(exactSizeText(1, "1 KB"), "1 byte (1 KB)");
    EXPECT_EQ(exactSizeText(999, ""), "999 bytes");
    EXPECT_EQ(exactSizeText(1000, ""), "1,000 bytes");
    EXPECT_EQ(exactSizeText(3145851, "3,073 KB"), "3,145,851 bytes (3,073 KB)");
    EXPECT_EQ(exactSizeText(100000, ""), "100,000 bytes");
    EXPECT_EQ(exactSizeText(18446744073709551615ull, ""), "18,446,744,073,709,551,615 bytes");
}

TEST(DesktopDialogRules, PropertiesTellTheConditionAndItsClusters)
{
    EXPECT_EQ(conditionText("Good", false), "Good");
    EXPECT_EQ(conditionText("Poor", true), "Poor");
    EXPECT_EQ(conditionText("", false), "Not estimated");
    EXPECT_EQ(conditionText("", true), "");
    EXPECT_EQ(clustersText(0, 0), "");
    EXPECT_EQ(clustersText(12, 3), "12 to read, 3 of them now in use by other files");
    EXPECT_EQ(clustersText(1, 0), "1 to read, 0 of them now in use by other files");
}

TEST(DesktopDialogRules, RenamedNameKeepsWholeCharacters)
{
    EXPECT_EQ(renamedName(L""), L"");
    EXPECT_EQ(renamedName(L"Letter to Anna.txt"), L"Letter to Anna.txt");
    const std::wstring longest(255, L'a');
    EXPECT_EQ(renamedName(longest), longest);
    EXPECT_EQ(renamedName(longest + L"b"), longest);
    // A character beyond U+FFFF in UTF-16 (U+1F600) across the 255th unit:
    // both halves go, never the first alone.
    std::wstring across(254, L'a');
    across += static_cast<wchar_t>(0xD83D);
    across += static_cast<wchar_t>(0xDE00);
    across += L".txt";
    const std::wstring cut = renamedName(across);
    EXPECT_EQ(cut, std::wstring(254, L'a'));
    // Ending on the pair's second half: it stays whole.
    std::wstring whole(253, L'a');
    whole += static_cast<wchar_t>(0xD83D);
    whole += static_cast<wchar_t>(0xDE00);
    whole += L"x";
    EXPECT_EQ(renamedName(whole), whole.substr(0, 255));
}

TEST(DesktopDialogRules, SettingsTakeTheBoxsChoices)
{
    const recovery::RecoverySettings before = recovery::RecoverySettings::startup();
    SettingsChoices choices;
    choices.sectorsPerRead = 8;
    choices.retries = 10;
    choices.duplicatePolicy = recovery::DuplicatePolicy::Skip;
    choices.keepTimes = false;
    choices.thorough = true;
    choices.deep = true;
    const recovery::RecoverySettings after = chosenSettings(before, choices);
    EXPECT_EQ(after.SectorsPerRead, 8);
    EXPECT_EQ(after.BadSectorRetries, 10);
    EXPECT_EQ(after.DuplicatePolicy, recovery::DuplicatePolicy::Skip);
    EXPECT_FALSE(after.KeepOriginalTimes);
    EXPECT_TRUE(after.ThoroughScan);
    EXPECT_TRUE(after.DeepSearch);
}

TEST(DesktopDialogRules, SettingsNeverTakeANumberTheListsDoNotOffer)
{
    // A list with nothing chosen gives 0: the copy would read no sector at a time.
    recovery::RecoverySettings before = recovery::RecoverySettings::startup();
    before.SectorsPerRead = 16;
    before.BadSectorRetries = 4;
    SettingsChoices none;
    none.sectorsPerRead = 0;
    none.retries = 0;
    none.duplicatePolicy = 0; // no button checked
    recovery::RecoverySettings after = chosenSettings(before, none);
    EXPECT_EQ(after.SectorsPerRead, 16);
    EXPECT_EQ(after.BadSectorRetries, 4);
    EXPECT_EQ(after.DuplicatePolicy, before.DuplicatePolicy);
    SettingsChoices tooMany;
    tooMany.sectorsPerRead = kMostSectorsPerRead + 1;
    tooMany.retries = kMostRetries + 1;
    after = chosenSettings(before, tooMany);
    EXPECT_EQ(after.SectorsPerRead, 16);
    EXPECT_EQ(after.BadSectorRetries, 4);
    tooMany.sectorsPerRead = kMostSectorsPerRead;
    tooMany.retries = kMostRetries;
    after = chosenSettings(before, tooMany);
    EXPECT_EQ(after.SectorsPerRead, kMostSectorsPerRead);
    EXPECT_EQ(after.BadSectorRetries, kMostRetries);
}

TEST(DesktopDialogRules, DeepSearchGoesWithTheThoroughRulesOnly)
{
    SettingsChoices classic;
    classic.sectorsPerRead = 60;
    classic.retries = 3;
    classic.thorough = false;
    classic.deep = true; // checked before the thorough rules were turned off
    const recovery::RecoverySettings after = chosenSettings(recovery::RecoverySettings::startup(), classic);
    EXPECT_FALSE(after.ThoroughScan);
    EXPECT_FALSE(after.DeepSearch);
}

TEST(DesktopDialogRules, SettingsStepsTakeOnlyWhatTheBoxOffers)
{
    EXPECT_EQ(settingsStep(L"skip").duplicatePolicy, recovery::DuplicatePolicy::Skip);
    EXPECT_EQ(settingsStep(L"overwrite").duplicatePolicy, recovery::DuplicatePolicy::Overwrite);
    EXPECT_EQ(settingsStep(L"rename").duplicatePolicy, recovery::DuplicatePolicy::Rename);
    EXPECT_FALSE(settingsStep(L"skip").sectorsPerRead);

    const SettingsStep eight = settingsStep(L"sectors=8");
    EXPECT_TRUE(eight.understood);
    EXPECT_EQ(eight.sectorsPerRead, 8);
    EXPECT_FALSE(eight.duplicatePolicy);
    EXPECT_EQ(settingsStep(L"sectors=100").sectorsPerRead, 100);
    for (const wchar_t* wrong : {L"sectors=0", L"sectors=101", L"sectors=", L"sectors=abc", L"sectors=-5",
                                 L"sectors=8x", L"sectors=0008", L"Skip", L""}) {
        const SettingsStep step = settingsStep(wrong);
        EXPECT_FALSE(step.understood) << std::string(wrong, wrong + std::wcslen(wrong));
        EXPECT_FALSE(step.sectorsPerRead);
        EXPECT_FALSE(step.duplicatePolicy);
    }
}

TEST(DesktopDialogRules, SummaryBoxShowsAtMostItsShareOfLines)
{
    EXPECT_EQ(summaryBoxText("3 files recovered.", {}, 20), "3 files recovered.");
    EXPECT_EQ(summaryBoxText("Done.", {"a: damaged", "b: damaged"}, 2), "Done.\na: damaged\nb: damaged");
    EXPECT_EQ(summaryBoxText("Done.", {"a", "b", "c"}, 2), "Done.\na\nb\n...");
    EXPECT_EQ(summaryBoxText("Done.", {"a"}, 0), "Done.\n...");
}

TEST(DesktopDialogRules, OnlyACopyWithTheFilesBytesIsOpened)
{
    using recovery::FileOutcome;
    EXPECT_EQ(openedCopy(false, FileOutcome::Written), OpenedCopy::Open);
    // Part of it unread or cut at the volume's end: still the file, as far as it goes.
    EXPECT_EQ(openedCopy(false, FileOutcome::Incomplete), OpenedCopy::Open);
    EXPECT_EQ(openedCopy(false, FileOutcome::CutAtVolumeEnd), OpenedCopy::Open);
    for (FileOutcome failed :
         {FileOutcome::CutShort, FileOutcome::CreateFailed, FileOutcome::WriteFailed, FileOutcome::DuplicateSkipped,
          FileOutcome::Filtered, FileOutcome::NothingToWrite, FileOutcome::Unreadable})
        EXPECT_EQ(openedCopy(false, failed), OpenedCopy::Failed) << recovery::outcomeText(failed);
    EXPECT_EQ(openedCopy(false, std::nullopt), OpenedCopy::NotCopied);
    // Stop pressed: nothing opens, even a copy that was finished; one cut short goes.
    EXPECT_EQ(openedCopy(true, FileOutcome::Written), OpenedCopy::Cancelled);
    EXPECT_EQ(openedCopy(true, std::nullopt), OpenedCopy::Cancelled);
    EXPECT_EQ(openedCopy(true, FileOutcome::CutShort), OpenedCopy::CancelledCutShort);
}

TEST(DesktopDialogRules, ProgressAndEndLines)
{
    EXPECT_EQ(copyProgressLine("Documents\\a.txt", "12"), "Saving Documents\\a.txt   Total Files: 12");
    EXPECT_EQ(scanTookText(2.54, false), "   (2.5 s)");
    EXPECT_EQ(scanTookText(0.05, true), "   (0.1 s, stopped)");
    EXPECT_EQ(scanTookText(-1, false), "   (0.0 s)"); // a clock set back
}

} // namespace
} // namespace sarvik::win32
