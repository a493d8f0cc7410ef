// SPDX-License-Identifier: GPL-3.0-or-later
// Walkers of what cameras, phones and recorders write besides JPEG and MP4:
// Fujifilm raw, RIFF (AVI, WAV, WebP), MPEG transport streams, MP3, FLAC, Ogg
// and Matroska/WebM. Formats that say their length (RIFF, RAF, Matroska) end
// there; the streams that do not (MP3, transport streams, FLAC without a sample
// count) end where their frames or packets stop, and never past the next
// file's start (otherFileStartsAt).

#include "carve/FileFormats.h"
#include "carve/WalkResults.h"

#include <algorithm>
#include <array>
#include <set>

namespace sarvik::carve {

namespace {

// ---- RAF: a 0x94-byte header, then an embedded JPEG, a metadata block and the
// sensor data, each named by a big-endian (offset, length) pair. Cameras with
// two sensor readouts add a second (metadata, sensor data) pair that starts
// where the first pieces end.
constexpr std::uint64_t kRafHeaderBytes = 0x94;
constexpr std::array<std::uint64_t, 3> kRafPieces{0x54, 0x5C, 0x64};
constexpr std::array<std::uint64_t, 2> kRafFollowingPieces{0x78, 0x80};

// ---- RIFF: "RIFF", a little-endian size of what follows, the form type, then
// chunks (RF64: the sizes past 4 GiB in a "ds64" chunk first).
constexpr std::uint64_t kRiffHeaderBytes = 8;

bool isChunkIdByte(std::uint8_t c)
{
    return c >= 0x20 && c < 0x7F;
}

// ---- MPEG transport stream packets.
constexpr std::uint64_t kTsPacketBytes = 188;
constexpr std::uint64_t kM2tsPacketBytes = 192;
constexpr std::uint8_t kTsSync = 0x47;
/// Packets whose sync byte must be in place before a stream is taken as one.
constexpr std::uint64_t kTsMinPackets = 16;

// ---- MP3.
constexpr std::uint64_t kId3HeaderBytes = 10;
constexpr std::uint64_t kId3v1Bytes = 128;
/// Frames in a row, of one version, layer and sample rate, that make a stream
/// without a tag an MP3 (a frame header alone is too easily met in other bytes).
constexpr std::uint32_t kMp3MinBareFrames = 6;
constexpr std::uint32_t kMp3SameStream = 0xFFFE0C00; // sync, version, layer, sample rate
/// Zeros a tagger may leave between the tag and the first frame.
constexpr std::uint64_t kMp3MaxTagPadding = 4096;

// ---- FLAC.
constexpr std::uint64_t kFlacMetadataHeaderBytes = 4;
constexpr std::uint8_t kFlacLastBlock = 0x80;
constexpr std::uint8_t kFlacInvalidBlock = 0x7F;
constexpr std::uint64_t kFlacStreamInfoBytes = 34;
/// The most a frame is searched for its end when STREAMINFO gives no bound.
constexpr std::uint64_t kFlacMaxFrameBytes = std::uint64_t{16} << 20;

// ---- Ogg.
constexpr std::uint64_t kOggHeaderBytes = 27;
constexpr std::uint8_t kOggBos = 0x02;
constexpr std::uint8_t kOggEos = 0x04;

// ---- EBML (Matroska, WebM).
constexpr std::uint32_t kEbmlId = 0x1A45DFA3;
constexpr std::uint32_t kDocTypeId = 0x4282;
constexpr std::uint32_t kSegmentId = 0x18538067;
constexpr std::array<std::uint32_t, 10> kSegmentChildren{0x114D9B74, 0x1549A966, 0x1654AE6B, 0x1F43B675, 0x1C53BB6B,
                                                         0x1941A469, 0x1043A770, 0x1254C367, 0xEC,       0xBF};

constexpr std::array<std::uint32_t, 256> makeTable(std::uint32_t polynomial, unsigned width)
{
    std::array<std::uint32_t, 256> table{};
    const std::uint32_t top = std::uint32_t{1} << (width - 1);
    const std::uint32_t mask = width == 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << width) - 1;
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n << (width - 8);
        for (int k = 0; k < 8; ++k)
            c = (c & top) != 0 ? ((c << 1) ^ polynomial) & mask : (c << 1) & mask;
        table[n] = c;
    }
    return table;
}
// Most-significant-bit-first CRCs: FLAC's CRC-8 and CRC-16, Ogg's CRC-32.
constexpr std::array<std::uint32_t, 256> kCrc8 = makeTable(0x07, 8);
constexpr std::array<std::uint32_t, 256> kCrc16 = makeTable(0x8005, 16);
constexpr std::array<std::uint32_t, 256> kOggCrc = makeTable(0x04C11DB7, 32);

