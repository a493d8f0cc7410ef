// SPDX-License-Identifier: GPL-3.0-or-later
#include "container/ShadowCopies.h"

#ifdef SARVIK_HAVE_LIBVSHADOW
#include "container/CountingFile.h"
#include "container/LibraryImage.h"

#include <libbfio.h>
#include <libvshadow.h>

#include <cstring>
#include <mutex>
#else
#include <array>
#include <cstring>
#endif

namespace sarvik::container {

#ifndef SARVIK_HAVE_LIBVSHADOW

namespace {
constexpr const char* kNoLibrary = "this build does not read shadow copies (it was built without libvshadow)";
} // namespace

bool shadowCopiesReadable()
{
    return false;
}

ShadowCopyList listShadowCopies(const std::shared_ptr<const disk::BlockSource>& volume)
{
    // The catalogue's header starts 0x1e00 bytes into the volume with the
    // shadow copy identifier {3808876b-c176-4e48-b7ae-04046e6cc752}.
    static constexpr std::array<std::uint8_t, 16> kIdentifier{0x6b, 0x87, 0x08, 0x38, 0x76, 0xc1, 0x48, 0x4e,
                                                              0xb7, 0xae, 0x04, 0x04, 0x6e, 0x6c, 0xc7, 0x52};
    ShadowCopyList list;
    std::array<std::byte, 16> header{};
    if (volume && volume->read(0x1e00, header) == disk::ReadStatus::Ok &&
        std::memcmp(header.data(), kIdentifier.data(), header.size()) == 0)
        list.error = kNoLibrary;
    return list;
}

std::shared_ptr<const disk::BlockSource> openShadowCopy(const std::shared_ptr<const disk::BlockSource>& /*volume*/,
                                                        std::uint32_t /*number*/, std::string& error)
{
    error = kNoLibrary;
    return nullptr;
}

#else

namespace {

using Error = detail::LibError<libvshadow_error_free, libvshadow_error_backtrace_sprint>;

/// What libbfio holds for us: the volume's block source and a position in it.
struct SourceIo {
    std::shared_ptr<const disk::BlockSource> source;
    off64_t position = 0;
    bool open = false;
};

SourceIo* of(intptr_t* io)
{
    return reinterpret_cast<SourceIo*>(io); // NOLINT: libbfio's opaque handle is ours
}

int freeIo(intptr_t** io, libbfio_error_t** /*error*/)
{
    if (io == nullptr)
        return -1;
    delete of(*io); // NOLINT: libbfio owns it between initialize and free
    *io = nullptr;
    return 1;
}

int cloneIo(intptr_t** to, intptr_t* from, libbfio_error_t** /*error*/)
{
    if (to == nullptr || from == nullptr)
        return -1;
    auto copy = std::make_unique<SourceIo>(*of(from));
    *to = reinterpret_cast<intptr_t*>(copy.release()); // NOLINT: handed to libbfio, freed by freeIo
    return 1;
}

int openIo(intptr_t* io, int flags, libbfio_error_t** /*error*/)
{
    if ((flags & LIBBFIO_ACCESS_FLAG_WRITE) != 0)
        return -1; // read-only, always
    of(io)->open = true;
    of(io)->position = 0;
    return 1;
}

int closeIo(intptr_t* io, libbfio_error_t** /*error*/)
{
    of(io)->open = false;
    return 0;
}

ssize_t readIo(intptr_t* io, uint8_t* buffer, size_t size, libbfio_error_t** /*error*/)
{
    SourceIo* s = of(io);
    const std::uint64_t end = s->source->size();
    if (s->position < 0)
        return -1;
    const auto at = static_cast<std::uint64_t>(s->position);
    if (at >= end)
        return 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, end - at));
    if (s->source->read(at, disk::MutableByteSpan(reinterpret_cast<std::byte*>(buffer), n)) != disk::ReadStatus::Ok)
        return -1;
    s->position += static_cast<off64_t>(n);
    return static_cast<ssize_t>(n);
}

