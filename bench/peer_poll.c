/* Times a picture viewer by watching the middle of the X screen: starts the
 * viewer (or presses a key, or clicks, through the XTest extension as
 * xdotool does, without xdotool's own start-up in the figure), then reads a
 * small square near the middle of the screen (PEER_SQUARE_DX pixels right
 * of it, PEER_SQUARE pixels wide) every couple of milliseconds
 * until it shows the picture asked for and has stopped changing.
 *
 *   peer_poll REFS TARGET start PROGRAM [ARG...]
 *   peer_poll REFS TARGET key KEYSYM
 *   peer_poll REFS TARGET click X Y [HOVER_X HOVER_Y]
 *   peer_poll REFS -1 shown
 *
 * REFS holds one line "R G B" a picture: the mean colour of each picture's
 * middle. The square shows picture N when its mean colour is nearer to line
 * N than to any other and near enough (PEER_MATCH, a distance in 0-255 RGB
 * units). Prints one line:
 *   ok FIRST_MS FINAL_MS changes=N pid=P
 *   fail WHY shown=N pid=P
 * and, after a start, t0=EPOCH_SECONDS created=MS (the first window made)
 * maps=MS:WxH,... (each window mapped on the screen).
 * FIRST_MS: the first read that shows the picture; FINAL_MS: the last change
 * of the square after that, followed by PEER_SETTLE_MS of stillness.
 * "start" leaves the viewer running in a session of its own (its pid is the
 * process group) with its output in PEER_VIEWER_LOG. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define MAX_REFS 64

static double refs[MAX_REFS][3];
static double t0_wall; /* the start in seconds since the epoch, to line up with strace */
static int nrefs;

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void sleep_ms(double ms)
{
    struct timespec t = {(time_t)(ms / 1000), (long)(fmod(ms, 1000) * 1e6)};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

static int env_int(const char* name, int fallback)
{
    const char* v = getenv(name);
    return v && *v ? atoi(v) : fallback;
}

static int load_refs(const char* path)
{
    FILE* f = fopen(path, "r");
    if (!f)
        return 0;
    while (nrefs < MAX_REFS && fscanf(f, "%lf %lf %lf", &refs[nrefs][0], &refs[nrefs][1], &refs[nrefs][2]) == 3)
        ++nrefs;
    fclose(f);
    return nrefs > 0;
}

struct square {
    int x, y, size;
    unsigned char* last; /* the previous read, to see changes */
    size_t bytes;
};

/* Reads the square; returns the picture it shows (or -1), and whether it
 * differs from the previous read. */
static int read_square(Display* d, struct square* s, int* changed, double* distance)
{
    XImage* img = XGetImage(d, DefaultRootWindow(d), s->x, s->y, s->size, s->size, AllPlanes, ZPixmap);
    if (!img)
        return -1;
    const size_t bytes = (size_t)img->bytes_per_line * img->height;
    if (!s->last) {
        s->last = calloc(1, bytes);
        s->bytes = bytes;
        *changed = 1;
    } else {
        *changed = bytes != s->bytes || memcmp(s->last, img->data, bytes) != 0;
    }
    if (*changed && bytes == s->bytes)
        memcpy(s->last, img->data, bytes);
    double sum[3] = {0, 0, 0};
    for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < img->width; ++x) {
            const unsigned long p = XGetPixel(img, x, y);
            sum[0] += (p >> 16) & 0xff;
            sum[1] += (p >> 8) & 0xff;
            sum[2] += p & 0xff;
        }
    XDestroyImage(img);
    const double n = (double)s->size * s->size;
    int best = -1;
    double bestd = 1e9;
    for (int i = 0; i < nrefs; ++i) {
        const double dr = sum[0] / n - refs[i][0], dg = sum[1] / n - refs[i][1], db = sum[2] / n - refs[i][2];
        const double dist = sqrt(dr * dr + dg * dg + db * db);
        if (dist < bestd) {
            bestd = dist;
            best = i;
        }
    }
    *distance = bestd;
    return bestd <= env_int("PEER_MATCH", 45) ? best : -1;
}

/* A window may be gone by the time its size is asked for. */
static int ignore_x_errors(Display* d, XErrorEvent* e)
{
    (void)d;
    (void)e;
    return 0;
}

