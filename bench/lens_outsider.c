/* The lens's ray evaluation as a host written elsewhere meets it: plain C,
 * built with nothing but `cc -O2 -ffp-contract=off`, the module file loaded at
 * run time, and the records declared here from the host's published layout
 * rather than taken from this project's headers.
 *
 * It creates a camera, prepares a frame with one motion step and times 2M
 * ray calls through the handler's function pointer, the film positions and
 * lens samples sweeping a grid, against a textbook thin lens written inline
 * in this file on the same grid. Each side takes the best of 5 rounds, the
 * two alternating, block by block of 32768 rays; the result line gives both
 * times a ray and their ratio.
 *
 * Usage: lens_outsider MODULE [ROUNDS]
 * ROUNDS (default 5) for a machine too busy for 5 to find a quiet moment.
 * Exits 1 when the module cannot be loaded or driven. */
#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <time.h>
#endif

/* --- the host's records, as its layout gives them ----------------------- */

typedef void *(*Lookup)(const char *name, int useCode);
typedef int (*Activate)(int version, Lookup lookup, void *local, void *serverData);

typedef struct {
    const char *className;
    const char *name;
    Activate activate;
    const void *tags;
} ServerRecord;

typedef struct {
    uint32_t syncWord, systemVersion, machineWord;
    void *(*startup)(void);
    void (*shutdown)(void *);
    const ServerRecord *servers;
} ModuleDescriptor;

typedef struct {
    void *cameraItem;
    unsigned char hostBytes[176 - sizeof(void *)];
    double filmWidth, filmHeight;
    unsigned char moreHostBytes[64];
} CameraAccess;

typedef struct {
    int32_t frame;
    double start, duration, framesPerSecond;
    int32_t motionSteps;
} FrameInfo;

typedef struct {
    double origin[3], direction[3], filmNormal[3];
} CameraRay;

typedef int (*Evaluate)(void *instance, double filmX, double filmY, double lensX, double lensY,
                        double shutterFraction, CameraRay *ray);

typedef struct {
    void *privateData;
    void *(*create)(void *privateData, void *context, const char **error);
    void (*destroy)(void *instance);
    void *copy, *load, *save, *describe;
} InstanceHandlers;

typedef struct {
    InstanceHandlers *instance;
    void *item, *render;
    void *preview;
    const char *(*newFrame)(void *instance, const FrameInfo *frame, const CameraAccess *access);
    Evaluate evaluate;
    void *flags;
} CameraHandler;

/* --- a camera at rest: the services the lens asks for ------------------- */

static double channelValues[8];
static int channelCount;

static void *createChannel(int type, int texture) {
    (void)type;
    (void)texture;
    return channelCount < 8 ? &channelValues[channelCount++] : NULL;
}
static void destroyChannel(void *channel) { (void)channel; }
static int setupChannel(void *c, const char *n, void *g, void *a, void *b, void *d, void *e) {
    (void)c, (void)n, (void)g, (void)a, (void)b, (void)d, (void)e;
    return 0;
}
static int channelValue(void *channel, double time, void *reserved, double *out) {
    (void)time;
    (void)reserved;
    out[0] = *(double *)channel;
    return 1;
}
static int setChannelValue(void *channel, double *in) {
    *(double *)channel = in[0];
    return 1;
}
static void *parameters[8] = {
    (void *)createChannel, (void *)destroyChannel, (void *)setupChannel, NULL, NULL, NULL,
    (void *)channelValue,  (void *)setChannelValue};

/* The camera stands 1 unit behind the origin, looking down +z. */
static void itemParam(void *item, int code, double time, double out[3]) {
    (void)item;
    (void)time;
    out[0] = out[1] = out[2] = 0.0;
    switch (code) {
    case 2:
        out[0] = 1.0;
        break; /* right */
    case 3:
        out[1] = 1.0;
        break; /* up */
    case 4:
        out[2] = 1.0;
        break; /* forward */
    case 8:
        out[2] = -1.0;
        break; /* position */
    default:
        break;
    }
}
static int groupToken;
static void *channelGroup(void *item) {
    (void)item;
    return &groupToken;
}
static void *items[14] = {NULL, NULL,
                          NULL, NULL,
                          NULL, NULL,
                          NULL, NULL,
                          NULL, (void *)itemParam,
                          NULL, NULL,
                          NULL, (void *)channelGroup};

