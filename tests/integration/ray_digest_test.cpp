// The same rays on every build: a fixed workload of seeded random cameras and
// ray arguments, cast through the built module file as the host casts them,
// hashed bit for bit. A render farm hands the frames of one render to
// whatever machines it has, so the native module and the 32-bit Windows
// module must answer every ray with the same bits; both suites compare the
// digest with the one value recorded here.
//
// The cameras move, turn and refocus within the shutter; their lens channels
// (loaded from scene text, as a host loads a camera) are keyed so that zoom,
// shift, eye distance and eye angle change within it too. Eye angles take
// both signs, small and large, and exactly 0; film points cover both eyes'
// halves (0 and -0 among them), lens points the aperture disc and its rim,
// shutter fractions the whole interval with its two ends.
#include "host/standin_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>

namespace brelvix::integration {
namespace {

/// FNV-1a over the bytes of the values it is given.
class Digest {
  public:
    void add(const void *data, std::size_t size) {
        const auto *bytes = static_cast<const unsigned char *>(data);
        for (std::size_t i = 0; i < size; ++i) {
            value_ = (value_ ^ bytes[i]) * 0x100000001b3ULL;
        }
    }
    uint64_t value() const { return value_; }

  private:
    uint64_t value_ = 0xcbf29ce484222325ULL;
};

/// Numbers from a seeded generator, the same on every build: the engine is
/// fully specified by the standard, and the doubles are made from its bits
/// here rather than by the library's distributions, which are not.
class Numbers {
  public:
    explicit Numbers(uint64_t seed) : engine_(seed) {}
    /// Uniform in [0, 1).
    double unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    double between(double low, double high) { return low + (high - low) * unit(); }
    /// True with probability 1 / n.
    bool oneIn(uint64_t n) { return engine_() % n == 0; }

  private:
    std::mt19937_64 engine_;
};

std::string formatDouble(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

/// Scene text of one channel with two keys, at times 0 and 2.
std::string keyedChannel(double constant, double atZero, double atTwo) {
    return "channel 2 " + formatDouble(constant) + "\nkey 0 " + formatDouble(atZero) + "\nkey 2 " +
           formatDouble(atTwo) + "\n";
}

/// An eye angle: mostly a stereo rig's few degrees, sometimes a large turn,
/// either sign.
double eyeAngle(Numbers &numbers) {
    const double magnitude =
        numbers.oneIn(5) ? numbers.between(0.6, 7.0) : numbers.between(1.0e-5, 0.6);
    return numbers.oneIn(2) ? -magnitude : magnitude;
}

/// Eye angles whose sine or cosine glibc and mingw-w64's run-time (the x87
/// instructions) round to different doubles.
constexpr double kDisputedAngles[] = {-0x1.335184b521f1fp-3, 0x1.7ace04ad6e4d0p-3,
                                      -0x1.a209b2c38197dp-4, 0x1.eb57098d56dc4p-4};

/// The five channels of a camera and its five numbers, as a scene holds them.
std::string randomLensScene(Numbers &numbers) {
    std::string scene;
    scene += keyedChannel(2.6217, numbers.between(0.8, 4.0), numbers.between(0.8, 4.0));
    scene += keyedChannel(0.0, numbers.between(-0.3, 0.3), numbers.between(-0.3, 0.3));
    scene += keyedChannel(0.0, numbers.between(-0.3, 0.3), numbers.between(-0.3, 0.3));
    scene += keyedChannel(0.05, numbers.between(0.0, 0.2), numbers.between(0.0, 0.2));
    const auto rig = static_cast<int>(numbers.unit() * 4.0);
    if (rig == 0) {
        // A level rig: the eye angle is 0 at every time.
        scene += "channel 0 0\n";
    } else if (rig == 1) {
        const auto pick = static_cast<std::size_t>(numbers.unit() * std::size(kDisputedAngles));
        scene += "channel 0 " + formatDouble(kDisputedAngles[pick]) + "\n";
    } else {
        // Keys of either sign, so the angle may cross 0 within the shutter.
        scene += keyedChannel(0.0, eyeAngle(numbers), eyeAngle(numbers));
    }
    scene += "floats 5 2.6217 0 0 0.05 0\n";
    return scene;
}

/// Angles of k / 32 radians whose sine and cosine lie at least 1/16 of a unit
/// in the last place away from a rounding boundary, so that every C library
/// rounds them alike (glibc's and mingw-w64's x87 instructions differ for
/// about one angle in 400 otherwise). The stand-in host turns its camera with
/// its own build's sine and cosine; with these angles its answers, and so the
/// workload, are the same bits on every build.
constexpr int kRoundingSafeAngles[] = {-39, -34, -25, -21, -13, -9, -6, -3,
                                       2,   7,   11,  15,  19,  23, 31, 38};

double roundingSafeAngle(Numbers &numbers) {
    constexpr std::size_t kCount = std::size(kRoundingSafeAngles);
    const auto pick = static_cast<std::size_t>(numbers.unit() * kCount);
    return kRoundingSafeAngles[pick] / 32.0;
}

/// A camera that moves and refocuses between times 0 and 2, turned some way,
/// its axes handed back at lengths other than 1.
void setRandomCamera(standin::CameraItem &camera, Numbers &numbers) {
    camera = standin::CameraItem{};
    for (standin::Curve &coordinate : camera.position) {
        coordinate.setKey(0.0, numbers.between(-10.0, 10.0));
        coordinate.setKey(2.0, numbers.between(-10.0, 10.0));
    }
    camera.heading.constant = roundingSafeAngle(numbers);
    camera.pitch.constant = roundingSafeAngle(numbers);
    camera.bank.constant = roundingSafeAngle(numbers);
    camera.focalDistance.setKey(0.0, numbers.between(0.3, 30.0));
    camera.focalDistance.setKey(2.0, numbers.between(0.3, 30.0));
    camera.fStop.constant = numbers.between(0.7, 22.0);
    for (double &scale : camera.axisScale) {
        scale = numbers.between(0.25, 4.0);
    }
}

class RayDigest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        module = standin::ModuleLibrary::open(BRELVIX_MODULE_PATH, error);
        ASSERT_NE(module, nullptr) << error;
        const ServerRecord *server = module->server("CameraHandler");
        ASSERT_NE(server, nullptr);
        ASSERT_EQ(lens.activate(server->activate, host.lookup(), module->serverData()), 0);
    }