ssize_t refuseWrite(intptr_t* /*io*/, const uint8_t* /*buffer*/, size_t /*size*/, libbfio_error_t** /*error*/)
{
    return -1; // read-only, always
}

off64_t seekIo(intptr_t* io, off64_t offset, int whence, libbfio_error_t** /*error*/)
{
    SourceIo* s = of(io);
    off64_t base = 0;
    if (whence == SEEK_CUR)
        base = s->position;
    else if (whence == SEEK_END)
        base = static_cast<off64_t>(s->source->size());
    else if (whence != SEEK_SET)
        return -1;
    if (base + offset < 0)
        return -1;
    s->position = base + offset;
    return s->position;
}

int existsIo(intptr_t* /*io*/, libbfio_error_t** /*error*/)
{
    return 1;
}

int isOpenIo(intptr_t* io, libbfio_error_t** /*error*/)
{
    return of(io)->open ? 1 : 0;
}

int sizeIo(intptr_t* io, size64_t* size, libbfio_error_t** /*error*/)
{
    *size = of(io)->source->size();
    return 1;
}

/// A libbfio handle reading `source`; null when libbfio cannot make it.
libbfio_handle_t* sourceHandle(std::shared_ptr<const disk::BlockSource> source)
{
    auto io = std::make_unique<SourceIo>();
    io->source = std::move(source);
    libbfio_handle_t* handle = nullptr;
    if (libbfio_handle_initialize(&handle, reinterpret_cast<intptr_t*>(io.get()), // NOLINT: opaque to libbfio
                                  freeIo, cloneIo, openIo, closeIo, readIo, refuseWrite, seekIo, existsIo, isOpenIo,
                                  sizeIo, LIBBFIO_FLAG_IO_HANDLE_MANAGED | LIBBFIO_FLAG_IO_HANDLE_CLONE_BY_FUNCTION,
                                  nullptr) != 1)
        return nullptr;
    (void)io.release(); // libbfio frees it through freeIo
    return handle;
}

/// The volume opened through libvshadow: the handle it reads through goes last.
struct ShadowVolume {
    detail::BfioHandle io;
    detail::LibObject<libvshadow_volume_t, libvshadow_volume_close, libvshadow_volume_free> lib;
    int stores = 0;
};

/// Opens the catalogue of `volume`: nothing, with the reason, when it cannot
/// be read; a volume without a shadow copy signature opens with no stores.
std::unique_ptr<ShadowVolume> openVolume(const std::shared_ptr<const disk::BlockSource>& volume, std::string& error)
{
    auto shadow = std::make_unique<ShadowVolume>();
    shadow->io.handle = sourceHandle(volume);
    if (shadow->io.handle == nullptr) {
        error = "cannot make a reader for the volume";
        return nullptr;
    }
    Error e;
    const int signature = libvshadow_check_volume_signature_file_io_handle(shadow->io.handle, e.out());
    if (signature == 0)
        return shadow;
    if (signature != 1 || libvshadow_volume_initialize(&shadow->lib.handle, e.out()) != 1 ||
        libvshadow_volume_open_file_io_handle(shadow->lib.handle, shadow->io.handle, LIBVSHADOW_OPEN_READ, e.out()) !=
            1) {
        error = e.text();
        return nullptr;
    }
    shadow->lib.open = true;
    if (libvshadow_volume_get_number_of_stores(shadow->lib.handle, &shadow->stores, e.out()) != 1) {
        error = e.text();
        return nullptr;
    }
    return shadow;
}

/// One store of an open volume, read as a volume. Reads take turns: the
/// library keeps a position and caches per volume.
class ShadowCopySource final : public disk::BlockSource {
public:
    ShadowCopySource(std::unique_ptr<ShadowVolume> volume, libvshadow_store_t* store, std::uint64_t size)
        : m_volume(std::move(volume)), m_size(size)
    {
        m_store.handle = store;
    }
    [[nodiscard]] std::uint64_t size() const override { return m_size; }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        if (offset > m_size || buffer.size() > m_size - offset)
            return disk::ReadStatus::Short;
        const std::lock_guard guard(m_mutex);
        std::size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n =
                libvshadow_store_read_buffer_at_offset(m_store.handle, buffer.data() + done, buffer.size() - done,
                                                       static_cast<off64_t>(offset + done), nullptr);
            if (n <= 0)
                return disk::ReadStatus::Failed;
            done += static_cast<std::size_t>(n);
        }
        return disk::ReadStatus::Ok;
    }