static double focalDistance(void *item, double time) {
    (void)item;
    (void)time;
    return 4.0;
}
static double fStop(void *item, double time) {
    (void)item;
    (void)time;
    return 2.8;
}
static void *cameras[4] = {NULL, NULL, (void *)focalDistance, (void *)fStop};
static double timeInfo[4];
static int envelopes;

static void *lookup(const char *name, int useCode) {
    (void)useCode;
    if (strcmp(name, "LWVParmFuncs 2") == 0)
        return parameters;
    if (strcmp(name, "LW Item Info 4") == 0)
        return items;
    if (strcmp(name, "LW Camera Info 5") == 0)
        return cameras;
    if (strcmp(name, "LW Time Info") == 0)
        return timeInfo;
    if (strcmp(name, "Animation Envelopes") == 0)
        return &envelopes;
    return NULL;
}

/* --- the inline thin lens ------------------------------------------------ */

typedef struct {
    double right[3], up[3], forward[3], position[3];
    double lensRadius, focusDistance, focusScale;
} ThinLens;

static inline void thinLensRay(const ThinLens *c, double filmX, double filmY, double lensX,
                               double lensY, CameraRay *ray) {
    const double px = c->lensRadius * lensX, py = c->lensRadius * lensY;
    double dx = c->focusScale * filmX - px;
    double dy = c->focusScale * filmY - py;
    double dz = c->focusDistance;
    const double length = sqrt(dx * dx + dy * dy + dz * dz);
    dx /= length, dy /= length, dz /= length;
    for (int i = 0; i < 3; ++i) {
        ray->origin[i] = c->position[i] + px * c->right[i] + py * c->up[i];
        ray->direction[i] = dx * c->right[i] + dy * c->up[i] + dz * c->forward[i];
        ray->filmNormal[i] = c->forward[i];
    }
}

/* --- the sweep ------------------------------------------------------------ */

#define FILM_COLUMNS 256
#define FILM_ROWS 128
#define LENS_SIDE 8 /* 256 x 128 film points x 8 x 8 lens points: 2M rays */
static const double kFilmWidth = 0.036, kFilmHeight = 0.024;

/* Seconds of this thread's processor time where the system keeps it finely
 * (a shared machine then disturbs the figures less), else of the clock. */
static double now(void) {
#ifdef _WIN32
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / (double)frequency.QuadPart;
#else
    struct timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
#endif
}

static double sink;

#define BLOCKS (LENS_SIDE * LENS_SIDE)

/* One sweep; through the module when `evaluate` is set, else the thin lens.
 * Each lens sample's block of film positions (32768 rays) is timed on its
 * own and lowers its entry of `best`: the best of the rounds is taken block
 * by block, so that a block the system interrupted does not count. */
static void sweep(Evaluate evaluate, void *instance, const ThinLens *thin, double best[BLOCKS]) {
    double sum = 0.0;
    CameraRay ray;
    for (int ly = 0; ly < LENS_SIDE; ++ly) {
        const double lensY = (ly + 0.5) * (2.0 / LENS_SIDE) - 1.0;
        for (int lx = 0; lx < LENS_SIDE; ++lx) {
            const double lensX = (lx + 0.5) * (2.0 / LENS_SIDE) - 1.0;
            const double start = now();
            for (int row = 0; row < FILM_ROWS; ++row) {
                const double filmY = (0.5 - (row + 0.5) / FILM_ROWS) * kFilmHeight;
                for (int column = 0; column < FILM_COLUMNS; ++column) {
                    const double filmX = ((column + 0.5) / FILM_COLUMNS - 0.5) * kFilmWidth;
                    if (evaluate != NULL) {
                        evaluate(instance, filmX, filmY, lensX, lensY, 0.5, &ray);
                    } else {
                        thinLensRay(thin, filmX, filmY, lensX, lensY, &ray);
                    }
                    sum += ray.direction[0] + ray.origin[1];
                }
            }
            const double seconds = now() - start;
            double *const entry = &best[ly * LENS_SIDE + lx];
            *entry = seconds < *entry ? seconds : *entry;
        }
    }
    sink += sum;
}

