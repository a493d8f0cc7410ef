// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The destination of a copy on Windows. Names are UTF-8 in the program and
// UTF-16 on disk; a name Windows refuses is written under a cleaned form
// (windowsName). Each folder is held open without delete sharing while it is
// in use, so that it cannot be swapped for a junction, and nothing below it
// that is a reparse point (a junction or a symbolic link) is ever entered or
// written through.

#include "recovery/OutputFolder.h"

#include <memory>
#include <string>

namespace sarvik::platform {

/// The name a component is written under on Windows: the characters
/// < > : " / \ | ? * and controls become '_', a trailing dot or blank becomes
/// '_', and a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without
/// an extension) gets a leading '_'. Other names are returned as they are.
[[nodiscard]] std::string windowsName(std::string_view utf8);

class WinOutputFolder final : public recovery::OutputFolder {
public:
    /// Opens the folder the user chose (a junction naming it is followed: the
    /// user named it). Nothing, with the system's reason in `error`, when it is
    /// not a folder or cannot be written to.
    static std::shared_ptr<WinOutputFolder> open(const std::string& path, std::string& error);

    ~WinOutputFolder() override;
    WinOutputFolder(const WinOutputFolder&) = delete;
    WinOutputFolder& operator=(const WinOutputFolder&) = delete;

    [[nodiscard]] std::string displayPath() const override { return m_display; }
    [[nodiscard]] bool exists(std::string_view name) const override;
    [[nodiscard]] std::shared_ptr<recovery::OutputFolder> makeFolder(std::string_view name) override;
    [[nodiscard]] std::unique_ptr<recovery::OutputFile> createFile(std::string_view name, bool replace) override;
    [[nodiscard]] std::string rename(std::string_view from, std::string_view to, bool replace) override;
    [[nodiscard]] bool setTimes(std::string_view name, const recovery::EntryTimes& times) override;
    [[nodiscard]] std::string createError() const override { return m_createError; }

private:
    WinOutputFolder(void* handle, std::wstring path, std::string display)
        : m_handle(handle), m_path(std::move(path)), m_display(std::move(display))
    {
    }
    /// The full "\\?\" path of the entry `name` (cleaned), or empty when the
    /// name can name no entry.
    [[nodiscard]] std::wstring entryPath(std::string_view name) const;

    void* m_handle;      ///< this folder, held open
    std::wstring m_path; ///< "\\?\C:\...", no trailing separator
    std::string m_display;
    std::string m_createError;
};

} // namespace sarvik::platform
