// The lens through the built module file: the per-frame table, the rays the
// renderer asks for, and the viewport matrix, as a host drives them.
#include "host/standin_host.h"
#include "tests/integration/loaded_module.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace brelvix::integration {
namespace {

class Lens : public LoadedModule {
  protected:
    void SetUp() override {
        LoadedModule::SetUp();
        instance = createInstance();
        ASSERT_NE(instance, nullptr);
        access.cameraItem = host.cameraItem();
        access.filmWidth = 0.036;
        access.filmHeight = 0.024;
    }

    void TearDown() override {
        if (instance != nullptr) {
            lens.instance.destroy(instance);
        }
    }

    const char *frame(double start, double duration, int32_t motionSteps) {
        const FrameInfo info{7, start, duration, 24.0, motionSteps};
        return lens.handler.newFrame(instance, &info, &access);
    }

    CameraRay ray(double filmX, double filmY, double lensX = 0.0, double lensY = 0.0,
                  double shutter = 0.0) {
        CameraRay result{};
        EXPECT_EQ(lens.handler.evaluate(instance, filmX, filmY, lensX, lensY, shutter, &result), 1);
        return result;
    }

    void setChannel(Parameter parameter, double value) {
        curve(instance, parameter) = standin::Curve{value, {}};
    }

    /// Times at which the module asked for the focal distance, in order.
    std::vector<double> focalDistanceTimes() const {
        std::vector<double> times;
        for (const standin::HostCall &call : host.calls()) {
            if (call.operation == "focalDistance") {
                times.push_back(call.time);
            }
        }
        return times;
    }

    /// The focal-length line of a panel shown for the instance: it reads the
    /// film height the last preview or frame left.
    std::string focalLengthLine() {
        InterfaceRecord record{instance, nullptr, nullptr, nullptr};
        EXPECT_EQ(module->server(kPanelClass)
                      ->activate(kPanelVersion, host.lookup(), &record, module->serverData()),
                  0);
        const PanelGetter getter = host.panels().back().getter;
        return static_cast<const char *>(getter(instance, kFocalLengthLine));
    }

