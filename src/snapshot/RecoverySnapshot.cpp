// SPDX-License-Identifier: GPL-3.0-or-later
#include "snapshot/RecoverySnapshot.h"

#include <algorithm>

#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

namespace sarvik::snapshot {

namespace {

using disk::ByteReader;
using disk::ByteSpan;

// Offsets inside the geometry block, from its start.
constexpr std::size_t kPartitionKind = 0;        // u16
constexpr std::size_t kPartitionStartSector = 2; // u32
constexpr std::size_t kPartitionSectors = 6;     // u32
constexpr std::size_t kPartitionReserved32 = 10; // u32
constexpr std::size_t kPartitionReserved16 = 14; // u16
constexpr std::size_t kGeometryKind = 16;        // u16: selects the body
constexpr std::size_t kFatSectors = 18;          // u32
constexpr std::size_t kSectorsPerCluster = 22;   // u32
constexpr std::size_t kRootDirSectors = 26;      // u32
constexpr std::size_t kReservedSectors = 30;     // u32
constexpr std::size_t kClusterBaseSector = 34;   // u32, two's complement when negative
constexpr std::size_t kFirstFatSector = 38;      // u32
constexpr std::size_t kSecondFatSector = 42;     // u32
constexpr std::size_t kMftStartSector = 46;      // u32
constexpr std::size_t kNtfsReserved = 50;        // u32
constexpr std::size_t kMftRecordSectors = 54;    // u32
constexpr std::size_t kIndexRecordSectors = 58;  // u32
constexpr std::size_t kSearchEndSector = 62;     // u32
constexpr std::size_t kGeometryReserved16 = 66;  // u16

constexpr std::uint64_t kU32Max = std::numeric_limits<std::uint32_t>::max();

char asciiUpper(char c) noexcept
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(ByteSpan bytes, std::string_view text) noexcept
{
    if (bytes.size() < text.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (asciiUpper(std::to_integer<char>(bytes[i])) != asciiUpper(text[i]))
            return false;
    return true;
}

bool isFatKind(std::uint16_t kind) noexcept
{
    return disk::isFatKind(kind);
}

/// Appends little-endian fields to a byte vector.
class Writer {
public:
    explicit Writer(std::vector<std::byte>& out) : m_out(out) {}
    Writer& put(unsigned width, std::uint64_t value)
    {
        for (unsigned i = 0; i < width; ++i)
            m_out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
        return *this;
    }
    Writer& chars(std::string_view text)
    {
        for (const char c : text)
            m_out.push_back(static_cast<std::byte>(c));
        return *this;
    }

private:
    std::vector<std::byte>& m_out;
};

std::string quoted(const std::string& name)
{
    return "\"" + name + "\"";
}

/// Checks what the format cannot hold before anything is written.
std::optional<std::string> unfitValue(const disk::VolumeInfo& info, const disk::VolumeGeometry& g,
                                      const catalogue::Catalogue& c)
{
    const std::string prefix = "Cannot save the snapshot: ";
    // The format's records hold neither exFAT's stream extensions (valid
    // length, contiguous data, sizes past 4 GiB) nor its times: a snapshot
    // that loses them would bring files back wrong.
    if (g.GeometryKind == disk::VolumeKind::Exfat)
        return prefix + "exFAT snapshots are not supported; scan the volume again instead";
    if (info.DevicePath.size() > kMaxDevicePathLength)
        return prefix + "the device path is " + std::to_string(info.DevicePath.size()) +
               " characters long; a snapshot holds at most " + std::to_string(kMaxDevicePathLength);
    if (info.VolumeLabel.size() > kMaxVolumeLabelLength)
        return prefix + "the volume label is " + std::to_string(info.VolumeLabel.size()) +
               " characters long; a snapshot holds at most " + std::to_string(kMaxVolumeLabelLength);
    if (g.ClusterBaseSector < std::numeric_limits<std::int32_t>::min() ||
        g.ClusterBaseSector > std::numeric_limits<std::int32_t>::max())
        return prefix + "the cluster base sector " + std::to_string(g.ClusterBaseSector) +
               " does not fit the 32-bit field of the file";
    if (info.BytesPerSector != 512 && info.BytesPerSector != 1024 && info.BytesPerSector != 2048 &&
        info.BytesPerSector != 4096)
        return prefix + "a volume of " + std::to_string(info.BytesPerSector) + " bytes per sector";
    if (g.MftStartSector > kU32Max)
        return prefix + "the MFT starts at sector " + std::to_string(g.MftStartSector) +
               ", beyond the 32-bit field of the file";

    auto longName = [&](const std::string& name, const char* what) -> std::optional<std::string> {
        const std::size_t bound = c.NamesAreUtf8 ? kMaxUtf8NameLength : kMaxNameLength;
        if (name.size() <= bound)
            return std::nullopt;
        return prefix + "the name of " + what + " " + quoted(name.substr(0, 40)) + "... is " +
               std::to_string(name.size()) + " characters long; a snapshot holds at most " + std::to_string(bound);
    };
    if (isFatKind(g.GeometryKind)) {
        for (const auto& e : c.fsLists().FatFolderList)
            if (auto m = longName(e.name, "folder"))
                return m;
        for (const auto& e : c.fsLists().FatFileList)
            if (auto m = longName(e.name, "file"))
                return m;
    } else if (g.GeometryKind == disk::VolumeKind::Ntfs) {
        // Record numbers are 48 bits on disk; the format keeps 32.
        auto bigNumber = [&](const auto& e, const char* what) -> std::optional<std::string> {
            if (e.recordNumber <= kU32Max && e.parentRecord <= kU32Max)
                return std::nullopt;
            return prefix + "the MFT record number of " + what + " " + quoted(e.name) + " (" +
                   std::to_string(e.recordNumber) + ", in folder " + std::to_string(e.parentRecord) +
                   ") does not fit the 32-bit field of the file";
        };
        for (const auto& e : c.fsLists().NtfsFolderList) {
            if (auto m = longName(e.name, "folder"))
                return m;
            if (auto m = bigNumber(e, "folder"))
                return m;
        }
        for (const auto& e : c.fsLists().NtfsFileList) {
            if (auto m = longName(e.name, "file"))
                return m;
            if (auto m = bigNumber(e, "file"))
                return m;
            if (e.recordSector > kU32Max)
                return prefix + "the MFT record of file " + quoted(e.name) + " lies at sector " +
                       std::to_string(e.recordSector) + ", beyond the 32-bit field of the file";
        }
    }
    if (c.fsLists().FatFolderList.size() > kU32Max || c.fsLists().FatFileList.size() > kU32Max ||
        c.fsLists().NtfsFolderList.size() > kU32Max || c.fsLists().NtfsFileList.size() > kU32Max)
        return prefix + "the catalogue holds more entries than the file can count";
    return std::nullopt;
}

/// Calls `field(offset, width, member)` for each field of the geometry block,
/// in the order of the offsets above: the one statement of its layout, for
/// writing (const blocks) and reading alike.
template <typename Partition, typename Geometry, typename Field>
constexpr void geometryFields(Partition& p, Geometry& g, Field field)
{
    field(kPartitionKind, 2, p.PartitionKind);
    field(kPartitionStartSector, 4, p.PartitionStartSector);
    field(kPartitionSectors, 4, p.PartitionSectors);
    field(kPartitionReserved32, 4, p.PartitionReserved32);
    field(kPartitionReserved16, 2, p.PartitionReserved16);
    field(kGeometryKind, 2, g.GeometryKind);
    field(kFatSectors, 4, g.FatSectors);
    field(kSectorsPerCluster, 4, g.SectorsPerCluster);
    field(kRootDirSectors, 4, g.RootDirSectors);
    field(kReservedSectors, 4, g.ReservedSectors);
    field(kClusterBaseSector, 4, g.ClusterBaseSector);
    field(kFirstFatSector, 4, g.FirstFatSector);
    field(kSecondFatSector, 4, g.SecondFatSector);
    field(kMftStartSector, 4, g.MftStartSector);
    field(kNtfsReserved, 4, g.NtfsReserved);
    field(kMftRecordSectors, 4, g.MftRecordSectors);
    field(kIndexRecordSectors, 4, g.IndexRecordSectors);
    field(kSearchEndSector, 4, g.SearchEndSector);
    field(kGeometryReserved16, 2, g.GeometryReserved16);
}

// The writer puts the fields one after another: they must fill the block without gaps.
static_assert([] {
    disk::PartitionBlock p;
    disk::VolumeGeometry g;
    std::size_t next = 0;
    bool adjoining = true;
    geometryFields(p, g, [&](std::size_t offset, unsigned width, const auto&) {
        adjoining = adjoining && offset == next;
        next = offset + width;
    });
    return adjoining && next == kGeometryBlockSize;
}());

void writeGeometry(Writer& w, const disk::PartitionBlock& p, const disk::VolumeGeometry& g)
{
    // Range checked by unfitValue: a negative cluster base keeps the low 32
    // bits of its two's complement, the MFT start fits 32 bits.
    geometryFields(p, g,
                   [&w](std::size_t, unsigned width, auto value) { w.put(width, static_cast<std::uint64_t>(value)); });
}

void readGeometry(const ByteReader& block, disk::PartitionBlock& p, disk::VolumeGeometry& g)
{
    geometryFields(p, g, [&block](std::size_t offset, unsigned width, auto& field) {
        using Field = std::remove_reference_t<decltype(field)>;
        const std::uint64_t value = block.uint(offset, width).value_or(0);
        if constexpr (std::is_signed_v<Field>)
            field = static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); // 32-bit two's complement
        else
            field = static_cast<Field>(value);
    });
}

constexpr std::uint8_t kCarvedWholeMark = 1;
constexpr std::uint8_t kCarvedIncompleteMark = 2;
constexpr std::size_t kCarvedMarkBytes = 5; // u32 file index, u8 mark

/// The CARVED= trailer, when any file was found by its content.
template <typename Entry> void writeCarvedMarks(Writer& w, const std::vector<Entry>& files)
{
    const auto carved = [](const Entry& e) { return e.carved != catalogue::Carved::No; };
    const auto count = static_cast<std::size_t>(std::count_if(files.begin(), files.end(), carved));
    if (count == 0)
        return;
    w.chars(kCarvedTrailer).put(4, count);
    for (std::size_t i = 0; i < files.size(); ++i)
        if (carved(files[i]))
            w.put(4, i).put(1, files[i].carved == catalogue::Carved::Whole ? kCarvedWholeMark : kCarvedIncompleteMark);
}

/// Reads a CARVED= trailer at the start of `rest` into `files`. Returns the
/// bytes it took: 0 when `rest` does not start with one, nothing when it does
/// but its count, an index or a mark is not one the records allow.
template <typename Entry> std::optional<std::size_t> readCarvedMarks(const ByteReader& rest, std::vector<Entry>& files)
{
    if (!rest.equals(0, kCarvedTrailer))
        return 0;
    const std::size_t start = kCarvedTrailer.size() + 4;
    const auto count = rest.u32(kCarvedTrailer.size());
    if (!count || *count > files.size() || !rest.has(start, std::size_t{*count} * kCarvedMarkBytes))
        return std::nullopt;
    std::vector<std::pair<std::size_t, catalogue::Carved>> marks;
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t at = start + i * kCarvedMarkBytes;
        const std::uint32_t index = rest.u32or0(at);
        const std::uint8_t mark = rest.u8or0(at + 4);
        if (index >= files.size() || (mark != kCarvedWholeMark && mark != kCarvedIncompleteMark))
            return std::nullopt;
        marks.emplace_back(index, mark == kCarvedWholeMark ? catalogue::Carved::Whole : catalogue::Carved::Incomplete);
    }
    for (const auto& [index, mark] : marks)
        files[index].carved = mark;
    return start + std::size_t{*count} * kCarvedMarkBytes;
}

/// The STREAM= trailer, when any NTFS file is a named stream.
void writeStreams(Writer& w, const std::vector<catalogue::NtfsFileEntry>& files)
{
    const auto named = [](const catalogue::NtfsFileEntry& e) { return !e.stream.empty(); };
    const auto count = static_cast<std::size_t>(std::count_if(files.begin(), files.end(), named));
    if (count == 0)
        return;
    w.chars(kStreamTrailer).put(4, count);
    for (std::size_t i = 0; i < files.size(); ++i)
        if (named(files[i]))
            w.put(4, i).put(2, files[i].stream.size()).chars(files[i].stream);
}

/// Reads a STREAM= trailer at the start of `rest` into `files`: the bytes it
/// took, 0 when `rest` does not start with one, nothing when it does but a
/// count, an index or a name does not fit. A stream must be the end of its
/// file's name ("NAME:STREAM"), as the scan lists it.
std::optional<std::size_t> readStreams(const ByteReader& rest, std::vector<catalogue::NtfsFileEntry>& files)
{
    if (!rest.equals(0, kStreamTrailer))
        return 0;
    const auto count = rest.u32(kStreamTrailer.size());
    if (!count || *count > files.size())
        return std::nullopt;
    std::size_t at = kStreamTrailer.size() + 4;
    std::vector<std::pair<std::size_t, std::string>> streams;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto index = rest.u32(at);
        const auto length = rest.u16(at + 4);
        if (!index || !length || *index >= files.size() || *length == 0 || !rest.has(at + 6, *length))
            return std::nullopt;
        std::string name(*length, '\0');
        for (std::size_t k = 0; k < *length; ++k)
            name[k] = static_cast<char>(rest.u8or0(at + 6 + k));
        const std::string& file = files[*index].name;
        if (file.size() <= name.size() || !file.ends_with(":" + name))
            return std::nullopt;
        streams.emplace_back(*index, std::move(name));
        at += 6 + std::size_t{*length};
    }
    for (auto& [index, name] : streams)
        files[index].stream = std::move(name);
    return at;
}

