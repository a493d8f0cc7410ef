// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The destination of a copy on a POSIX system. Every folder is held open and
// everything below it is reached relative to it (openat, mkdirat), one
// component at a time, never by a path string: a link planted anywhere below
// the destination is never followed, and no name can reach outside it. A deep
// tree does not hold a descriptor per folder: subfolders share a small budget.

#include "recovery/OutputFolder.h"

#include <cstdint>
#include <memory>
#include <string>

namespace sarvik::platform {

class PosixOutputFolder final : public recovery::OutputFolder, public std::enable_shared_from_this<PosixOutputFolder> {
public:
    /// Opens the folder the user chose (a link naming it is followed: the user
    /// named it). Nothing, with the system's reason in `error`, when it is not a
    /// folder or cannot be written to (read-only, no permission).
    static std::shared_ptr<PosixOutputFolder> open(const std::string& path, std::string& error);

    /// Subfolders keep at most this many descriptors open between them; one
    /// whose descriptor was closed opens it again from its parent's.
    static constexpr std::size_t kOpenSubfolders = 64;

    /// Takes `fd`, the folder the user chose.
    PosixOutputFolder(int fd, std::string path);
    ~PosixOutputFolder() override;
    PosixOutputFolder(const PosixOutputFolder&) = delete;
    PosixOutputFolder& operator=(const PosixOutputFolder&) = delete;

    [[nodiscard]] std::string displayPath() const override { return m_path; }
    [[nodiscard]] bool exists(std::string_view name) const override;
    [[nodiscard]] std::shared_ptr<recovery::OutputFolder> makeFolder(std::string_view name) override;
    [[nodiscard]] std::unique_ptr<recovery::OutputFile> createFile(std::string_view name, bool replace) override;
    [[nodiscard]] std::string rename(std::string_view from, std::string_view to, bool replace) override;
    [[nodiscard]] bool setTimes(std::string_view name, const recovery::EntryTimes& times) override;
    [[nodiscard]] std::string createError() const override { return m_createError; }
    void keepOff(const std::vector<std::string>& paths) override;
    [[nodiscard]] bool keptOff(std::string_view name) const override;

    struct OpenFolders; ///< the subfolders that hold a descriptor, least recently used first

private:
    PosixOutputFolder(std::shared_ptr<PosixOutputFolder> parent, std::string name, std::string path);
    /// The folder's descriptor, opened again (below its parent, without
    /// following a link, and only when it is still the same folder) when it
    /// was closed to keep within kOpenSubfolders; -1 when it cannot be.
    [[nodiscard]] int fd() const;

    mutable int m_fd = -1;
    std::string m_path;
    std::string m_createError;
    std::shared_ptr<PosixOutputFolder> m_parent; ///< null for the folder the user chose
    std::string m_name;                          ///< within the parent
    std::uint64_t m_device = 0;                  ///< of the folder first opened, to know it again
    std::uint64_t m_inode = 0;
    std::shared_ptr<OpenFolders> m_open;
};

} // namespace sarvik::platform
