// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ids of the main window's controls (a button's click comes as its id) and
// of the commands the keyboard gives without a control.

namespace sarvik::win32 {

enum ControlId : unsigned short {
    IdPrompt = 100,
    IdDrives,
    IdOpenImage,
    IdNext,
    IdStatus,
    IdProgress,
    IdStop,
    IdTree,
    IdFiles,
    IdRecover,
    IdBack,
    IdDeep,
};

/// Recover Selected from the keyboard (Ctrl+R), as the button does.
inline constexpr unsigned short kRecoverSelected = 32806;

} // namespace sarvik::win32