std::uint64_t be32(const disk::ByteReader& r, std::uint64_t at)
{
    return (std::uint64_t{r.u8or0(at)} << 24) | (std::uint64_t{r.u8or0(at + 1)} << 16) |
           (std::uint64_t{r.u8or0(at + 2)} << 8) | r.u8or0(at + 3);
}

std::uint32_t crcMsb(const std::array<std::uint32_t, 256>& table, unsigned width, disk::ByteSpan bytes,
                     std::uint32_t crc = 0)
{
    const std::uint32_t mask = width == 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << width) - 1;
    for (const std::byte b : bytes)
        crc = ((crc << 8) ^ table[((crc >> (width - 8)) ^ std::to_integer<std::uint32_t>(b)) & 0xFF]) & mask;
    return crc;
}

// ---- MP3: ID3v2 tag, frames, an optional ID3v1 tag.
struct Mp3Walk {
    CarveStream& s;
    std::uint64_t pos = 0;
    bool tagged = false;

    /// The offset after the ID3v2 tag (and the zeros after it), or 0 without one.
    std::optional<std::uint64_t> skipTag()
    {
        const auto header = s.bytes(0, kId3HeaderBytes);
        if (!header || !header->equals(0, "ID3"))
            return 0;
        std::uint64_t size = 0;
        for (std::uint64_t i = 6; i < 10; ++i) {
            if ((header->u8or0(i) & 0x80) != 0)
                return std::nullopt;
            size = (size << 7) | header->u8or0(i);
        }
        const bool footer = header->u8or0(3) == 4 && (header->u8or0(5) & 0x10) != 0;
        std::uint64_t at = kId3HeaderBytes + size + (footer ? kId3HeaderBytes : 0);
        for (std::uint64_t n = 0; n < kMp3MaxTagPadding && s.u8(at) == 0; ++n)
            ++at;
        tagged = true;
        return at;
    }

    WalkResult run()
    {
        const auto start = skipTag();
        if (!start)
            return {};
        pos = *start;
        std::uint32_t frames = 0;
        std::uint32_t stream = 0;
        bool cut = false;
        for (;;) {
            const auto header = s.be(pos, 4);
            if (!header) {
                cut = true; // the bytes end (or cannot be read) where a frame or the end must be
                break;
            }
            const auto h = static_cast<std::uint32_t>(*header);
            const std::uint32_t length = mpegAudioFrameBytes(h);
            if (length == 0 || (frames != 0 && (h & kMp3SameStream) != stream))
                break;
            if (length > s.limit() - pos || otherFileStartsWithin(s, pos, pos + length, FileType::Mp3)) {
                cut = true;
                break;
            }
            stream = h & kMp3SameStream;
            pos += length;
            ++frames;
        }
        if (frames < (tagged ? 1u : kMp3MinBareFrames)) {
            // A tag with no frame after it: an MP3 whose sound is not there.
            return tagged && frames == 0 ? walk::broken(true, pos, "mp3") : WalkResult{};
        }
        if (cut)
            return walk::broken(true, pos, "mp3");
        if (s.matches(pos, "TAG") && kId3v1Bytes <= s.limit() - pos)
            pos += kId3v1Bytes;
        return walk::whole(pos, "mp3");
    }
};

// ---- FLAC frames: a header checked by its CRC-8, subframes, then a CRC-16 of
// the whole frame. Nothing says a frame's length: it ends where the CRC-16 of
// the bytes before matches the two bytes that follow them, and the next frame
// (or the end of the samples STREAMINFO counts) confirms it.
struct FlacFrameHeader {
    std::uint64_t bytes = 0;   ///< length of the header with its CRC-8
    std::uint32_t samples = 0; ///< block size
};

