// SPDX-License-Identifier: GPL-3.0-or-later
#include "carve/Carver.h"

#include "catalogue/ReadProgress.h"
#include "disk/FreeSpaceReads.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace sarvik::carve {

namespace {

constexpr std::uint64_t kSectorBytes = 512;

/// A file of two pieces read as one: `firstLength` bytes of `base` at
/// `first`, then its bytes from `second` to `end`.
class JoinedSource final : public disk::BlockSource {
public:
    JoinedSource(const disk::BlockSource& base, std::uint64_t first, std::uint64_t firstLength, std::uint64_t second,
                 std::uint64_t end)
        : m_base(base), m_first(first), m_firstLength(firstLength), m_second(second), m_end(end)
    {
    }
    [[nodiscard]] std::uint64_t size() const override { return m_firstLength + (m_end - m_second); }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        if (offset > size() || buffer.size() > size() - offset)
            return disk::ReadStatus::Failed;
        std::size_t done = 0;
        if (offset < m_firstLength) {
            done = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), m_firstLength - offset));
            if (const auto status = m_base.read(m_first + offset, buffer.first(done)); status != disk::ReadStatus::Ok)
                return status;
        }
        if (done == buffer.size())
            return disk::ReadStatus::Ok;
        return m_base.read(m_second + (offset + done - m_firstLength), buffer.subspan(done));
    }

private:
    const disk::BlockSource& m_base;
    std::uint64_t m_first;
    std::uint64_t m_firstLength;
    std::uint64_t m_second;
    std::uint64_t m_end;
};

class CarveRun {
public:
    CarveRun(const disk::BlockSource& source, const CarveOptions& options, catalogue::ScanObserver& observer,
             const catalogue::ScanControl& control, std::uint64_t total, const KnownUnits* known)
        : m_source(source), m_options(options), m_observer(observer), m_control(control), m_known(known),
          m_total(total), m_unit(std::max<std::uint64_t>(options.unitBytes, kSectorBytes)),
          m_blockBytes(static_cast<std::size_t>(std::max<std::uint64_t>(options.blockBytes / m_unit, 1) * m_unit))
    {
        if (options.phase)
            m_progress.emplace(observer, *options.phase, total);
    }

    void extent(const Extent& e);
    /// Reports the search's end (with a phase to name).
    void finish()
    {
        if (m_progress)
            m_progress->finish();
    }
    CarveResult result;

private:
    /// Reads [at, at + length) into the block; a block that fails is read unit by
    /// unit and the units that fail are marked in `m_unitOk`.
    void readBlock(std::uint64_t at, std::size_t length);
    /// The units of the block at `at` that failed when read before, marked in
    /// `m_unitOk` (nothing is read).
    void knownBlock(std::uint64_t at, std::size_t length);
    /// Searches the block at `at` (read, or known) from its start; the offset to
    /// go on from.
    std::uint64_t searchRead(std::uint64_t at, std::size_t length, std::uint64_t end);
    std::uint64_t searchKnown(std::uint64_t at, std::size_t length, std::uint64_t end);
    /// As searchRead for units of disk::kHeadOnlyClusterBytes or more: only
    /// each unit's head is read, and a candidate's walk reads its body.
    std::uint64_t searchHeads(std::uint64_t at, std::size_t length, std::uint64_t end);
    /// The end of the readable units of the block at `at` from `unit` on.
    std::size_t readableEnd(std::size_t unit, std::size_t length) const;
    /// Walks a candidate of `type` at `at`; the offset to go on from. The
    /// candidate's bytes up to `readable` read whole with the block at
    /// `blockAt`; `block` holds that block's bytes, or is empty when they were
    /// read before and are read again as the walk needs them.
    std::uint64_t candidate(FileType type, std::uint64_t at, std::uint64_t end, disk::ByteSpan block,
                            std::uint64_t blockAt, std::uint64_t readable);
    void report(std::uint64_t done);
    /// The JPEG at `at` whose data broke off after `held` bytes, joined with
    /// units that follow (within `end`), when a skip of up to joinUnits units
    /// makes it whole; nothing otherwise.
    std::optional<CarvedFile> joinJpeg(std::uint64_t at, std::uint64_t end, std::uint64_t held);
    /// Where the claimed stretch that holds `at` ends, if one does.
    std::optional<std::uint64_t> claimedEnd(std::uint64_t at) const;

