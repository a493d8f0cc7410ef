// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// UTF-8 and the UTF-16 of Win32's wide functions, and the system's own text
// for an error code.

#include <string>
#include <string_view>

namespace sarvik::platform {

/// `utf8` as UTF-16; a byte that starts no valid sequence becomes U+FFFD.
[[nodiscard]] std::wstring wideOf(std::string_view utf8);

/// `wide` as UTF-8; an unpaired surrogate becomes U+FFFD.
[[nodiscard]] std::string utf8Of(std::wstring_view wide);

/// What the system says about error `code` (GetLastError), in UTF-8, without
/// its trailing line break.
[[nodiscard]] std::string systemMessage(unsigned long code);

} // namespace sarvik::platform
