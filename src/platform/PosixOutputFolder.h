#pragma once
// The destination of a copy on a POSIX system. Every folder is held open and
// everything below it is reached relative to it (openat, mkdirat), one
// component at a time, never by a path string: a link planted anywhere below
// the destination is never followed, and no name can reach outside it.

#include "recovery/OutputFolder.h"

#include <memory>
#include <string>

namespace sarvik::platform {

class PosixOutputFolder final : public recovery::OutputFolder {
public:
    /// Opens the folder the user chose (a link naming it is followed: the user
    /// named it). Nothing, with the system's reason in `error`, when it is not a
    /// folder or cannot be written to (read-only, no permission).
    static std::shared_ptr<PosixOutputFolder> open(const std::string& path, std::string& error);

    PosixOutputFolder(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
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

private:
    int m_fd;
    std::string m_path;
    std::string m_createError;
};

} // namespace sarvik::platform
