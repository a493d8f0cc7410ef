// SPDX-License-Identifier: GPL-3.0-or-later
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
        std::size_t written = 0;
        const bool all = writeAll(*m_file, bytes, why, &written);
        m_length += written;
        if (all) {
            m_endsInHole = m_endsInHole && bytes.empty();
            return true;
        }
        m_error = why;
        return false;
    }
    bool writeHole(std::uint64_t count) override
    {
        if (!m_file) {
            m_error = "the file is closed";
            return false;
        }
        if (count == 0)
            return true;
        if (m_seekable) {
            std::string why;
            switch (skipAhead(*m_file, count, why)) {
            case SkipResult::Skipped:
                m_endsInHole = true;
                m_length += count;
                return true;
            case SkipResult::CannotSeek:
                m_seekable = false;
                break;
            case SkipResult::Failed:
                m_error = why;
                return false;
            }
        }
        return OutputFile::writeHole(count); // as zeros
    }
    bool close() override
    {
        const std::optional<NativeFile> file = m_file;
        m_file.reset();
        if (!file)
            return true;
        std::string why;
        // A file that ends in a hole has no byte written at its end: it is
        // given its length here.
        const bool ended = !m_endsInHole || endAtPosition(*file, why);
        std::string closeWhy;
        const bool closed = closeFile(*file, closeWhy);
        if (ended && closed)
            return true;
        m_error = ended ? closeWhy : why;
        return false;
    }
    [[nodiscard]] std::string error() const override { return m_error; }
    [[nodiscard]] std::optional<std::uint64_t> length() const override { return m_length; }

private:
    std::optional<NativeFile> m_file; ///< nothing once closed
    std::string m_error;
    bool m_seekable = true;     ///< false once a skip found no position to move
    bool m_endsInHole = false;  ///< the last bytes were skipped, not written
    std::uint64_t m_length = 0; ///< bytes written and skipped over
};

} // namespace

std::unique_ptr<recovery::OutputFile> makeOutputFile(NativeFile file)
{
    return std::make_unique<NativeOutputFile>(file);
}

} // namespace sarvik::platform
