// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ids of the window's menu, toolbar and right-click commands, which the
// window, the results' commands and the tests all name.

namespace sarvik::app {

/// Menu command ids.
namespace Command {
inline constexpr int RecoverSelected = 32806;
inline constexpr int RecoverAll = 32807;
inline constexpr int SaveSnapshot = 32772;
inline constexpr int LoadSnapshot = 32773;
inline constexpr int Exit = 32774;
inline constexpr int Icons = 32808;
inline constexpr int List = 59410;
inline constexpr int Details = 59411;
inline constexpr int FindFiles = 32813;
inline constexpr int FileFilters = 32814;
inline constexpr int Settings = 32815;
inline constexpr int DriveInformation = 32840;
inline constexpr int LiveUpdate = 32842;
inline constexpr int Contents = 32816;
inline constexpr int About = 32817;
/// Ours: puts a disk image into the drive tree.
inline constexpr int AddDiskImage = 32900;
/// Ours: searches the free space of the scanned volume (the results page).
inline constexpr int DeepSearch = 32901;
/// Ours: Back from the results page to the drive page (Alt+Left, Backspace).
inline constexpr int Back = 32902;
/// Ours: asks to stop the running scan or deep search (Esc).
inline constexpr int Stop = 32903;
/// Ours: shows or hides the preview beside the file list (F3).
inline constexpr int Preview = 32904;
/// Ours: the file list as thumbnails.
inline constexpr int Thumbnails = 32905;
/// Ours: the View menu's submenu of colours (the system's, light or dark).
inline constexpr int Colours = 32920;
/// Ours: the submenu of the disk images opened lately.
inline constexpr int RecentImages = 32910;
/// Ours: the deep search of the chosen disk for volumes no table names.
inline constexpr int SearchLostVolumes = 32911;
/// Ours: the files not deleted are listed too (a lost or damaged volume's).
inline constexpr int ShowExistingFiles = 32912;
// The file list's right-click menu.
inline constexpr int MenuIcons = 32819;
inline constexpr int MenuList = 32820;
inline constexpr int MenuDetails = 32837;
inline constexpr int MenuRecoverSelected = 32825;
inline constexpr int MenuRecoverAll = 32826;
inline constexpr int Open = 32827;
inline constexpr int OpenWith = 32829;
inline constexpr int MenuFindFiles = 32836;
inline constexpr int Rename = 32839;
inline constexpr int MenuSettings = 32828;
inline constexpr int Properties = 32830;
} // namespace Command

} // namespace sarvik::app
