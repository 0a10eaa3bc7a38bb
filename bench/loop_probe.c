/* The machine's own share of a user-interface gap: a loop that only waits
 * for a 1 ms timer, run beside a measured program. When the guest's CPUs
 * are taken (the kernel enumerating a device, say), this loop misses its
 * wake-ups too, and its largest gap is what no program could have
 * avoided.
 *
 *   loop_probe READY_FILE
 *
 * Creates READY_FILE once running; on SIGTERM or SIGINT prints one line
 * "BENCH {...}" with the largest interval between wake-ups, and exits. */
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include "now_ns.h"

static volatile sig_atomic_t stop;

static void on_signal(int sig)
{
    (void)sig;
    stop = 1;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s READY_FILE\n", argv[0]);
        return 2;
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal; /* no SA_RESTART: the read returns */
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);

    int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    struct itimerspec every = {{0, 1000000}, {0, 1000000}};
    if (fd < 0 || timerfd_settime(fd, 0, &every, NULL) != 0)
        return 1;
    FILE *ready = fopen(argv[1], "w");
    if (ready)
        fclose(ready);

    long long last = now_ns(), worst = 0, wakeups = 0;
    while (!stop) {
        uint64_t expirations;
        if (read(fd, &expirations, sizeof expirations) < 0)
            continue;
        const long long t = now_ns();
        if (t - last > worst)
            worst = t - last;
        last = t;
        ++wakeups;
    }
    printf("BENCH {\"mode\":\"loop\",\"gap_max_ms\":%.3f,\"wakeups\":%lld}\n", worst / 1e6,
           wakeups);
    return 0;
}
