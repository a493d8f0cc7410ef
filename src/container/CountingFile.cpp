#include "container/CountingFile.h"

namespace sarvik::container::detail {

namespace {

/// What libbfio holds for us: the real file and the count its reads add to.
struct Counting {
    libbfio_handle_t* inner = nullptr;
    std::shared_ptr<std::uint64_t> counter;
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
    if (libbfio_handle_clone(&copy->inner, of(from)->inner, error) != 1)
        return -1;
    *to = reinterpret_cast<intptr_t*>(copy.release()); // NOLINT: handed to libbfio, freed by freeCounting
    return 1;
}

int openCounting(intptr_t* io, int flags, libbfio_error_t** error)
{
    return libbfio_handle_open(of(io)->inner, flags, error);
}

int closeCounting(intptr_t* io, libbfio_error_t** error)
{
    return libbfio_handle_close(of(io)->inner, error);
}

ssize_t readCounting(intptr_t* io, uint8_t* buffer, size_t size, libbfio_error_t** error)
{
    const ssize_t got = libbfio_handle_read_buffer(of(io)->inner, buffer, size, error);
    if (got > 0)
        *of(io)->counter += static_cast<std::uint64_t>(got);
    return got;
}

ssize_t refuseWrite(intptr_t* /*io*/, const uint8_t* /*buffer*/, size_t /*size*/, libbfio_error_t** /*error*/)
{
    return -1; // read-only, always
}

off64_t seekCounting(intptr_t* io, off64_t offset, int whence, libbfio_error_t** error)
{
    return libbfio_handle_seek_offset(of(io)->inner, offset, whence, error);
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