/// One list of the body: its count, then a record per entry.
template <typename Entry, typename WriteRecord>
void writeList(Writer& w, const std::vector<Entry>& entries, WriteRecord writeRecord)
{
    w.put(4, entries.size());
    for (const Entry& e : entries)
        writeRecord(e);
}

/// The fields a FAT folder record and a FAT file record both begin with.
template <typename Entry> void writeFatRecordStart(Writer& w, const Entry& e, std::size_t fixed)
{
    w.put(2, e.name.size() + fixed).chars(e.name).put(4, e.firstCluster).put(4, e.parentCluster);
    w.put(2, e.writeDate).put(2, e.accessDate);
}

/// A trailer of one record per entry: its tag, the count of folder and file
/// records (u32), then `put(entry)` for every folder, then every file.
template <typename Folder, typename File, typename Put>
void writeEntryTrailer(Writer& w, std::string_view tag, const std::vector<Folder>& folders,
                       const std::vector<File>& files, const Put& put)
{
    w.chars(tag).put(4, folders.size() + files.size());
    for (const Folder& e : folders)
        put(e);
    for (const File& e : files)
        put(e);
}

/// The FATENTRY= trailer: every FAT folder's and file's origin, folders first.
void writeFatEntryOrigins(Writer& w, const catalogue::Catalogue& c)
{
    writeEntryTrailer(w, kFatEntryTrailer, c.fsLists().FatFolderList, c.fsLists().FatFileList, [&w](const auto& e) {
        const catalogue::FatEntryOrigin& o = e.origin;
        w.put(8, o.address).put(2, o.createDate).put(2, o.createTime).put(1, o.createTenths);
    });
}

