// The floor a renaming run is measured against: a program that makes one
// durable write of the file it is given (open, pwrite of one byte read back
// unchanged, fsync, close), as a rename must at least do to be on disk.
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    const int fd = open(argv[1], O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return 2;
    }
    unsigned char byte = 0;
    const bool done = pread(fd, &byte, 1, 0) == 1 && pwrite(fd, &byte, 1, 0) == 1 && fsync(fd) == 0;
    return close(fd) == 0 && done ? 0 : 3;
}
