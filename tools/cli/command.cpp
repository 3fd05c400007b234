#include "tools/cli/command.h"

#include "tools/cli/options.h"
#include "tools/output/error_text.h"
#include "tools/parallax/parallax_tool.h"
#include "tools/render/render_tool.h"

#include <ostream>

namespace brelvix::cli {

int runCommand(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err,
               bool terminal, const std::atomic<int> *stop) {
    const render::ParsedCommandLine parsed = render::parseCommandLine(arguments);
    if (parsed.exitCode) {
        if (*parsed.exitCode == render::kExitSuccess) {
            out << parsed.message;
        } else {
            render::printError(err, parsed.message);
        }
        return *parsed.exitCode;
    }
    if (!parsed.depth.asked()) {
        if (parsed.budgetGiven) {
            render::printError(err, "--screen-width, --budget, --vertical-limit, --percentile and "
                                    "--image-shift go with --parallax or --parallax-report");
            return render::kExitUsage;
        }
        return render::runRender(parsed.options, out, err, terminal, stop);
    }
    return parallax::runDepthCheck(parsed.options, parsed.depth, out, err, stop);
}

} // namespace brelvix::cli
