// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Devices.h"

#include "disk/Trace.h"

#include "container/ContainerSource.h"
#include "platform/FileSystem.h"
#include "platform/PartitionSource.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <new>

namespace sarvik::platform {

namespace {

/// Bytes read through the bounce buffer at a time.
constexpr std::size_t kBounceBytes = 1024 * 1024;

/// Memory aligned to `alignment` bytes, for reads of a raw device.
class AlignedBuffer {
public:
    AlignedBuffer(std::size_t bytes, std::size_t alignment)
        : m_alignment(alignment), m_data(static_cast<std::byte*>(::operator new(bytes, std::align_val_t(alignment))))
    {
    }
    ~AlignedBuffer() { ::operator delete(m_data, std::align_val_t(m_alignment)); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    [[nodiscard]] std::byte* data() const { return m_data; }

private:
    std::size_t m_alignment;
    std::byte* m_data;
};

} // namespace

std::shared_ptr<SystemBlockSource> SystemBlockSource::open(const std::string& path, std::string* error,
                                                           bool* accessDenied, std::uint32_t sectorBytes)
{
    std::string why;
    bool denied = false;
    std::optional<OpenedDevice> device;
    if (path.empty() || path == " ")
        why = "no device selected";
    else
        device = openDevice(path, why, denied);
    if (accessDenied != nullptr)
        *accessDenied = denied;
    if (!device) {
        if (error != nullptr)
            *error = why;
        return nullptr;
    }
    return std::shared_ptr<SystemBlockSource>(
        new SystemBlockSource(device->file, device->size, sectorBytes != 0 ? sectorBytes : device->sectorBytes, path));
}

SystemBlockSource::~SystemBlockSource()
{
    std::string ignored; // nothing was written
    (void)closeFile(m_file, ignored);
}

std::uint64_t SystemBlockSource::knownZeros(std::uint64_t offset) const
{
    // Holes kept, at most: a file of more pieces is mapped as far as that.
    constexpr std::size_t kMaxHoles = 65536;
    std::call_once(m_holesMapped, [this] { m_holes = fileHoles(m_file, m_size, kMaxHoles); });
    const auto after = std::upper_bound(m_holes.begin(), m_holes.end(), std::pair{offset, ~std::uint64_t{0}});
    if (after == m_holes.begin())
        return 0;
    const auto& [start, end] = *std::prev(after);
    return offset >= start && offset < end ? end - offset : 0;
}

disk::ReadStatus SystemBlockSource::read(std::uint64_t offset, disk::MutableByteSpan buffer) const
{
    const disk::ReadStatus status = readBytes(offset, buffer);
    if (disk::tracing()) {
        // "read card.img: 4096 bytes at byte 1048576 (sector 2048)", and how it went when not well.
        static constexpr const char* kOutcome[] = {"", ": past the end, nothing read", ": failed", ": no device"};
        disk::trace("read " + m_path + ": " + std::to_string(buffer.size()) + " bytes at byte " +
                    std::to_string(offset) + " (sector " + std::to_string(offset / disk::kSectorSize) + ")" +
                    kOutcome[static_cast<int>(status)]);
    }
    return status;
}

disk::ReadStatus SystemBlockSource::readBytes(std::uint64_t offset, disk::MutableByteSpan buffer) const
{
    if (offset > m_size || buffer.size() > m_size - offset)
        return disk::ReadStatus::Short;
    if (buffer.empty())
        return disk::ReadStatus::Ok;
    const std::uint64_t sector = m_sectorBytes;
    const bool aligned = offset % sector == 0 && buffer.size() % sector == 0 &&
                         reinterpret_cast<std::uintptr_t>(buffer.data()) % sector == 0; // NOLINT: an address check
    if (aligned)
        return readAt(m_file, offset, buffer.data(), buffer.size()) ? disk::ReadStatus::Ok : disk::ReadStatus::Failed;
    // Whole sectors around the wanted bytes, through aligned memory.
    AlignedBuffer bounce(kBounceBytes, m_sectorBytes);
    std::size_t done = 0;
    while (done < buffer.size()) {
        const std::uint64_t want = offset + done;
        const std::uint64_t first = want - want % sector;
        const std::uint64_t skip = want - first;
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size() - done, static_cast<std::uint64_t>(kBounceBytes) - skip));
        std::uint64_t span = skip + take;
        span = (span + sector - 1) / sector * sector;
        // The last sector of a device is whole; an image's tail may not be.
        if (m_sectorBytes == 1 || first + span > m_size)
            span = std::min<std::uint64_t>(span, m_size - first);
        if (!readAt(m_file, first, bounce.data(), static_cast<std::size_t>(span)))
            return disk::ReadStatus::Failed;
        std::memcpy(buffer.data() + done, bounce.data() + skip, take);
        done += take;
    }
    return disk::ReadStatus::Ok;
}