std::optional<FlacFrameHeader> flacFrameHeader(CarveStream& s, std::uint64_t at)
{
    const auto b = s.bytes(at, std::min<std::uint64_t>(16, s.limit() - std::min(at, s.limit())));
    if (!b || b->size() < 6 || b->u8or0(0) != 0xFF || (b->u8or0(1) & 0xFE) != 0xF8)
        return std::nullopt;
    const std::uint8_t sizeCode = b->u8or0(2) >> 4;
    const std::uint8_t rateCode = b->u8or0(2) & 0x0F;
    const std::uint8_t channels = b->u8or0(3) >> 4;
    const std::uint8_t depthCode = (b->u8or0(3) >> 1) & 7;
    if (sizeCode == 0 || rateCode == 15 || channels > 10 || depthCode == 3 || (b->u8or0(3) & 1) != 0)
        return std::nullopt;
    // The frame or sample number, coded as UTF-8 is (up to 7 bytes).
    std::uint64_t pos = 4;
    const std::uint8_t lead = b->u8or0(pos);
    unsigned extra = 0;
    if ((lead & 0x80) == 0)
        extra = 0;
    else if ((lead & 0xE0) == 0xC0)
        extra = 1;
    else if ((lead & 0xF0) == 0xE0)
        extra = 2;
    else if ((lead & 0xF8) == 0xF0)
        extra = 3;
    else if ((lead & 0xFC) == 0xF8)
        extra = 4;
    else if ((lead & 0xFE) == 0xFC)
        extra = 5;
    else if (lead == 0xFE)
        extra = 6;
    else
        return std::nullopt;
    ++pos;
    for (unsigned i = 0; i < extra; ++i, ++pos)
        if ((b->u8or0(pos) & 0xC0) != 0x80)
            return std::nullopt;
    std::uint32_t samples = 0;
    if (sizeCode == 1)
        samples = 192;
    else if (sizeCode <= 5)
        samples = 576u << (sizeCode - 2);
    else if (sizeCode == 6)
        samples = b->u8or0(pos++) + 1u;
    else if (sizeCode == 7) {
        samples = ((std::uint32_t{b->u8or0(pos)} << 8) | b->u8or0(pos + 1)) + 1u;
        pos += 2;
    } else
        samples = 256u << (sizeCode - 8);
    if (rateCode == 12)
        pos += 1;
    else if (rateCode == 13 || rateCode == 14)
        pos += 2;
    if (!b->has(pos, 1))
        return std::nullopt;
    const auto header = b->sub(0, pos);
    if (!header || crcMsb(kCrc8, 8, *header) != b->u8or0(pos))
        return std::nullopt;
    return FlacFrameHeader{pos + 1, samples};
}

/// The end of the frame at `frame` whose header is `header`: the first place
/// its CRC-16 holds and a frame follows (or, with `last`, anything follows).
/// Nothing when none does within `bound` bytes or the bytes; then, with
/// `maybeLast` (nothing counts the samples), the first place the CRC holds
/// in `lastEnd`.
std::optional<std::uint64_t> flacFrameEnd(CarveStream& s, std::uint64_t frame, const FlacFrameHeader& header,
                                          std::uint64_t bound, bool last, std::optional<std::uint64_t>& lastEnd)
{
    const std::uint64_t limit = std::min(s.limit(), frame + bound);
    std::uint32_t crc = 0;
    // The CRC of [frame, at) is `crc`; the two bytes at `at` are compared with it.
    std::uint64_t at = frame;
    while (at < limit) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(CarveStream::kMaxSpan, limit - at));
        const auto piece = s.bytes(at, n);
        if (!piece)
            return std::nullopt;
        // Copied: the checks below read through the stream, which may move the
        // window `piece` looks into.
        const std::vector<std::byte> bytes(piece->bytes().begin(), piece->bytes().end());
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto value = std::to_integer<std::uint32_t>(bytes[i]);
            const std::uint64_t end = at + i + 1; // the bytes [frame, end) are folded in after this one
            crc = ((crc << 8) ^ kCrc16[((crc >> 8) ^ value) & 0xFF]) & 0xFFFF;
            // The CRC of [frame, end - 2) against the two bytes before `end`:
            // kept as a running CRC of all, the CRC of the message and its own
            // CRC appended is zero.
            if (end < frame + header.bytes + 3 || crc != 0)
                continue;
            if (last || end == s.limit() || flacFrameHeader(s, end))
                return end;
            if (!lastEnd)
                lastEnd = end;
        }
        at += bytes.size();
    }
    return std::nullopt;
}

// ---- EBML variable-size integers.
struct Vint {
    std::uint64_t value = 0;
    unsigned bytes = 0;
    bool unknown = false; ///< a size of all ones: "unknown"
};

