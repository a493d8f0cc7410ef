// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StorageOverlap.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

namespace sarvik::platform {

namespace {

/// Bound on the regions one start leads to: a device graph that loops (a loop
/// device over a file on itself) still ends.
constexpr std::size_t kMaxRegions = 256;

/// Bytes of a sysfs sector count ("size", "start"): always 512-byte units.
constexpr std::uint64_t kSysfsSector = 512;

std::optional<std::uint64_t> numberOf(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

/// "7:0" as a device number.
std::optional<std::uint64_t> majorMinorOf(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto major = numberOf(text.substr(0, colon));
    const auto minor = numberOf(text.substr(colon + 1));
    if (!major || !minor || *major > UINT32_MAX || *minor > UINT32_MAX)
        return std::nullopt;
    return deviceNumber(static_cast<std::uint32_t>(*major), static_cast<std::uint32_t>(*minor));
}

/// mountinfo escapes space, tab, newline and backslash as three octal digits.
std::string unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        text.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out.push_back(
                static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) | (text[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::vector<std::string_view> fieldsOf(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t space = line.find(' ', at);
        const std::size_t end = space == std::string_view::npos ? line.size() : space;
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

bool firstOptionIsRw(std::string_view options)
{
    return options.substr(0, options.find(',')) == "rw";
}

std::string readSmallFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::uint64_t> readNumber(const std::filesystem::path& path)
{
    return numberOf(readSmallFile(path));
}

/// Whether a region that is "somewhere" in its range surely meets `exact`:
/// only when `exact` covers that whole range.
bool covers(const StorageRegion& exact, const StorageRegion& somewhere)
{
    return !exact.somewhere && exact.start <= somewhere.start && exact.end >= somewhere.end;
}

} // namespace

const BlockDeviceFacts* BlockTopology::find(std::uint64_t number) const
{
    const auto it = std::find_if(devices.begin(), devices.end(),
                                 [number](const BlockDeviceFacts& d) { return d.number == number; });
    return it == devices.end() ? nullptr : &*it;
}

std::vector<StorageRegion> regionsUnder(const StorageRegion& start, const BlockTopology& topology)
{
    std::vector<StorageRegion> out;
    std::vector<StorageRegion> pending{start};
    // A range moved onto the storage below: shifted by `offset`, and cut at
    // `limit` bytes of it (0: no cut).
    const auto plus = [](std::uint64_t a, std::uint64_t b) { return a > kToTheEnd - b ? kToTheEnd : a + b; };
    const auto shifted = [&](const StorageRegion& r, const StorageId& below, std::uint64_t offset,
                             std::uint64_t limit) {
        const std::uint64_t cut = limit == 0 ? kToTheEnd : plus(offset, limit);
        return StorageRegion{below, std::min(plus(offset, r.start), cut), std::min(plus(offset, r.end), cut),
                             r.somewhere};
    };
    while (!pending.empty() && out.size() < kMaxRegions) {
        StorageRegion r = pending.back();
        pending.pop_back();
        if (std::find(out.begin(), out.end(), r) != out.end())
            continue;
        out.push_back(r);
        if (r.id.kind != StorageId::Kind::Block)
            continue; // an image file is not followed to the volume that holds it
        const BlockDeviceFacts* facts = topology.find(r.id.device);
        if (facts == nullptr)
            continue;
        if (facts->sizeBytes != 0 && r.end > facts->sizeBytes)
            r.end = facts->sizeBytes;
        if (facts->disk != 0)
            pending.push_back(shifted(r, {StorageId::Kind::Block, facts->disk, 0}, facts->startBytes, 0));
        if (facts->backing)
            pending.push_back(shifted(r, *facts->backing, facts->backingOffset, facts->backingLimit));
        for (const std::uint64_t slave : facts->slaves)
            pending.push_back({{StorageId::Kind::Block, slave, 0}, 0, kToTheEnd, true});
    }
    return out;
}

Overlap overlapOf(const std::vector<StorageRegion>& a, const std::vector<StorageRegion>& b)
{
    Overlap best = Overlap::None;
    for (const StorageRegion& x : a)
        for (const StorageRegion& y : b) {
            if (!(x.id == y.id))
                continue;
            best = Overlap::SameDisk;
            if (std::max(x.start, y.start) >= std::min(x.end, y.end))
                continue;
            if ((!x.somewhere && !y.somewhere) || (x.somewhere && covers(y, x)) || (y.somewhere && covers(x, y)))
                return Overlap::Same;
        }
    return best;
}

std::vector<MountEntry> parseMountInfo(std::string_view text)
{
    // "36 35 98:0 /root /mnt rw,noatime shared:1 - ext4 /dev/sda1 rw,errors=continue":
    // id, parent, device, root, mount point, mount options, optional fields,
    // "-", type, source, the file system's own options.
    constexpr std::size_t kDevice = 2;
    constexpr std::size_t kMountPoint = 4;
    constexpr std::size_t kMountOptions = 5;
    constexpr std::size_t kFirstOptional = 6;
    std::vector<MountEntry> mounts;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t newline = text.find('\n', at);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
        const std::vector<std::string_view> f = fieldsOf(text.substr(at, end - at));
        at = end + 1;
        const auto dash = std::find(f.begin() + static_cast<std::ptrdiff_t>(std::min(f.size(), kFirstOptional)),
                                    f.end(), std::string_view("-"));
        if (f.size() <= kFirstOptional || dash == f.end() || f.end() - dash < 4)
            continue;
        const auto device = majorMinorOf(f[kDevice]);
        if (!device)
            continue;
        MountEntry m;
        m.device = *device;
        m.mountPoint = unescape(f[kMountPoint]);
        m.fsType = unescape(dash[1]);
        m.source = unescape(dash[2]);
        m.readWrite = firstOptionIsRw(f[kMountOptions]) && firstOptionIsRw(dash[3]);
        mounts.push_back(std::move(m));
    }
    return mounts;
}

BlockTopology readBlockTopology(const std::filesystem::path& sysClassBlock,
                                const std::function<std::optional<StorageId>(const std::string& path)>& identify)
{
    BlockTopology topology;
    std::map<std::string, std::uint64_t> numbers;
    std::vector<std::vector<std::string>> slaveNames;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(sysClassBlock, ec)) {
        const std::filesystem::path& dir = entry.path();
        const auto number = majorMinorOf(readSmallFile(dir / "dev"));
        if (!number)
            continue;
        BlockDeviceFacts d;
        d.name = dir.filename().string();
        d.number = *number;
        d.sizeBytes = readNumber(dir / "size").value_or(0) * kSysfsSector;
        if (const auto partition = readNumber(dir / "partition")) {
            // A partition's folder sits inside its disk's folder.
            const std::filesystem::path real = std::filesystem::canonical(dir, ec);
            d.partition = static_cast<std::uint32_t>(*partition);
            d.startBytes = readNumber(dir / "start").value_or(0) * kSysfsSector;
            d.disk = ec ? 0 : majorMinorOf(readSmallFile(real.parent_path() / "dev")).value_or(0);
        }
        std::string backing = readSmallFile(dir / "loop" / "backing_file");
        while (!backing.empty() && backing.back() == '\n')
            backing.pop_back();
        if (!backing.empty()) {
            d.backing = identify(backing);
            d.backingOffset = readNumber(dir / "loop" / "offset").value_or(0);
            d.backingLimit = readNumber(dir / "loop" / "sizelimit").value_or(0);
        }
        std::vector<std::string> slaves;
        for (const auto& slave : std::filesystem::directory_iterator(dir / "slaves", ec))
            slaves.push_back(slave.path().filename().string());
        ec.clear();
        numbers[d.name] = d.number;
        slaveNames.push_back(std::move(slaves));
        topology.devices.push_back(std::move(d));
    }
    for (std::size_t i = 0; i < topology.devices.size(); ++i)
        for (const std::string& name : slaveNames[i])
            if (const auto it = numbers.find(name); it != numbers.end())
                topology.devices[i].slaves.push_back(it->second);
    return topology;
}

std::vector<std::string> splitCommandLine(std::string_view text)
{
    std::vector<std::string> arguments;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t nul = text.find('\0', at);
        const std::size_t end = nul == std::string_view::npos ? text.size() : nul;
        arguments.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return arguments;
}

bool commandNamesMount(const std::vector<std::string>& arguments, const std::string& cwd, const std::string& mountPoint)
{
    const auto normal = [](const std::filesystem::path& p) {
        std::string text = p.lexically_normal().generic_string();
        while (text.size() > 1 && text.back() == '/')
            text.pop_back();
        return text;
    };
    const std::string target = normal(mountPoint);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::filesystem::path arg(arguments[i]);
        if (arguments[i].empty() || arguments[i].front() == '-')
            continue;
        if (normal(arg.is_absolute() ? arg : std::filesystem::path(cwd) / arg) == target)
            return true;
        // A daemon that went into the background has usually left the folder
        // it was started in ("/"): a relative mount point then ends the path.
        const std::string tail = "/" + normal(arg);
        if (arg.is_relative() && !tail.starts_with("/..") && tail != "/." && target.ends_with(tail))
            return true;
    }
    return false;
}

} // namespace sarvik::platform
