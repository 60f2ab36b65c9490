/* Preloaded into the Wine process so that a pseudo-terminal looks like a serial port with
 * its modem lines up. Ptys reject the modem-line and line-status ioctls, and Wine's wait for
 * port events gives up (STATUS_CANCELLED) when TIOCMGET fails. Only failures are answered.
 * While the file that Q42_SHIM_DEAF names exists, TIOCMGET is left failing, so that a test
 * can make the waits fail as on a line that has gone; each refusal adds a byte to the file. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

static int lines_deaf(void) {
    const char* path = getenv("Q42_SHIM_DEAF");
    ssize_t counted;
    int fd;

    if (!path || !*path) return 0;
    fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return 0;
    counted = write(fd, "x", 1);
    (void)counted; /* the count is only a test's evidence */
    close(fd);
    return 1;
}

typedef int (*ioctl_fn)(int, unsigned long, void*);

static int modem_request(unsigned long request, void* arg) {
    switch (request) {
    case TIOCMGET:
        if (lines_deaf()) return 0;
        *(int*)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_DTR | TIOCM_RTS;
        return 1;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        return 1;
    case TIOCSERGETLSR:
        *(unsigned int*)arg = TIOCSER_TEMT;
        return 1;
    default:
        return 0;
    }
}

/* Calls the real entry point name, and answers a modem request that it refused. */
static int answered_ioctl(const char* name, ioctl_fn* real, int fd, unsigned long request, void* arg) {
    int result;
    int saved;

    if (!*real) *real = (ioctl_fn)dlsym(RTLD_NEXT, name);
    result = (*real)(fd, request, arg);
    saved = errno;
    if (result == -1 && (saved == EINVAL || saved == ENOTTY || saved == EIO) && arg && modem_request(request, arg))
        return 0;
    errno = saved;
    return result;
}

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real_ioctl;
    va_list args;
    void* arg;

    va_start(args, request);
    arg = va_arg(args, void*);
    va_end(args);
    return answered_ioctl("ioctl", &real_ioctl, fd, request, arg);
}

#if defined(__i386__)
/* 32-bit Wine is built with a 64-bit time_t, and so calls glibc's ioctl under this name. */
int __ioctl_time64(int fd, unsigned long request, ...);

int __ioctl_time64(int fd, unsigned long request, ...) {
    static ioctl_fn real_ioctl;
    va_list args;
    void* arg;

    va_start(args, request);
    arg = va_arg(args, void*);
    va_end(args);
    return answered_ioctl("__ioctl_time64", &real_ioctl, fd, request, arg);
}
#endif