/// An element ID (`keepMarker`) or a size at `at`.
std::optional<Vint> vint(CarveStream& s, std::uint64_t at, bool keepMarker)
{
    const auto first = s.u8(at);
    if (!first || *first == 0)
        return std::nullopt;
    unsigned length = 1;
    while ((*first & (0x80 >> (length - 1))) == 0)
        ++length;
    if (keepMarker && length > 4)
        return std::nullopt;
    const auto raw = s.be(at, length);
    if (!raw)
        return std::nullopt;
    const std::uint64_t valueBits = 7 * std::uint64_t{length};
    const std::uint64_t value = keepMarker ? *raw : *raw & ((std::uint64_t{1} << valueBits) - 1);
    Vint v{value, length, false};
    v.unknown = !keepMarker && value == (std::uint64_t{1} << valueBits) - 1;
    return v;
}

/// The DocType named in the EBML header whose body is [from, to).
std::string ebmlDocType(CarveStream& s, std::uint64_t from, std::uint64_t to)
{
    for (std::uint64_t pos = from; pos < to;) {
        const auto id = vint(s, pos, true);
        if (!id)
            return {};
        const auto size = vint(s, pos + id->bytes, false);
        if (!size || size->unknown)
            return {};
        const std::uint64_t data = pos + id->bytes + size->bytes;
        if (id->value == kDocTypeId && size->value < 32) {
            const auto text = s.bytes(data, static_cast<std::size_t>(size->value));
            if (!text)
                return {};
            std::string name;
            for (std::size_t i = 0; i < text->size() && text->u8or0(i) != 0; ++i)
                name.push_back(static_cast<char>(text->u8or0(i)));
            return name;
        }
        pos = data + size->value;
    }
    return {};
}

} // namespace

WalkResult walkRaf(CarveStream& s)
{
    const auto header = s.bytes(0, kRafHeaderBytes);
    if (!header || !header->equals(0, "FUJIFILMCCD-RAW "))
        return {};
    auto piece = [&](std::uint64_t at) {
        const std::uint64_t offset = be32(*header, at);
        const std::uint64_t length = be32(*header, at + 4);
        return std::pair{offset, length};
    };
    std::uint64_t end = kRafHeaderBytes;
    std::set<std::uint64_t> ends;
    for (const std::uint64_t at : kRafPieces) {
        const auto [offset, length] = piece(at);
        if (length == 0)
            continue;
        if (offset < kRafHeaderBytes)
            return {};
        end = std::max(end, offset + length);
        ends.insert(offset + length);
    }
    if (ends.empty())
        return {};
    for (const std::uint64_t at : kRafFollowingPieces) {
        const auto [offset, length] = piece(at);
        if (length != 0 && ends.contains(offset)) {
            end = std::max(end, offset + length);
            ends.insert(offset + length);
        }
    }
    // The embedded JPEG is where the header says.
    const auto [jpeg, jpegLength] = piece(kRafPieces[0]);
    if (jpegLength != 0 && s.be(jpeg, 2).value_or(0xFFD8) != 0xFFD8)
        return walk::broken(true, kRafHeaderBytes, "raf");
    WalkResult result = walk::whole(end, "raf");
    result.time = jpegLength != 0 ? jpegExifTime(s, jpeg) : 0;
    result.timeIsLocal = true;
    return result;
}

WalkResult walkRiff(CarveStream& s)
{
    const auto header = s.bytes(0, 28);
    if (header && header->equals(0, "RF64") && header->equals(8, "WAVEds64")) {
        // A WAV past 4 GiB: the size field is all ones, the "ds64" chunk holds the size.
        const std::uint64_t size = header->u64or0(20);
        if (header->u32or0(4) != 0xFFFFFFFF || header->u32or0(16) < 24 || size < 36)
            return {};
        return walk::whole(kRiffHeaderBytes + size + (size & 1), "wav");
    }
    if (!header || !header->equals(0, "RIFF"))
        return {};
    std::string extension;
    if (header->equals(8, "AVI "))
        extension = "avi";
    else if (header->equals(8, "WAVE"))
        extension = "wav";
    else if (header->equals(8, "WEBP"))
        extension = "webp";
    else
        return {};
    const std::uint64_t size = header->u32or0(4);
    const std::uint64_t firstChunk = header->u32or0(16);
    // The first chunk: a printable identifier and a size within the file.
    for (std::uint64_t i = 12; i < 16; ++i)
        if (!isChunkIdByte(header->u8or0(i)))
            return {};
    if (size < 12 || firstChunk > size - 12)
        return {};
    std::uint64_t end = kRiffHeaderBytes + size + (size & 1);
    // AVI files past 1 GiB go on in further RIFF "AVIX" lists, one after another.
    if (extension == "avi") {
        while (end <= s.limit()) {
            const auto more = s.bytes(end, 12);
            if (!more || !more->equals(0, "RIFF") || !more->equals(8, "AVIX"))
                break;
            const std::uint64_t n = more->u32or0(4);
            end += kRiffHeaderBytes + n + (n & 1);
        }
    }
    return walk::whole(end, extension);
}

