// brelvix-render on a host scene that places one object file several times,
// moved, turned and scaled, against the same scene with each placement
// written out as an object file of its own at rest: the two pictures are
// the same, whether an object is built once and placed by instances or
// built once for each file.
#include "tests/render/child_process.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace brelvix::render::test;
using brelvix::render::DisplayImage;

struct Point {
    double x, y, z;
};

/// One placement as the scene file states it: position, heading, pitch and
/// bank in degrees, one scale for all three axes.
struct Placing {
    Point position;
    double heading = 0.0, pitch = 0.0, bank = 0.0;
    double scale = 1.0;
};

/// The host's placement of an object point: scaled, banked about z, pitched
/// about x, headed about y (heading turns +z toward +x, pitch turns +z
/// toward -y, bank turns +x toward -y), then moved.
Point placed(const Placing &p, Point q, bool direction = false) {
    const double d = std::numbers::pi / 180.0;
    const double sh = std::sin(p.heading * d), ch = std::cos(p.heading * d);
    const double sp = std::sin(p.pitch * d), cp = std::cos(p.pitch * d);
    const double sb = std::sin(p.bank * d), cb = std::cos(p.bank * d);
    const Point forward{sh * cp, -sp, ch * cp};
    const Point up0{sh * sp, cp, ch * sp};
    const Point right0{ch, 0.0, -sh};
    const Point right{right0.x * cb - up0.x * sb, right0.y * cb - up0.y * sb,
                      right0.z * cb - up0.z * sb};
    const Point up{right0.x * sb + up0.x * cb, right0.y * sb + up0.y * cb,
                   right0.z * sb + up0.z * cb};
    const double s = direction ? 1.0 : p.scale;
    const Point o = direction ? Point{0.0, 0.0, 0.0} : p.position;
    return {o.x + s * (right.x * q.x + up.x * q.y + forward.x * q.z),
            o.y + s * (right.y * q.x + up.y * q.y + forward.y * q.z),
            o.z + s * (right.z * q.x + up.z * q.y + forward.z * q.z)};
}

/// A box from the origin to (1, 0.5, 0.25), lopsided so that every turn
/// shows, as an OBJ file with a normal per face. OBJ's z is the host's
/// mirrored, so z is written negated.
std::string boxObj(const Placing &placing) {
    std::ostringstream obj;
    obj.precision(9);
    const Point size{1.0, 0.5, 0.25};
    for (int corner = 0; corner < 8; ++corner) {
        const Point p = placed(placing, {corner & 1 ? size.x : 0.0, corner & 2 ? size.y : 0.0,
                                         corner & 4 ? size.z : 0.0});
        obj << "v " << p.x << ' ' << p.y << ' ' << -p.z << '\n';
    }
    // Each face: its outward normal and its corners (1-based) in order.
    struct Face {
        Point normal;
        int corners[4];
    };
    const Face faces[] = {{{-1, 0, 0}, {1, 3, 7, 5}}, {{1, 0, 0}, {2, 6, 8, 4}},
                          {{0, -1, 0}, {1, 5, 6, 2}}, {{0, 1, 0}, {3, 4, 8, 7}},
                          {{0, 0, -1}, {1, 2, 4, 3}}, {{0, 0, 1}, {5, 7, 8, 6}}};
    for (const Face &face : faces) {
        const Point n = placed(placing, face.normal, true);
        obj << "vn " << n.x << ' ' << n.y << ' ' << -n.z << '\n';
    }
    for (int f = 0; f < 6; ++f) {
        obj << 'f';
        for (const int corner : faces[f].corners) {
            obj << ' ' << corner << "//" << f + 1;
        }
        obj << '\n';
    }
    return obj.str();
}

/// A channel of an old-style motion block: one key at frame 0.
std::string channel(double value) {
    std::ostringstream line;
    line.precision(17);
    line << "  1\n  " << value << " 0 0 0 0 0\n";
    return line.str();
}

std::string motion(const std::string &word, const Placing &p) {
    return word + " (unnamed)\n  9\n" + channel(p.position.x) + channel(p.position.y) +
           channel(p.position.z) + channel(p.heading) + channel(p.pitch) + channel(p.bank) +
           channel(p.scale) + channel(p.scale) + channel(p.scale);
}