    const disk::BlockSource& m_source;
    const CarveOptions& m_options;
    catalogue::ScanObserver& m_observer;
    const catalogue::ScanControl& m_control;
    const KnownUnits* m_known; ///< null when the blocks are read and matched here
    std::uint64_t m_total = 0;
    std::uint64_t m_done = 0;
    std::uint32_t m_lastPercent = ~0u;
    std::uint64_t m_unit;
    std::size_t m_blockBytes;       ///< the most read at once
    std::vector<std::byte> m_block; ///< grown to what a read needs, up to m_blockBytes
    std::vector<bool> m_unitOk;
    std::optional<catalogue::ReadProgress> m_progress; ///< with a phase to name
    /// The later pieces of joined files: no file starts in them.
    std::vector<Extent> m_claimed;
};

std::optional<std::uint64_t> CarveRun::claimedEnd(std::uint64_t at) const
{
    for (const Extent& c : m_claimed)
        if (at >= c.offset && at - c.offset < c.length)
            return c.offset + (c.length + m_unit - 1) / m_unit * m_unit;
    return std::nullopt;
}

std::optional<CarvedFile> CarveRun::joinJpeg(std::uint64_t at, std::uint64_t end, std::uint64_t held)
{
    // The break shows in the unit where the foreign bytes start, or, when they
    // passed for scan data a while, the one after: the piece ends at one of
    // those units' starts.
    const std::uint64_t breakUnit = held / m_unit;
    for (std::uint64_t back = 0; back < 2 && back < breakUnit; ++back) {
        const std::uint64_t firstLength = (breakUnit - back) * m_unit;
        for (std::uint64_t skip = 1; skip <= m_options.joinUnits; ++skip) {
            if (m_control.stopRequested())
                return std::nullopt;
            const std::uint64_t second = at + firstLength + skip * m_unit;
            if (second >= end)
                break;
            // A unit another file starts at does not go on this one.
            std::array<std::byte, kSignatureBytes> head{};
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(head.size(), end - second));
            if (m_source.read(second, std::span(head).first(n)) != disk::ReadStatus::Ok ||
                typeAt(std::span<const std::byte>(head).first(n), m_options.types))
                continue;
            const JoinedSource joined(m_source, at, firstLength, second, end);
            CarveStream stream(joined, 0, joined.size(), &m_control);
            const WalkResult walked = walkFile(FileType::Jpeg, stream);
            if (walked.status != WalkStatus::Whole || walked.length <= firstLength)
                continue;
            CarvedFile file{FileType::Jpeg, walked.extension,   at, walked.length, true,
                            walked.time,    walked.timeIsLocal, {}};
            file.pieces = {{at, firstLength}, {second, walked.length - firstLength}};
            return file;
        }
    }
    return std::nullopt;
}

void CarveRun::readBlock(std::uint64_t at, std::size_t length)
{
    if (m_block.size() < length)
        m_block.resize(length);
    const auto buffer = std::span(m_block).first(length);
    const std::size_t units = static_cast<std::size_t>((length + m_unit - 1) / m_unit);
    m_unitOk.assign(units, true);
    if (m_source.read(at, buffer) == disk::ReadStatus::Ok)
        return;
    for (std::size_t u = 0; u < units; ++u) {
        const std::size_t from = static_cast<std::size_t>(u * m_unit);
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(m_unit), length - from);
        if (m_source.read(at + from, buffer.subspan(from, n)) != disk::ReadStatus::Ok) {
            m_unitOk[u] = false;
            result.unreadableBytes += n;
        }
    }
}

std::uint64_t CarveRun::candidate(FileType type, std::uint64_t at, std::uint64_t end, disk::ByteSpan block,
                                  std::uint64_t blockAt, std::uint64_t readable)
{
    if (const auto claimed = claimedEnd(at))
        return std::min(*claimed, end);
    CarveStream stream(m_source, at, end - at, &m_control);
    stream.setStarts(m_unit, m_options.types);
    if (!block.empty())
        stream.useRead(block, blockAt);
    else
        stream.readBefore(readable - at);
    const WalkResult walked = walkFile(type, stream);
    if (walked.status == WalkStatus::NotThisType || m_control.stopRequested())
        return at + m_unit;
    std::optional<CarvedFile> joined;
    if (type == FileType::Jpeg && walked.status == WalkStatus::Incomplete && m_options.joinUnits != 0)
        joined = joinJpeg(at, end, walked.length);
    if (joined) {
        // The units between the pieces are searched on; the second piece's are the file's.
        m_claimed.push_back(joined->pieces[1]);
        result.files.push_back(std::move(*joined));
        m_observer.filesFound(static_cast<std::uint32_t>(result.files.size()));
        if (m_options.onFound)
            m_options.onFound(result.files.back());
        return at + result.files.back().pieces[0].length;
    }
    result.files.push_back({type,
                            walked.extension,
                            at,
                            walked.length,
                            walked.status == WalkStatus::Whole,
                            walked.time,
                            walked.timeIsLocal,
                            {}});
    m_observer.filesFound(static_cast<std::uint32_t>(result.files.size()));
    if (m_options.onFound)
        m_options.onFound(result.files.back());
    // The file's own units are not searched again (a thumbnail inside a photo is
    // part of the photo); a broken file's held bytes are its own too.
    const std::uint64_t units = std::max<std::uint64_t>(1, (walked.length + m_unit - 1) / m_unit);
    return at + std::min(units * m_unit, end - at);
}

