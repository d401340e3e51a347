#pragma once

#include "oxCheck.h"

#include <string>
#include <vector>

// `oxhost check` over many parts: each read and checked in a process of its own (oxhost again, in
// its hidden part mode), a few at once; a part whose file, profile and program are unchanged since
// its result in the output folder was written is not checked again (its seal). The parts' JSON
// files are the batch's only record; findings.csv is made from them at the end.
namespace oxHostCheckBatch
{
struct Options
{
    std::string profile = "default"; // as given: a built-in name or a profile file
    std::string out = ".";
    int jobs = 0;    // parts checked at once; 0: one per core
    int seconds = 0; // a part's read and check together; 0: by its size (partSeconds)
};

// Exit statuses as oxHostCheckCommand's.
enum Status
{
    AllPass = 0,
    Failed = 1,
    Usage = 2,
    NotChecked = 3
};

// The files of the arguments: files as given, folders walked for STEP, IGES and B-rep files and
// mesh files (STL, OBJ, PLY, OFF, glTF, 3MF) by suffix, in name order. False, with a sentence in
// error, for a folder without one.
bool gather(const std::vector<std::string>& arguments, std::vector<std::string>& files, std::string& error);

// Checks the files into options.out, prints a verdict per part and writes findings.csv. The
// profile must have been found already.
int run(const std::vector<std::string>& files, const oxCheckProfile& profile, const Options& options);

// The hidden part mode: args after "check", starting with PartMode; what a child of run() does.
constexpr const char* PartMode = "--part";
int checkPart(const std::vector<std::string>& args);

// A part's time limit unless given: twice the reader's (60 s and 10 s per MiB), once for the read
// and once for the check.
int partSeconds(const std::string& path);

// The hash of what a part's result depends on: the file's bytes, the profile as read (its name,
// rules and number of findings kept) and the program's version; empty when the file cannot be read.
std::string seal(const std::string& path, const oxCheckProfile& profile);
} // namespace oxHostCheckBatch
