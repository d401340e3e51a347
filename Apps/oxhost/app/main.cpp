// oxhost: the reference host of the surface analysis module.
#include "oxHostApplication.h"
#include "oxHostCheckCommand.h"
#include "oxHostCompareCommand.h"
#include "oxHostOptions.h"
#include "oxHostRooms.h"
#include "oxModelImporter.h"

#include <cstdio>

#ifndef OXHOST_VERSION
#define OXHOST_VERSION "unknown"
#endif

int main(int argc, char** argv)
{
    // A command of its own: no interpreter, plug-ins or window, only the reader and the check or the compare.
    if (argc > 1 && std::string(argv[1]) == "check")
        return oxHostCheckCommand::run(std::vector<std::string>(argv + 2, argv + argc));
    if (argc > 1 && std::string(argv[1]) == "compare")
        return oxHostCompareCommand::run(std::vector<std::string>(argv + 2, argv + argc));
    // The rooms add their rows to the options table.
    oxHostRooms::install();
    oxHostOptions options = oxHostOptions::parse(std::vector<std::string>(argv + 1, argv + argc));
    switch (options.action)
    {
    case oxHostOptions::ShowHelp:
        std::fputs(oxHostOptions::usage().c_str(), stdout);
        return 0;
    case oxHostOptions::ShowManPage:
        std::fputs(oxHostOptions::manPage(OXHOST_VERSION).c_str(), stdout);
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
    // A missing model is what the user must hear of first, before anything about the display.
    for (const std::string& mesh : options.meshes)
    {
        const std::string missing = oxModelImporter::missingFileError(mesh);
        if (!missing.empty())
        {
            std::fprintf(stderr, "oxhost: %s\n", missing.c_str());
            return 1;
        }
    }
    if (options.onlyLooking() && !options.gui)
    {
        // A window nobody can see would wait for ever.
        if (!oxHostApplication::hasDisplay())
        {
            std::fprintf(
                stderr,
                "oxhost: there is no display to open the viewer on \"%s\": run it where DISPLAY or "
                "WAYLAND_DISPLAY is set, or give --render FILE or --report FILE to write an image or a report\n",
                options.meshes.back().c_str());
            return 2;
        }
        options.gui = true;
    }
    oxHostApplication host(options);
    return host.exec(argv[0]);
}
