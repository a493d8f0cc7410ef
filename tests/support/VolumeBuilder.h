// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hand-built volumes in memory for the corner cases that no formatting tool makes.

#include "disk/BlockSource.h"
#include "disk/ByteReader.h"
#include "disk/Volume.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::test {

/// A volume image in memory with helpers to poke little-endian fields.
class ImageBuilder {
public:
    explicit ImageBuilder(std::size_t sectors) : m_bytes(sectors * 512) {}
    std::vector<std::byte>& bytes() { return m_bytes; }
    void put(std::uint64_t offset, unsigned width, std::uint64_t value)
    {
        disk::putUint(m_bytes, offset, width, value);
    }
    void putText(std::uint64_t offset, std::string_view text)
    {
        for (std::size_t i = 0; i < text.size(); ++i)
            m_bytes.at(offset + i) = static_cast<std::byte>(text[i]);
    }
    void signature(std::uint64_t sector = 0)
    {
        put(sector * 512 + 510, 1, 0x55);
        put(sector * 512 + 511, 1, 0xAA);
    }
    std::shared_ptr<disk::MemoryBlockSource> source() const
    {
        return std::make_shared<disk::MemoryBlockSource>(m_bytes);
    }

private:
    std::vector<std::byte> m_bytes;
};

/// Boot sectors as mkfs writes them, with only the fields this program reads.
ImageBuilder fat16Boot(std::size_t sectors, std::uint16_t reserved, std::uint16_t fatSectors,
                       std::uint8_t sectorsPerCluster, std::uint16_t rootEntries);
ImageBuilder fat32Boot(std::size_t sectors, std::uint16_t reserved, std::uint32_t fatSectors,
                       std::uint8_t sectorsPerCluster, std::uint32_t rootCluster);
ImageBuilder ntfsBoot(std::size_t sectors, std::uint8_t sectorsPerCluster, std::uint32_t mftCluster,
                      std::uint32_t clustersPerIndexRecord);

/// A device provider over images in memory, keyed by path.
class MemoryDevices final : public disk::DeviceProvider {
public:
    void add(const std::string& path, std::shared_ptr<const disk::BlockSource> source, std::string label = {})
    {
        m_sources[path] = std::move(source);
        if (!label.empty())
            m_labels[path] = std::move(label);
    }
    disk::OpenResult open(const std::string& path) override
    {
        const auto it = m_sources.find(path);
        if (it == m_sources.end())
            return {nullptr, path + ": No such file or directory"};
        return {it->second, {}};
    }
    std::optional<std::string> volumeLabel(const std::string& path) override
    {
        const auto it = m_labels.find(path);
        if (it == m_labels.end())
            return std::nullopt;
        return it->second;
    }

private:
    std::map<std::string, std::shared_ptr<const disk::BlockSource>> m_sources;
    std::map<std::string, std::string> m_labels;
};

/// Selects an image built in memory, as a click on its drive item would.
disk::SelectResult selectImage(disk::SelectedVolume& volume, const ImageBuilder& image,
                               const std::string& path = "mem.img",
                               disk::GeometryRules rules = disk::GeometryRules::Thorough);

} // namespace sarvik::test