WalkResult walkMts(CarveStream& s)
{
    const auto head = s.bytes(0, 8);
    if (!head)
        return {};
    const std::uint64_t packet = head->u8or0(0) == kTsSync ? kTsPacketBytes : kM2tsPacketBytes;
    const std::uint64_t sync = packet == kTsPacketBytes ? 0 : 4;
    const std::string extension = packet == kTsPacketBytes ? "ts" : "mts";
    std::uint64_t pos = 0;
    std::uint64_t packets = 0;
    bool cut = false;
    for (;;) {
        // A byte that is not a sync byte ends the stream; the bytes' end, or a
        // packet it cuts, may not.
        const auto syncByte = s.u8(pos + sync);
        if (syncByte && *syncByte != kTsSync)
            break;
        if (!syncByte || packet > s.limit() - pos) {
            cut = true;
            break;
        }
        if (packets >= kTsMinPackets && otherFileStartsWithin(s, pos, pos + packet, FileType::Mts)) {
            cut = true;
            break;
        }
        pos += packet;
        ++packets;
    }
    if (packets < kTsMinPackets)
        return {};
    // Packets up to the end of the bytes may go on past them.
    if (cut || pos == s.limit())
        return walk::broken(true, pos, extension);
    return walk::whole(pos, extension);
}

WalkResult walkMp3(CarveStream& s)
{
    return Mp3Walk{s}.run();
}

WalkResult walkFlac(CarveStream& s)
{
    if (!s.matches(0, "fLaC"))
        return {};
    std::uint64_t pos = 4;
    std::uint64_t totalSamples = 0;
    std::uint64_t maxFrame = 0;
    for (bool first = true;; first = false) {
        const auto block = s.bytes(pos, kFlacMetadataHeaderBytes);
        if (!block)
            return walk::broken(!first, pos, "flac");
        const std::uint8_t kind = block->u8or0(0) & 0x7F;
        const std::uint64_t length =
            (std::uint64_t{block->u8or0(1)} << 16) | (std::uint64_t{block->u8or0(2)} << 8) | block->u8or0(3);
        const bool last = (block->u8or0(0) & kFlacLastBlock) != 0;
        if (kind == kFlacInvalidBlock || (first && (kind != 0 || length != kFlacStreamInfoBytes)))
            return walk::broken(!first, pos, "flac");
        if (first) {
            const auto info = s.bytes(pos + kFlacMetadataHeaderBytes, kFlacStreamInfoBytes);
            if (!info)
                return {};
            maxFrame = (std::uint64_t{info->u8or0(7)} << 16) | (std::uint64_t{info->u8or0(8)} << 8) | info->u8or0(9);
            totalSamples = ((std::uint64_t{info->u8or0(13)} & 0x0F) << 32) | (std::uint64_t{info->u8or0(14)} << 24) |
                           (std::uint64_t{info->u8or0(15)} << 16) | (std::uint64_t{info->u8or0(16)} << 8) |
                           info->u8or0(17);
        }
        pos += kFlacMetadataHeaderBytes + length;
        if (last)
            break;
    }
    const std::uint64_t bound = maxFrame != 0 ? maxFrame + 16 : kFlacMaxFrameBytes;
    std::uint64_t samples = 0;
    bool frames = false;
    for (;;) {
        if (totalSamples != 0 && samples >= totalSamples)
            return walk::whole(pos, "flac");
        const auto header = flacFrameHeader(s, pos);
        if (!header) {
            // No sample count: the frames end where no frame follows.
            if (totalSamples == 0 && frames && pos < s.limit())
                return walk::whole(pos, "flac");
            return walk::broken(true, pos, "flac");
        }
        const bool last = totalSamples != 0 && samples + header->samples >= totalSamples;
        std::optional<std::uint64_t> lastEnd;
        auto end = flacFrameEnd(s, pos, *header, bound, last, lastEnd);
        // No sample count: the last frame is the one no frame follows.
        const bool endsHere = !end && totalSamples == 0 && lastEnd.has_value();
        if (endsHere)
            end = lastEnd;
        if (!end || otherFileStartsWithin(s, pos + 1, *end, FileType::Flac))
            return walk::broken(true, pos, "flac");
        if (endsHere)
            return walk::whole(*end, "flac");
        samples += header->samples;
        frames = true;
        pos = *end;
    }
}