    void *instance = nullptr;
    CameraAccess access{};
};

TEST_F(Lens, NoRaysBeforeTheFirstFrame) {
    CameraRay untouched;
    std::memset(&untouched, 0x7F, sizeof untouched);
    CameraRay result = untouched;
    EXPECT_EQ(lens.handler.evaluate(instance, 0.0, 0.0, 0.0, 0.0, 0.5, &result), 0);
    EXPECT_EQ(std::memcmp(&result, &untouched, sizeof result), 0);
}

TEST_F(Lens, ShutterFractionsPickRecordsOfAFourIntervalTable) {
    // The camera moves 1 unit along x per unit of time; each record holds the
    // position of its own time.
    host.camera().position[0].setKey(0.0, 0.0);
    host.camera().position[0].setKey(10.0, 10.0);
    setChannel(kDistance, 0.0);
    host.clearRecords();
    ASSERT_EQ(frame(2.0, 1.0, 1), nullptr);
    // Four intervals: five records.
    EXPECT_EQ(focalDistanceTimes(), (std::vector<double>{2.0, 2.25, 2.5, 2.75, 3.0}));
    const struct {
        double fraction;
        double position;
    } cases[] = {{0.0, 2.0},  {0.2, 2.0}, {0.25, 2.25}, {0.99, 2.75},    {1.0, 3.0},
                 {-0.5, 2.0}, {NAN, 2.0}, {1.5, 3.0},   {INFINITY, 3.0}, {-INFINITY, 2.0}};
    for (const auto &c : cases) {
        EXPECT_EQ(ray(0.0, 0.0, 0.0, 0.0, c.fraction).origin[0], c.position) << c.fraction;
    }
}

TEST_F(Lens, SampleTimesForMotionSteps) {
    const struct {
        int32_t steps;
        double start, duration;
        std::vector<double> times;
    } cases[] = {
        {0, 10.0, 0.5, {10.0}},
        {1, 10.0, 0.5, {10.0, 10.125, 10.25, 10.375, 10.5}},
        {2, 0.0, 1.0, {0.0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1.0}},
        {1, 4.0, 0.0, {4.0, 4.0, 4.0, 4.0, 4.0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.steps);
        host.clearRecords();
        ASSERT_EQ(frame(c.start, c.duration, c.steps), nullptr);
        EXPECT_EQ(focalDistanceTimes(), c.times);
        // Eleven host queries per sample: five values, focus, f-stop, four params.
        EXPECT_EQ(host.calls().size(), 11 * c.times.size());
    }
}

TEST_F(Lens, CachedValuesAfterAFrameAreThoseOfItsEnd) {
    standin::Curve &zoom = curve(instance, kZoom);
    zoom.setKey(0.0, 1.0);
    zoom.setKey(1.0, 3.0);
    standin::Curve &angle = curve(instance, kAngle);
    angle.setKey(0.0, 0.0);
    angle.setKey(1.0, 0.5);
    host.clearRecords();
    ASSERT_EQ(frame(0.0, 0.5, 2), nullptr);
    // The table spans the frame's interval, and the cached values are those
    // of its end.
    EXPECT_EQ(focalDistanceTimes(),
              (std::vector<double>{0.0, 0.0625, 0.125, 0.1875, 0.25, 0.3125, 0.375, 0.4375, 0.5}));
    const std::vector<double> numbers = savedNumbers(instance);
    ASSERT_EQ(numbers.size(), 5u);
    EXPECT_EQ(numbers[kZoom], 2.0);
    EXPECT_EQ(numbers[kAngle], 0.25);
    // The film size is the frame's: the right eye's centre looks along its
    // turned axis, and the panel's line reads the film height (zoom 1 at the
    // current time 0).
    const CameraRay centre = ray(0.036 / 4, 0.0);
    EXPECT_NEAR(centre.direction[0], 0.0, 1e-12);
    EXPECT_NEAR(centre.direction[2], 1.0, 1e-12);
    EXPECT_EQ(focalLengthLine(), "Focal Length 12.0mm");
}

TEST_F(Lens, FilmPointZeroBelongsToTheRightEye) {
    setChannel(kDistance, 0.1);
    setChannel(kAngle, 0.2);
    host.camera().position[1].constant = 1.5;
    ASSERT_EQ(frame(0.0, 0.0, 0), nullptr);
    const CameraRay justRight = ray(1e-12, 0.0);
    const CameraRay left = ray(-1e-12, 0.0);
    EXPECT_EQ(left.origin[0], -0.05);
    for (const double filmX : {0.0, -0.0}) {
        const CameraRay r = ray(filmX, 0.0);
        EXPECT_EQ(r.origin[0], 0.05);
        EXPECT_EQ(r.origin[1], 1.5);
        // The left edge of the right eye's half, not the right edge of the left's.
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(r.direction[j], justRight.direction[j], 1e-9);
        }
        EXPECT_GT(std::abs(r.direction[0] - left.direction[0]), 0.1);
    }
}

TEST_F(Lens, EyeCentresLookAlongTheTurnedAxes) {
    const double angle = 0.3;
    setChannel(kDistance, 0.064);
    setChannel(kAngle, angle);
    ASSERT_EQ(frame(0.0, 0.0, 0), nullptr);
    const CameraRay right = ray(0.036 / 4, 0.0);
    const CameraRay left = ray(-0.036 / 4, 0.0);
    EXPECT_NEAR(right.direction[0], std::sin(angle), 1e-12);
    EXPECT_NEAR(right.direction[2], std::cos(angle), 1e-12);
    EXPECT_NEAR(left.direction[0], -std::sin(angle), 1e-12);
    EXPECT_NEAR(left.direction[2], std::cos(angle), 1e-12);
    EXPECT_EQ(right.origin[0], 0.032);
    EXPECT_EQ(left.origin[0], -0.032);
    for (const CameraRay &r : {right, left}) {
        EXPECT_EQ(r.filmNormal[0], 0.0);
        EXPECT_EQ(r.filmNormal[1], 0.0);
        EXPECT_EQ(r.filmNormal[2], 1.0);
    }
}

TEST_F(Lens, ScaledAxesAreNormalised) {
    host.camera().axisScale[0] = 2.0;
    host.camera().axisScale[1] = 3.0;
    host.camera().axisScale[2] = 4.0;
    host.camera().focalDistance.constant = 2.0;
    host.camera().fStop.constant = 4.0;
    ASSERT_EQ(frame(0.0, 0.0, 0), nullptr);
    // Film centre of the right eye through the lens centre: straight ahead.
    const CameraRay r = ray(0.036 / 4, 0.0);
    EXPECT_EQ(r.direction[0], 0.0);
    EXPECT_EQ(r.direction[1], 0.0);
    EXPECT_EQ(r.direction[2], 1.0);
    EXPECT_EQ(r.filmNormal[2], 1.0);
    // The lens rim lies at the aperture radius, (f / fs) / 2.
    const double focal = (0.024 * 2.6217) * 0.5;
    const CameraRay rim = ray(0.036 / 4, 0.0, 1.0, 0.0);
    EXPECT_NEAR(rim.origin[0] - 0.025, focal / 4.0 * 0.5, 1e-15);
}

TEST_F(Lens, RaysOfOneFilmPointMeetOnThePlaneOfFocus) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int camera = 0; camera < 20; ++camera) {
        const double focus = 1.0 + 9.0 * std::abs(unit(random));
        host.camera().focalDistance.constant = focus;
        host.camera().fStop.constant = 1.4 + std::abs(unit(random)) * 8.0;
        host.camera().heading.constant = unit(random);
        host.camera().pitch.constant = 0.5 * unit(random);
        host.camera().bank.constant = 0.5 * unit(random);
        for (int axis = 0; axis < 3; ++axis) {
            host.camera().position[axis].constant = 5.0 * unit(random);
        }
        setChannel(kHShift, 0.2 * unit(random));
        setChannel(kVShift, 0.2 * unit(random));
        setChannel(kDistance, 0.1 * std::abs(unit(random)));
        ASSERT_EQ(frame(0.0, 0.0, 0), nullptr);
        CameraRay probe{};
        ASSERT_EQ(lens.handler.evaluate(instance, 0.0, 0.0, 0.0, 0.0, 0.0, &probe), 1);
        const double filmX = 0.018 * unit(random);
        const double filmY = 0.012 * unit(random);
        const CameraRay centre = ray(filmX, filmY);
        // Where the centre ray crosses the plane of focus.
        const double *const forward = centre.filmNormal;
        auto depth = [&](const double point[3]) {
            double sum = 0.0;
            for (int j = 0; j < 3; ++j) {
                sum += (point[j] - host.camera().position[j].constant) * forward[j];
            }
            return sum;
        };
        auto pointAtFocus = [&](const CameraRay &r, double out[3]) {
            double directionDepth = 0.0;
            for (int j = 0; j < 3; ++j) {
                directionDepth += r.direction[j] * forward[j];
            }
            const double t = (focus - depth(r.origin)) / directionDepth;
            for (int j = 0; j < 3; ++j) {
                out[j] = r.origin[j] + t * r.direction[j];
            }
        };
        double expected[3];
        pointAtFocus(centre, expected);
        for (int lensSample = 0; lensSample < 8; ++lensSample) {
            const double lensX = unit(random) * 0.7;
            const double lensY = unit(random) * 0.7;
            const CameraRay r = ray(filmX, filmY, lensX, lensY);
            const double length =
                std::sqrt(r.direction[0] * r.direction[0] + r.direction[1] * r.direction[1] +
                          r.direction[2] * r.direction[2]);
            EXPECT_NEAR(length, 1.0, 1e-14);
            double point[3];
            pointAtFocus(r, point);
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(point[j], expected[j], 1e-9 * focus)
                    << "camera " << camera << " film " << filmX << "," << filmY << " lens " << lensX
                    << "," << lensY;
            }
        }
    }
}