void CarveRun::report(std::uint64_t done)
{
    if (m_progress) {
        m_progress->add(done - m_progress->done());
        return;
    }
    const auto percent = static_cast<std::uint32_t>(m_total == 0 ? 100 : done * 100 / m_total);
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        m_observer.progress(percent);
    }
}

void CarveRun::knownBlock(std::uint64_t at, std::size_t length)
{
    const std::size_t units = static_cast<std::size_t>((length + m_unit - 1) / m_unit);
    m_unitOk.assign(units, true);
    const auto& bad = m_known->unreadable;
    for (auto b = std::lower_bound(bad.begin(), bad.end(), at); b != bad.end() && *b - at < length; ++b) {
        const auto unit = static_cast<std::size_t>((*b - at) / m_unit);
        if (!m_unitOk[unit])
            continue;
        m_unitOk[unit] = false;
        result.unreadableBytes += std::min<std::uint64_t>(m_unit, length - unit * m_unit);
    }
}

std::size_t CarveRun::readableEnd(std::size_t unit, std::size_t length) const
{
    // Units that failed to read are never served from the block.
    std::size_t good = unit;
    while (good < m_unitOk.size() && m_unitOk[good])
        ++good;
    return std::min(length, static_cast<std::size_t>(good * m_unit));
}

std::uint64_t CarveRun::searchHeads(std::uint64_t at, std::size_t length, std::uint64_t end)
{
    const auto headBytes = static_cast<std::size_t>(std::min(disk::kClusterHeadBytes, m_unit));
    if (m_block.size() < headBytes)
        m_block.resize(headBytes);
    for (std::uint64_t unit = at; unit < at + length;) {
        if (m_control.stopRequested())
            return unit;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(headBytes, end - unit));
        const auto head = std::span(m_block).first(n);
        if (m_source.read(unit, head) != disk::ReadStatus::Ok) {
            result.unreadableBytes += std::min(m_unit, end - unit);
            unit += m_unit;
            continue;
        }
        if (m_options.onUnit)
            m_options.onUnit(unit, head);
        const auto type = typeAt(head.first(std::min(kSignatureBytes, n)), m_options.types);
        if (!type) {
            unit += m_unit;
            continue;
        }
        const std::uint64_t resume = candidate(*type, unit, end, {}, unit, unit + n);
        if (resume >= at + length)
            return resume;
        unit = resume;
    }
    return at + length;
}

std::uint64_t CarveRun::searchRead(std::uint64_t at, std::size_t length, std::uint64_t end)
{
    for (std::size_t off = 0; off < length;) {
        const std::size_t unit = static_cast<std::size_t>(off / m_unit);
        const auto head = std::span<const std::byte>(m_block).subspan(off, std::min(kSignatureBytes, length - off));
        const auto type = m_unitOk[unit] ? typeAt(head, m_options.types) : std::nullopt;
        if (!type) {
            off += static_cast<std::size_t>(m_unit);
            continue;
        }
        const std::size_t readable = readableEnd(unit, length);
        const std::uint64_t resume =
            candidate(*type, at + off, end, std::span<const std::byte>(m_block).first(readable), at, at + readable);
        if (resume >= at + length)
            return resume;
        off = static_cast<std::size_t>(resume - at);
    }
    return at + length;
}

// As searchRead, with the units that start with a signature known: the same
// candidates in the same order, each walked over the same readable bytes.
std::uint64_t CarveRun::searchKnown(std::uint64_t at, std::size_t length, std::uint64_t end)
{
    const auto& heads = m_known->heads;
    auto head = std::lower_bound(heads.begin(), heads.end(), at,
                                 [](const auto& h, std::uint64_t offset) { return h.first < offset; });
    std::uint64_t from = at;
    for (; head != heads.end() && head->first - at < length; ++head) {
        const auto [offset, type] = *head;
        const auto unit = static_cast<std::size_t>((offset - at) / m_unit);
        if (offset < from || (offset - at) % m_unit != 0 || !m_unitOk[unit] ||
            !m_options.types[static_cast<std::size_t>(type)])
            continue;
        const std::uint64_t resume = candidate(type, offset, end, {}, at, at + readableEnd(unit, length));
        if (resume >= at + length)
            return resume;
        from = resume;
    }
    return at + length;
}

