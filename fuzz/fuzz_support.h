// What the fuzz targets share: a reader that turns the fuzzer's bytes into
// the numbers a host could hand the module, the check that ends a run on a
// broken property, and the lens activated in process over the stand-in host.
//
// Numbers come in three kinds, picked by a selector byte: raw bit patterns
// (every double, NaN payloads and subnormals included), a table of special
// values, and numbers of ordinary magnitude. A number is ordinary when it is
// 0 or its magnitude lies within [kOrdinaryMin, kOrdinaryMax]. Products and
// quotients of a few ordinary numbers stay far inside double range (below
// 1e60 and above 1e-60 in magnitude), so every quantity the lens derives
// from ordinary host answers must come out finite; outside that range a
// correct lens can overflow (a lens radius of 1e300 puts a ray origin past
// the largest double), so there only the absence of crashes and undefined
// behaviour is checked.
#ifndef BRELVIX_FUZZ_FUZZ_SUPPORT_H
#define BRELVIX_FUZZ_FUZZ_SUPPORT_H

#include "fuzz/fuzz_check.h"
#include "host/standin_host.h"
#include "interface/host_services.h"
#include "module/descriptor.h"
#include "shared/services.h"
#include "tests/support/failing_allocation.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace brelvix::fuzz {

inline constexpr double kOrdinaryMin = 1.0e-6;
inline constexpr double kOrdinaryMax = 1.0e6;

/// 0, or finite with a magnitude within [kOrdinaryMin, kOrdinaryMax].
inline bool isOrdinary(double value) {
    const double magnitude = std::fabs(value);
    return value == 0.0 || (magnitude >= kOrdinaryMin && magnitude <= kOrdinaryMax);
}

/// The same double, or both NaN.
inline bool sameValue(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

/// Reads the fuzzer's bytes front to back; past the end every read is 0.
class FuzzInput {
  public:
    FuzzInput(const uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }

    uint8_t byte() { return empty() ? 0 : data_[position_++]; }

    template <typename T> T raw() {
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char &b : bytes) {
            b = byte();
        }
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

    /// A number as a host might answer: raw bits, a special value, or (most
    /// often) an ordinary number from 1e-6 to about 3.3e4 in magnitude, or 0.
    double number() {
        const uint8_t kind = byte();
        if (kind < 32) {
            return raw<double>();
        }
        if (kind < 64) {
            static constexpr double kSpecial[] = {
                0.0,
                -0.0,
                1.0,
                -1.0,
                0.5,
                2.6217,
                std::numeric_limits<double>::infinity(),
                -std::numeric_limits<double>::infinity(),
                std::numeric_limits<double>::quiet_NaN(),
                -std::numeric_limits<double>::quiet_NaN(),
                std::numeric_limits<double>::denorm_min(),
                std::numeric_limits<double>::min(),
                std::numeric_limits<double>::max(),
                -std::numeric_limits<double>::max(),
                1.0e-300,
                1.0e300,
                kOrdinaryMin,
                kOrdinaryMax,
                -kOrdinaryMax,
                0.036,
                0.024,
            };
            return kSpecial[byte() % (sizeof kSpecial / sizeof kSpecial[0])];
        }
        // A signed 16-bit mantissa in thousandths, scaled by 1e-3 to 1e3.
        static constexpr double kScale[] = {1e-3, 1e-2, 1e-1, 1.0, 1e1, 1e2, 1e3};
        const double mantissa = static_cast<double>(raw<int16_t>()) / 1000.0;
        return mantissa * kScale[kind % 7];
    }

  private:
    const uint8_t *data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

/// Every run ends with nothing of the module's or the host's left.
inline void checkNothingLeft(const standin::StandInHost &host) {
    FUZZ_CHECK(host.liveChannelCount() == 0, "%zu channels left", host.liveChannelCount());
    FUZZ_CHECK(testing::liveModuleBlocks() == 0, "%zu module blocks left",
               testing::liveModuleBlocks());
}

/// Forgets what earlier runs activated, as a freshly loaded module would,
/// so that every run depends on its own input alone.
inline void forgetHostServices() { gHostServices = HostServices{}; }

/// The lens server activated in process over a fresh stand-in host.
struct ActiveLens {
    ActiveLens() {
        forgetHostServices();
        const int result = lens.activate(activateLens, host.lookup(), startupModule());
        FUZZ_CHECK(result == 0, "lens activation gave %d", result);
    }

    void *create(const char **error) {
        return lens.instance.create(lens.instance.privateData, host.cameraItem(), error);
    }

    standin::StandInHost host;
    standin::LensTables lens;
};

} // namespace brelvix::fuzz

#endif
