#include "oxFileIO.h"
#include "oxMessage.h"

oxMessage& oxFileIO::getProject()
{
    // Leaked on purpose: reachable from module destructors at process exit.
    static oxMessage* project = new oxMessage;
    return *project;
}