bool anyTime(const catalogue::NtfsStandardTimes& t)
{
    return t.created != 0 || t.modified != 0 || t.recordChanged != 0 || t.accessed != 0;
}

/// The NTFSTIME= trailer, when any NTFS folder or file carries standard-information times.
void writeNtfsTimes(Writer& w, const catalogue::Catalogue& c)
{
    const auto timed = [](const auto& e) { return anyTime(e.standard); };
    if (std::none_of(c.fsLists().NtfsFolderList.begin(), c.fsLists().NtfsFolderList.end(), timed) &&
        std::none_of(c.fsLists().NtfsFileList.begin(), c.fsLists().NtfsFileList.end(), timed))
        return;
    writeEntryTrailer(w, kNtfsTimesTrailer, c.fsLists().NtfsFolderList, c.fsLists().NtfsFileList, [&w](const auto& e) {
        const catalogue::NtfsStandardTimes& t = e.standard;
        w.put(8, t.created).put(8, t.modified).put(8, t.recordChanged).put(8, t.accessed);
    });
}

/// The sectors of the file system past the end of its image (0: none, or not known).
std::uint64_t missingSectors(const disk::VolumeInfo& info)
{
    return info.FileSystemSectors > info.VolumeSectors ? info.FileSystemSectors - info.VolumeSectors : 0;
}

/// The LOSSES= trailer, when the scan could not read something or the image ends early.
void writeLosses(Writer& w, const disk::VolumeInfo& info, const catalogue::ScanLosses& losses)
{
    const std::uint64_t missing = missingSectors(info);
    if (!losses.any() && missing == 0)
        return;
    w.chars(kLossesTrailer).put(8, losses.UnreadableSectors).put(8, losses.UnreadableRecords).put(8, missing);
}

void writeBody(Writer& w, std::uint16_t kind, const catalogue::Catalogue& c)
{
    if (isFatKind(kind)) {
        writeList(w, c.fsLists().FatFolderList, [&w](const catalogue::FatFolderEntry& e) {
            writeFatRecordStart(w, e, kFatFolderFixed);
            w.put(1, e.deleted & 0xFF).put(2, e.reserved);
        });
        writeList(w, c.fsLists().FatFileList, [&w](const catalogue::FatFileEntry& e) {
            writeFatRecordStart(w, e, kFatFileFixed);
            w.put(4, e.size).put(1, e.deleted & 0xFF).put(4, e.ordinal);
        });
    } else if (kind == disk::VolumeKind::Ntfs) {
        writeList(w, c.fsLists().NtfsFolderList, [&w](const catalogue::NtfsFolderEntry& e) {
            w.put(2, e.name.size() + kNtfsFolderFixed).chars(e.name).put(4, e.recordNumber).put(4, e.parentRecord);
            // Times as two 32-bit halves, low first: the same bytes as a u64.
            w.put(8, e.created).put(8, e.modified).put(1, e.deleted & 0xFF).put(2, e.reserved);
        });
        writeList(w, c.fsLists().NtfsFileList, [&w](const catalogue::NtfsFileEntry& e) {
            w.put(2, e.name.size() + kNtfsFileFixed).put(4, e.recordSector).chars(e.name);
            w.put(4, e.recordNumber).put(4, e.parentRecord).put(8, e.created).put(8, e.modified);
            w.put(1, e.deleted & 0xFF).put(8, e.size);
        });
    }
}