TEST_F(Lens, WithTheEyesTogetherBothHalvesShowTheSameView) {
    setChannel(kDistance, 0.0);
    setChannel(kHShift, 0.05);
    host.camera().heading.constant = 0.4;
    ASSERT_EQ(frame(0.0, 0.0, 0), nullptr);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 50; ++i) {
        const double filmX = 0.018 * unit(random);
        const double filmY = 0.024 * (unit(random) - 0.5);
        const double lensX = unit(random) - 0.5;
        const CameraRay right = ray(filmX, filmY, lensX, 0.2);
        const CameraRay left = ray(filmX - 0.018, filmY, lensX, 0.2);
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(right.origin[j], left.origin[j], 1e-15) << filmX;
            EXPECT_NEAR(right.direction[j], left.direction[j], 1e-12) << filmX;
        }
    }
}

TEST_F(Lens, BadMotionStepsAreRefusedLikeAFailedAllocation) {
    setChannel(kZoom, 5.0);
    ASSERT_EQ(frame(0.0, 1.0, 1), nullptr);
    // A refused frame samples nothing: the cached zoom stays 5 while the
    // channel says 7.
    setChannel(kZoom, 7.0);
    for (const int32_t steps : {-1, -4, 65537, 0x40000000, INT32_MAX, INT32_MIN}) {
        SCOPED_TRACE(steps);
        host.clearRecords();
        EXPECT_STREQ(frame(3.0, 0.25, steps), "Can't allocate Memory");
        EXPECT_TRUE(host.calls().empty());
        CameraRay r{};
        EXPECT_EQ(lens.handler.evaluate(instance, 0.0, 0.0, 0.0, 0.0, 0.5, &r), 0);
        EXPECT_EQ(savedNumbers(instance)[kZoom], 5.0);
    }
    // A later frame succeeds again.
    EXPECT_EQ(frame(0.0, 1.0, 0), nullptr);
    CameraRay r{};
    EXPECT_EQ(lens.handler.evaluate(instance, 0.0, 0.0, 0.0, 0.0, 0.5, &r), 1);
}

