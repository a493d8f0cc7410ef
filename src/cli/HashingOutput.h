#pragma once
// A destination that hands every file's bytes to the real one and computes
// their SHA-256 on the way, so that a recovery report can say what was written
// without reading the files back.

#include "recovery/OutputFolder.h"

#include <memory>
#include <optional>
#include <string>

namespace sarvik::cli {

/// The digest of the file closed last, shared by a folder and its subfolders.
struct DigestSlot {
    /// Lower-case hex SHA-256 of the bytes written to the last file closed;
    /// cleared when the next file is created.
    std::optional<std::string> lastDigest;
};

class HashingOutputFolder final : public recovery::OutputFolder {
public:
    HashingOutputFolder(std::shared_ptr<recovery::OutputFolder> inner, std::shared_ptr<DigestSlot> slot);

    [[nodiscard]] std::string displayPath() const override { return m_inner->displayPath(); }
    [[nodiscard]] bool exists(std::string_view name) const override { return m_inner->exists(name); }
    [[nodiscard]] std::shared_ptr<recovery::OutputFolder> makeFolder(std::string_view name) override;
    [[nodiscard]] std::unique_ptr<recovery::OutputFile> createFile(std::string_view name, bool replace) override;
    [[nodiscard]] std::string createError() const override { return m_inner->createError(); }
    [[nodiscard]] bool setTimes(std::string_view name, const recovery::EntryTimes& times) override
    {
        return m_inner->setTimes(name, times);
    }

private:
    std::shared_ptr<recovery::OutputFolder> m_inner;
    std::shared_ptr<DigestSlot> m_slot;
};

} // namespace sarvik::cli
