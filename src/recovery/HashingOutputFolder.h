#pragma once
// A destination that hands every file's bytes to the real one and computes
// their SHA-256 on the way, so that a recovery report can say what was written
// without reading the files back. Each file gives its digest through
// OutputFile::sha256 once it is closed.

#include "recovery/OutputFolder.h"

#include <memory>
#include <string>

namespace sarvik::recovery {

class HashingOutputFolder final : public OutputFolder {
public:
    explicit HashingOutputFolder(std::shared_ptr<OutputFolder> inner);

    [[nodiscard]] std::string displayPath() const override { return m_inner->displayPath(); }
    [[nodiscard]] bool exists(std::string_view name) const override { return m_inner->exists(name); }
    [[nodiscard]] std::shared_ptr<OutputFolder> makeFolder(std::string_view name) override;
    [[nodiscard]] std::unique_ptr<OutputFile> createFile(std::string_view name, bool replace) override;
    [[nodiscard]] std::string createError() const override { return m_inner->createError(); }
    [[nodiscard]] bool setTimes(std::string_view name, const EntryTimes& times) override
    {
        return m_inner->setTimes(name, times);
    }

private:
    std::shared_ptr<OutputFolder> m_inner;
};

} // namespace sarvik::recovery
