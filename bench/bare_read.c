/* The baseline reader: a bare hidapi loop that opens the board, says it is
 * ready, and counts the numbered reports ("<seq> ...") it reads.
 *
 *   bare_read COUNT READY_FILE
 *   bare_read idle READY_FILE     (the idle yardstick: waits in hidapi's
 *                                  blocking read, without timeout, until
 *                                  killed)
 *
 * Ends when COUNT reports arrived or none came for 3 s; prints one line
 * "BENCH {json}". */
#include <hidapi/hidapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "now_ns.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s COUNT READY_FILE\n", argv[0]);
        return 2;
    }
    const long count = strcmp(argv[1], "idle") == 0 ? 1 : strtol(argv[1], NULL, 10);
    char *seen = calloc((size_t)count + 1, 1);
    if (!seen || hid_init() != 0)
        return 1;

    hid_device *dev = NULL;
    const long long give_up = now_ns() + 10000000000LL;
    while (!dev && now_ns() < give_up) {
        dev = hid_open(0x04D8, 0x003F, NULL);
        if (!dev) {
            struct timespec pause = {0, 10000000};
            nanosleep(&pause, NULL);
        }
    }
    if (!dev) {
        fprintf(stderr, "bare_read: no board\n");
        return 1;
    }
    FILE *ready = fopen(argv[2], "w");
    if (ready)
        fclose(ready);
    if (strcmp(argv[1], "idle") == 0) {
        unsigned char b[65];
        while (hid_read(dev, b, sizeof b) >= 0) {
        }
        return 0;
    }

    unsigned char buf[65];
    long received = 0, duplicates = 0, out_of_order = 0, last = 0;
    long long first_ns = 0, last_ns = 0;
    const long long start = now_ns();
    struct timespec cpu0, cpu1;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    while (received < count) {
        int n = hid_read_timeout(dev, buf, sizeof buf - 1, 3000);
        if (n < 0)
            break;
        if (n == 0) {
            if (received > 0 || now_ns() - start > 30000000000LL)
                break;
            continue;
        }
        buf[n] = 0;
        last_ns = now_ns();
        if (!first_ns)
            first_ns = last_ns;
        long seq = strtol((const char *)buf, NULL, 10);
        if (seq <= 0 || seq > count)
            continue;
        if (seen[seq]) {
            ++duplicates;
            continue;
        }
        seen[seq] = 1;
        if (seq <= last)
            ++out_of_order;
        last = seq;
        ++received;
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    hid_close(dev);
    hid_exit();

    const double seconds = (double)(last_ns - first_ns) / 1e9;
    printf("BENCH {\"mode\":\"bare\",\"sent\":%ld,\"received\":%ld,\"lost\":%ld,"
           "\"duplicates\":%ld,\"out_of_order\":%ld,\"rate\":%.3f,\"cpu_ms\":%.3f}\n",
           count, received, count - received, duplicates, out_of_order,
           seconds > 0 ? (double)(received - 1) / seconds : 0.0,
           (double)(cpu1.tv_sec - cpu0.tv_sec) * 1e3 + (double)(cpu1.tv_nsec - cpu0.tv_nsec) / 1e6);
    free(seen);
    return received == count ? 0 : 1;
}
