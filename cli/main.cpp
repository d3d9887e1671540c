#include "cli/Cli.h"
#include "cli/SigintWatch.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    // First, before any thread exists, so that every thread inherits the mask.
    cli::SigintWatch sigint;
    cli::CliSeams seams;
    seams.out = &std::cout;
    seams.err = &std::cerr;
    seams.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    seams.waitForInterrupt = [&sigint](std::chrono::milliseconds timeout) {
        return sigint.wait(timeout);
    };
    seams.releaseInterrupts = [&sigint] { return sigint.release(); };
    const int status = cli::runCli({argv + 1, argv + argc}, seams);
    std::cout.flush();
    // As the window does: no static destructors under a worker pool that may
    // still be winding down.
    std::fflush(nullptr);
    std::_Exit(status);
}
