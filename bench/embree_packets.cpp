// Embree's own pace on the renderer's benchmark frame, with nothing else to
// do: the engine model from its own camera, a 960 x 320 film of two 480 x
// 320 eyes side by side, 16 samples a pixel on 2 threads. Camera rays go in
// 16-wide packets, one packet a 4 x 4 pixel tile at one sample, with the
// coherent flag; each hit sends one shadow ray toward the renderer's sun, in
// a packet of the tile's hits. No lens, shading or film.
//
// Usage: brelvix_embree_packets [MODEL]
// Prints one line: camera rays, time, rate, the share that hit. The frame is
// traced three times and the fastest is reported.
#include "tools/world/world_scene.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using namespace brelvix::world;

constexpr int kEyeWidth = 480;
constexpr int kHeight = 320;
constexpr int kWidth = 2 * kEyeWidth;
constexpr int kSamples = 16;
constexpr int kThreads = 2;
constexpr int kTile = 4;

/// A sample's offset within its pixel, the same for every run.
float jitter(uint32_t pixel, uint32_t sample, uint32_t axis) {
    uint32_t h = pixel * 0x9E3779B1u ^ (sample * 0x85EBCA77u + axis * 0xC2B2AE3Du);
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

RTCScene buildScene(RTCDevice device, const std::vector<Mesh> &meshes) {
    RTCScene scene = rtcNewScene(device);
    for (const Mesh &mesh : meshes) {
        if (mesh.triangles.empty()) {
            continue;
        }
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        auto *vertices = static_cast<float *>(
            rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                    3 * sizeof(float), mesh.positions.size()));
        auto *indices = static_cast<uint32_t *>(
            rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                    3 * sizeof(uint32_t), mesh.triangles.size()));
        for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
            vertices[3 * i] = mesh.positions[i].x;
            vertices[3 * i + 1] = mesh.positions[i].y;
            vertices[3 * i + 2] = mesh.positions[i].z;
        }
        for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
            std::copy(mesh.triangles[i].begin(), mesh.triangles[i].end(), indices + 3 * i);
        }
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(scene, geometry);
        rtcReleaseGeometry(geometry);
    }
    rtcCommitScene(scene);
    return scene;
}

struct View {
    Camera camera;
    double tanHalf = 0.0;
    float shadowOffset = 0.0f;
};

