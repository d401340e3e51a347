// oxreader: reads one mesh or CAD file for the host and writes the answer to its standard output.
// Only oxIsolatedProcess::run() starts it:
//   oxreader <host pid> <memory MiB> quiet|verbose mesh <path> <name> <facet normals 0|1> <Assimp only 0|1>
//   oxreader <host pid> <memory MiB> quiet|verbose cad <path> <deflection> <angle in degrees>
//   oxreader <host pid> <memory MiB> quiet|verbose cad-entry <cache folder> <key>
//   oxreader <host pid> <memory MiB> quiet|verbose points <path>
// A third-party reader may crash, hang or run out of memory here; the host only sees how this
// process ended. Exit status 1: a bad request or a failure; OutOfMemoryStatus: out of memory.

#include "oxCadImporter.h"
#include "oxIsolatedProcess.h"
#include "oxMeshImporter.h"
#include "oxPointImporter.h"

#include <cerrno>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 5)
        return 1;
    const int out = oxIsolatedProcess::becomeReader(argv);
    if (out < 0)
        ::_exit(1);
    const std::vector<std::string> request(argv + 4, argv + argc);
    std::string answer;
    try
    {
        const bool cad = request[0] == "cad" || request[0] == "cad-entry";
        if (cad)
            answer = oxCadImporter::readAnswer(request);
        else if (request[0] == "points")
            answer = oxPointImporter::readAnswer(request);
        else
            answer = oxMeshImporter::readAnswer(request);
    }
    catch (const std::bad_alloc&)
    {
        ::_exit(oxIsolatedProcess::OutOfMemoryStatus);
    }
    catch (...)
    {
        ::_exit(1);
    }
    size_t written = 0;
    while (written < answer.size())
    {
        const ssize_t n = ::write(out, answer.data() + written, answer.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(1);
        written += size_t(n);
    }
    // No destructors of the readers' statics: the answer is all the host wants.
    ::_exit(0);
}
