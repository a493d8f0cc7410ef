// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the carving walkers: the input is taken as the bytes of
// a candidate of each type in turn (its first byte forced to the type's
// signature, so that every walker gets past its start), and then searched as a
// whole source of 512-byte units. No walk may crash, read outside its bytes,
// hang, or give a file that reaches past them; a whole file has a length.

#include "carve/Carver.h"
#include "carve/FileFormats.h"
#include "disk/BlockSource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

using namespace sarvik;

namespace {

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "carve: broken rule: %s\n", why);
    std::abort();
}

// A signature per type, laid over the input's start.
constexpr std::string_view kStarts[carve::kFileTypeCount] = {{"\xFF\xD8\xFF", 3},
                                                             {"\x89PNG\r\n\x1A\n", 8},
                                                             {"GIF89a"},
                                                             {"%PDF-"},
                                                             {"PK\x03\x04", 4},
                                                             {"\0\0\0\x18"
                                                              "ftyp",
                                                              8},
                                                             {"II*\0", 4},
                                                             {"SQLite format 3\0", 16},
                                                             {"\xEF\xBB\xBF"},
                                                             {"FUJIFILMCCD-RAW "},
                                                             {"RIFF"},
                                                             {"\0\0\0\0\x47\x40\0\x10", 8},
                                                             {"\xFF\xFB\x90"},
                                                             {"fLaC\0\0\0\x22", 8},
                                                             {"OggS\0\x02", 6},
                                                             {"BM"},
                                                             {"8BPS\0\x01", 6},
                                                             {"\x1A\x45\xDF\xA3"},
                                                             {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"},
                                                             {"Rar!\x1A\x07\x01\0", 8},
                                                             {"7z\xBC\xAF\x27\x1C\0\x04", 8}};

void check(const carve::WalkResult& r, std::uint64_t size)
{
    if (r.status != carve::WalkStatus::NotThisType && (r.length == 0 || r.length > size))
        fail("a walk gives a length outside the candidate");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::byte> bytes(size);
    if (size != 0)
        std::memcpy(bytes.data(), data, size);
    for (std::size_t t = 0; t < carve::kFileTypeCount; ++t) {
        std::vector<std::byte> candidate = bytes;
        for (std::size_t i = 0; i < kStarts[t].size() && i < candidate.size(); ++i)
            candidate[i] = static_cast<std::byte>(kStarts[t][i]);
        const disk::MemoryBlockSource source(std::move(candidate));
        carve::CarveStream stream(source, 0, source.size());
        check(carve::walkFile(static_cast<carve::FileType>(t), stream), source.size());
    }
    const disk::MemoryBlockSource source(std::move(bytes));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    const carve::Extent all{0, source.size()};
    carve::CarveOptions options;
    options.blockBytes = 4096; // several blocks even for small inputs
    options.joinUnits = 4;     // JPEGs that break off are tried on
    const auto result = carve::Carve(source, {&all, 1}, options, quiet, control);
    for (const auto& f : result.files) {
        if (f.offset % 512 != 0 || f.length == 0 || f.offset + f.length > source.size())
            fail("a carved file lies outside the source or off a unit");
        std::uint64_t held = 0;
        for (const auto& piece : f.pieces) {
            if (piece.offset + piece.length > source.size())
                fail("a piece of a joined file lies outside the source");
            held += piece.length;
        }
        if (!f.pieces.empty() && (held != f.length || !f.complete))
            fail("a joined file's pieces do not make it whole");
    }
    return 0;
}
