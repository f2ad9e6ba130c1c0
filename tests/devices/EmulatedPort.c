/* The wrappers see every open, close and ioctl of the process; only the plugged device's
 * path and descriptors are treated specially. glibc's own termios calls reach the kernel
 * without passing through the ioctl symbol, so the pseudo-terminal answers those. */

/* The wrappers must define the plain symbols, not the large-file or fortified aliases. */
#undef _FILE_OFFSET_BITS
#undef _FORTIFY_SOURCE
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include "EmulatedPort.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdbool.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

typedef int (*open_fn)(const char*, int, ...);
typedef int (*close_fn)(int);
typedef int (*ioctl_fn)(int, unsigned long, ...);

static open_fn real_open_fn;
static open_fn real_open64_fn;
static close_fn real_close_fn;
static ioctl_fn real_ioctl_fn;

enum { MAX_DESCRIPTORS = 8 };

static pthread_mutex_t device_lock = PTHREAD_MUTEX_INITIALIZER;
static atomic_bool plugged;
static char device_path[PATH_MAX];
static char slave_path[PATH_MAX];
static int master_fd = -1;
static struct emuport_lines device_lines;
static atomic_int descriptors[MAX_DESCRIPTORS];
/* An adopted device: any descriptor of this terminal is the device's, however it came. */
static atomic_bool adopted;
static dev_t adopted_terminal;

static atomic_int output_lines;
static atomic_long sets, reads, others;
static atomic_long modem_calls;
static atomic_long fail_at; /* modem call number from which calls fail; 0 for never */
static atomic_bool pulled;
static atomic_long denied_opens;

static void resolve(void)
{
    if (real_ioctl_fn)
        return;
    real_open_fn = (open_fn)dlsym(RTLD_NEXT, "open");
    real_open64_fn = (open_fn)dlsym(RTLD_NEXT, "open64");
    real_close_fn = (close_fn)dlsym(RTLD_NEXT, "close");
    real_ioctl_fn = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
}

/* Resolved before any test code runs, so no later call pays for the lookup. */
__attribute__((constructor)) static void resolve_early(void)
{
    for (int i = 0; i < MAX_DESCRIPTORS; ++i)
        atomic_store(&descriptors[i], -1);
    resolve();
}

static void remember(int fd);

static bool is_device_fd(int fd)
{
    if (fd < 0 || !atomic_load_explicit(&plugged, memory_order_acquire))
        return false;
    for (int i = 0; i < MAX_DESCRIPTORS; ++i)
        if (atomic_load_explicit(&descriptors[i], memory_order_relaxed) == fd)
            return true;
    struct stat st;
    if (atomic_load(&adopted) && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == adopted_terminal) {
        remember(fd);
        return true;
    }
    return false;
}

static void remember(int fd)
{
    for (int i = 0; i < MAX_DESCRIPTORS; ++i) {
        int free_slot = -1;
        if (atomic_compare_exchange_strong(&descriptors[i], &free_slot, fd))
            return;
    }
}

static void forget(int fd)
{
    for (int i = 0; i < MAX_DESCRIPTORS; ++i) {
        int expected = fd;
        atomic_compare_exchange_strong(&descriptors[i], &expected, -1);
    }
}

static bool is_device_path(const char* path)
{
    if (!path || !atomic_load_explicit(&plugged, memory_order_acquire))
        return false;
    pthread_mutex_lock(&device_lock);
    const bool same = strcmp(path, device_path) == 0;
    pthread_mutex_unlock(&device_lock);
    return same;
}

static int open_through(open_fn real, const char* path, int flags, va_list args)
{
    const mode_t mode = __OPEN_NEEDS_MODE(flags) ? va_arg(args, mode_t) : 0;
    const bool device = is_device_path(path);
    if (device && atomic_load(&denied_opens) > 0) {
        atomic_fetch_sub(&denied_opens, 1);
        errno = EACCES;
        return -1;
    }
    const int fd = real(path, flags, mode);
    if (device && fd >= 0)
        remember(fd);
    return fd;
}