/// A host scene loading each of `objects` at its placing, seen by a camera
/// 8 units back along -z, lit by the renderer's sun.
std::string sceneFile(const std::vector<std::pair<std::string, Placing>> &objects) {
    std::string text = "LWSC\n2\n\nFirstFrame 1\nLastFrame 1\nFramesPerSecond 30\n\n";
    for (const auto &[path, placing] : objects) {
        text += "LoadObject " + path + "\n" + motion("ObjectMotion", placing) + "\n";
    }
    Placing camera;
    camera.position = {0.25, 0.0, -8.0};
    return text + "AddCamera\nCameraName Front\n" + motion("CameraMotion", camera) +
           "ZoomFactor 3.2\nDepthOfField 0\n";
}

/// Mean of the absolute differences of two PNGs' bytes, 0 to 255.
double meanDifference(const DisplayImage &a, const DisplayImage &b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.rgb.size(), b.rgb.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < a.rgb.size() && i < b.rgb.size(); ++i) {
        sum += std::abs(static_cast<int>(a.rgb[i]) - static_cast<int>(b.rgb[i]));
    }
    return a.rgb.empty() ? 255.0 : sum / static_cast<double>(a.rgb.size());
}

/// The scene rendered to NAME.png in `scratch`, read back.
DisplayImage render(const TempDirectory &scratch, const std::string &name,
                    const std::vector<std::pair<std::string, Placing>> &objects) {
    const std::string scene = scratch.file(name + ".lws");
    writeFile(scene, sceneFile(objects));
    const std::string png = scratch.file(name + ".png");
    Child run({BRELVIX_RENDER_PATH, "--module", BRELVIX_MODULE_PATH, scene, "-q", "--width", "256",
               "--height", "96", "--spp", "4", "--threads", "2", "--StereoDistance", "0", "-o",
               png},
              scratch.file(name));
    EXPECT_EQ(run.wait(), 0) << run.err();
    return readPng(png);
}

TEST(Placements, OneObjectPlacedManyTimesRendersAsTheSameObjectsWrittenApart) {
    const TempDirectory scratch;
    // Moved only; headed a quarter turn; headed, pitched and banked by
    // uneven angles; scaled and pitched straight down; behind another.
    std::vector<Placing> placings(5);
    placings[0].position = {-2.2, 0.6, 0.0};
    placings[1].position = {-0.4, 0.4, 0.5};
    placings[1].heading = 90.0;
    placings[2].position = {1.6, 0.3, 0.0};
    placings[2].heading = 30.0;
    placings[2].pitch = 45.0;
    placings[2].bank = -20.0;
    placings[3].position = {-0.5, -1.6, 1.0};
    placings[3].pitch = -90.0;
    placings[3].scale = 1.5;
    placings[4].position = {-1.0, -0.5, 3.0};
    placings[4].heading = 180.0;
    placings[4].scale = 2.0;

    const std::string shared = scratch.file("box.obj");
    writeFile(shared, boxObj(Placing{}));
    std::vector<std::pair<std::string, Placing>> once, apart, wrong;
    for (std::size_t i = 0; i < placings.size(); ++i) {
        once.emplace_back(shared, placings[i]);
        const std::string own = scratch.file("box" + std::to_string(i) + ".obj");
        writeFile(own, boxObj(placings[i]));
        apart.emplace_back(own, Placing{});
        // The same with the second placement's turn left out.
        Placing unturned = placings[i];
        unturned.heading = i == 1 ? 0.0 : unturned.heading;
        wrong.emplace_back(shared, unturned);
    }
    const DisplayImage instanced = render(scratch, "once", once);
    const DisplayImage written = render(scratch, "apart", apart);
    const DisplayImage misplaced = render(scratch, "wrong", wrong);
    ASSERT_GT(instanced.width, 0);

    // Placed points may round differently in the two (the instance's matrix
    // is applied to the ray, the written file's points were placed in
    // double): a pixel along an edge may differ, no more.
    EXPECT_LT(meanDifference(instanced, written), 0.05);
    // One quarter turn missing shows, far beyond that.
    EXPECT_GT(meanDifference(misplaced, written), 0.4);
}

} // namespace
