// The values of brelvix-render's command-line options, read strictly: each
// reader gives the value or throws a `UsageError` whose text is the whole
// one-line message, naming the option and the text it was given.
#ifndef BRELVIX_TOOLS_CLI_OPTION_VALUES_H
#define BRELVIX_TOOLS_CLI_OPTION_VALUES_H

#include "tools/cli/options.h"
#include "tools/render/vec3.h"

#include <stdexcept>
#include <string>

namespace brelvix::render::option_values {

/// A usage error; its text is the whole one-line message.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// A finite number.
double number(const std::string &option, const std::string &text);
/// A number above 0.
double positive(const std::string &option, const std::string &text);
/// A whole number from `low` to `high`.
int integer(const std::string &option, const std::string &text, long low, long high);
/// X,Y,Z.
Vec3 vector(const std::string &option, const std::string &text);
/// NAME=VALUE, NAME one of the lens's channels.
ChannelValue channelValue(const std::string &text);
/// NAME@TIME=VALUE, NAME one of the lens's channels.
ChannelKey channelKey(const std::string &text);

} // namespace brelvix::render::option_values

#endif
