// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A destination held in memory: for tests, and for anything that wants to see
// what a copy would write without touching a disk. It behaves like the POSIX
// destination: a planted link is never followed, a name already taken by a
// folder or link cannot be created as a file, and unsafe components are refused.
// It keeps holes, as a file system with sparse files does: they read as zeros,
// take none of the write budget, and are listed.

#include "recovery/OutputFolder.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::recovery {

class MemoryOutputFolder final : public OutputFolder, public std::enable_shared_from_this<MemoryOutputFolder> {
public:
    enum class Kind { File, Folder, Link };
    struct Hole {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
        bool operator==(const Hole&) const = default;
    };
    struct Entry {
        Kind kind = Kind::File;
        std::vector<std::byte> bytes;               ///< file content, holes as zeros
        std::vector<Hole> holes;                    ///< in file order, adjacent ones joined
        std::shared_ptr<MemoryOutputFolder> folder; ///< folder content
        std::string target;                         ///< link target
        bool open = false;                          ///< a writer holds it
        std::optional<EntryTimes> times;            ///< set by setTimes
    };

    explicit MemoryOutputFolder(std::string path = "/dest") : m_path(std::move(path)) {}

    [[nodiscard]] std::string displayPath() const override { return m_path; }
    [[nodiscard]] bool exists(std::string_view name) const override;
    [[nodiscard]] std::shared_ptr<OutputFolder> makeFolder(std::string_view name) override;
    [[nodiscard]] std::unique_ptr<OutputFile> createFile(std::string_view name, bool replace) override;
    [[nodiscard]] std::string rename(std::string_view from, std::string_view to, bool replace) override;
    [[nodiscard]] bool setTimes(std::string_view name, const EntryTimes& times) override;

    /// Plants a symbolic link (for tests of link handling).
    void plantLink(const std::string& name, std::string target);
    /// Makes every later write fail after `bytes` more bytes (a full disk).
    void failWritesAfter(std::size_t bytes) { m_writeBudget = bytes; }
    /// Refuses every later creation of a file or folder.
    void refuseCreation(bool refuse) { m_refuse = refuse; }
    /// Refuses names that hold any of `characters`, here and in folders made
    /// later, as a FAT destination refuses ':' and '?'.
    void refuseCharacters(std::string characters) { m_refusedCharacters = std::move(characters); }

    [[nodiscard]] const std::map<std::string, Entry, std::less<>>& entries() const { return m_entries; }
    /// How often `exists` was asked, in this folder.
    [[nodiscard]] std::size_t existsCalls() const noexcept { return m_existsCalls; }
    /// The entry at a '/'-separated path below this folder, or null.
    [[nodiscard]] const Entry* find(const std::string& path) const;
    /// Every path below this folder, '/'-separated, in name order.
    [[nodiscard]] std::vector<std::string> paths() const;

private:
    friend class MemoryOutputFile;
    std::string m_path;
    std::map<std::string, Entry, std::less<>> m_entries;
    std::size_t m_writeBudget = ~std::size_t{0};
    bool m_refuse = false;
    std::string m_refusedCharacters;
    [[nodiscard]] bool refused(std::string_view name) const
    {
        return m_refuse || name.find_first_of(m_refusedCharacters) != std::string_view::npos;
    }
    mutable std::size_t m_existsCalls = 0;
};

} // namespace sarvik::recovery
