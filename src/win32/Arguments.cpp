// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/Arguments.h"

#include <algorithm>
#include <cwctype>

namespace sarvik::win32 {

namespace {

/// The longest hold a test may ask for: ten minutes.
constexpr unsigned long kMaxHoldMs = 600'000;

bool parseMilliseconds(const std::wstring& text, unsigned& value)
{
    if (text.empty() || text.size() > 6)
        return false;
    unsigned long n = 0;
    for (wchar_t c : text) {
        if (!std::iswdigit(static_cast<wint_t>(c)))
            return false;
        n = n * 10 + static_cast<unsigned long>(c - L'0');
    }
    if (n > kMaxHoldMs)
        return false;
    value = static_cast<unsigned>(n);
    return true;
}

} // namespace

const std::vector<std::wstring>& selfTestSteps()
{
    static const std::vector<std::wstring> names = {L"properties",
                                                    L"rename",
                                                    L"find",
                                                    L"filter",
                                                    L"drive-info",
                                                    L"settings",
                                                    L"about",
                                                    L"save",
                                                    L"back",
                                                    L"load",
                                                    L"view",
                                                    L"select-all",
                                                    L"recover-selected",
                                                    L"preview",
                                                    L"lost-volumes",
                                                    L"open",
                                                    L"open-cancel",
                                                    L"preview-cancel",
                                                    L"open-image",
                                                    L"deep",
                                                    L"deep-stop"};
    return names;
}

Arguments parseArguments(const std::vector<std::wstring>& words)
{
    Arguments parsed;
    SelfTest test;
    bool selfTest = false, testOptions = false;
    auto fail = [](std::wstring message) {
        Arguments failed;
        failed.error = std::move(message);
        return failed;
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (word.rfind(L"--", 0) != 0) {
            parsed.images.push_back(word);
            continue;
        }
        if (word == L"--drive-page" || word == L"--deep" || word == L"--stop") {
            (word == L"--drive-page" ? test.drivesOnly : word == L"--deep" ? test.deep : test.stop) = true;
            testOptions = true;
            continue;
        }
        if (word != L"--self-test" && word != L"--recover-to" && word != L"--hold-ms" && word != L"--do")
            return fail(L"Unknown option " + word + L".");
        if (i + 1 == words.size() || words[i + 1].empty())
            return fail(word + L" needs a value.");
        const std::wstring& value = words[++i];
        if (word == L"--self-test") {
            test.image = value;
            selfTest = true;
        } else if (word == L"--do") {
            const std::wstring name = value.substr(0, value.find(L':'));
            if (std::find(selfTestSteps().begin(), selfTestSteps().end(), name) == selfTestSteps().end())
                return fail(L"--do knows no step " + name + L".");
            test.steps.push_back(value);
            testOptions = true;
        } else if (word == L"--recover-to") {
            test.recoverTo = value;
            testOptions = true;
        } else {
            if (!parseMilliseconds(value, test.holdMs))
                return fail(L"--hold-ms takes milliseconds, at most 600000, not " + value + L".");
            testOptions = true;
        }
    }
    if (testOptions && !selfTest)
        return fail(L"--recover-to, --hold-ms, --drive-page, --deep, --stop and --do go with --self-test IMAGE.");
    if (selfTest && !parsed.images.empty())
        return fail(L"--self-test opens its own image; " + parsed.images.front() + L" is one too many.");
    if (selfTest)
        parsed.selfTest = test;
    return parsed;
}

} // namespace sarvik::win32
