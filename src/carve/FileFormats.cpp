#include "carve/FileFormats.h"

#include <array>

namespace sarvik::carve {

namespace {

struct TypeEntry {
    FileType type;
    std::string_view name;
    WalkResult (*walk)(CarveStream&);
};

// In the order of FileType: looked up by the type's value.
constexpr std::array<TypeEntry, kFileTypeCount> kTypes{{
    {FileType::Jpeg, "jpg", walkJpeg},
    {FileType::Png, "png", walkPng},
    {FileType::Gif, "gif", walkGif},
    {FileType::Pdf, "pdf", walkPdf},
    {FileType::Zip, "zip", walkZip},
    {FileType::Mp4, "mp4", walkMp4},
    {FileType::Tiff, "tif", walkTiff},
    {FileType::Sqlite, "sqlite", walkSqlite},
    {FileType::Text, "txt", walkText},
}};
static_assert([] {
    for (std::size_t i = 0; i < kTypes.size(); ++i)
        if (static_cast<std::size_t>(kTypes[i].type) != i)
            return false;
    return true;
}());

struct Signature {
    FileType type;
    std::string_view start;
};

// Signatures at a file's first byte, in the order they are tried.
constexpr std::array<Signature, 9> kSignatures{{
    {FileType::Jpeg, {"\xFF\xD8\xFF", 3}},
    {FileType::Png, {"\x89PNG\r\n\x1A\n", 8}},
    {FileType::Gif, "GIF89a"},
    {FileType::Gif, "GIF87a"},
    {FileType::Pdf, "%PDF-"},
    {FileType::Zip, kZipLocalHeader},
    {FileType::Tiff, {"II*\0", 4}}, // little-endian
    {FileType::Tiff, {"MM\0*", 4}}, // big-endian
    {FileType::Sqlite, {"SQLite format 3\0", 16}},
}};
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
    if (name == "text")
        return FileType::Text;
    return std::nullopt;
}

std::optional<FileType> typeAt(disk::ByteSpan head, std::span<const bool, kFileTypeCount> wanted)
{
    const disk::ByteReader r(head);
    auto want = [&wanted](FileType t) { return wanted[static_cast<std::size_t>(t)]; };
    for (const Signature& signature : kSignatures)
        if (want(signature.type) && r.equals(0, signature.start))
            return signature.type;
    if (want(FileType::Mp4) && r.equals(kFtypTypeOffset, "ftyp")) {
        const std::uint32_t size = (std::uint32_t{r.u8or0(0)} << 24) | (std::uint32_t{r.u8or0(1)} << 16) |
                                   (std::uint32_t{r.u8or0(2)} << 8) | r.u8or0(3);
        if (size >= kFtypMinSize && size <= kFtypMaxSize)
            return FileType::Mp4;
    }
    // Last: every format above starts with bytes that are not text.
    if (want(FileType::Text) && head.size() >= kSignatureBytes && looksLikeTextStart(head.first(kSignatureBytes)))
        return FileType::Text;
    return std::nullopt;
}

WalkResult walkFile(FileType type, CarveStream& stream)
{
    const auto i = static_cast<std::size_t>(type);
    if (i >= kTypes.size())
        return {};
    WalkResult result = kTypes[i].walk(stream);
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
