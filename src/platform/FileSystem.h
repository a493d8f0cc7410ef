// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paths and folders the user names, as UTF-8 text on every system. Each
// system has its own implementation (PosixFileSystem.cpp, WinFileSystem.cpp).

#include "recovery/OutputFolder.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace sarvik::platform {

/// The path that UTF-8 text names (UTF-16 underneath on Windows).
[[nodiscard]] std::filesystem::path pathOf(const std::string& utf8);

/// A path as UTF-8 text.
[[nodiscard]] std::string pathText(const std::filesystem::path& path);

/// True when `path` names a device rather than a file: a block device, or on
/// Windows a volume or disk ("\\.\C:", "\\.\PhysicalDrive0").
[[nodiscard]] bool isDevice(const std::string& path);

/// The short name of a device for the drive list: "sdb1" for /dev/sdb1, "C:"
/// for \\.\C:.
[[nodiscard]] std::string deviceName(const std::string& path);

/// Creates the folder `path`, and any of its parents that are missing, unless
/// it exists. Empty, or the system's reason.
[[nodiscard]] std::string createFolder(const std::string& path);

/// Opens `path` for writing text, created or emptied. Nothing, with the
/// system's reason in `error`, when it cannot.
[[nodiscard]] std::FILE* openOutputText(const std::string& path, std::string& error);

/// Opens the destination folder of a copy (see PosixOutputFolder and
/// WinOutputFolder). Nothing, with the reason in `error`.
[[nodiscard]] std::shared_ptr<recovery::OutputFolder> openOutputFolder(const std::string& path, std::string& error);

} // namespace sarvik::platform