private:
    std::unique_ptr<ShadowVolume> m_volume; ///< outlives the store
    detail::LibObject<libvshadow_store_t, nullptr, libvshadow_store_free> m_store;
    std::uint64_t m_size = 0;
    mutable std::mutex m_mutex;
};

/// Store `index` of `volume` with its size and time: false, the reason in
/// `error`, when the library cannot read it.
bool readStore(ShadowVolume& volume, int index, libvshadow_store_t*& store, ShadowCopy& copy)
{
    Error e;
    store = nullptr;
    size64_t size = 0;
    if (libvshadow_volume_get_store(volume.lib.handle, index, &store, e.out()) != 1 ||
        libvshadow_store_get_volume_size(store, &size, e.out()) != 1) {
        copy.error = e.text();
        if (store != nullptr)
            (void)libvshadow_store_free(&store, nullptr);
        return false;
    }
    copy.size = size;
    (void)libvshadow_store_get_creation_time(store, &copy.creationTime, nullptr);
    // A store whose header or block list is damaged opens and fails its first
    // read: its volume's boot sector is read to tell.
    std::array<std::uint8_t, 512> boot{};
    if (size < boot.size() || libvshadow_store_read_buffer_at_offset(store, boot.data(), boot.size(), 0, e.out()) !=
                                  static_cast<ssize_t>(boot.size())) {
        copy.error = e.text();
        (void)libvshadow_store_free(&store, nullptr);
        return false;
    }
    return true;
}

} // namespace

bool shadowCopiesReadable()
{
    return true;
}

ShadowCopyList listShadowCopies(const std::shared_ptr<const disk::BlockSource>& volume)
{
    ShadowCopyList list;
    if (!volume)
        return list;
    const auto shadow = openVolume(volume, list.error);
    if (!shadow)
        return list;
    for (int i = 0; i < shadow->stores; ++i) {
        ShadowCopy copy;
        copy.number = static_cast<std::uint32_t>(i + 1);
        libvshadow_store_t* store = nullptr;
        if (readStore(*shadow, i, store, copy))
            (void)libvshadow_store_free(&store, nullptr);
        list.copies.push_back(std::move(copy));
    }
    return list;
}

std::shared_ptr<const disk::BlockSource> openShadowCopy(const std::shared_ptr<const disk::BlockSource>& volume,
                                                        std::uint32_t number, std::string& error)
{
    if (!volume) {
        error = "no volume";
        return nullptr;
    }
    auto shadow = openVolume(volume, error);
    if (!shadow) {
        error = "its shadow copies cannot be read: " + error;
        return nullptr;
    }
    if (number == 0 || number > static_cast<std::uint32_t>(shadow->stores)) {
        error = shadow->stores == 0
                    ? "the volume has no shadow copies"
                    : "no shadow copy " + std::to_string(number) + "; the volume has " +
                          std::to_string(shadow->stores) + " (vss1 to vss" + std::to_string(shadow->stores) + ")";
        if (shadow->stores == 1)
            error = "no shadow copy " + std::to_string(number) + "; the volume has 1 (vss1)";
        return nullptr;
    }
    ShadowCopy copy;
    libvshadow_store_t* store = nullptr;
    if (!readStore(*shadow, static_cast<int>(number - 1), store, copy)) {
        error = "shadow copy " + std::to_string(number) + " cannot be read: " + copy.error;
        return nullptr;
    }
    return std::make_shared<ShadowCopySource>(std::move(shadow), store, copy.size);
}

#endif

} // namespace sarvik::container
