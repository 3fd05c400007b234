// brelvix-render's main as a function: the command line parsed once, then
// the render or the depth check it asks for.
#ifndef BRELVIX_TOOLS_CLI_COMMAND_H
#define BRELVIX_TOOLS_CLI_COMMAND_H

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace brelvix::cli {

/// Arguments after the program name. The help, the report and the outputs'
/// names go to `out`; errors (one line each, through render::printError)
/// and the progress bar to `err`, the bar only when `terminal` is true.
/// `stop`, the number of a signal that asks the run to end, or 0. The exit
/// status: render::kExit... or parallax::kExitOverBudget.
int runCommand(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err,
               bool terminal, const std::atomic<int> *stop = nullptr);

} // namespace brelvix::cli

#endif
