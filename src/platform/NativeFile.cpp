#include "platform/NativeFile.h"

#include <optional>

namespace sarvik::platform {

namespace {

class NativeOutputFile final : public recovery::OutputFile {
public:
    explicit NativeOutputFile(NativeFile file) : m_file(file) {}
    ~NativeOutputFile() override
    {
        std::string ignored; // a copy that was not closed has failed already
        if (m_file)
            (void)closeFile(*m_file, ignored);
    }
    NativeOutputFile(const NativeOutputFile&) = delete;
    NativeOutputFile& operator=(const NativeOutputFile&) = delete;

    bool write(disk::ByteSpan bytes) override
    {
        if (!m_file) {
            m_error = "the file is closed";
            return false;
        }
        std::string why;
        if (writeAll(*m_file, bytes, why))
            return true;
        m_error = why;
        return false;
    }
    bool close() override
    {
        const std::optional<NativeFile> file = m_file;
        m_file.reset();
        std::string why;
        if (!file || closeFile(*file, why))
            return true;
        m_error = why;
        return false;
    }
    [[nodiscard]] std::string error() const override { return m_error; }

private:
    std::optional<NativeFile> m_file; ///< nothing once closed
    std::string m_error;
};

} // namespace

std::unique_ptr<recovery::OutputFile> makeOutputFile(NativeFile file)
{
    return std::make_unique<NativeOutputFile>(file);
}

} // namespace sarvik::platform