/// A read position over the file that moves only when a read succeeds.
class Cursor {
public:
    explicit Cursor(ByteSpan bytes) : m_reader(bytes) {}
    [[nodiscard]] std::size_t position() const noexcept { return m_pos; }
    std::optional<std::uint64_t> take(unsigned width)
    {
        const auto v = m_reader.uint(m_pos, width);
        if (v)
            m_pos += width;
        return v;
    }
    std::optional<ByteSpan> takeBytes(std::size_t length)
    {
        const auto s = m_reader.sub(m_pos, length);
        if (s)
            m_pos += length;
        return s;
    }
    [[nodiscard]] std::size_t remaining() const noexcept { return m_reader.size() - m_pos; }

private:
    ByteReader m_reader;
    std::size_t m_pos = 0;
};

std::string toText(ByteSpan bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const std::byte b : bytes)
        text.push_back(std::to_integer<char>(b));
    return text;
}

DamageNote damaged(SnapshotDamage what, std::size_t offset)
{
    DamageNote note;
    note.what = what;
    note.offset = offset;
    return note;
}

/// One record of the body, bounded by its own length field.
struct Record {
    ByteReader bytes; ///< the L bytes after the length field
    std::size_t nameLength = 0;
};

enum class RecordRead { Ok, Damaged };

/// Reads the length field and the bytes it counts, checking them against the
/// fixed part of the record kind.
RecordRead readRecord(Cursor& cursor, std::size_t fixed, bool folders, std::uint32_t index, std::uint32_t count,
                      std::size_t maxName, Record& record, DamageNote& damage)
{
    const std::size_t start = cursor.position();
    const auto note = [&](SnapshotDamage what, std::uint64_t value = 0, std::uint64_t limit = 0) {
        damage = damaged(what, start);
        damage.folders = folders;
        damage.index = index + 1;
        damage.count = count;
        damage.value = value;
        damage.limit = limit;
        return RecordRead::Damaged;
    };
    const auto length = cursor.take(2);
    if (!length)
        return note(SnapshotDamage::EndsBeforeRecord);
    if (*length < fixed)
        return note(SnapshotDamage::RecordTooShort, *length, fixed);
    const std::size_t nameLength = static_cast<std::size_t>(*length) - fixed;
    if (nameLength > maxName)
        return note(SnapshotDamage::RecordNameTooLong, nameLength, maxName);
    const auto body = cursor.takeBytes(static_cast<std::size_t>(*length));
    if (!body)
        return note(SnapshotDamage::EndsInsideRecord);
    record.bytes = ByteReader(*body);
    record.nameLength = nameLength;
    return RecordRead::Ok;
}

std::string nameAt(const Record& r, std::size_t offset)
{
    return toText(r.bytes.sub(offset, r.nameLength).value_or(ByteSpan{}));
}

/// The fields of a record that follow its name, which starts `nameOffset` bytes in.
ByteReader fieldsAfterName(const Record& r, std::size_t nameOffset)
{
    const std::size_t start = nameOffset + r.nameLength;
    return ByteReader(r.bytes.sub(start, r.bytes.size() - std::min(start, r.bytes.size())).value_or(ByteSpan{}));
}

/// Reads one list's count and records; false (with `damage`) at damage.
template <typename AddRecord>
bool readList(Cursor& cursor, bool folders, std::size_t fixed, std::size_t maxName, AddRecord add, DamageNote& damage)
{
    const std::size_t countAt = cursor.position();
    const auto count = cursor.take(4);
    if (!count) {
        damage = damaged(SnapshotDamage::EndsBeforeCount, countAt);
        damage.folders = folders;
        return false;
    }
    const auto n = static_cast<std::uint32_t>(*count);
    for (std::uint32_t i = 0; i < n; ++i) {
        Record record;
        if (readRecord(cursor, fixed, folders, i, n, maxName, record, damage) != RecordRead::Ok)
            return false;
        add(record);
    }
    return true;
}

} // namespace

EncodeResult EncodeSnapshot(const disk::VolumeInfo& info, const disk::PartitionBlock& partition,
                            const disk::VolumeGeometry& geometry, const catalogue::Catalogue& catalogue,
                            std::vector<std::byte>& out)
{
    if (auto why = unfitValue(info, geometry, catalogue))
        return {false, std::move(*why)};
    std::vector<std::byte> bytes;
    Writer w(bytes);
    w.chars(catalogue.NamesAreUtf8 ? kThoroughTag : kTag).chars(kVersion).put(2, info.FileSystemKind);
    w.put(2, info.DevicePath.size()).chars(info.DevicePath);
    w.put(4, info.VolumeClusterSectors).put(8, info.VolumeSectors).put(1, info.VolumeSupported);
    w.put(2, info.VolumeLabel.size()).chars(info.VolumeLabel);
    writeGeometry(w, partition, geometry);
    writeBody(w, geometry.GeometryKind, catalogue);
    if (info.BytesPerSector != disk::kSectorSize) {
        // Only the sizes a selection reads reach here (1024 to 4096): four digits.
        w.chars(kSectorSizeTrailer);
        w.chars(std::to_string(info.BytesPerSector));
    }
    if (isFatKind(geometry.GeometryKind) && catalogue.NamesAreUtf8 && catalogue.FatTimesOfDay) {
        const auto timed = [](const auto& e) { return e.writeTime != 0; };
        const auto& c = catalogue;
        if (std::any_of(c.fsLists().FatFolderList.begin(), c.fsLists().FatFolderList.end(), timed) ||
            std::any_of(c.fsLists().FatFileList.begin(), c.fsLists().FatFileList.end(), timed)) {
            writeEntryTrailer(w, kFatTimesTrailer, c.fsLists().FatFolderList, c.fsLists().FatFileList,
                              [&w](const auto& e) { w.put(2, e.writeTime); });
        }
    }
    if (isFatKind(geometry.GeometryKind) && catalogue.NamesAreUtf8 && catalogue.FatEntryOrigins)
        writeFatEntryOrigins(w, catalogue);
    if (geometry.GeometryKind == disk::VolumeKind::Ntfs && catalogue.NamesAreUtf8)
        writeNtfsTimes(w, catalogue);
    if (isFatKind(geometry.GeometryKind))
        writeCarvedMarks(w, catalogue.fsLists().FatFileList);
    else if (geometry.GeometryKind == disk::VolumeKind::Ntfs)
        writeCarvedMarks(w, catalogue.fsLists().NtfsFileList);
    if (geometry.GeometryKind == disk::VolumeKind::Ntfs && catalogue.NamesAreUtf8)
        writeStreams(w, catalogue.fsLists().NtfsFileList);
    if (catalogue.NamesAreUtf8 && catalogue.DeepSearched)
        w.chars(kDeepSearchTrailer);
    writeLosses(w, info, catalogue.Losses);
    if (catalogue.NamesAreUtf8)
        w.chars(kUtf8NamesMarker);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return {true, {}};
}

