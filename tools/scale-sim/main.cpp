// scale-sim: a scale that speaks the upload line protocol over a serial
// device, TCP or UDP, for the end-to-end tests and the demo.
#include "Options.h"
#include "Simulator.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "scale-sim: %s\nTry 'scale-sim --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    Simulator simulator(options);
    return simulator.Run();
}
