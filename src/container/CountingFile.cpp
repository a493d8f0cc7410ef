// SPDX-License-Identifier: GPL-3.0-or-later
#include "container/CountingFile.h"

#include "container/ContainerSource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <list>
#include <vector>

namespace sarvik::container::detail {

namespace {

// The libraries read their tables and data in small pieces (a dynamic VHD's
// sector bitmap, then its sectors; an E01 chunk's table entry, then the
// chunk), each a seek and a read of the file. Whole aligned blocks of the
// file are read instead and the last few kept, so that neighbouring pieces
// cost one read of the file between them.
constexpr std::uint64_t kBlockBytes = 256 * 1024;
constexpr std::size_t kKeptBlocks = 16;

/// What libbfio holds for us: the real file, the count its reads add to, our
/// position in it and the blocks kept of it.
struct Counting {
    libbfio_handle_t* inner = nullptr;
    std::shared_ptr<std::uint64_t> counter;
    std::string path;
    off64_t position = 0;
    struct Block {
        std::uint64_t index = 0;
        std::vector<std::uint8_t> bytes; ///< shorter than kBlockBytes at the file's end
    };
    std::list<Block> blocks; ///< most recently used first

    /// Block `index` of the file, read when not kept; null when it cannot be read.
    const Block* block(std::uint64_t index, libbfio_error_t** error)
    {
        for (auto it = blocks.begin(); it != blocks.end(); ++it)
            if (it->index == index) {
                blocks.splice(blocks.begin(), blocks, it);
                return &blocks.front();
            }
        Block fresh{index, std::vector<std::uint8_t>(kBlockBytes)};
        if (libbfio_handle_seek_offset(inner, static_cast<off64_t>(index * kBlockBytes), SEEK_SET, error) < 0)
            return nullptr;
        std::size_t have = 0;
        while (have < fresh.bytes.size()) {
            const ssize_t got =
                libbfio_handle_read_buffer(inner, fresh.bytes.data() + have, fresh.bytes.size() - have, error);
            if (got < 0)
                return nullptr;
            if (got == 0)
                break;
            have += static_cast<std::size_t>(got);
        }
        fresh.bytes.resize(have);
        blocks.push_front(std::move(fresh));
        if (blocks.size() > kKeptBlocks)
            blocks.pop_back();
        return &blocks.front();
    }
};

// libbfio passes its io handle back as an intptr_t*.
Counting* of(intptr_t* io)
{
    return reinterpret_cast<Counting*>(io); // NOLINT: libbfio's opaque handle is ours
}

int freeCounting(intptr_t** io, libbfio_error_t** error)
{
    if (io == nullptr || *io == nullptr)
        return 1;
    Counting* c = of(*io);
    const int result = c->inner == nullptr ? 1 : libbfio_handle_free(&c->inner, error);
    delete c; // NOLINT: libbfio owns it between initialize and free
    *io = nullptr;
    return result;
}

int cloneCounting(intptr_t** to, intptr_t* from, libbfio_error_t** error)
{
    if (to == nullptr || from == nullptr)
        return -1;
    auto copy = std::make_unique<Counting>();
    copy->counter = of(from)->counter;
    copy->path = of(from)->path;
    if (libbfio_handle_clone(&copy->inner, of(from)->inner, error) != 1)
        return -1;
    *to = reinterpret_cast<intptr_t*>(copy.release()); // NOLINT: handed to libbfio, freed by freeCounting
    return 1;
}

int openCounting(intptr_t* io, int flags, libbfio_error_t** error)
{
    // Opened as it is, a pipe would block the open: it is refused unopened.
    if (!of(io)->path.empty() && !unreadableKind(of(io)->path).empty())
        return -1;
    return libbfio_handle_open(of(io)->inner, flags, error);
}

int closeCounting(intptr_t* io, libbfio_error_t** error)
{
    of(io)->blocks.clear();
    of(io)->position = 0;
    return libbfio_handle_close(of(io)->inner, error);
}

ssize_t readCounting(intptr_t* io, uint8_t* buffer, size_t size, libbfio_error_t** error)
{
    Counting* c = of(io);
    if (c->position < 0)
        return -1;
    std::size_t done = 0;
    while (done < size) {
        const auto at = static_cast<std::uint64_t>(c->position);
        const Counting::Block* block = c->block(at / kBlockBytes, error);
        if (block == nullptr)
            return done == 0 ? -1 : static_cast<ssize_t>(done);
        const std::uint64_t from = at % kBlockBytes;
        if (from >= block->bytes.size())
            break; // the file's end
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, block->bytes.size() - from));
        std::memcpy(buffer + done, block->bytes.data() + from, n);
        done += n;
        c->position += static_cast<off64_t>(n);
    }
    *c->counter += done;
    return static_cast<ssize_t>(done);
}

ssize_t refuseWrite(intptr_t* /*io*/, const uint8_t* /*buffer*/, size_t /*size*/, libbfio_error_t** /*error*/)
{
    return -1; // read-only, always
}

off64_t seekCounting(intptr_t* io, off64_t offset, int whence, libbfio_error_t** error)
{
    // Only our own position moves; the file is sought when a block is read.
    Counting* c = of(io);
    off64_t base = 0;
    if (whence == SEEK_CUR) {
        base = c->position;
    } else if (whence == SEEK_END) {
        size64_t size = 0;
        if (libbfio_handle_get_size(c->inner, &size, error) != 1)
            return -1;
        base = static_cast<off64_t>(size);
    } else if (whence != SEEK_SET) {
        return -1;
    }
    if (offset < 0 && -offset > base)
        return -1;
    c->position = base + offset;
    return c->position;
}

int existsCounting(intptr_t* io, libbfio_error_t** error)
{
    return libbfio_handle_exists(of(io)->inner, error);
}

int isOpenCounting(intptr_t* io, libbfio_error_t** error)
{
    return libbfio_handle_is_open(of(io)->inner, error);
}

int sizeCounting(intptr_t* io, size64_t* size, libbfio_error_t** error)
{
    return libbfio_handle_get_size(of(io)->inner, size, error);
}

} // namespace

libbfio_handle_t* countingFile(const std::string& path, std::shared_ptr<std::uint64_t> counter)
{
    auto counting = std::make_unique<Counting>();
    counting->counter = std::move(counter);
    counting->path = path;
    if (libbfio_file_initialize(&counting->inner, nullptr) != 1)
        return nullptr;
    if (libbfio_file_set_name(counting->inner, path.c_str(), path.size(), nullptr) != 1) {
        (void)libbfio_handle_free(&counting->inner, nullptr);
        return nullptr;
    }
    libbfio_handle_t* handle = nullptr;
    auto* io = reinterpret_cast<intptr_t*>(counting.get()); // NOLINT: libbfio's opaque handle is ours
    if (libbfio_handle_initialize(&handle, io, freeCounting, cloneCounting, openCounting, closeCounting, readCounting,
                                  refuseWrite, seekCounting, existsCounting, isOpenCounting, sizeCounting,
                                  LIBBFIO_FLAG_IO_HANDLE_MANAGED | LIBBFIO_FLAG_IO_HANDLE_CLONE_BY_FUNCTION,
                                  nullptr) != 1) {
        (void)libbfio_handle_free(&counting->inner, nullptr);
        return nullptr;
    }
    (void)counting.release(); // libbfio frees it through freeCounting
    return handle;
}

} // namespace sarvik::container::detail