void CarveRun::extent(const Extent& e)
{
    const std::uint64_t size = m_source.size();
    if (e.offset >= size)
        return;
    const std::uint64_t end = e.offset + std::min(e.length, size - e.offset);
    std::uint64_t at = e.offset;
    while (at < end) {
        if (m_control.stopRequested()) {
            result.stopped = true;
            return;
        }
        // Units the source knows to be zeros (a hole of a sparse image) hold no
        // file's start: passed over unread.
        if (const std::uint64_t zeros = std::min(m_source.knownZeros(at), end - at) / m_unit * m_unit; zeros != 0) {
            result.bytesSearched += zeros;
            m_done += zeros;
            report(m_done);
            at += zeros;
            continue;
        }
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(m_blockBytes, end - at));
        // Large units are matched by their heads: reading the rest of each
        // would cost a device far more than what it tells.
        const bool heads = m_known == nullptr && m_unit >= disk::kHeadOnlyClusterBytes;
        if (m_known != nullptr) {
            knownBlock(at, length);
        } else if (!heads) {
            readBlock(at, length);
            if (m_options.onUnit)
                for (std::size_t u = 0; u < m_unitOk.size(); ++u)
                    if (m_unitOk[u]) {
                        const auto from = static_cast<std::size_t>(u * m_unit);
                        m_options.onUnit(at + from, std::span<const std::byte>(m_block).subspan(
                                                        from, std::min<std::size_t>(m_unit, length - from)));
                    }
        }
        m_observer.currentSector(at / kSectorBytes);
        const std::uint64_t next = m_known != nullptr ? searchKnown(at, length, end)
                                   : heads            ? searchHeads(at, length, end)
                                                      : searchRead(at, length, end);
        result.bytesSearched += next - at;
        m_done += next - at;
        report(m_done);
        at = next;
    }
}

} // namespace

namespace {

struct Civil {
    std::int64_t year;
    std::int64_t month;
    std::int64_t day;
    std::int64_t secondOfDay;
};

/// The proleptic Gregorian date and time of day `seconds` after 1970-01-01 00:00.
Civil civilOf(std::int64_t seconds) noexcept
{
    const std::int64_t days = seconds / 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, doy - (153 * mp + 2) / 5 + 1, seconds % 86400};
}

} // namespace

std::optional<std::pair<std::uint16_t, std::uint16_t>> fatDateTimeOf(const CarvedFile& file) noexcept
{
    if (file.time <= 0)
        return std::nullopt;
    const Civil c = civilOf(file.time);
    if (c.year < 1980 || c.year > 2107)
        return std::nullopt;
    const auto date = static_cast<std::uint16_t>(((c.year - 1980) << 9) | (c.month << 5) | c.day);
    const auto time = static_cast<std::uint16_t>(((c.secondOfDay / 3600) << 11) | ((c.secondOfDay / 60 % 60) << 5) |
                                                 (c.secondOfDay % 60 / 2));
    return std::pair{date, time};
}

std::string timeText(const CarvedFile& file)
{
    if (file.time <= 0)
        return {};
    const Civil c = civilOf(file.time);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld%s", static_cast<long long>(c.year),
                  static_cast<long long>(c.month), static_cast<long long>(c.day),
                  static_cast<long long>(c.secondOfDay / 3600), static_cast<long long>(c.secondOfDay / 60 % 60),
                  static_cast<long long>(c.secondOfDay % 60), file.timeIsLocal ? "" : " UTC");
    return text;
}

std::uint64_t fileTimeOf(const CarvedFile& file) noexcept
{
    constexpr std::uint64_t kFileTime1970 = 116444736000000000ull; // 100 ns steps from 1601 to 1970
    if (file.time <= 0)
        return 0;
    return kFileTime1970 + static_cast<std::uint64_t>(file.time) * 10000000ull;
}

std::optional<std::array<bool, kFileTypeCount>> parseTypeList(std::string_view list, std::string& unknown)
{
    std::array<bool, kFileTypeCount> types{};
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (name.empty())
            continue;
        const auto type = typeByName(name);
        if (!type) {
            unknown = std::string(name);
            return std::nullopt;
        }
        types[static_cast<std::size_t>(*type)] = true;
    }
    return types;
}

CarveResult Carve(const disk::BlockSource& source, std::span<const Extent> extents, const CarveOptions& options,
                  catalogue::ScanObserver& observer, const catalogue::ScanControl& control, const KnownUnits* known)
{
    std::uint64_t total = 0;
    for (const Extent& e : extents)
        total += e.length;
    CarveRun run(source, options, observer, control, total, known);
    for (const Extent& e : extents) {
        run.extent(e);
        if (run.result.stopped)
            break;
    }
    if (control.stopRequested())
        run.result.stopped = true;
    else
        run.finish();
    return std::move(run.result);
}

} // namespace sarvik::carve
