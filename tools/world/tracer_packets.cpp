// Batches of rays traced in Embree's packets: the rays of a batch go in
// order, `packetWidth` to a packet, each packet with the coherent flag. A
// lane whose ray Embree cannot take stays inactive and sees the sky, as a
// single ray would. A ray along an axis plane is traced alone (see
// `alongAnAxisPlane`).
#include "tools/world/tracer.h"
#include "tools/world/tracer_shading.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>

namespace brelvix::world {
namespace {

/// What a ray that meets nothing sees.
const Hit kSkyHit{};

/// Embree's packet types and calls of one width.
template <int Width, typename RayHitT, typename RayT> struct PacketKind {
    static constexpr int width = Width;
    using RayHit = RayHitT;
    using Rays = RayT;
};

using Packet4 = PacketKind<4, RTCRayHit4, RTCRay4>;
using Packet8 = PacketKind<8, RTCRayHit8, RTCRay8>;
using Packet16 = PacketKind<16, RTCRayHit16, RTCRay16>;

void intersect(const int *valid, RTCScene scene, RTCIntersectContext *context, RTCRayHit4 *p) {
    rtcIntersect4(valid, scene, context, p);
}
void intersect(const int *valid, RTCScene scene, RTCIntersectContext *context, RTCRayHit8 *p) {
    rtcIntersect8(valid, scene, context, p);
}
void intersect(const int *valid, RTCScene scene, RTCIntersectContext *context, RTCRayHit16 *p) {
    rtcIntersect16(valid, scene, context, p);
}
void occlude(const int *valid, RTCScene scene, RTCIntersectContext *context, RTCRay4 *p) {
    rtcOccluded4(valid, scene, context, p);
}
void occlude(const int *valid, RTCScene scene, RTCIntersectContext *context, RTCRay8 *p) {
    rtcOccluded8(valid, scene, context, p);
}
void occlude(const int *valid, RTCScene scene, RTCIntersectContext *context, RTCRay16 *p) {
    rtcOccluded16(valid, scene, context, p);
}

/// Whether a packet may pass by what the ray meets: Embree takes a direction
/// component this close to zero (a negative zero too) as a small positive
/// one, and a packet that holds such a ray among rays pointing the other way
/// misses hits of its rays. Such rays (the film's centre lines of a level
/// camera) are traced alone, where Embree meets what they meet.
bool alongAnAxisPlane(const Ray &ray) {
    constexpr double kSmallest = 1e-18; // Embree's own bound for a reciprocal
    return std::abs(ray.direction.x) < kSmallest || std::abs(ray.direction.y) < kSmallest ||
           std::abs(ray.direction.z) < kSmallest;
}

/// Lane `i` of a packet's rays set as embreeRay sets a single ray.
template <typename Rays>
void setLane(Rays &rays, int i, const Ray &ray, double nearest, double farthest) {
    rays.org_x[i] = static_cast<float>(ray.origin.x);
    rays.org_y[i] = static_cast<float>(ray.origin.y);
    rays.org_z[i] = static_cast<float>(ray.origin.z);
    rays.dir_x[i] = static_cast<float>(ray.direction.x);
    rays.dir_y[i] = static_cast<float>(ray.direction.y);
    rays.dir_z[i] = static_cast<float>(ray.direction.z);
    rays.tnear[i] = static_cast<float>(nearest);
    rays.tfar[i] = static_cast<float>(std::min(farthest, static_cast<double>(INFINITY)));
    rays.time[i] = static_cast<float>(ray.time);
    rays.mask[i] = 0xFFFFFFFFu;
    rays.flags[i] = 0;
}

RTCIntersectContext coherentContext() {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
    return context;
}

/// Closest hits of `rays` in packets of Kind; `resolve` sets a found hit of
/// a ray. False when a ray was refused.
template <typename Kind, typename Resolve, typename Alone>
bool traceHits(RTCScene scene, std::span<const Ray> rays, std::span<Hit> hits, double nearest,
               double farthest, const Resolve &resolve, const Alone &alone) {
    constexpr int width = Kind::width;
    alignas(64) typename Kind::RayHit packet{};
    alignas(64) int valid[width] = {};
    bool single[width] = {}; // lanes traced alone, after the packet
    RTCIntersectContext context = coherentContext();
    bool refused = false;
    for (std::size_t first = 0; first < rays.size(); first += width) {
        const auto count = static_cast<int>(std::min<std::size_t>(width, rays.size() - first));
        bool any = false;
        for (int i = 0; i < width; ++i) {
            valid[i] = 0;
            single[i] = false;
            packet.hit.geomID[i] = RTC_INVALID_GEOMETRY_ID;
            packet.hit.instID[0][i] = RTC_INVALID_GEOMETRY_ID;
            if (i >= count) {
                continue;
            }
            const Ray &ray = rays[first + static_cast<std::size_t>(i)];
            if (!takes(ray, nearest, farthest)) {
                refused = true;
                continue;
            }
            if (alongAnAxisPlane(ray)) {
                single[i] = true;
                continue;
            }
            setLane(packet.ray, i, ray, nearest, farthest);
            valid[i] = -1;
            any = true;
        }
        if (any) {
            intersect(valid, scene, &context, &packet);
        }
        for (int i = 0; i < count; ++i) {
            const std::size_t k = first + static_cast<std::size_t>(i);
            const auto &h = packet.hit;
            if (single[i]) {
                hits[k] = alone(rays[k]);
                continue;
            }
            if (valid[i] == 0 || h.geomID[i] == RTC_INVALID_GEOMETRY_ID) {
                // Copied from a constant: clearing the record in place
                // becomes a string instruction, slow to start.
                hits[k] = kSkyHit;
                continue;
            }
            resolve(rays[k],
                    EmbreeHit{h.geomID[i],
                              h.instID[0][i],
                              h.primID[i],
                              h.u[i],
                              h.v[i],
                              {h.Ng_x[i], h.Ng_y[i], h.Ng_z[i]},
                              packet.ray.tfar[i]},
                    hits[k]);
        }
    }
    return !refused;
}

/// Occlusion of `segments` in packets of Kind. False when a ray was refused.
template <typename Kind, typename Alone>
bool traceOcclusion(RTCScene scene, std::span<const Segment> segments, std::span<bool> blocked,
                    const Alone &alone) {
    constexpr int width = Kind::width;
    alignas(64) typename Kind::Rays packet{};
    alignas(64) int valid[width] = {};
    bool single[width] = {}; // lanes traced alone, after the packet
    RTCIntersectContext context = coherentContext();
    bool refused = false;
    for (std::size_t first = 0; first < segments.size(); first += width) {
        const auto count = static_cast<int>(std::min<std::size_t>(width, segments.size() - first));
        bool any = false;
        for (int i = 0; i < width; ++i) {
            valid[i] = 0;
            single[i] = false;
            if (i >= count) {
                continue;
            }
            const Segment &segment = segments[first + static_cast<std::size_t>(i)];
            if (!takes(segment.ray, segment.nearest, segment.farthest)) {
                refused = true;
                continue;
            }
            if (alongAnAxisPlane(segment.ray)) {
                single[i] = true;
                continue;
            }
            setLane(packet, i, segment.ray, segment.nearest, segment.farthest);
            valid[i] = -1;
            any = true;
        }
        if (any) {
            occlude(valid, scene, &context, &packet);
        }
        for (int i = 0; i < count; ++i) {
            const std::size_t k = first + static_cast<std::size_t>(i);
            blocked[k] = single[i] ? alone(segments[k]) : valid[i] != 0 && packet.tfar[i] < 0.0f;
        }
    }
    return !refused;
}

} // namespace

void Tracer::closestHits(std::span<const Ray> rays, std::span<Hit> hits, double nearest,
                         double farthest) const {
    const auto resolve = [this](const Ray &ray, const EmbreeHit &found, Hit &hit) {
        shading_->hitFrom(ray, found, hit);
    };
    const auto alone = [&](const Ray &ray) { return closestHit(ray, nearest, farthest); };
    const RTCScene scene = shading_->scene;
    bool taken = true;
    switch (shading_->packetWidth) {
    case 16:
        taken = traceHits<Packet16>(scene, rays, hits, nearest, farthest, resolve, alone);
        break;
    case 8:
        taken = traceHits<Packet8>(scene, rays, hits, nearest, farthest, resolve, alone);
        break;
    case 4:
        taken = traceHits<Packet4>(scene, rays, hits, nearest, farthest, resolve, alone);
        break;
    default:
        for (std::size_t i = 0; i < rays.size(); ++i) {
            hits[i] = closestHit(rays[i], nearest, farthest);
        }
    }
    if (!taken) {
        refused_.store(true, std::memory_order_relaxed);
    }
}

void Tracer::occludedAll(std::span<const Segment> segments, std::span<bool> blocked) const {
    const auto alone = [this](const Segment &s) { return occluded(s.ray, s.nearest, s.farthest); };
    const RTCScene scene = shading_->scene;
    bool taken = true;
    switch (shading_->packetWidth) {
    case 16:
        taken = traceOcclusion<Packet16>(scene, segments, blocked, alone);
        break;
    case 8:
        taken = traceOcclusion<Packet8>(scene, segments, blocked, alone);
        break;
    case 4:
        taken = traceOcclusion<Packet4>(scene, segments, blocked, alone);
        break;
    default:
        for (std::size_t i = 0; i < segments.size(); ++i) {
            const Segment &s = segments[i];
            blocked[i] = occluded(s.ray, s.nearest, s.farthest);
        }
    }
    if (!taken) {
        refused_.store(true, std::memory_order_relaxed);
    }
}

} // namespace brelvix::world