WalkResult walkOgg(CarveStream& s)
{
    std::set<std::uint32_t> open;
    std::uint64_t pos = 0;
    std::string extension = "ogg";
    for (;;) {
        const auto header = s.bytes(pos, kOggHeaderBytes);
        if (!header || !header->equals(0, "OggS") || header->u8or0(4) != 0)
            return walk::broken(pos != 0, pos, extension);
        const std::uint8_t flags = header->u8or0(5);
        const std::uint32_t serial = header->u32or0(14);
        const std::uint8_t segments = header->u8or0(26);
        const auto table = s.bytes(pos + kOggHeaderBytes, segments);
        if (!table)
            return walk::broken(pos != 0, pos, extension);
        std::uint64_t body = 0;
        for (std::size_t i = 0; i < segments; ++i)
            body += table->u8or0(i);
        const std::uint64_t length = kOggHeaderBytes + segments + body;
        const auto page = s.bytes(pos, static_cast<std::size_t>(length));
        if (!page)
            return walk::broken(pos != 0, pos, extension);
        // The CRC covers the page with its own field as zeros.
        std::array<std::byte, 4> zeros{};
        std::uint32_t crc = crcMsb(kOggCrc, 32, page->bytes().first(22));
        crc = crcMsb(kOggCrc, 32, zeros, crc);
        crc = crcMsb(kOggCrc, 32, page->bytes().subspan(26), crc);
        if (crc != page->u32or0(22))
            return walk::broken(pos != 0, pos, extension);
        if (pos == 0 && page->equals(kOggHeaderBytes + segments, "OpusHead"))
            extension = "opus";
        if ((flags & kOggBos) != 0) {
            // A stream starts where none has ended yet (a chained file starts anew).
            if (pos != 0 && open.empty())
                return walk::whole(pos, extension);
            open.insert(serial);
        } else if (!open.contains(serial)) {
            return walk::broken(pos != 0, pos, extension);
        }
        if (pos != 0 && otherFileStartsWithin(s, pos, pos + length, FileType::Ogg))
            return walk::broken(true, pos, extension);
        pos += length;
        if ((flags & kOggEos) != 0) {
            open.erase(serial);
            if (open.empty())
                return walk::whole(pos, extension);
        }
    }
}

WalkResult walkMkv(CarveStream& s)
{
    const auto id = vint(s, 0, true);
    if (!id || id->value != kEbmlId)
        return {};
    const auto size = vint(s, id->bytes, false);
    if (!size || size->unknown || size->value > 4096)
        return {};
    const std::uint64_t headerEnd = id->bytes + size->bytes + size->value;
    const std::string docType = ebmlDocType(s, id->bytes + size->bytes, headerEnd);
    if (docType != "matroska" && docType != "webm")
        return {};
    const std::string extension = docType == "webm" ? "webm" : "mkv";
    const auto segment = vint(s, headerEnd, true);
    if (!segment || segment->value != kSegmentId)
        return walk::broken(true, headerEnd, extension);
    const auto segmentSize = vint(s, headerEnd + segment->bytes, false);
    if (!segmentSize)
        return walk::broken(true, headerEnd, extension);
    std::uint64_t pos = headerEnd + segment->bytes + segmentSize->bytes;
    if (!segmentSize->unknown)
        return walk::whole(pos + segmentSize->value, extension);
    // A segment written without its size (a live recording): its top-level
    // elements one after another, each with its own size.
    for (;;) {
        const auto child = vint(s, pos, true);
        if (!child ||
            std::find(kSegmentChildren.begin(), kSegmentChildren.end(), child->value) == kSegmentChildren.end())
            return pos < s.limit() ? walk::whole(pos, extension) : walk::broken(true, pos, extension);
        const auto childSize = vint(s, pos + child->bytes, false);
        if (!childSize || childSize->unknown)
            return walk::broken(true, pos, extension);
        const std::uint64_t next = pos + child->bytes + childSize->bytes + childSize->value;
        if (next > s.limit() || otherFileStartsWithin(s, pos + 1, next, FileType::Mkv))
            return walk::broken(true, pos, extension);
        pos = next;
    }
}

} // namespace sarvik::carve
