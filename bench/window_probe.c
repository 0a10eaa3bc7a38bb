/* Starts a program and times how long it takes until its first top-level
 * window is mapped on the X display; the program is left running.
 *
 *   window_probe PROGRAM [ARG...]
 *
 * Prints "<pid> <milliseconds>" once the window is mapped; exit status 1
 * (and the program killed) when none is within 120 s. */
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "now_ns.h"

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s PROGRAM [ARG...]\n", argv[0]);
        return 2;
    }
    xcb_connection_t *c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "window_probe: no X display\n");
        return 1;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t ck =
        xcb_change_window_attributes_checked(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_generic_error_t *err = xcb_request_check(c, ck);
    if (err) {
        fprintf(stderr, "window_probe: cannot watch the root window\n");
        return 1;
    }

    const long long start = now_ns();
    pid_t pid = fork();
    if (pid == 0) {
        close(xcb_get_file_descriptor(c));
        /* Our output is read until it ends: the program must not hold it. */
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    if (pid < 0)
        return 1;

    struct pollfd p = {xcb_get_file_descriptor(c), POLLIN, 0};
    const long long deadline = start + 120000000000LL;
    for (;;) {
        xcb_generic_event_t *ev;
        while ((ev = xcb_poll_for_event(c)) != NULL) {
            if ((ev->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                xcb_map_notify_event_t *m = (xcb_map_notify_event_t *)ev;
                if (m->event == screen->root && !m->override_redirect) {
                    printf("%d %.3f\n", (int)pid, (double)(now_ns() - start) / 1e6);
                    fflush(stdout);
                    free(ev);
                    xcb_disconnect(c);
                    return 0;
                }
            }
            free(ev);
        }
        if (xcb_connection_has_error(c))
            break;
        long long left = (deadline - now_ns()) / 1000000;
        if (left <= 0)
            break;
        poll(&p, 1, (int)(left > 1000 ? 1000 : left));
    }
    kill(pid, SIGKILL);
    fprintf(stderr, "window_probe: %s showed no window\n", argv[1]);
    return 1;
}
