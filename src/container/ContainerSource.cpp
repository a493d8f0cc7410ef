// SPDX-License-Identifier: GPL-3.0-or-later
#include "container/ContainerSource.h"

#include "container/LibraryImage.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace sarvik::container {

namespace {

namespace fs = std::filesystem;

/// Signatures at the start of a container file.
constexpr std::string_view kEwfSignature{"EVF\x09\x0d\x0a\xff\x00", 8};  ///< E01 segment
constexpr std::string_view kEwf2Signature{"EVF2\x0d\x0a\x81\x00", 8};    ///< Ex01 segment
constexpr std::string_view kVhdxSignature{"vhdxfile", 8};                ///< VHDX file identifier
constexpr std::string_view kVhdCookie{"conectix", 8};                    ///< VHD footer (and its copy at 0)
constexpr std::string_view kVmdkSparseSignature{"KDMV", 4};              ///< VMDK sparse extent header
constexpr std::string_view kVmdkCowdSignature{"COWD", 4};                ///< VMDK ESX sparse extent
constexpr std::string_view kVmdkDescriptor{"# Disk DescriptorFile", 21}; ///< VMDK text descriptor
constexpr std::string_view kQcowSignature{"QFI\xfb", 4};                 ///< QCOW header magic
/// A fixed VHD is the raw disk followed by its 512-byte footer.
constexpr std::uint64_t kVhdFooterBytes = 512;

bool startsWith(disk::ByteSpan bytes, std::string_view signature)
{
    return bytes.size() >= signature.size() && std::memcmp(bytes.data(), signature.data(), signature.size()) == 0;
}

/// The next piece's name when `path` names the first piece of a numbered set
/// ("IMG.001" or "IMG.000" -> "IMG.002" / "IMG.001"); empty otherwise.
std::string nextPieceName(const std::string& path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || dot + 1 == path.size() || path.find('/', dot) != std::string::npos)
        return {};
    const std::string digits = path.substr(dot + 1);
    if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {};
    const unsigned first = static_cast<unsigned>(std::stoul(digits));
    if (first > 1)
        return {};
    std::string next = std::to_string(first + 1);
    next.insert(0, digits.size() - std::min(digits.size(), next.size()), '0');
    return path.substr(0, dot + 1) + next;
}

/// The descriptor "disk.vmdk" of an extent "disk-s001.vmdk" or "disk-f001.vmdk"
/// when it exists beside it; empty otherwise.
std::string vmdkDescriptorOf(const std::string& path)
{
    constexpr std::string_view kSuffix = "-s001.vmdk";
    if (path.size() <= kSuffix.size())
        return {};
    const std::string tail = path.substr(path.size() - kSuffix.size());
    if (tail != kSuffix && tail != "-f001.vmdk")
        return {};
    std::string descriptor = path.substr(0, path.size() - kSuffix.size()) + ".vmdk";
    std::error_code ec;
    return fs::is_regular_file(descriptor, ec) ? descriptor : std::string{};
}

} // namespace

std::string formatName(Format format)
{
    switch (format) {
    case Format::None:
        return {};
    case Format::Ewf:
        return "EnCase image (E01)";
    case Format::Ewf2:
        return "EnCase 7 image (Ex01)";
    case Format::Vhd:
        return "Virtual PC disk (VHD)";
    case Format::Vhdx:
        return "Hyper-V disk (VHDX)";
    case Format::Vmdk:
        return "VMware disk (VMDK)";
    case Format::Qcow:
        return "QEMU disk (QCOW, QCOW2)";
    case Format::SplitRaw:
        return "split raw image";
    }
    return {};
}

Format recognise(const disk::BlockSource& raw, const std::string& path)
{
    std::array<std::byte, 512> head{};
    const std::uint64_t size = raw.size();
    const auto headBytes = static_cast<std::size_t>(std::min<std::uint64_t>(size, head.size()));
    if (raw.read(0, std::span(head).first(headBytes)) != disk::ReadStatus::Ok)
        return Format::None;
    const auto start = disk::ByteSpan(head).first(headBytes);
    if (startsWith(start, kEwfSignature))
        return Format::Ewf;
    if (startsWith(start, kEwf2Signature))
        return Format::Ewf2;
    if (startsWith(start, kVhdxSignature))
        return Format::Vhdx;
    if (startsWith(start, kVhdCookie))
        return Format::Vhd;
    if (startsWith(start, kQcowSignature))
        return Format::Qcow;
    if (startsWith(start, kVmdkSparseSignature) || startsWith(start, kVmdkCowdSignature) ||
        startsWith(start, kVmdkDescriptor) || !vmdkDescriptorOf(path).empty())
        return Format::Vmdk;
    std::array<std::byte, kVhdFooterBytes> footer{};
    if (size >= 2 * kVhdFooterBytes && raw.read(size - kVhdFooterBytes, footer) == disk::ReadStatus::Ok &&
        startsWith(footer, kVhdCookie))
        return Format::Vhd;
    if (const std::string next = nextPieceName(path); !next.empty()) {
        std::error_code ec;
        if (fs::is_regular_file(next, ec))
            return Format::SplitRaw;
    }
    return Format::None;
}

