// Output files whose troubles are told, not hidden: every file the output
// and the statistics open goes through a FileWatch, which tells the
// FileStatusSink the first time a file cannot be opened or written and
// again the first time it is written after that.
#pragma once

#include <set>
#include <string>

#include "world/outside_world.h"

namespace tolvane {

class FileWatch : public FileOpener {
public:
    FileWatch(FileOpener& files, FileStatusSink& status) : files_(files), status_(status) {}

    std::unique_ptr<OutputFile> OpenForAppend(const std::string& path, std::string& problem) override;

    // Whether path is failing now (its last open or write failed).
    bool Failing(const std::string& path) const { return failing_.count(path) != 0; }

    // Called by the watched files.
    void Failed(const std::string& path, const std::string& reason);
    void Worked(const std::string& path);

private:
    FileOpener& files_;
    FileStatusSink& status_;
    std::set<std::string, std::less<>> failing_;
};

}  // namespace tolvane