TEST_F(Lens, PreviewWorkedExample) {
    setChannel(kZoom, 2.0);
    setChannel(kHShift, 0.1);
    setChannel(kVShift, -0.2);
    host.camera().focalDistance.constant = 2.0;
    host.camera().fStop.constant = 0.25;
    access.filmWidth = 0.8;
    access.filmHeight = 0.5;
    double m[16];
    EXPECT_EQ(lens.handler.preview(instance, 0.5, -0.25, m, &access), 1);
    const double f = 0.5;
    const double expected[16] = {f,
                                 0.0,
                                 0.0,
                                 0.0,
                                 0.0,
                                 f,
                                 0.0,
                                 0.0,
                                 -0.12,
                                 0.0,
                                 -((65000 + f) / (65000 - f)),
                                 -1.0,
                                 -0.4,
                                 0.2,
                                 -((f * 130000) / (65000 - f)),
                                 0.0};
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(m[k], expected[k]) << "entry " << k;
    }
    // The preview keeps the film height for the panel's line, and the
    // channels' values as the cached ones.
    EXPECT_EQ(focalLengthLine(), "Focal Length 500.0mm");
    EXPECT_EQ(savedNumbers(instance)[kZoom], 2.0);
}

TEST_F(Lens, PreviewSamplesAtTheHostsCurrentTimeAndIgnoresTheEyes) {
    standin::Curve &zoom = curve(instance, kZoom);
    zoom.setKey(0.0, 1.0);
    zoom.setKey(4.0, 5.0);
    host.setCurrentTime(1.0);
    double plain[16];
    lens.handler.preview(instance, 0.3, 0.1, plain, &access);
    EXPECT_EQ(plain[0], (0.024 * 2.0) * 0.5);
    EXPECT_EQ(plain[5], plain[0]);
    setChannel(kDistance, 0.3);
    setChannel(kAngle, 0.7);
    double stereo[16];
    lens.handler.preview(instance, 0.3, 0.1, stereo, &access);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(stereo[k], plain[k]) << k;
    }
    // A fresh instance previews with its defaults.
    void *const fresh = createInstance();
    lens.handler.preview(fresh, 0.0, 0.0, plain, &access);
    EXPECT_EQ(plain[0], (0.024 * 2.6217) * 0.5);
    EXPECT_EQ(savedNumbers(fresh), (std::vector<double>{static_cast<float>(2.6217), 0.0, 0.0,
                                                        static_cast<float>(0.05), 0.0}));
    lens.instance.destroy(fresh);
}

} // namespace
} // namespace brelvix::integration
