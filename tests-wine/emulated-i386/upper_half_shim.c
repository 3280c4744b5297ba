/*
 * Preloaded into 32-bit Wine when i386 code runs under qemu's user-mode
 * emulation (qemu-i386 through binfmt_misc), never on Windows and never in
 * the module.
 *
 * Without its preloader, 32-bit Wine reserves the upper half of the address
 * space (2 GB to 4 GB) with no-replace mappings, halving every range that
 * fails down to 64 KiB pieces. Under qemu 7.2 that half is already taken by
 * then (qemu places Wine's earlier failed low reservations there, and Wine
 * keeps them), so every piece fails, and qemu answers each failure by
 * searching its page table downwards through the taken half: tens of
 * thousands of searches, a minute or more of start-up for every process.
 *
 * Refusing a no-replace mapping above 2 GB at once gives Wine the answer qemu
 * would have given, without the search. Windows programs never see that half
 * (a 32-bit process without large-address awareness ends at 2 GB), and Wine's
 * own reservation there is moot: it already holds what qemu placed there.
 *
 * Built freestanding (clang -m32 -nostdlib), it reaches the C library only
 * through the two functions it declares, resolved when it is loaded.
 */
typedef unsigned int size_t;
typedef long long off64_t;

extern void* dlsym(void* handle, const char* name);
extern int* __errno_location(void);

#define NEXT_LIBRARY ((void*)-1) /* RTLD_NEXT */
#define FIXED_NOREPLACE 0x100000 /* MAP_FIXED_NOREPLACE */
#define ALREADY_TAKEN 17         /* EEXIST */
#define UPPER_HALF 0x80000000u

typedef void* (*mmap64_function)(void*, size_t, int, int, int, off64_t);

static mmap64_function library_mmap64;

__attribute__((visibility("default"))) void* mmap64(void* address, size_t length, int protection,
                                                    int flags, int fd, off64_t offset)
{
    if ((flags & FIXED_NOREPLACE) && (unsigned int)address >= UPPER_HALF) {
        *__errno_location() = ALREADY_TAKEN;
        return (void*)-1;
    }
    if (!library_mmap64) library_mmap64 = (mmap64_function)dlsym(NEXT_LIBRARY, "mmap64");
    return library_mmap64(address, length, protection, flags, fd, offset);
}

__attribute__((visibility("default"))) void* mmap(void* address, size_t length, int protection,
                                                  int flags, int fd, long offset)
{
    return mmap64(address, length, protection, flags, fd, (off64_t)(unsigned long)offset);
}
