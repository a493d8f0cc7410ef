// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A destination that hands every file's bytes to the real one and computes
// their SHA-256 on the way, so that a recovery report can say what was written
// without reading the files back. Each file gives its digest through
// OutputFile::sha256 once it is closed. The digest comes from the system's
// cryptography library (Sha256.h).

#include "recovery/OutputFolder.h"

#include <memory>
#include <string>

namespace sarvik::platform {

class HashingOutputFolder final : public recovery::OutputFolder {
public:
    explicit HashingOutputFolder(std::shared_ptr<recovery::OutputFolder> inner);

    [[nodiscard]] std::string displayPath() const override { return m_inner->displayPath(); }
    [[nodiscard]] bool exists(std::string_view name) const override { return m_inner->exists(name); }
    [[nodiscard]] std::shared_ptr<recovery::OutputFolder> makeFolder(std::string_view name) override;
    [[nodiscard]] std::unique_ptr<recovery::OutputFile> createFile(std::string_view name, bool replace) override;
    [[nodiscard]] std::string createError() const override { return m_inner->createError(); }
    [[nodiscard]] std::string rename(std::string_view from, std::string_view to, bool replace) override
    {
        return m_inner->rename(from, to, replace);
    }
    [[nodiscard]] bool setTimes(std::string_view name, const recovery::EntryTimes& times) override
    {
        return m_inner->setTimes(name, times);
    }
    void keepOff(const std::vector<std::string>& paths) override { m_inner->keepOff(paths); }
    [[nodiscard]] bool keptOff(std::string_view name) const override { return m_inner->keptOff(name); }

private:
    std::shared_ptr<recovery::OutputFolder> m_inner;
};

} // namespace sarvik::platform
