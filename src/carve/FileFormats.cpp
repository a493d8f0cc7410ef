#include "carve/FileFormats.h"

#include <array>

namespace sarvik::carve {

namespace {

struct TypeEntry {
    FileType type;
    std::string_view name;
};

constexpr std::array<TypeEntry, kFileTypeCount> kTypes{{
    {FileType::Jpeg, "jpg"},
    {FileType::Png, "png"},
    {FileType::Gif, "gif"},
    {FileType::Pdf, "pdf"},
    {FileType::Zip, "zip"},
    {FileType::Mp4, "mp4"},
    {FileType::Tiff, "tif"},
    {FileType::Sqlite, "sqlite"},
}};

// Signatures at a file's first byte.
constexpr std::string_view kJpegStart{"\xFF\xD8\xFF", 3};
constexpr std::string_view kPngStart{"\x89PNG\r\n\x1A\n", 8};
constexpr std::string_view kGif87{"GIF87a"};
constexpr std::string_view kGif89{"GIF89a"};
constexpr std::string_view kPdfStart{"%PDF-"};
constexpr std::string_view kTiffLittle{"II*\0", 4};
constexpr std::string_view kTiffBig{"MM\0*", 4};
constexpr std::string_view kSqliteStart{"SQLite format 3\0", 16};
// MP4/MOV: the first box is "ftyp" (its type at byte 4), a few dozen bytes long.
constexpr std::uint64_t kFtypTypeOffset = 4;
constexpr std::uint32_t kFtypMinSize = 16;
constexpr std::uint32_t kFtypMaxSize = 4096;

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

} // namespace

std::string_view typeName(FileType type) noexcept
{
    return kTypes[static_cast<std::size_t>(type)].name;
}

std::optional<FileType> typeByName(std::string_view name) noexcept
{
    for (const auto& t : kTypes)
        if (t.name == name)
            return t.type;
    if (name == "jpeg")
        return FileType::Jpeg;
    if (name == "mov")
        return FileType::Mp4;
    if (name == "tiff" || name == "raw")
        return FileType::Tiff;
    return std::nullopt;
}

std::optional<FileType> typeAt(disk::ByteSpan head, std::span<const bool, kFileTypeCount> wanted)
{
    const disk::ByteReader r(head);
    auto want = [&wanted](FileType t) { return wanted[static_cast<std::size_t>(t)]; };
    if (want(FileType::Jpeg) && r.equals(0, kJpegStart))
        return FileType::Jpeg;
    if (want(FileType::Png) && r.equals(0, kPngStart))
        return FileType::Png;
    if (want(FileType::Gif) && (r.equals(0, kGif89) || r.equals(0, kGif87)))
        return FileType::Gif;
    if (want(FileType::Pdf) && r.equals(0, kPdfStart))
        return FileType::Pdf;
    if (want(FileType::Zip) && r.equals(0, kZipLocalHeader))
        return FileType::Zip;
    if (want(FileType::Tiff) && (r.equals(0, kTiffLittle) || r.equals(0, kTiffBig)))
        return FileType::Tiff;
    if (want(FileType::Sqlite) && r.equals(0, kSqliteStart))
        return FileType::Sqlite;
    if (want(FileType::Mp4) && r.equals(kFtypTypeOffset, "ftyp")) {
        const std::uint32_t size = (std::uint32_t{r.u8or0(0)} << 24) | (std::uint32_t{r.u8or0(1)} << 16) |
                                   (std::uint32_t{r.u8or0(2)} << 8) | r.u8or0(3);
        if (size >= kFtypMinSize && size <= kFtypMaxSize)
            return FileType::Mp4;
    }
    return std::nullopt;
}

namespace {

WalkResult walkType(FileType type, CarveStream& stream)
{
    switch (type) {
    case FileType::Jpeg:
        return walkJpeg(stream);
    case FileType::Png:
        return walkPng(stream);
    case FileType::Gif:
        return walkGif(stream);
    case FileType::Pdf:
        return walkPdf(stream);
    case FileType::Zip:
        return walkZip(stream);
    case FileType::Mp4:
        return walkMp4(stream);
    case FileType::Tiff:
        return walkTiff(stream);
    case FileType::Sqlite:
        return walkSqlite(stream);
    }
    return {};
}

} // namespace

WalkResult walkFile(FileType type, CarveStream& stream)
{
    WalkResult result = walkType(type, stream);
    // A walk that broke off where its structure pointed past the bytes held
    // only what is there; one that ends past them is not whole.
    if (result.status != WalkStatus::NotThisType && result.length > stream.limit()) {
        result.status = WalkStatus::Incomplete;
        result.length = stream.limit();
    }
    if (result.status != WalkStatus::NotThisType && result.length == 0)
        return {};
    return result;
}

std::uint32_t crc32(disk::ByteSpan bytes, std::uint32_t crc) noexcept
{
    crc = ~crc;
    for (const std::byte b : bytes)
        crc = kCrcTable[(crc ^ std::to_integer<std::uint32_t>(b)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace sarvik::carve
