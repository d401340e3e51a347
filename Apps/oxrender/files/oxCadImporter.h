#pragma once

#include "OSGNode.h"
#include "oxCadMesh.h"
#include "oxRenderMesh.h"

#include <memory>
#include <string>
#include <vector>

// CAD files through Open CASCADE: STEP (.step, .stp), IGES (.iges, .igs) and OCCT's B-rep
// (.brep), suffixes in any case. The file is read, sewn and triangulated in a child process,
// oxreader (a reader that crashes or hangs on a damaged file takes only the child down); per vertex the
// child evaluates the exact surface, and it sends the sewn shape back in OCCT's binary format,
// from which this process rebuilds the surfaces for exact shading and continuity. The child's
// answer is kept in oxCadCache, and the same file with the same options is read from there next
// time: read by a child too, which checks the entry and takes it in as this process would before
// it sends it on, so this process never parses a shape that did not pass a child first.
class oxCadImporter
{
public:
    static bool isCadFile(const std::string& path);

    // Time spent per stage of the last load in this process, seconds (for the benchmarks).
    // In the child: read (of which transfer: shapes from the file's entities), sew, mesh, exact
    // (vertex data) and serialize (the answer's bytes); here: key (the file hashed for the cache),
    // check (the child run on the cache's entry, from start to answer) and rebuild (the answer
    // taken in, the model rebuilt from its shape). From the cache (cached) the child's stages stay 0.
    struct Stages
    {
        double read = 0, transfer = 0, sew = 0, mesh = 0, exact = 0, serialize = 0, key = 0, check = 0, rebuild = 0,
               total = 0;
        bool cached = false;
    };

    // One render mesh named after the file, and its exact data; on failure nothing is changed
    // and error reads "cannot read CAD file "<path>": <cause>".
    static bool load(const std::string& path, const oxCadOptions& options, oxRenderMesh& mesh,
                     std::shared_ptr<oxCadMesh>& cad, std::string& error, Stages* stages = nullptr);

    // What the child does, in this process: reads the file and returns its answer. For the fuzz
    // target, which must see the readers' faults itself.
    static std::string readAnswer(const std::string& path, const oxCadOptions& options);
    // What load() asks oxreader ("cad", path, deflection, angle), and what oxreader does with
    // it: readAnswer above. The last serves both requests and throws std::invalid_argument on
    // another.
    static std::vector<std::string> request(const std::string& path, const oxCadOptions& options);
    // What load() asks oxreader for the cache's entry under key in folder ("cad-entry", folder,
    // key): the entry's answer once it was taken in there, or an answer whose cause says why not.
    static std::vector<std::string> entryRequest(const std::string& folder, const std::string& key);
    static std::string readAnswer(const std::vector<std::string>& request);

    // Solids made with OCCT, written as STEP, IGES or B-rep by the path's suffix: "sphere"
    // (radius 10), "cylinder" (radius 5, height 20, about z), "torus" (radii 20 and 5, about z),
    // "filletedbox" (40 x 30 x 20, its four z edges filleted with radius 5), "joins" (three strips,
    // each a plane meeting a bend at x = 0 with G0, G1 and G2 continuity), "panel" (a wavy
    // sheet of rows x cols B-spline faces with polesPerFace poles along each side of each face),
    // "draftbox" (40 x 30 x 20 on z = 0, its four sides drafted by 3 degrees towards +z).
    static bool writeSample(const std::string& name, const std::string& path, std::string& error, int rows = 5,
                            int cols = 8, int polesPerFace = 24);
    static std::vector<std::string> sampleNames();
};
