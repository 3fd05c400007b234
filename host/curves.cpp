// Curves and the camera item.
//
// Camera orientation. The host's world is left-handed: +x right, +y up, +z
// forward. Heading turns +z toward +x, pitch positive looks down, bank
// positive tilts the up axis toward the unbanked right axis. The axes are
//
//     forward = ( sin h cos p, -sin p,  cos h cos p)
//     up0     = ( sin h sin p,  cos p,  cos h sin p)
//     right0  = ( cos h,        0,     -sin h      )
//     right   =  cos b right0 - sin b up0
//     up      =  sin b right0 + cos b up0
//
// which is the rotation heading · pitch · bank applied to the axes of the
// unturned camera. The three are orthonormal, and right = up × forward (the
// cross product taken component-wise as usual), as +x = +y × +z at zero.
#include "host/curves.h"

#include <algorithm>
#include <cmath>

namespace brelvix::standin {

double Curve::at(double time) const {
    if (keys.empty()) {
        return constant;
    }
    // Held before the first key (and for a time that is not a number) and
    // after the last.
    if (!(time > keys.front().time)) {
        return keys.front().value;
    }
    if (time >= keys.back().time) {
        return keys.back().value;
    }
    const auto next = std::upper_bound(keys.begin(), keys.end(), time,
                                       [](double t, const Key &key) { return t < key.time; });
    const Key &k1 = *next;
    const Key &k0 = *(next - 1);
    if (time == k0.time) {
        return k0.value;
    }
    const double s = (time - k0.time) / (k1.time - k0.time);
    return (1.0 - s) * k0.value + s * k1.value;
}

void Curve::setKey(double time, double value) {
    // A time that is not a number has no place among sorted keys.
    if (std::isnan(time)) {
        return;
    }
    const auto at = std::lower_bound(keys.begin(), keys.end(), time,
                                     [](const Key &key, double t) { return key.time < t; });
    if (at != keys.end() && at->time == time) {
        at->value = value;
        return;
    }
    keys.insert(at, Key{time, value});
}

void CameraItem::axes(double time, double right[3], double up[3], double forward[3]) const {
    const double h = heading.at(time);
    const double p = pitch.at(time);
    const double b = bank.at(time);
    const double sh = std::sin(h), ch = std::cos(h);
    const double sp = std::sin(p), cp = std::cos(p);
    const double sb = std::sin(b), cb = std::cos(b);

    const double right0[3] = {ch, 0.0, -sh};
    const double up0[3] = {sh * sp, cp, ch * sp};
    forward[0] = sh * cp;
    forward[1] = -sp;
    forward[2] = ch * cp;
    for (int i = 0; i < 3; ++i) {
        right[i] = cb * right0[i] - sb * up0[i];
        up[i] = sb * right0[i] + cb * up0[i];
    }
}

} // namespace brelvix::standin