bool HasSnapshotTag(disk::ByteSpan start) noexcept
{
    return equalsIgnoringCase(start, kTag);
}

namespace {

/// The sector-size trailer at the start of `rest`, when the volume's sectors
/// are not 512 bytes: sets info.BytesPerSector and gives its length (0: none).
std::size_t readSectorSizeTrailer(const ByteReader& rest, disk::VolumeInfo& info)
{
    constexpr std::size_t kDigits = 4;
    if (!rest.equals(0, kSectorSizeTrailer) || !rest.has(kSectorSizeTrailer.size(), kDigits))
        return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < kDigits; ++i) {
        const std::uint8_t digit = rest.u8or0(kSectorSizeTrailer.size() + i);
        if (digit < '0' || digit > '9')
            return 0;
        value = value * 10 + static_cast<std::uint32_t>(digit - '0');
    }
    if (value != 1024 && value != 2048 && value != 4096)
        return 0;
    info.BytesPerSector = value;
    return kSectorSizeTrailer.size() + kDigits;
}

/// A trailer that writeEntryTrailer wrote, at the start of `rest`, when its tag
/// and its count match the records read and all of its records are there:
/// `take(entry, at)` reads each entry's record of `recordBytes` at offset `at`
/// of `rest`, folders first. Gives the trailer's length (0: none).
template <typename Folder, typename File, typename Take>
std::size_t readEntryTrailer(const ByteReader& rest, std::string_view tag, std::size_t recordBytes,
                             std::vector<Folder>& folders, std::vector<File>& files, const Take& take)
{
    const std::size_t entries = folders.size() + files.size();
    const std::size_t start = tag.size() + 4;
    if (!rest.equals(0, tag) || rest.u32or0(tag.size()) != entries || !rest.has(start, entries * recordBytes))
        return 0;
    std::size_t at = start;
    for (Folder& e : folders) {
        take(e, at);
        at += recordBytes;
    }
    for (File& e : files) {
        take(e, at);
        at += recordBytes;
    }
    return at;
}

/// The FAT write times of day at the start of `rest`, when their count matches
/// the records read: sets each entry's writeTime and FatTimesOfDay, and gives
/// the trailer's length (0: none).
std::size_t readFatTimesTrailer(const ByteReader& rest, catalogue::Catalogue& cat)
{
    constexpr std::size_t kRecordBytes = 2;
    const std::size_t length =
        readEntryTrailer(rest, kFatTimesTrailer, kRecordBytes, cat.fsLists().FatFolderList, cat.fsLists().FatFileList,
                         [&rest](auto& e, std::size_t at) { e.writeTime = rest.u16or0(at); });
    if (length != 0)
        cat.FatTimesOfDay = true;
    return length;
}

/// The FAT entries' origins at the start of `rest`, when their count matches
/// the records read: sets each entry's origin and FatEntryOrigins, and gives
/// the trailer's length (0: none).
std::size_t readFatEntryTrailer(const ByteReader& rest, catalogue::Catalogue& cat)
{
    const auto take = [&rest](auto& e, std::size_t at) {
        catalogue::FatEntryOrigin& o = e.origin;
        o.address = rest.u64or0(at);
        o.createDate = rest.u16or0(at + 8);
        o.createTime = rest.u16or0(at + 10);
        o.createTenths = rest.u8or0(at + 12);
    };
    const std::size_t length = readEntryTrailer(rest, kFatEntryTrailer, kFatEntryTrailerRecord,
                                                cat.fsLists().FatFolderList, cat.fsLists().FatFileList, take);
    if (length != 0)
        cat.FatEntryOrigins = true;
    return length;
}

/// The NTFS standard-information times at the start of `rest`, when their
/// count matches the records read: sets each entry's times and gives the
/// trailer's length (0: none).
std::size_t readNtfsTimesTrailer(const ByteReader& rest, catalogue::Catalogue& cat)
{
    constexpr std::size_t kRecordBytes = 32;
    const auto take = [&rest](auto& e, std::size_t at) {
        e.standard = {rest.u64or0(at), rest.u64or0(at + 8), rest.u64or0(at + 16), rest.u64or0(at + 24)};
    };
    return readEntryTrailer(rest, kNtfsTimesTrailer, kRecordBytes, cat.fsLists().NtfsFolderList,
                            cat.fsLists().NtfsFileList, take);
}

/// The LOSSES= trailer at the start of `rest`: sets the losses and the file
/// system's sectors, and gives its length (0: none); nothing when its tag is
/// there but its counts are not.
std::optional<std::size_t> readLossesTrailer(const ByteReader& rest, disk::VolumeInfo& info,
                                             catalogue::ScanLosses& losses)
{
    if (!rest.equals(0, kLossesTrailer))
        return 0;
    const std::size_t at = kLossesTrailer.size();
    if (!rest.has(at, kLossesTrailerBody))
        return std::nullopt;
    losses.UnreadableSectors = rest.u64or0(at);
    losses.UnreadableRecords = rest.u64or0(at + 8);
    const std::uint64_t missing = rest.u64or0(at + 16);
    const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - info.VolumeSectors;
    info.FileSystemSectors = missing == 0 ? 0 : info.VolumeSectors + std::min(missing, room);
    return at + kLossesTrailerBody;
}

