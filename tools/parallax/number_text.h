// Numbers as the depth check's report lines, map and chart show them.
#ifndef BRELVIX_TOOLS_PARALLAX_NUMBER_TEXT_H
#define BRELVIX_TOOLS_PARALLAX_NUMBER_TEXT_H

#include <cstdio>
#include <string>

namespace brelvix::parallax {

/// `value` with `decimals` digits after the point; -0 shows as 0.
inline std::string fixed(double value, int decimals) {
    const double shown = value == 0.0 ? 0.0 : value;
    const int length = std::snprintf(nullptr, 0, "%.*f", decimals, shown);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, "%.*f", decimals, shown);
    return text;
}

} // namespace brelvix::parallax

#endif
