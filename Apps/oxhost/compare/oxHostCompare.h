#pragma once

#include "oxCompare.h"
#include "oxHostResultFields.h"
#include "oxRenderScene.h"

#include <memory>
#include <string>
#include <vector>

// Two releases of a part, each read as the host reads a model, compared face by face
// (oxCompare), and the result as fields, JSON and CSV.
struct oxHostComparison
{
    std::string oldSource, newSource;
    bool aligned = false;
    oxCompareResult result;
};

// The two parts of a comparison as read, for its images.
struct oxHostCompareParts
{
    oxRenderScene oldPart, newPart;
};

namespace oxHostCompare
{
// The fields of one face, declared once for oxHost.compareReleases's dicts, the JSON and the CSV.
const std::vector<oxResultField<oxFaceChange>>& faceFields();
// The fields of the comparison beside its faces: sources, verdict, tolerance, distances, counts.
const std::vector<oxResultField<oxHostComparison>>& summaryFields();

// False with error naming the file that could not be read (a missing file, a broken one, one with
// no surface), or why the parts could not be compared.
bool files(const std::string& oldPath, const std::string& newPath, const oxCompareOptions& options,
           oxHostComparison& out, std::string& error);
// The same, keeping the parts read in parts.
bool files(const std::string& oldPath, const std::string& newPath, const oxCompareOptions& options,
           oxHostCompareParts& parts, oxHostComparison& out, std::string& error);
// One part as the host reads a model: a CAD file with its exact faces, any other as meshes; false
// with error naming the file.
bool read(const std::string& path, oxRenderScene& scene, std::string& error);

// The comparison the viewer shows on its model (File > Compare...), for the report; null when
// none was made or the model changed since (oxRenderer::comparison).
void show(std::shared_ptr<const oxHostComparison> comparison);
std::shared_ptr<const oxHostComparison> shown();

// The versioned JSON (docs/analyses/compare.md).
constexpr int JsonVersion = 1;
std::string json(const oxHostComparison& comparison);
// The CSV of every face of both parts, a header line first; part ("old" or "new") is the first column.
std::string csv(const oxHostComparison& comparison);
// One line: the verdict and the counts of changed faces, the Hausdorff distance and the tolerance.
std::string verdict(const oxHostComparison& comparison);
} // namespace oxHostCompare