/// Decodes `bytes`; names may be as long as UTF-8 ones only when `trustMarker`
/// and the file ends with the UTF-8 marker.
/// The CARVED= and (NTFS) STREAM= trailers from `trailer` on, moving it past
/// them. A trailer that names itself but does not parse leaves the load
/// damaged (false, with `damage`): its files could otherwise be taken for
/// whole ones found by their entries, or be read from their unnamed data.
bool readFileMarks(disk::ByteSpan bytes, std::size_t& trailer, bool ntfs, catalogue::Catalogue& cat, DamageNote& damage)
{
    if (trailer > bytes.size())
        return true;
    const ByteReader rest(bytes.subspan(trailer));
    const auto carved =
        ntfs ? readCarvedMarks(rest, cat.fsLists().NtfsFileList) : readCarvedMarks(rest, cat.fsLists().FatFileList);
    if (!carved) {
        damage = damaged(SnapshotDamage::CarvedListDamaged, trailer);
        return false;
    }
    trailer += *carved;
    if (!ntfs || trailer > bytes.size())
        return true;
    const auto streams = readStreams(ByteReader(bytes.subspan(trailer)), cat.fsLists().NtfsFileList);
    if (!streams) {
        damage = damaged(SnapshotDamage::StreamListDamaged, trailer);
        return false;
    }
    trailer += *streams;
    return true;
}

/// What decides the end of a snapshot: whether its tag says a thorough scan
/// made it, whether its marker may widen names, whether it ends with the marker.
struct EndFacts {
    bool thoroughTag = false;
    bool trustMarker = false;
    bool endsMarked = false;
};

/// The trailers after the records of `c` (from byte `from` of `bytes`), then
/// the file's end: sets what they hold and the names' encoding, and leaves
/// `whole` false with `damage` where they are cut or damaged. Nothing is
/// read once `whole` is false.
void readTrailersAndEnd(disk::ByteSpan bytes, std::size_t from, const EndFacts& end, SnapshotContent& c, bool& whole,
                        DamageNote& damage)
{
    auto& cat = c.catalogue;
    const auto& geo = c.geometry;
    // After the records: the sector size, then the FAT write times of day.
    std::size_t trailer = from;
    if (whole && trailer <= bytes.size())
        trailer += readSectorSizeTrailer(ByteReader(bytes.subspan(trailer)), c.info);
    cat.FatTimesOfDay = false;
    cat.FatEntryOrigins = false;
    // Trailers only a thorough scan writes: their presence says so too.
    const std::size_t beforeThorough = trailer;
    if (whole && isFatKind(geo.GeometryKind) && trailer <= bytes.size())
        trailer += readFatTimesTrailer(ByteReader(bytes.subspan(trailer)), cat);
    if (whole && isFatKind(geo.GeometryKind) && trailer <= bytes.size())
        trailer += readFatEntryTrailer(ByteReader(bytes.subspan(trailer)), cat);
    if (whole && geo.GeometryKind == disk::VolumeKind::Ntfs && trailer <= bytes.size())
        trailer += readNtfsTimesTrailer(ByteReader(bytes.subspan(trailer)), cat);
    bool thoroughTrailers = trailer != beforeThorough;
    // Then which files were found by their content, and which NTFS files are
    // named streams.
    const bool ntfs = geo.GeometryKind == disk::VolumeKind::Ntfs;
    if (whole && (isFatKind(geo.GeometryKind) || ntfs)) {
        whole = readFileMarks(bytes, trailer, ntfs, cat, damage);
        thoroughTrailers =
            thoroughTrailers || std::any_of(cat.fsLists().NtfsFileList.begin(), cat.fsLists().NtfsFileList.end(),
                                            [](const auto& e) { return !e.stream.empty(); });
    }
    // Then whether the deep search ran.
    if (whole && trailer <= bytes.size() && ByteReader(bytes.subspan(trailer)).equals(0, kDeepSearchTrailer)) {
        cat.DeepSearched = true;
        thoroughTrailers = true;
        trailer += kDeepSearchTrailer.size();
    }
    // Then what the scan could not read. A tag without all of its counts is a
    // file cut short: its losses must not pass for none.
    if (whole && trailer <= bytes.size()) {
        if (const auto taken = readLossesTrailer(ByteReader(bytes.subspan(trailer)), c.info, cat.Losses)) {
            trailer += *taken;
        } else {
            whole = false;
            damage = damaged(SnapshotDamage::EndsInsideLosses, trailer);
        }
    }
    // Then the end: nothing, or (a thorough scan's) the names marker and
    // nothing after it. Anything else is a file cut inside its trailers or
    // its marker; a thorough file without its marker was cut at a trailer's end.
    const bool endsAfterMarker = end.endsMarked && trailer + kUtf8NamesMarker.size() == bytes.size();
    // (A geometry of another kind has no body, and nothing after it is read.)
    const bool hasBody = isFatKind(geo.GeometryKind) || ntfs;
    if (whole && hasBody && trailer < bytes.size() && !endsAfterMarker) {
        whole = false;
        damage = damaged(SnapshotDamage::EndsInsideTrailers, trailer);
    } else if (whole && (end.thoroughTag || thoroughTrailers) && !endsAfterMarker) {
        whole = false;
        damage = damaged(SnapshotDamage::EndsBeforeThoroughMark, trailer);
    }
    // The names' encoding is what the file says: its tag, its marker, or a
    // trailer only a thorough scan writes; never guessed from how it ends.
    cat.NamesAreUtf8 = end.thoroughTag || (end.trustMarker && (endsAfterMarker || thoroughTrailers));
    cat.DeepSearched = cat.DeepSearched && cat.NamesAreUtf8 && whole;
}

