#pragma once

#include "oxCheck.h"

#include <string>
#include <vector>

// The check's outputs over a folder of part results (<name>.check.json, however many processes or
// machines wrote them): summary.json, junit.xml, findings.csv, index.html and a page per part.
// docs/analyses/check.md says what each holds.
namespace oxHostCheckOutputs
{
constexpr int SummaryVersion = 1;

// One part's result as read back from its JSON.
struct Part
{
    std::string json;     // the file's name in its folder: "box.check.json"
    oxCheckResult result; // a JSON that cannot be read: verdict error, reason why
};

// A part's JSON of schema oxhost-check, version 1; fields it does not know are ignored. False with
// error naming the file and what is wrong; seal, when given, gets the part's seal ("": none).
bool readPart(const std::string& path, oxCheckResult& out, std::string& error, std::string* seal = nullptr);
// Every *.check.json in dir in name order; one that cannot be read is an error part, its reason
// also in errors.
std::vector<Part> readFolder(const std::string& dir, std::vector<std::string>& errors);
// The exit status of the parts' worst verdict (oxHostCheckCommand::Status); none is NotChecked.
int status(const std::vector<Part>& parts);

std::string summary(const std::vector<Part>& parts);
std::string junit(const std::vector<Part>& parts);
std::string index(const std::vector<Part>& parts);
// A part's page, its name, and its picture: <stem>.png beside its JSON in dir, "" for none.
std::string page(const Part& part, const std::string& image);
std::string pageName(const Part& part);
std::string imageName(const Part& part);

// The outputs of the parts read from dir, written into outDir (made if missing); false with the
// reasons in errors when one could not be written.
bool write(const std::vector<Part>& parts, const std::string& dir, const std::string& outDir,
           std::vector<std::string>& errors);

// readFolder(dir) and write() into outDir (dir when empty). Returns the merged exit status: 0 every
// part passed (perhaps with warnings), 1 a part failed, 2 dir is no folder, 3 a part in error, no
// part found or an output not written. error: every reason, one a line; empty when there was none.
int merge(const std::string& dir, const std::string& outDir, std::string* error);
} // namespace oxHostCheckOutputs
