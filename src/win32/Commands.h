// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ids of the main window's controls (a button's click comes as its id);
// the menu commands' ids are in Resources.h.

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
    IdToolbar,
    IdStatusBar,
};

} // namespace sarvik::win32
