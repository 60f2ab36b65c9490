// Stands in for brltty in the USB bench's guest: takes a USB device's first interface from its
// driver and claims it through usbfs, as brltty does a converter it takes for a braille
// display, then holds it until it is killed.
//   usbfs_claim /dev/bus/usb/BBB/DDD      (run under the name brltty)
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s /dev/bus/usb/BBB/DDD\n", argv[0]);
        return 2;
    }
    const int fd = open(argv[1], O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    usbdevfs_disconnect_claim claim{};
    claim.interface = 0;
    if (ioctl(fd, USBDEVFS_DISCONNECT_CLAIM, &claim) != 0) {
        std::perror("USBDEVFS_DISCONNECT_CLAIM");
        return 1;
    }
    std::puts("claimed");
    std::fflush(stdout);
    for (;;) pause();
}
