// SPDX-License-Identifier: GPL-3.0-or-later
// Kernels on the scan's hot paths: parsing directory sectors and matching names.

#include "catalogue/Catalogue.h"
#include "fat/FatScan.h"
#include "search/NamePatterns.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>

using namespace sarvik;

static void ParseDirectorySectorBench(benchmark::State& state)
{
    // Sixteen deleted short entries with distinct clusters.
    std::array<std::byte, 512> sector{};
    for (unsigned k = 0; k < 16; ++k) {
        const char* name = "\xE5OCUMENTTXT";
        std::memcpy(sector.data() + k * 32, name, 11);
        sector[k * 32 + 11] = std::byte{0x20};
        sector[k * 32 + 26] = static_cast<std::byte>(k + 3);
        sector[k * 32 + 28] = std::byte{100};
    }
    catalogue::Catalogue cat;
    catalogue::ScanObserver quiet;
    fat::DirectoryContext context;
    context.progressDivisor = 1000;
    for (auto _ : state) {
        bool end = false;
        fat::ParseDirectorySector(sector, context, end, 0, cat, quiet);
        if (cat.fileCount() > 100000)
            cat.ClearFatCatalogue();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}
BENCHMARK(ParseDirectorySectorBench);

static void MatchNameBench(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(search::MatchName("QUARTERLY REPORT 2024 FINAL.DOCX", "*REP*T*.DOC?"));
        benchmark::DoNotOptimize(search::MatchName("HOLIDAY PHOTO 0012.JPG", "*.TXT"));
    }
}
BENCHMARK(MatchNameBench);