static double total(const double best[BLOCKS]) {
    double sum = 0.0;
    for (int i = 0; i < BLOCKS; ++i) {
        sum += best[i];
    }
    return sum;
}

static const ModuleDescriptor *loadModule(const char *path) {
#ifdef _WIN32
    HMODULE module = LoadLibraryA(path);
    return module ? (const ModuleDescriptor *)(void *)GetProcAddress(module, "_mod_descrip") : NULL;
#else
    void *module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return module ? (const ModuleDescriptor *)dlsym(module, "_mod_descrip") : NULL;
#endif
}

int main(int argc, char **argv) {
    const int rounds = argc == 3 ? atoi(argv[2]) : 5;
    if (argc < 2 || argc > 3 || rounds < 1) {
        fprintf(stderr, "usage: lens_outsider MODULE [ROUNDS]\n");
        return 2;
    }
    const ModuleDescriptor *descriptor = loadModule(argv[1]);
    if (descriptor == NULL) {
        fprintf(stderr, "lens_outsider: cannot load %s\n", argv[1]);
        return 1;
    }
    const ServerRecord *server = descriptor->servers;
    while (server->className != NULL && strcmp(server->className, "CameraHandler") != 0) {
        ++server;
    }
    InstanceHandlers instances;
    memset(&instances, 0, sizeof instances);
    CameraHandler handler;
    memset(&handler, 0, sizeof handler);
    handler.instance = &instances;
    if (server->className == NULL || server->activate(2, lookup, &handler, NULL) != 0) {
        fprintf(stderr, "lens_outsider: the lens server does not activate\n");
        return 1;
    }
    static int cameraItem;
    const char *error = NULL;
    void *instance = instances.create(instances.privateData, &cameraItem, &error);
    CameraAccess access;
    memset(&access, 0, sizeof access);
    access.cameraItem = &cameraItem;
    access.filmWidth = kFilmWidth;
    access.filmHeight = kFilmHeight;
    const FrameInfo frame = {1, 0.0, 1.0 / 24.0, 24.0, 1};
    if (instance == NULL || handler.newFrame(instance, &frame, &access) != NULL) {
        fprintf(stderr, "lens_outsider: no camera or no frame\n");
        return 1;
    }

    /* The thin lens is set to the lens's own camera: its centre ray. */
    CameraRay centre;
    handler.evaluate(instance, 0.0, 0.0, 0.0, 0.0, 0.5, &centre);
    const ThinLens thin = {
        {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {centre.origin[0], centre.origin[1], centre.origin[2]},
        0.001,     4.0,       4.0 / 0.05};

    double lensBlocks[BLOCKS], thinBlocks[BLOCKS];
    for (int i = 0; i < BLOCKS; ++i) {
        lensBlocks[i] = thinBlocks[i] = 1e30;
    }
    for (int round = 0; round < rounds; ++round) {
        sweep(handler.evaluate, instance, NULL, lensBlocks);
        sweep(NULL, NULL, &thin, thinBlocks);
    }
    const double bestLens = total(lensBlocks), bestThin = total(thinBlocks);
    const double rays = (double)FILM_COLUMNS * FILM_ROWS * LENS_SIDE * LENS_SIDE;
    printf("lens %.2f ns/ray, inline thin lens %.2f ns/ray, ratio %.2f (best of %d, %.0f rays)\n",
           1e9 * bestLens / rays, 1e9 * bestThin / rays, bestLens / bestThin, rounds, rays);
    instances.destroy(instance);
    return sink == 12345.678 ? 3 : 0;
}
