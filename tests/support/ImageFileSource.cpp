// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ImageFileSource.h"

namespace sarvik::test {

std::shared_ptr<ImageFileSource> ImageFileSource::open(const std::filesystem::path& file)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    std::ifstream in(file, std::ios::binary);
    if (error || !in)
        return nullptr;
    return std::shared_ptr<ImageFileSource>(new ImageFileSource(std::move(in), size));
}

disk::ReadStatus ImageFileSource::read(std::uint64_t offset, disk::MutableByteSpan buffer) const
{
    if (!disk::fitsIn(m_size, offset, buffer.size()))
        return disk::ReadStatus::Short;
    const std::lock_guard lock(m_lock);
    m_in.clear();
    m_in.seekg(static_cast<std::streamoff>(offset));
    m_in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    return m_in && static_cast<std::size_t>(m_in.gcount()) == buffer.size() ? disk::ReadStatus::Ok
                                                                            : disk::ReadStatus::Failed;
}

} // namespace sarvik::test
