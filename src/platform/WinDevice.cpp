#include "platform/WinDevice.h"

#include "platform/Devices.h"
#include "platform/WinText.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

namespace sarvik::platform {

namespace {

/// Bytes read through the bounce buffer at a time.
constexpr std::size_t kBounceBytes = 1024 * 1024;

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

/// "C:" of a path "\\.\C:" (or "\\?\C:"), else nothing.
std::optional<std::string> driveOfVolumePath(const std::string& path)
{
    if ((startsWith(path, "\\\\.\\") || startsWith(path, "\\\\?\\")) && path.size() == 6 && path[5] == ':' &&
        std::isalpha(static_cast<unsigned char>(path[4])) != 0)
        return path.substr(4, 2);
    return std::nullopt;
}

/// The device's logical sector size: reads must be whole sectors of it.
std::uint32_t deviceSectorBytes(HANDLE handle)
{
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    if (::DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry, &returned,
                          nullptr) != 0 &&
        geometry.BytesPerSector >= 512 && geometry.BytesPerSector <= 65536 &&
        (geometry.BytesPerSector & (geometry.BytesPerSector - 1)) == 0)
        return geometry.BytesPerSector;
    return 512;
}

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

bool isRawDevicePath(const std::string& path)
{
    return (startsWith(path, "\\\\.\\") || startsWith(path, "\\\\?\\")) &&
           (driveOfVolumePath(path).has_value() || startsWith(path.substr(4), "PhysicalDrive") ||
            startsWith(path.substr(4), "Volume{") || startsWith(path.substr(4), "GLOBALROOT"));
}

std::shared_ptr<WinBlockSource> WinBlockSource::open(const std::string& path, std::string* error, bool* accessDenied,
                                                     std::uint32_t sectorBytes)
{
    auto fail = [&](const std::string& why) -> std::shared_ptr<WinBlockSource> {
        if (error != nullptr)
            *error = why;
        return nullptr;
    };
    if (accessDenied != nullptr)
        *accessDenied = false;
    if (path.empty() || path == " ")
        return fail("no device selected");
    const bool raw = isRawDevicePath(path);
    // Sharing writes too: a mounted volume is open for writing by the system,
    // and a read-only open that refused to share them would fail.
    HANDLE handle = ::CreateFileW(wideOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_ACCESS_DENIED && raw) {
            if (accessDenied != nullptr)
                *accessDenied = true;
            return fail(path + ": access denied: a raw volume or disk can be read only with administrator rights; "
                               "run it from an elevated prompt (Run as administrator)");
        }
        if (accessDenied != nullptr)
            *accessDenied = code == ERROR_ACCESS_DENIED;
        return fail(path + ": " + systemMessage(code));
    }
    std::uint64_t size = 0;
    if (raw) {
        GET_LENGTH_INFORMATION length{};
        DWORD returned = 0;
        if (::DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                              nullptr) == 0) {
            const std::string why = path + ": " + systemMessage(::GetLastError());
            ::CloseHandle(handle);
            return fail(why);
        }
        size = static_cast<std::uint64_t>(length.Length.QuadPart);
        if (sectorBytes == 0)
            sectorBytes = deviceSectorBytes(handle);
    } else {
        BY_HANDLE_FILE_INFORMATION info{};
        LARGE_INTEGER fileSize{};
        if (::GetFileInformationByHandle(handle, &info) == 0 ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || ::GetFileSizeEx(handle, &fileSize) == 0) {
            ::CloseHandle(handle);
            return fail(path + ": not a disk image or a volume");
        }
        size = static_cast<std::uint64_t>(fileSize.QuadPart);
        if (sectorBytes == 0)
            sectorBytes = 1; // a file takes any read
    }
    return std::shared_ptr<WinBlockSource>(new WinBlockSource(handle, size, sectorBytes));
}

WinBlockSource::~WinBlockSource()
{
    ::CloseHandle(static_cast<HANDLE>(m_handle));
}

bool WinBlockSource::readExactly(std::uint64_t offset, std::byte* into, std::size_t length) const
{
    std::size_t done = 0;
    while (done < length) {
        OVERLAPPED at{};
        const std::uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const auto want = static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 30));
        DWORD got = 0;
        if (::ReadFile(static_cast<HANDLE>(m_handle), into + done, want, &got, &at) == 0 || got == 0)
            return false; // a failed sector, or the device shrank under us
        done += got;
    }
    return true;
}

disk::ReadStatus WinBlockSource::read(std::uint64_t offset, disk::MutableByteSpan buffer) const
{
    if (offset > m_size || buffer.size() > m_size - offset)
        return disk::ReadStatus::Short;
    if (buffer.empty())
        return disk::ReadStatus::Ok;
    const std::uint64_t sector = m_sectorBytes;
    const bool aligned = offset % sector == 0 && buffer.size() % sector == 0 &&
                         reinterpret_cast<std::uintptr_t>(buffer.data()) % sector == 0; // NOLINT: an address check
    if (aligned)
        return readExactly(offset, buffer.data(), buffer.size()) ? disk::ReadStatus::Ok : disk::ReadStatus::Failed;
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
        if (!readExactly(first, bounce.data(), static_cast<std::size_t>(span)))
            return disk::ReadStatus::Failed;
        std::memcpy(buffer.data() + done, bounce.data() + skip, take);
        done += take;
    }
    return disk::ReadStatus::Ok;
}

std::shared_ptr<const disk::BlockSource> openWholeSource(const std::string& path, std::string* error)
{
    return WinBlockSource::open(path, error);
}

bool accessRefused(const std::string& path)
{
    std::string ignored;
    bool denied = false;
    (void)WinBlockSource::open(path, &ignored, &denied);
    return denied;
}

std::optional<std::string> readVolumeLabel(const std::string& devicePath)
{
    // GetVolumeInformationW knows the labels of drive letters only.
    const auto drive = driveOfVolumePath(devicePath);
    if (!drive)
        return std::nullopt;
    const std::wstring root = wideOf(*drive + "\\");
    wchar_t label[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) == 0)
        return std::nullopt;
    return utf8Of(label);
}

} // namespace sarvik::platform