    /// Casts `raysPerCamera` rays for each of `cameras` random cameras and
    /// hashes their bits, and each call's answer. `hostDigest` hashes what the
    /// stand-in host answers at the frames' sample times: the workload itself,
    /// which must not differ between builds for the rays' digest to mean
    /// anything (the host's camera axes come from its C library's sine and
    /// cosine).
    uint64_t castRays(uint64_t seed, int cameras, int raysPerCamera, uint64_t &hostDigest) {
        Numbers numbers(seed);
        Digest digest;
        Digest answers;
        for (int c = 0; c < cameras; ++c) {
            const char *error = nullptr;
            void *instance =
                lens.instance.create(lens.instance.privateData, host.cameraItem(), &error);
            EXPECT_NE(instance, nullptr) << error;
            if (instance == nullptr) {
                return 0;
            }
            standin::SceneReader scene(randomLensScene(numbers));
            EXPECT_EQ(lens.instance.load(instance, scene.state()), nullptr);
            setRandomCamera(host.camera(), numbers);

            CameraAccess access{};
            access.cameraItem = host.cameraItem();
            access.filmWidth = numbers.between(0.01, 0.08);
            access.filmHeight = numbers.between(0.01, 0.05);
            const int32_t motionSteps = static_cast<int32_t>(numbers.unit() * 5.0);
            const FrameInfo frame{c, numbers.between(0.0, 1.0), numbers.between(0.0, 1.0), 24.0,
                                  motionSteps};
            EXPECT_EQ(lens.handler.newFrame(instance, &frame, &access), nullptr);
            addHostAnswers(answers, frame);

            for (int r = 0; r < raysPerCamera; ++r) {
                double filmX = numbers.between(-0.5, 0.5) * access.filmWidth;
                if (numbers.oneIn(50)) {
                    filmX = numbers.oneIn(2) ? 0.0 : -0.0;
                }
                const double filmY = numbers.between(-0.5, 0.5) * access.filmHeight;
                // Uniform over the disc, sometimes on its rim. Only arithmetic
                // that IEEE rounds exactly, so every build gets these bits.
                double lensX = 0.0;
                double lensY = 0.0;
                do {
                    lensX = numbers.between(-1.0, 1.0);
                    lensY = numbers.between(-1.0, 1.0);
                } while (lensX * lensX + lensY * lensY > 1.0 ||
                         lensX * lensX + lensY * lensY == 0.0);
                if (numbers.oneIn(16)) {
                    const double rim = std::sqrt(lensX * lensX + lensY * lensY);
                    lensX /= rim;
                    lensY /= rim;
                }
                double shutter = numbers.unit();
                if (numbers.oneIn(32)) {
                    shutter = numbers.oneIn(2) ? 0.0 : 1.0;
                }
                const double arguments[5] = {filmX, filmY, lensX, lensY, shutter};
                digest.add(arguments, sizeof arguments);

                CameraRay ray;
                std::memset(&ray, 0, sizeof ray);
                const int filled =
                    lens.handler.evaluate(instance, filmX, filmY, lensX, lensY, shutter, &ray);
                digest.add(&filled, sizeof filled);
                digest.add(&ray, sizeof ray);
            }
            lens.instance.destroy(instance);
        }
        hostDigest = answers.value();
        return digest.value();
    }

    /// The camera's position, axes and focus at the sample times of `frame`:
    /// four intervals per motion step.
    void addHostAnswers(Digest &answers, const FrameInfo &frame) {
        const standin::CameraItem &camera = host.camera();
        const int intervals = 4 * frame.motionSteps;
        for (int i = 0; i <= intervals; ++i) {
            const double time =
                intervals == 0 ? frame.start : (frame.duration / intervals) * i + frame.start;
            double values[13];
            camera.axes(time, &values[0], &values[3], &values[6]);
            for (int k = 0; k < 3; ++k) {
                values[9 + k] = camera.position[k].at(time);
            }
            values[12] = camera.focalDistance.at(time);
            answers.add(values, sizeof values);
        }
    }

    std::unique_ptr<standin::ModuleLibrary> module;
    standin::StandInHost host;
    standin::LensTables lens;
};

TEST_F(RayDigest, RaysOfRandomCamerasAreTheRecordedBits) {
    uint64_t hostDigest = 0;
    const uint64_t digest = castRays(20261208, 48, 400, hostDigest);
    EXPECT_EQ(hostDigest, 0xd69eede6bd7b11f3ULL)
        << std::hex << "the stand-in host answered 0x" << hostDigest
        << " on this build: the workload differs, and so must the rays";
    EXPECT_EQ(digest, 0xb8f87ed2bdb317bbULL)
        << std::hex << "digest 0x" << digest << " of the rays; the host's answers 0x" << hostDigest;
}

} // namespace
} // namespace brelvix::integration
