// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded into sarvik by the outcome checks to make faults that a real disk
// or a full memory would make, without privileges:
//   SARVIK_FAULT_READ=FROM-TO   pread of any byte in [FROM, TO) fails with EIO
//   SARVIK_FAULT_SLOW=MICROS    every pread waits this long first (a slow disk)
//   SARVIK_FAULT_SLOW_MIB=MICROS  every pread also waits this long per MiB it
//                                 asks for (a slow stream: large reads take time)
//   SARVIK_FAULT_MALLOC=N       malloc fails once N bytes have been handed out
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);

static int faultRange(unsigned long long* from, unsigned long long* to)
{
    const char* text = getenv("SARVIK_FAULT_READ");
    char* end = NULL;
    if (text == NULL)
        return 0;
    *from = strtoull(text, &end, 10);
    if (end == NULL || *end != '-')
        return 0;
    *to = strtoull(end + 1, NULL, 10);
    return 1;
}

static ssize_t faultyRead(ssize_t (*real)(int, void*, size_t, off_t), int fd, void* buffer, size_t count, off_t offset)
{
    unsigned long long from = 0, to = 0;
    const char* slow = getenv("SARVIK_FAULT_SLOW");
    if (slow != NULL)
        usleep((useconds_t)atol(slow));
    const char* perMib = getenv("SARVIK_FAULT_SLOW_MIB");
    if (perMib != NULL)
        usleep((useconds_t)((unsigned long long)atol(perMib) * count / (1024 * 1024)));
    if (faultRange(&from, &to) && (unsigned long long)offset < to && (unsigned long long)offset + count > from) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, count, offset);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    static ssize_t (*real)(int, void*, size_t, off_t) = NULL;
    if (real == NULL)
        real = (ssize_t(*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread");
    return faultyRead(real, fd, buffer, count, offset);
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset)
{
    static ssize_t (*real)(int, void*, size_t, off_t) = NULL;
    if (real == NULL)
        real = (ssize_t(*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread64");
    return faultyRead(real, fd, buffer, count, offset);
}

void* malloc(size_t size)
{
    static long long limit = -2; // -2: not read yet; -1: no limit
    static unsigned long long given = 0;
    if (limit == -2) {
        limit = -1; // getenv does not allocate
        const char* text = getenv("SARVIK_FAULT_MALLOC");
        if (text != NULL)
            limit = atoll(text);
    }
    if (limit >= 0) {
        given += size;
        if (given > (unsigned long long)limit)
            return NULL;
    }
    return __libc_malloc(size);
}