// Which libraries this build was linked with.
#if defined(SARVIK_HAVE_LIBEWF)
constexpr bool kReadsEwf = true;
#else
constexpr bool kReadsEwf = false;
#endif
#if defined(SARVIK_HAVE_LIBVHDI)
constexpr bool kReadsVhd = true;
#else
constexpr bool kReadsVhd = false;
#endif
#if defined(SARVIK_HAVE_LIBVMDK)
constexpr bool kReadsVmdk = true;
#else
constexpr bool kReadsVmdk = false;
#endif
#if defined(SARVIK_HAVE_LIBQCOW)
constexpr bool kReadsQcow = true;
#else
constexpr bool kReadsQcow = false;
#endif
#if defined(SARVIK_HAVE_LIBSMRAW)
constexpr bool kReadsSplitRaw = true;
#else
constexpr bool kReadsSplitRaw = false;
#endif

bool formatReadable(Format format)
{
    switch (format) {
    case Format::Ewf:
        return kReadsEwf;
    case Format::Vhd:
    case Format::Vhdx:
        return kReadsVhd;
    case Format::Vmdk:
        return kReadsVmdk;
    case Format::Qcow:
        return kReadsQcow;
    case Format::SplitRaw:
        return kReadsSplitRaw;
    case Format::None:
    case Format::Ewf2:
        return false;
    }
    return false;
}

namespace {

/// Every container format, in the order they are named to the user.
constexpr Format kFormats[] = {Format::Ewf,  Format::Ewf2, Format::Vhd,     Format::Vhdx,
                               Format::Vmdk, Format::Qcow, Format::SplitRaw};

} // namespace

std::string readableFormatsText()
{
    std::string text;
    for (const Format f : kFormats)
        if (formatReadable(f))
            text += (text.empty() ? "" : ", ") + formatName(f);
    return text.empty() ? std::string("raw images only (no container formats in this build)") : "raw images; " + text;
}

std::vector<std::string> unreadableFormatNames()
{
    std::vector<std::string> names;
    for (const Format f : kFormats)
        if (!formatReadable(f))
            names.push_back(formatName(f));
    return names;
}

OpenedContainer openContainer(const std::string& path, const disk::BlockSource& raw)
{
    OpenedContainer opened;
    opened.format = recognise(raw, path);
    if (opened.format == Format::None)
        return opened;
    if (!formatReadable(opened.format)) {
        opened.error = "a " + formatName(opened.format) + ", which this build does not read (it reads " +
                       readableFormatsText() + ")";
        return opened;
    }
    OpenedContainer read;
    switch (opened.format) {
#if defined(SARVIK_HAVE_LIBEWF)
    case Format::Ewf:
        read = detail::openEwf(path, opened.format);
        break;
#endif
#if defined(SARVIK_HAVE_LIBVHDI)
    case Format::Vhd:
    case Format::Vhdx:
        read = detail::openVhdi(path, opened.format);
        break;
#endif
#if defined(SARVIK_HAVE_LIBVMDK)
    case Format::Vmdk: {
        read = detail::openVmdk(path);
        if (!read.source)
            if (const std::string descriptor = vmdkDescriptorOf(path); !descriptor.empty())
                read = detail::openVmdk(descriptor);
        break;
    }
#endif
#if defined(SARVIK_HAVE_LIBQCOW)
    case Format::Qcow:
        read = detail::openQcow(path);
        break;
#endif
#if defined(SARVIK_HAVE_LIBSMRAW)
    case Format::SplitRaw:
        read = detail::openSmraw(path);
        break;
#endif
    default:
        break;
    }
    read.format = opened.format;
    if (std::find(read.files.begin(), read.files.end(), path) == read.files.end())
        read.files.insert(read.files.begin(), path);
    if (!read.source && read.error.empty())
        read.error = "cannot be read";
    if (!read.source)
        read.error = "a " + formatName(opened.format) + " that cannot be read: " + read.error;
    return read;
}

std::string unreadableKind(const std::string& path)
{
    std::error_code ec;
    const fs::file_type type = fs::status(path, ec).type();
    const char* kind = nullptr;
    switch (type) {
    case fs::file_type::fifo:
        kind = "a named pipe (FIFO)";
        break;
    case fs::file_type::socket:
        kind = "a socket";
        break;
    case fs::file_type::character:
        kind = "a character device";
        break;
    case fs::file_type::directory:
        kind = "a folder";
        break;
    default:
        return {};
    }
    return path + ": " + kind + ", not a disk image or block device";
}