DecodeResult decode(disk::ByteSpan bytes, SnapshotContent& out, bool trustMarker)
{
    Cursor cursor(bytes);

    // The tag: shown as text up to a zero byte when it is not ours.
    const ByteSpan tag = bytes.first(std::min(bytes.size(), kTag.size()));
    if (!HasSnapshotTag(tag)) {
        std::string shown;
        for (const std::byte b : tag) {
            if (b == std::byte{0})
                break;
            shown.push_back(std::to_integer<char>(b));
        }
        return {DecodeStatus::Refused, std::string(kBadTagMessage) + shown, {}};
    }
    // The thorough tag's case says, at the start, that the file ends with the
    // names marker: what its end holds is then checked, never taken on trust.
    const bool thoroughTag = std::equal(kThoroughTag.begin(), kThoroughTag.end(), tag.begin(), tag.end(),
                                        [](char a, std::byte b) { return std::byte(a) == b; });
    cursor.takeBytes(kTag.size());
    const auto version = cursor.takeBytes(kVersion.size());
    if (!version || !equalsIgnoringCase(*version, kVersion))
        return {DecodeStatus::Refused, std::string(kBadVersionMessage), {}};

    // Volume description and geometry block: damage here refuses the whole file.
    SnapshotContent c;
    auto refuse = [&](SnapshotDamage what, std::uint64_t value = 0, std::uint64_t limit = 0) {
        DamageNote note = damaged(what, cursor.position());
        note.value = value;
        note.limit = limit;
        return DecodeResult{DecodeStatus::Refused, damageMessage(note), note};
    };
    const auto kind = cursor.take(2);
    const auto pathLength = cursor.take(2);
    if (!kind || !pathLength)
        return refuse(SnapshotDamage::EndsInsideVolume);
    if (*pathLength > kMaxDevicePathLength)
        return refuse(SnapshotDamage::DevicePathTooLong, *pathLength, kMaxDevicePathLength);
    const auto path = cursor.takeBytes(static_cast<std::size_t>(*pathLength));
    const auto clusterSectors = path ? cursor.take(4) : std::nullopt;
    const auto sectors = clusterSectors ? cursor.take(8) : std::nullopt;
    const auto supported = sectors ? cursor.take(1) : std::nullopt;
    const auto labelLength = supported ? cursor.take(2) : std::nullopt;
    if (!labelLength)
        return refuse(SnapshotDamage::EndsInsideVolume);
    if (*labelLength > kMaxVolumeLabelLength)
        return refuse(SnapshotDamage::LabelTooLong, *labelLength, kMaxVolumeLabelLength);
    const auto label = cursor.takeBytes(static_cast<std::size_t>(*labelLength));
    if (!label)
        return refuse(SnapshotDamage::EndsInsideLabel);
    const auto block = cursor.takeBytes(kGeometryBlockSize);
    if (!block)
        return refuse(SnapshotDamage::EndsInsideGeometry);

    c.info.FileSystemKind = static_cast<std::uint16_t>(*kind);
    c.info.DevicePath = toText(*path);
    c.info.VolumeClusterSectors = static_cast<std::uint32_t>(*clusterSectors);
    c.info.VolumeSectors = *sectors;
    c.info.VolumeSupported = static_cast<std::uint8_t>(*supported);
    c.info.VolumeLabel = toText(*label);

    readGeometry(ByteReader(*block), c.partition, c.geometry);
    auto& geo = c.geometry;
    if (geo.GeometryKind == disk::VolumeKind::Exfat)
        return {DecodeStatus::Refused, "The snapshot names an exFAT volume; exFAT snapshots are not supported", {}};

    // The body: entries are added as records prove whole; the first damaged
    // record ends the load with what came before it.
    auto& cat = c.catalogue;
    cat.ClearFatCatalogue();
    cat.ClearNtfsCatalogue();
    // The marker sits at the very end; it counts only where the body ends right before it.
    const bool endsMarked =
        bytes.size() >= kUtf8NamesMarker.size() &&
        std::equal(kUtf8NamesMarker.begin(), kUtf8NamesMarker.end(), bytes.last(kUtf8NamesMarker.size()).begin(),
                   [](char a, std::byte b) { return std::byte(a) == b; });
    const bool marked = thoroughTag || (trustMarker && endsMarked);
    const std::size_t maxName = marked ? kMaxUtf8NameLength : kMaxNameLength;
    DamageNote damage;
    bool whole = true;
    const auto addFatFolder = [&](const Record& r) {
        const ByteReader f = fieldsAfterName(r, 0);
        cat.AddFatFolder(nameAt(r, 0), f.u32or0(0), f.u32or0(4), f.u16or0(8), f.u16or0(10), 0, f.u8or0(12));
    };
    const auto addFatFile = [&](const Record& r) {
        const ByteReader f = fieldsAfterName(r, 0);
        cat.AddFatFile(nameAt(r, 0), f.u32or0(0), f.u32or0(4), f.u16or0(8), f.u16or0(10), f.u32or0(12), f.u8or0(16));
        // the stored ordinal after the deleted flag is not used: AddFatFile numbers files in order
    };
    const auto addNtfsFolder = [&](const Record& r) {
        const ByteReader f = fieldsAfterName(r, 0);
        cat.AddNtfsFolder(nameAt(r, 0), f.u32or0(0), f.u32or0(4), f.u64or0(8), f.u64or0(16), 0, f.u8or0(24));
    };
    const auto addNtfsFile = [&](const Record& r) {
        // The sector of the file's MFT record comes before the name.
        const ByteReader f = fieldsAfterName(r, 4);
        cat.AddNtfsFile(r.bytes.u32or0(0), nameAt(r, 4), f.u32or0(0), f.u32or0(4), f.u64or0(8), f.u64or0(16),
                        f.u8or0(24), f.u64or0(25));
    };
    if (isFatKind(geo.GeometryKind))
        whole = readList(cursor, true, kFatFolderFixed, maxName, addFatFolder, damage) &&
                readList(cursor, false, kFatFileFixed, maxName, addFatFile, damage);
    else if (geo.GeometryKind == disk::VolumeKind::Ntfs)
        whole = readList(cursor, true, kNtfsFolderFixed, maxName, addNtfsFolder, damage) &&
                readList(cursor, false, kNtfsFileFixed, maxName, addNtfsFile, damage);
    // After the records: the trailers, then the end.
    const EndFacts end{thoroughTag, trustMarker, endsMarked};
    readTrailersAndEnd(bytes, cursor.position(), end, c, whole, damage);
    out = std::move(c);
    if (!whole)
        return {DecodeStatus::Damaged, damageMessage(damage), damage};
    return {DecodeStatus::Loaded, {}, {}};
}

