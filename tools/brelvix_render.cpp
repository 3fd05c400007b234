// brelvix-render: a preview renderer that plays the renderer's part of the
// host. It loads the lens module file through its descriptor, drives one
// camera through the stand-in host and writes what the lens sees of a
// built-in scene to a PNG, or measures its stereo depth (--parallax).
// `brelvix-render --help` lists the options.
#include "tools/cli/command.h"
#include "tools/output/pending_file.h"
#include "tools/output/signal_watch.h"

#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv) {
    // Before any thread starts: Ctrl-C and SIGTERM then end the run through
    // its own cleanup.
    const brelvix::render::SignalWatch signals;
    brelvix::render::removeTemporariesOnCrash();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return brelvix::cli::runCommand(arguments, std::cout, std::cerr, isatty(STDERR_FILENO) != 0,
                                    &signals.received());
}