static pid_t start_program(char** argv)
{
    const pid_t pid = fork();
    if (pid == 0) {
        /* A session of its own: the viewer outlives this program and the
         * benchmark ends it and its children by the process group. */
        setsid();
        const char* log = getenv("PEER_VIEWER_LOG");
        const int fd = open(log && *log ? log : "/dev/null", O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        execvp(argv[0], argv);
        _exit(127);
    }
    return pid;
}

int main(int argc, char** argv)
{
    if (argc < 4 || !load_refs(argv[1])) {
        fprintf(stderr, "usage: peer_poll REFS TARGET start PROGRAM [ARG...] | key KEYSYM | click X Y [HX HY] | shown\n");
        return 2;
    }
    const int target = atoi(argv[2]);
    const char* action = argv[3];
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "peer_poll: no display\n");
        return 2;
    }
    XSetErrorHandler(ignore_x_errors);
    struct square sq = {0};
    sq.size = env_int("PEER_SQUARE", 64);
    sq.x = DisplayWidth(d, DefaultScreen(d)) / 2 + env_int("PEER_SQUARE_DX", 0) - sq.size / 2;
    sq.y = DisplayHeight(d, DefaultScreen(d)) / 2 - sq.size / 2;
    const double settle = env_int("PEER_SETTLE_MS", 500);
    const double timeout = env_int("PEER_TIMEOUT_MS", 20000);
    const double interval = env_int("PEER_INTERVAL_US", 2000) / 1000.0;
    int changed = 0;
    double dist = 0;
    pid_t pid = 0;

    if (strcmp(action, "shown") == 0) {
        const int shown = read_square(d, &sq, &changed, &dist);
        printf("%d %.1f\n", shown, dist);
        return 0;
    }
    int before = read_square(d, &sq, &changed, &dist);
    double t0 = 0;
    const int starting = strcmp(action, "start") == 0;
    if (starting && argc > 4) {
        /* The windows made and mapped on the screen, timed too. */
        XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
        XSync(d, False);
        struct timespec wall;
        clock_gettime(CLOCK_REALTIME, &wall);
        t0_wall = wall.tv_sec + wall.tv_nsec / 1e9;
        t0 = now_ms();
        pid = start_program(argv + 4);
    } else if (strcmp(action, "key") == 0 && argc == 5) {
        const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(argv[4]));
        if (!code) {
            fprintf(stderr, "peer_poll: unknown key %s\n", argv[4]);
            return 2;
        }
        t0 = now_ms();
        XTestFakeKeyEvent(d, code, True, 0);
        XTestFakeKeyEvent(d, code, False, 0);
        XFlush(d);
    } else if (strcmp(action, "click") == 0 && (argc == 6 || argc == 8)) {
        if (argc == 8) {
            /* Some controls show only while the pointer is over them. */
            XTestFakeMotionEvent(d, -1, atoi(argv[6]), atoi(argv[7]), 0);
            XFlush(d);
            sleep_ms(400);
        }
        XTestFakeMotionEvent(d, -1, atoi(argv[4]), atoi(argv[5]), 0);
        XFlush(d);
        sleep_ms(300);
        before = read_square(d, &sq, &changed, &dist);
        t0 = now_ms();
        XTestFakeButtonEvent(d, 1, True, 0);
        XTestFakeButtonEvent(d, 1, False, 0);
        XFlush(d);
    } else {
        fprintf(stderr, "peer_poll: bad action\n");
        return 2;
    }
    (void)before;

    double first = -1, last_change = -1, created = -1;
    int changes = 0, shown = -1, settled = 0;
    char maps[256] = "";
    for (;;) {
        while (starting && XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            const double te = now_ms() - t0;
            if (e.type == CreateNotify && created < 0)
                created = te;
            if (e.type == MapNotify && strlen(maps) < sizeof maps - 32) {
                XWindowAttributes a;
                if (XGetWindowAttributes(d, e.xmap.window, &a) && a.width > 1)
                    snprintf(maps + strlen(maps), sizeof maps - strlen(maps), "%s%.0f:%dx%d", *maps ? "," : "", te,
                             a.width, a.height);
            }
        }
        const double t = now_ms() - t0;
        shown = read_square(d, &sq, &changed, &dist);
        if (first < 0) {
            if (shown == target) {
                first = last_change = t;
                changes = 1;
            }
        } else if (changed) {
            last_change = t;
            ++changes;
        }
        if (first >= 0 && t - last_change >= settle) {
            settled = 1;
            break;
        }
        if (t > timeout)
            break;
        sleep_ms(interval);
    }
    if (settled && shown == target)
        printf("ok %.1f %.1f changes=%d pid=%d", first, last_change, changes, (int)pid);
    else if (first >= 0)
        printf("fail %s shown=%d first=%.1f pid=%d", settled ? "left-the-picture" : "never-settled", shown, first,
               (int)pid);
    else
        printf("fail timeout shown=%d dist=%.0f pid=%d", shown, dist, (int)pid);
    if (starting)
        printf(" t0=%.6f created=%.1f maps=%s", t0_wall, created, *maps ? maps : "none");
    printf("\n");
    XCloseDisplay(d);
    return 0;
}
