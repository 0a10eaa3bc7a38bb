/* The board's side of a burst: writes COUNT input reports "<seq> <t_ns>"
 * (seq from 1, t_ns the CLOCK_MONOTONIC time of the write) to the gadget's
 * character device, each zero-filled to LENGTH bytes, as fast as the host
 * takes them, or one every INTERVAL_MS.
 *
 *   burst DEVICE COUNT [LENGTH [INTERVAL_MS]]
 *
 * Gives up when the host takes no report for 5 s. Prints one line "BENCH {json}" with the board's own rate. */
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "now_ns.h"

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 5) {
        fprintf(stderr, "usage: %s DEVICE COUNT [LENGTH [INTERVAL_MS]]\n", argv[0]);
        return 2;
    }
    const long count = strtol(argv[2], NULL, 10);
    const size_t length = argc >= 4 ? (size_t)strtoul(argv[3], NULL, 10) : 64;
    const long long interval_ns = argc == 5 ? strtoll(argv[4], NULL, 10) * 1000000LL : 0;
    char report[256];
    if (length == 0 || length > sizeof report)
        return 2;
    int fd = open(argv[1], O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        perror(argv[1]);
        return 1;
    }
    long written = 0;
    const long long start = now_ns();
    for (long seq = 1; seq <= count; ++seq) {
        if (interval_ns) {
            const long long due = start + (seq - 1) * interval_ns;
            for (long long now; (now = now_ns()) < due;) {
                struct timespec ts = {(time_t)((due - now) / 1000000000LL),
                                      (long)((due - now) % 1000000000LL)};
                nanosleep(&ts, NULL);
            }
        }
        /* Stamped once the previous report has gone, just before this one
         * is handed to the gadget. */
        ssize_t n = -1;
        for (;;) {
            struct pollfd p = {fd, POLLOUT, 0};
            if (poll(&p, 1, 5000) <= 0) {
                errno = ETIMEDOUT;
                break;
            }
            memset(report, 0, length);
            snprintf(report, length, "%ld %lld", seq, now_ns());
            n = write(fd, report, length);
            if (n >= 0 || errno != EAGAIN)
                break;
        }
        if (n != (ssize_t)length) {
            fprintf(stderr, "burst: report %ld not taken: %s\n", seq, strerror(errno));
            break;
        }
        ++written;
    }
    const double seconds = (double)(now_ns() - start) / 1e9;
    close(fd);
    printf("BENCH {\"mode\":\"board\",\"written\":%ld,\"seconds\":%.3f,\"rate\":%.3f}\n",
           written, seconds, seconds > 0 ? written / seconds : 0.0);
    return written == count ? 0 : 1;
}