int open(const char* path, int flags, ...)
{
    resolve();
    va_list args;
    va_start(args, flags);
    const int fd = open_through(real_open_fn, path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char* path, int flags, ...)
{
    resolve();
    va_list args;
    va_start(args, flags);
    const int fd = open_through(real_open64_fn, path, flags, args);
    va_end(args);
    return fd;
}

int close(int fd)
{
    resolve();
    forget(fd);
    return real_close_fn(fd);
}

static void pull_out(void)
{
    if (atomic_exchange(&pulled, true))
        return;
    pthread_mutex_lock(&device_lock);
    unlink(device_path);
    pthread_mutex_unlock(&device_lock);
}

static int modem_request(int fd, unsigned long request, int* bits)
{
    /* The request still goes to the kernel, which refuses it for a pseudo-terminal: each
     * emulated line operation costs one real system call, as with a serial driver. */
    const int saved_errno = errno;
    int ignored = 0;
    real_ioctl_fn(fd, request, &ignored);
    errno = saved_errno;

    if (request == TIOCMGET)
        atomic_fetch_add_explicit(&reads, 1, memory_order_relaxed);
    else
        atomic_fetch_add_explicit(&sets, 1, memory_order_relaxed);
    const long call = atomic_fetch_add_explicit(&modem_calls, 1, memory_order_relaxed) + 1;
    const long failing = atomic_load_explicit(&fail_at, memory_order_relaxed);
    if (failing && call >= failing) {
        pull_out();
        errno = EIO;
        return -1;
    }
    if (!bits) {
        errno = EFAULT;
        return -1;
    }

    const struct emuport_lines* lines = &device_lines;
    const int before = atomic_load_explicit(&output_lines, memory_order_relaxed);
    if (request == TIOCMGET) {
        const bool cts = lines->read_cts && lines->read_cts(lines->context);
        *bits = before | (cts ? TIOCM_CTS : 0);
        return 0;
    }

    const int named = *bits & (TIOCM_RTS | TIOCM_DTR);
    int after = before;
    if (request == TIOCMBIS)
        after = before | named;
    else if (request == TIOCMBIC)
        after = before & ~named;
    else
        after = named;
    atomic_store_explicit(&output_lines, after, memory_order_relaxed);

    /* A set or clear names its lines and writes each, even at the level it already has;
     * TIOCMSET writes the lines whose level changes. RTS goes before DTR. */
    const int written = request == TIOCMSET ? (before ^ after) : named;
    if ((written & TIOCM_RTS) && lines->set_rts)
        lines->set_rts(lines->context, (after & TIOCM_RTS) != 0);
    if ((written & TIOCM_DTR) && lines->set_dtr)
        lines->set_dtr(lines->context, (after & TIOCM_DTR) != 0);
    return 0;
}

int ioctl(int fd, unsigned long request, ...)
{
    resolve();
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);

    if (!is_device_fd(fd))
        return real_ioctl_fn(fd, request, arg);
    switch (request) {
    case TIOCMGET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMSET: return modem_request(fd, request, (int*)arg);
    default:
        atomic_fetch_add_explicit(&others, 1, memory_order_relaxed);
        return real_ioctl_fn(fd, request, arg);
    }
}

void emuport_reset_counts(void)
{
    atomic_store(&sets, 0);
    atomic_store(&reads, 0);
    atomic_store(&others, 0);
}

int emuport_plug(const char* path, const struct emuport_lines* lines)
{
    resolve();
    if (atomic_load(&plugged)) {
        errno = EBUSY;
        return -1;
    }
    if (strlen(path) >= sizeof device_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return -1;
    char slave[PATH_MAX];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, slave, sizeof slave) != 0
        || symlink(slave, path) != 0) {
        const int saved_errno = errno;
        real_close_fn(master);
        errno = saved_errno;
        return -1;
    }

    pthread_mutex_lock(&device_lock);
    strcpy(device_path, path);
    strcpy(slave_path, slave);
    master_fd = master;
    device_lines = *lines;
    pthread_mutex_unlock(&device_lock);
    for (int i = 0; i < MAX_DESCRIPTORS; ++i)
        atomic_store(&descriptors[i], -1);
    atomic_store(&output_lines, TIOCM_RTS | TIOCM_DTR);
    atomic_store(&modem_calls, 0);
    atomic_store(&fail_at, 0);
    atomic_store(&pulled, false);
    atomic_store(&denied_opens, 0);
    emuport_reset_counts();
    atomic_store_explicit(&plugged, true, memory_order_release);
    return 0;
}

int emuport_adopt(const char* path, const struct emuport_lines* lines)
{
    resolve();
    struct stat st;
    if (atomic_load(&plugged) || strlen(path) >= sizeof device_path) {
        errno = EBUSY;
        return -1;
    }
    if (stat(path, &st) != 0 || !realpath(path, slave_path))
        return -1;
    pthread_mutex_lock(&device_lock);
    strcpy(device_path, path);
    device_lines = *lines;
    pthread_mutex_unlock(&device_lock);
    adopted_terminal = st.st_rdev;
    atomic_store(&adopted, true);
    atomic_store(&output_lines, TIOCM_RTS | TIOCM_DTR);
    atomic_store(&plugged, true);
    return 0;
}

void emuport_unplug(void)
{
    if (!atomic_exchange(&plugged, false))
        return;
    atomic_store(&adopted, false);
    pthread_mutex_lock(&device_lock);
    if (master_fd >= 0) { /* plugged here, not adopted */
        if (!atomic_load(&pulled))
            unlink(device_path);
        real_close_fn(master_fd);
    }
    master_fd = -1;
    device_path[0] = slave_path[0] = '\0';
    memset(&device_lines, 0, sizeof device_lines);
    pthread_mutex_unlock(&device_lock);
    for (int i = 0; i < MAX_DESCRIPTORS; ++i)
        atomic_store(&descriptors[i], -1);
}

void emuport_fail_from(long n)
{
    atomic_store(&fail_at, atomic_load(&modem_calls) + (n < 1 ? 1 : n));
}

void emuport_plug_back(void)
{
    atomic_store(&fail_at, 0);
    atomic_store(&output_lines, TIOCM_RTS | TIOCM_DTR);
    if (!atomic_exchange(&pulled, false))
        return;
    pthread_mutex_lock(&device_lock);
    symlink(slave_path, device_path);
    pthread_mutex_unlock(&device_lock);
}

void emuport_deny_opens(long n)
{
    atomic_store(&denied_opens, n);
}

struct emuport_counts emuport_calls(void)
{
    const struct emuport_counts counts = {atomic_load(&sets), atomic_load(&reads), atomic_load(&others)};
    return counts;
}

int emuport_output_lines(void)
{
    return atomic_load(&output_lines);
}
