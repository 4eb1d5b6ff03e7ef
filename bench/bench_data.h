// The benchmark's data: about 40 MB of mixed content — binaries, source text and
// documentation — gathered from this machine at bench time, and helpers to time the
// independent tools on it.
#pragma once
#include <string>
#include <vector>

struct BenchFile {
    std::string name;
    std::string path;
    std::size_t size;
};

// Writes the three inputs into `dir`; same bytes on every run on the same machine.
std::vector<BenchFile> makeMixedData(const std::string& dir);
// Regular files below `root`, as sorted paths relative to it.
std::vector<std::string> listFiles(const std::string& root);
double secondsOf(const std::string& command);  // wall time of a shell command, -1 on failure
double now();
bool haveCommand(const char* name);
