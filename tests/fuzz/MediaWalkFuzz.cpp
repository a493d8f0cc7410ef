// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the walkers of streams checked by CRCs and of
// containers of chained blocks (Ogg, FLAC, RAR 5, 7z, MP3, transport streams,
// Matroska): random bytes rarely get past a CRC, so the input is read as a
// recipe, and the file it builds has every CRC right and every length taken
// from the input, however bogus. The file is then cut, and walked with and
// without other files' starts looked for. No walk may crash, read outside
// its bytes or give a length past them; the same bytes walk the same way.

#include "carve/Carver.h"
#include "carve/FileFormats.h"
#include "disk/BlockSource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace sarvik;

namespace {

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "media walk: broken rule: %s\n", why);
    std::abort();
}

/// The recipe: bytes taken one after another, zeros once it runs out.
class Recipe {
public:
    Recipe(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::uint32_t word() { return static_cast<std::uint32_t>(byte()) << 8 | byte(); }
    bool more() const { return m_at < m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

using Bytes = std::vector<std::byte>;

void push(Bytes& b, std::uint64_t v, unsigned width, bool bigEndian)
{
    for (unsigned i = 0; i < width; ++i) {
        const unsigned shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
        b.push_back(static_cast<std::byte>((v >> shift) & 0xFF));
    }
}
void text(Bytes& b, std::string_view t)
{
    for (const char c : t)
        b.push_back(static_cast<std::byte>(c));
}
void payload(Bytes& b, Recipe& r, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        b.push_back(static_cast<std::byte>(r.byte()));
}

std::uint32_t crcMsb(const std::byte* p, std::size_t n, std::uint32_t polynomial, unsigned width)
{
    const std::uint32_t top = std::uint32_t{1} << (width - 1);
    const std::uint32_t mask = width == 32 ? 0xFFFFFFFFu : (top << 1) - 1;
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= std::to_integer<std::uint32_t>(p[i]) << (width - 8);
        for (int k = 0; k < 8; ++k)
            crc = (crc & top) != 0 ? ((crc << 1) ^ polynomial) & mask : (crc << 1) & mask;
    }
    return crc;
}

void ogg(Bytes& b, Recipe& r)
{
    for (std::uint32_t page = 0; r.more() && page < 64; ++page) {
        const std::size_t start = b.size();
        text(b, "OggS");
        b.push_back(std::byte{0});
        b.push_back(static_cast<std::byte>(page == 0 ? 0x02 : r.byte() & 0x07));
        push(b, r.word(), 8, false);
        push(b, r.byte() & 1, 4, false); // serial 0 or 1
        push(b, page, 4, false);
        push(b, 0, 4, false);
        const std::uint8_t segments = r.byte() % 8;
        b.push_back(static_cast<std::byte>(segments));
        std::size_t body = 0;
        for (std::uint8_t i = 0; i < segments; ++i) {
            const std::uint8_t n = r.byte();
            b.push_back(static_cast<std::byte>(n));
            body += n;
        }
        payload(b, r, body);
        const std::uint32_t crc = crcMsb(b.data() + start, b.size() - start, 0x04C11DB7, 32);
        for (unsigned i = 0; i < 4; ++i)
            b[start + 22 + i] = static_cast<std::byte>(crc >> (8 * i));
    }
}

void flac(Bytes& b, Recipe& r)
{
    text(b, "fLaC");
    push(b, 0x80000022u, 4, true);
    payload(b, r, 34);
    for (int frame = 0; r.more() && frame < 64; ++frame) {
        const std::size_t start = b.size();
        push(b, 0xFFF8 | (r.byte() & 1), 2, true);
        b.push_back(static_cast<std::byte>(r.byte()));
        b.push_back(static_cast<std::byte>(r.byte() & 0xFE));
        b.push_back(static_cast<std::byte>(frame & 0x7F));
        payload(b, r, r.byte() % 4); // block size or sample rate bytes, as the codes may ask
        b.push_back(static_cast<std::byte>(crcMsb(b.data() + start, b.size() - start, 0x07, 8)));
        payload(b, r, r.word() % 2048);
        push(b, crcMsb(b.data() + start, b.size() - start, 0x8005, 16), 2, true);
    }
}

void rar5(Bytes& b, Recipe& r)
{
    text(b, std::string_view("Rar!\x1A\x07\x01\x00", 8));
    for (int block = 0; r.more() && block < 64; ++block) {
        Bytes header;
        header.push_back(static_cast<std::byte>(r.byte() % 6)); // type
        const std::uint8_t flags = r.byte() & 3;
        header.push_back(static_cast<std::byte>(flags));
        if ((flags & 1) != 0)
            header.push_back(static_cast<std::byte>(r.byte() & 0x7F)); // extra size
        const std::uint8_t data = r.byte() & 0x7F;
        if ((flags & 2) != 0)
            header.push_back(static_cast<std::byte>(data));
        payload(header, r, r.byte() % 16);
        Bytes sized{static_cast<std::byte>(header.size())};
        sized.insert(sized.end(), header.begin(), header.end());
        push(b, carve::crc32(sized), 4, false);
        b.insert(b.end(), sized.begin(), sized.end());
        if ((flags & 2) != 0)
            payload(b, r, data);
    }
}

void sevenZip(Bytes& b, Recipe& r)
{
    text(b, std::string_view("7z\xBC\xAF\x27\x1C\x00\x04", 8));
    const std::uint64_t packed = r.word();
    const std::uint64_t headerSize = r.byte();
    Bytes header;
    payload(header, r, headerSize);
    Bytes start;
    push(start, packed, 8, false);
    push(start, headerSize, 8, false);
    push(start, carve::crc32(header), 4, false);
    push(b, carve::crc32(start), 4, false);
    b.insert(b.end(), start.begin(), start.end());
    payload(b, r, packed);
    b.insert(b.end(), header.begin(), header.end());
}

void mp3(Bytes& b, Recipe& r)
{
    if ((r.byte() & 1) != 0) {
        text(b, "ID3\x03");
        push(b, 0, 2, true);
        push(b, r.byte() & 0x7F, 4, true);
        payload(b, r, std::to_integer<std::size_t>(b.back()));
    }
    for (int frame = 0; r.more() && frame < 64; ++frame) {
        const std::uint32_t header = 0xFFE00000u | (std::uint32_t{r.byte()} << 12) | (std::uint32_t{r.byte()} << 4);
        push(b, header, 4, true);
        const std::uint32_t n = carve::mpegAudioFrameBytes(header);
        payload(b, r, n >= 4 ? n - 4 : r.byte());
    }
}

void transport(Bytes& b, Recipe& r)
{
    const bool m2ts = (r.byte() & 1) != 0;
    for (int packet = 0; r.more() && packet < 256; ++packet) {
        if (m2ts)
            push(b, r.word(), 4, true);
        push(b, packet == 0 ? 0x47400010u : 0x47000010u | r.word(), 4, true);
        payload(b, r, r.byte() == 0 ? 100 : 184); // now and then a short packet
    }
}

void matroska(Bytes& b, Recipe& r)
{
    push(b, 0x1A45DFA3, 4, true);
    b.push_back(std::byte{0x88});
    push(b, 0x4282, 2, true);
    b.push_back(std::byte{0x85});
    text(b, (r.byte() & 1) != 0 ? "webm\0" : "mkv\0\0");
    push(b, 0x18538067, 4, true);
    if ((r.byte() & 1) != 0) {
        b.push_back(std::byte{0xFF}); // unknown size: the children follow
    } else {
        push(b, 0x0100000000000000ull | r.word(), 8, true);
    }
    for (int child = 0; r.more() && child < 64; ++child) {
        push(b, r.byte() < 200 ? 0x1F43B675u : r.word(), 4, true);
        const std::uint32_t n = r.word() & 0x3FFF;
        push(b, 0x4000u | n, 2, true);
        payload(b, r, n % 3000);
    }
}

void check(const carve::WalkResult& r, std::uint64_t limit)
{
    if (r.status != carve::WalkStatus::NotThisType && (r.length == 0 || r.length > limit))
        fail("a walk gives a length outside its bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    Recipe recipe(data + 3, size - 3);
    Bytes file;
    switch (data[0] % 7) {
    case 0:
        ogg(file, recipe);
        break;
    case 1:
        flac(file, recipe);
        break;
    case 2:
        rar5(file, recipe);
        break;
    case 3:
        sevenZip(file, recipe);
        break;
    case 4:
        mp3(file, recipe);
        break;
    case 5:
        transport(file, recipe);
        break;
    default:
        matroska(file, recipe);
        break;
    }
    // Cut somewhere (or not), then a few bytes of what follows the file.
    const std::size_t cut = data[1] == 0 ? file.size() : file.size() * data[1] / 256;
    file.resize(cut);
    file.resize(cut + data[2] % 64, std::byte{data[2]});
    const disk::MemoryBlockSource source(file);
    const auto all = carve::allFileTypes();
    const auto type = carve::typeAt(disk::ByteSpan(file).first(std::min(file.size(), carve::kSignatureBytes)), all);
    if (type) {
        for (const std::uint64_t unit : {std::uint64_t{0}, std::uint64_t{512}}) {
            carve::CarveStream first(source, 0, source.size());
            carve::CarveStream again(source, 0, source.size());
            if (unit != 0) {
                first.setStarts(unit, all);
                again.setStarts(unit, all);
            }
            const carve::WalkResult a = carve::walkFile(*type, first);
            const carve::WalkResult b = carve::walkFile(*type, again);
            check(a, source.size());
            if (a.status != b.status || a.length != b.length || a.extension != b.extension)
                fail("the same bytes walk two ways");
        }
    }
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    const carve::Extent whole{0, source.size()};
    carve::CarveOptions options;
    options.blockBytes = 4096;
    options.joinUnits = 4;
    for (const auto& f : carve::Carve(source, {&whole, 1}, options, quiet, control).files)
        if (f.offset % 512 != 0 || f.length == 0 || f.offset + f.length > source.size())
            fail("a carved file lies outside the source or off a unit");
    return 0;
}
