// oxhost: the reference host of the surface analysis module.
#include "oxHostApplication.h"
#include "oxHostOptions.h"

#include <cstdio>

#ifndef OXHOST_VERSION
#define OXHOST_VERSION "unknown"
#endif

int main(int argc, char** argv)
{
    const oxHostOptions options = oxHostOptions::parse(std::vector<std::string>(argv + 1, argv + argc));
    switch (options.action)
    {
    case oxHostOptions::ShowHelp:
        std::fputs(oxHostOptions::usage().c_str(), stdout);
        return 0;
    case oxHostOptions::ShowVersion:
        std::printf("oxhost %s\n", OXHOST_VERSION);
        return 0;
    case oxHostOptions::Invalid:
        std::fprintf(stderr, "oxhost: %s\n", options.error.c_str());
        return 2;
    case oxHostOptions::Run:
        break;
    }
    oxHostApplication host(options);
    return host.exec(argv[0]);
}
