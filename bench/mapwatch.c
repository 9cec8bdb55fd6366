/* Starts a program and reports when its first real top-level window is
 * mapped, as the X server tells it (MapNotify), with the start time taken
 * just before the fork, on both clocks:
 *
 *   pid N
 *   start REALTIME MONOTONIC
 *   map REALTIME MONOTONIC 0xWINDOW WxH
 *
 * "Real" means viewable, not override-redirect and at least --min W H (200x150 by
 * default), which leaves out the hidden and 1x1 helper windows toolkits make.
 * Afterwards it only waits for the program, so the program stays its child.
 */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int min_w = 200, min_h = 150;

static double now(clockid_t clock)
{
    struct timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static int ignore_errors(Display *d, XErrorEvent *e)
{
    (void)d;
    (void)e;   /* windows may vanish between an event and our look at them */
    return 0;
}

/* True when w is mapped now and is a window worth reporting. */
static int real_and_mapped(Display *d, Window w)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a))
        return 0;
    return !a.override_redirect && a.map_state == IsViewable && a.width >= min_w && a.height >= min_h;
}

static void report(Display *d, Window w)
{
    double rt = now(CLOCK_REALTIME), mono = now(CLOCK_MONOTONIC);
    XWindowAttributes a;
    XGetWindowAttributes(d, w, &a);
    printf("map %.6f %.6f 0x%lx %dx%d\n", rt, mono, (unsigned long)w, a.width, a.height);
    fflush(stdout);
}

int main(int argc, char **argv)
{
    double timeout = 30;
    int i = 1;
    for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        if (!strcmp(argv[i], "--min") && i + 2 < argc) {
            min_w = atoi(argv[++i]);
            min_h = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--timeout") && i + 1 < argc) {
            timeout = atof(argv[++i]);
        } else {
            fprintf(stderr, "usage: %s [--min W H] [--timeout S] -- program [args]\n", argv[0]);
            return 2;
        }
    }
    if (i + 1 >= argc) {
        fprintf(stderr, "no program given\n");
        return 2;
    }
    char **cmd = argv + i + 1;

    Display *d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "cannot open display\n");
        return 2;
    }
    XSetErrorHandler(ignore_errors);
    Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    XSync(d, False);   /* listening before the program exists */

    double start_rt = now(CLOCK_REALTIME), start_mono = now(CLOCK_MONOTONIC);
    pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        return 2;
    }
    if (pid == 0) {
        close(ConnectionNumber(d));
        setsid();   /* its own session and process group */
        execvp(cmd[0], cmd);
        perror(cmd[0]);
        _exit(127);
    }
    printf("pid %d\nstart %.6f %.6f\n", (int)pid, start_rt, start_mono);
    fflush(stdout);

    int found = 0, status = 0;
    struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
    while (!found) {
        while (!found && XPending(d)) {
            XEvent ev;
            XNextEvent(d, &ev);
            if (ev.type == CreateNotify && ev.xcreatewindow.parent == root && !ev.xcreatewindow.override_redirect) {
                /* Its own MapNotify still reaches us after the window
                 * manager reparents it into a frame. */
                Window w = ev.xcreatewindow.window;
                XSelectInput(d, w, StructureNotifyMask);
                XSync(d, False);
                if (real_and_mapped(d, w)) {
                    report(d, w);
                    found = 1;
                }
            } else if (ev.type == MapNotify && !ev.xmap.override_redirect && real_and_mapped(d, ev.xmap.window)) {
                report(d, ev.xmap.window);
                found = 1;
            }
        }
        if (found)
            break;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            printf("exit %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            return 1;
        }
        if (now(CLOCK_MONOTONIC) - start_mono > timeout) {
            printf("timeout\n");
            fflush(stdout);
            break;
        }
        poll(&p, 1, 5);
    }
    XCloseDisplay(d);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return 0;
}