bool hasLongName(const catalogue::Catalogue& c)
{
    const auto isLong = [](const auto& e) { return e.name.size() > kMaxNameLength; };
    return std::any_of(c.fsLists().FatFolderList.begin(), c.fsLists().FatFolderList.end(), isLong) ||
           std::any_of(c.fsLists().FatFileList.begin(), c.fsLists().FatFileList.end(), isLong) ||
           std::any_of(c.fsLists().NtfsFolderList.begin(), c.fsLists().NtfsFolderList.end(), isLong) ||
           std::any_of(c.fsLists().NtfsFileList.begin(), c.fsLists().NtfsFileList.end(), isLong);
}

} // namespace

std::optional<std::string> DecodeSnapshotDevicePath(disk::ByteSpan head)
{
    Cursor cursor(head);
    const auto tag = cursor.takeBytes(kTag.size());
    const auto version = tag ? cursor.takeBytes(kVersion.size()) : std::nullopt;
    if (!tag || !HasSnapshotTag(*tag) || !version || !equalsIgnoringCase(*version, kVersion) || !cursor.take(2))
        return std::nullopt;
    const auto pathLength = cursor.take(2);
    if (!pathLength || *pathLength > kMaxDevicePathLength)
        return std::nullopt;
    const auto path = cursor.takeBytes(static_cast<std::size_t>(*pathLength));
    if (!path)
        return std::nullopt;
    return toText(*path);
}

std::string damageMessage(const DamageNote& note)
{
    const std::string list = note.folders ? "folder" : "file";
    const std::string record = list + " record " + std::to_string(note.index) + " of " + std::to_string(note.count);
    const std::string value = std::to_string(note.value);
    const std::string limit = std::to_string(note.limit);
    std::string what;
    switch (note.what) {
    case SnapshotDamage::None:
        return {};
    case SnapshotDamage::EndsBeforeRecord:
        what = "the file ends before " + record;
        break;
    case SnapshotDamage::RecordTooShort:
        what = record + " has length " + value + ", less than the " + limit + " bytes of its fixed part";
        break;
    case SnapshotDamage::RecordNameTooLong:
        what = record + " has a name of " + value + " characters (at most " + limit + ")";
        break;
    case SnapshotDamage::EndsInsideRecord:
        what = "the file ends inside " + record;
        break;
    case SnapshotDamage::EndsBeforeCount:
        what = "the file ends before the " + list + " count";
        break;
    case SnapshotDamage::CarvedListDamaged:
        what = "the list of files found by their content is damaged";
        break;
    case SnapshotDamage::StreamListDamaged:
        what = "the list of named streams is damaged";
        break;
    case SnapshotDamage::EndsInsideLosses:
        what = "the file ends inside the record of what its scan could not read";
        break;
    case SnapshotDamage::EndsInsideTrailers:
        what = "the file ends inside the trailers after its records";
        break;
    case SnapshotDamage::EndsBeforeThoroughMark:
        what = "the file ends before the mark that closes a thorough scan's snapshot";
        break;
    case SnapshotDamage::EndsInsideVolume:
        what = "the file ends inside the volume description";
        break;
    case SnapshotDamage::DevicePathTooLong:
        what = "the device path is " + value + " characters long (at most " + limit + ")";
        break;
    case SnapshotDamage::LabelTooLong:
        what = "the volume label is " + value + " characters long (at most " + limit + ")";
        break;
    case SnapshotDamage::EndsInsideLabel:
        what = "the file ends inside the volume label";
        break;
    case SnapshotDamage::EndsInsideGeometry:
        what = "the file ends inside the geometry block";
        break;
    }
    return std::string(kDamagedMessage) + what + " (at byte " + std::to_string(note.offset) + ")";
}

DecodeResult DecodeSnapshot(disk::ByteSpan bytes, SnapshotContent& out)
{
    // The marker widens names only when it proves to end a whole body; a file
    // that merely ends with its bytes is read again with 8-bit names, so that
    // what loads always fits the format again.
    DecodeResult result = decode(bytes, out, true);
    if (!out.catalogue.NamesAreUtf8 && hasLongName(out.catalogue))
        result = decode(bytes, out, false);
    return result;
}

std::string SnapshotPath(std::string_view chosen, bool caseSensitiveFileSystem)
{
    std::string path(chosen);
    std::size_t nameStart = 0;
    if (caseSensitiveFileSystem) {
        const std::size_t slash = path.find_last_of('/');
        nameStart = slash == std::string::npos ? 0 : slash + 1;
    }
    for (std::size_t i = nameStart; i < path.size(); ++i)
        path[i] = asciiUpper(path[i]);
    const std::string_view name = std::string_view(path).substr(nameStart);
    if (name.size() < kExtension.size() || name.substr(name.size() - kExtension.size()) != kExtension)
        path += kExtension;
    return path;
}

std::vector<std::string> GeometryDifferences(const disk::VolumeGeometry& snapshot, const disk::VolumeGeometry& found,
                                             bool foundSupported)
{
    std::vector<std::string> lines;
    if (!foundSupported) {
        lines.push_back("no FAT12, FAT16, FAT32 or NTFS volume was found there");
        return lines;
    }
    auto name = [](std::uint16_t kind) {
        const std::string n = disk::fileSystemName(kind);
        return n.empty() ? "kind " + std::to_string(kind) : n;
    };
    if (snapshot.GeometryKind != found.GeometryKind)
        lines.push_back("file system: snapshot " + name(snapshot.GeometryKind) + ", volume " +
                        name(found.GeometryKind));
    auto compare = [&](const char* field, auto a, auto b) {
        if (a != b)
            lines.push_back(std::string(field) + ": snapshot " + std::to_string(a) + ", volume " + std::to_string(b));
    };
    compare("sectors per cluster", snapshot.SectorsPerCluster, found.SectorsPerCluster);
    compare("cluster base sector", snapshot.ClusterBaseSector, found.ClusterBaseSector);
    if (isFatKind(snapshot.GeometryKind)) {
        compare("first FAT sector", snapshot.FirstFatSector, found.FirstFatSector);
        compare("second FAT sector", snapshot.SecondFatSector, found.SecondFatSector);
        compare("sectors per FAT", snapshot.FatSectors, found.FatSectors);
    } else if (snapshot.GeometryKind == disk::VolumeKind::Ntfs) {
        compare("MFT start sector", snapshot.MftStartSector, found.MftStartSector);
        compare("MFT record sectors", snapshot.MftRecordSectors, found.MftRecordSectors);
    }
    return lines;
}

} // namespace sarvik::snapshot