/// Traces the tiles of rows `first`, `first` + kThreads * kTile, ...; returns
/// the camera rays that hit.
uint64_t traceTiles(RTCScene scene, const View &view, int first) {
    const Vec3 toSun = normalize({-0.45, 0.80, -0.40});
    const double aspect = static_cast<double>(kEyeWidth) / kHeight;
    uint64_t hits = 0;
    alignas(64) int valid[16];
    alignas(64) RTCRayHit16 packet;
    alignas(64) RTCRay16 shadow;
    for (int ty = first; ty < kHeight; ty += kThreads * kTile) {
        for (int tx = 0; tx < kWidth; tx += kTile) {
            for (int s = 0; s < kSamples; ++s) {
                for (int i = 0; i < 16; ++i) {
                    const int x = tx + i % kTile;
                    const int y = ty + i / kTile;
                    const auto pixel = static_cast<uint32_t>(y * kWidth + x);
                    const double u =
                        (2.0 * ((x % kEyeWidth) + jitter(pixel, s, 0)) / kEyeWidth - 1.0) *
                        view.tanHalf * aspect;
                    const double v =
                        (1.0 - 2.0 * (y + jitter(pixel, s, 1)) / kHeight) * view.tanHalf;
                    const Vec3 d =
                        normalize(view.camera.forward + view.camera.right * u + view.camera.up * v);
                    packet.ray.org_x[i] = static_cast<float>(view.camera.position.x);
                    packet.ray.org_y[i] = static_cast<float>(view.camera.position.y);
                    packet.ray.org_z[i] = static_cast<float>(view.camera.position.z);
                    packet.ray.dir_x[i] = static_cast<float>(d.x);
                    packet.ray.dir_y[i] = static_cast<float>(d.y);
                    packet.ray.dir_z[i] = static_cast<float>(d.z);
                    packet.ray.tnear[i] = 0.0f;
                    packet.ray.tfar[i] = INFINITY;
                    packet.ray.time[i] = 0.0f;
                    packet.ray.mask[i] = 0xFFFFFFFFu;
                    packet.ray.flags[i] = 0;
                    packet.hit.geomID[i] = RTC_INVALID_GEOMETRY_ID;
                    packet.hit.instID[0][i] = RTC_INVALID_GEOMETRY_ID;
                    valid[i] = -1;
                }
                RTCIntersectContext context;
                rtcInitIntersectContext(&context);
                context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
                rtcIntersect16(valid, scene, &context, &packet);
                int any = 0;
                for (int i = 0; i < 16; ++i) {
                    const bool hit = packet.hit.geomID[i] != RTC_INVALID_GEOMETRY_ID;
                    valid[i] = hit ? -1 : 0;
                    any += hit ? 1 : 0;
                    if (!hit) {
                        continue;
                    }
                    const float t = packet.ray.tfar[i];
                    shadow.org_x[i] = packet.ray.org_x[i] + t * packet.ray.dir_x[i];
                    shadow.org_y[i] = packet.ray.org_y[i] + t * packet.ray.dir_y[i];
                    shadow.org_z[i] = packet.ray.org_z[i] + t * packet.ray.dir_z[i];
                    shadow.dir_x[i] = static_cast<float>(toSun.x);
                    shadow.dir_y[i] = static_cast<float>(toSun.y);
                    shadow.dir_z[i] = static_cast<float>(toSun.z);
                    shadow.tnear[i] = view.shadowOffset;
                    shadow.tfar[i] = INFINITY;
                    shadow.time[i] = 0.0f;
                    shadow.mask[i] = 0xFFFFFFFFu;
                    shadow.flags[i] = 0;
                }
                if (any > 0) {
                    RTCIntersectContext shadowContext;
                    rtcInitIntersectContext(&shadowContext);
                    shadowContext.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
                    rtcOccluded16(valid, scene, &shadowContext, &shadow);
                }
                hits += static_cast<uint64_t>(any);
            }
        }
    }
    return hits;
}

} // namespace

int main(int argc, char **argv) {
    const char *const model =
        argc > 1 ? argv[1]
                 : "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";
    std::string error;
    const auto world = loadScene(model, error);
    if (!world) {
        std::fprintf(stderr, "brelvix_embree_packets: %s\n", error.c_str());
        return 1;
    }
    View view;
    // The renderer's view: the file's first camera, else its framing camera.
    view.camera = world->cameras.empty()
                      ? framingCamera(world->bounds, 2.0 * std::atan(1.0 / 2.6217), 1.5)
                      : world->cameras.front();
    const double fov =
        view.camera.verticalFov > 0.0 ? view.camera.verticalFov : 2.0 * std::atan(1.0 / 2.6217);
    view.tanHalf = std::tan(0.5 * fov);
    view.shadowOffset =
        static_cast<float>(1e-5 * std::max(1.0, length(world->bounds.high - world->bounds.low)));

    RTCDevice device = rtcNewDevice("threads=2");
    RTCScene scene = buildScene(device, world->meshes);
    double best = 1e30;
    std::atomic<uint64_t> hits{0};
    for (int run = 0; run < 3; ++run) {
        hits = 0;
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] { hits += traceTiles(scene, view, t * kTile); });
        }
        for (std::thread &thread : threads) {
            thread.join();
        }
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const double rays = static_cast<double>(kWidth) * kHeight * kSamples;
    std::printf("embree packets: %.0f camera rays in %.2f s on %d threads (%.2f M rays/s), "
                "%.0f %% hit\n",
                rays, best, kThreads, rays / best / 1e6, 100.0 * static_cast<double>(hits) / rays);
    rtcReleaseScene(scene);
    rtcReleaseDevice(device);
    return 0;
}