namespace {

/// The containers opened lately. Opening one reads its tables (a VHD's block
/// allocation table, an E01's list of sections) and a scan opens its source
/// several times (the partition table, the label, the volume), so the last few
/// stay open and are handed out again while their file is unchanged: the same
/// path, size and modification time. A container reads under its own lock, so
/// its users may share it.
class OpenContainers {
public:
    static OpenContainers& instance()
    {
        static OpenContainers containers;
        return containers;
    }
    std::shared_ptr<const disk::BlockSource> find(const std::string& path, std::uint64_t size)
    {
        const auto written = writeTime(path);
        const std::filesystem::path key = keyOf(path);
        const std::lock_guard lock(m_mutex);
        for (const Entry& e : m_entries)
            if (e.path == key && e.size == size && written && e.written == *written)
                return e.source;
        return nullptr;
    }
    void keep(const std::string& path, std::uint64_t size, std::shared_ptr<const disk::BlockSource> source)
    {
        const auto written = writeTime(path);
        if (!written)
            return;
        const std::filesystem::path key = keyOf(path);
        const std::lock_guard lock(m_mutex);
        std::erase_if(m_entries, [&](const Entry& e) { return e.path == key; });
        m_entries.push_front({key, size, *written, std::move(source)});
        if (m_entries.size() > kKept)
            m_entries.pop_back();
    }

private:
    static constexpr std::size_t kKept = 4;
    struct Entry {
        std::filesystem::path path; ///< absolute, so that "img" and "./img" are one
        std::uint64_t size = 0;
        std::filesystem::file_time_type written;
        std::shared_ptr<const disk::BlockSource> source;
    };
    static std::filesystem::path keyOf(const std::string& path)
    {
        std::error_code ec;
        auto absolute = std::filesystem::absolute(pathOf(path), ec);
        return ec ? pathOf(path) : absolute.lexically_normal();
    }
    static std::optional<std::filesystem::file_time_type> writeTime(const std::string& path)
    {
        std::error_code ec;
        const auto written = std::filesystem::last_write_time(pathOf(path), ec);
        if (ec)
            return std::nullopt;
        return written;
    }
    std::mutex m_mutex;
    std::deque<Entry> m_entries;
};

} // namespace

std::shared_ptr<const disk::BlockSource> openWholeSource(const std::string& path, std::string* error)
{
    auto raw = SystemBlockSource::open(path, error);
    if (!raw)
        return raw;
    if (auto kept = OpenContainers::instance().find(path, raw->size()))
        return kept;
    // A container is read through its library as the disk it holds, whatever its name.
    container::OpenedContainer opened = container::openContainer(path, *raw);
    if (opened.format == container::Format::None)
        return raw;
    if (!opened.source && error != nullptr)
        *error = path + ": " + opened.error;
    if (opened.source)
        OpenContainers::instance().keep(path, raw->size(), opened.source);
    return std::move(opened.source);
}

std::vector<std::string> filesReadFor(const std::string& source)
{
    const std::string path = resolvePartitionPath(source).path;
    std::vector<std::string> files{path};
    const auto add = [&files](const std::vector<std::string>& more) {
        for (const std::string& file : more)
            if (std::find(files.begin(), files.end(), file) == files.end())
                files.push_back(file);
    };
    if (const auto whole = openWholeSource(path)) {
        if (const auto* opened = dynamic_cast<const container::ContainerSource*>(whole.get()))
            add(opened->files());
    } else if (const auto raw = SystemBlockSource::open(path)) {
        // A container that cannot be read (a parent missing or unfit) still
        // names the files it was to be read from: none of them is written.
        add(container::openContainer(path, *raw).files);
    }
    return files;
}

std::string containerWarning(const std::string& source)
{
    const auto whole = openWholeSource(resolvePartitionPath(source).path);
    const auto* opened = dynamic_cast<const container::ContainerSource*>(whole.get());
    return opened == nullptr ? std::string{} : opened->warning();
}

disk::OpenResult SystemDeviceProvider::open(const std::string& devicePath)
{
    disk::OpenResult result;
    result.source = openVolumeSource(devicePath, &result.error);
    // The file itself, or the whole disk that a partition path names, tells
    // whether access was refused; the message is kept.
    if (!result.source)
        result.accessDenied = accessRefused(resolvePartitionPath(devicePath).path);
    return result;
}

std::optional<std::string> SystemDeviceProvider::volumeLabel(const std::string& devicePath)
{
    // The system's reader sees a container's file as stored, not the disk it
    // holds: the volume's own label is read instead (scan::SelectVolume).
    const std::string file = resolvePartitionPath(devicePath).path;
    if (const auto raw = SystemBlockSource::open(file);
        raw && container::recognise(*raw, file) != container::Format::None)
        return std::nullopt;
    return readVolumeLabel(devicePath);
}

std::unique_ptr<disk::DeviceProvider> makeDeviceProvider()
{
    return std::make_unique<SystemDeviceProvider>();
}

} // namespace sarvik::platform