std::string sizeText(std::uint64_t bytes)
{
    static constexpr std::array<const char*, 6> kUnits{"bytes", "KiB", "MiB", "GiB", "TiB", "PiB"};
    std::size_t unit = 0;
    double value = static_cast<double>(bytes);
    while (value >= 1024.0 && unit + 1 < kUnits.size()) {
        value /= 1024.0;
        ++unit;
    }
    std::array<char, 32> text{};
    if (unit == 0)
        std::snprintf(text.data(), text.size(), "%llu bytes", static_cast<unsigned long long>(bytes));
    else if (value == static_cast<double>(static_cast<std::uint64_t>(value)))
        std::snprintf(text.data(), text.size(), "%.0f %s", value, kUnits[unit]);
    else
        std::snprintf(text.data(), text.size(), "%.1f %s", value, kUnits[unit]);
    return text.data();
}

namespace detail {

disk::ReadStatus LibraryImage::read(std::uint64_t offset, disk::MutableByteSpan buffer) const
{
    if (offset > m_size || buffer.size() > m_size - offset)
        return disk::ReadStatus::Short;
    const std::lock_guard lock(m_mutex);
    std::size_t done = 0;
    while (done < buffer.size()) {
        const std::int64_t got = readSome(offset + done, buffer.data() + done, buffer.size() - done);
        if (got <= 0)
            return disk::ReadStatus::Failed;
        done += static_cast<std::size_t>(got);
    }
    return disk::ReadStatus::Ok;
}

std::uint64_t LibraryImage::knownZeros(std::uint64_t offset) const
{
    // Granules looked at past the first at most, per question.
    constexpr std::uint64_t kMaxAhead = 256;
    if (!m_probes || offset >= m_size)
        return 0;
    const std::lock_guard lock(m_mutex);
    if (m_granules.empty()) {
        m_granules.assign(static_cast<std::size_t>((m_size + kGranule - 1) / kGranule), 0);
        m_scratch.resize(kGranule);
    }
    std::uint64_t end = offset;
    for (std::uint64_t g = offset / kGranule; g < m_granules.size() && g <= offset / kGranule + kMaxAhead; ++g) {
        auto& state = m_granules[static_cast<std::size_t>(g)];
        const std::uint64_t start = g * kGranule;
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kGranule, m_size - start));
        // Its first sector first: a granule with data is mostly told by that
        // alone, without reading it whole a second time.
        constexpr std::size_t kFirst = 512;
        if (state == 0)
            state = (length <= kFirst || probeNothingHeld(start, m_scratch.data(), kFirst)) &&
                            probeNothingHeld(start, m_scratch.data(), length)
                        ? 1
                        : 2;
        if (state != 1)
            break;
        end = start + length;
    }
    return end - offset;
}

bool allZero(const std::byte* bytes, std::size_t count)
{
    const std::span<const std::byte> span(bytes, count);
    return std::all_of(span.begin(), span.end(), [](std::byte b) { return b == std::byte{0}; });
}

std::string baseName(const std::string& name)
{
    const auto slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::vector<std::string> placesOf(const std::string& childPath, const std::string& name)
{
    std::vector<std::string> places;
    if (name.empty())
        return places;
    const fs::path recorded(name);
    const fs::path besideChild = fs::path(childPath).parent_path() / recorded;
    for (const fs::path& candidate :
         {recorded.is_absolute() ? recorded : besideChild, fs::path(childPath).parent_path() / baseName(name)}) {
        std::error_code ec;
        // Anything of the name counts, a pipe too: the caller refuses what
        // it may not open rather than look past it.
        if (fs::exists(fs::symlink_status(candidate, ec)) && fs::exists(candidate, ec) &&
            std::find(places.begin(), places.end(), candidate.string()) == places.end())
            places.push_back(candidate.string());
    }
    return places;
}

std::string findParent(const std::string& childPath, const std::string& name)
{
    const std::vector<std::string> places = placesOf(childPath, name);
    return places.empty() ? std::string{} : places.front();
}

std::string mediaText(std::uint64_t bytes)
{
    return "; media " + sizeText(bytes);
}

std::string hexText(const std::uint8_t* bytes, std::size_t count)
{
    static constexpr std::string_view kDigits = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4]; // NOLINT: a pointer and its count from a library call
        text += kDigits[bytes[i] & 15]; // NOLINT
    }
    return text;
}

} // namespace detail

} // namespace sarvik::container
