#include "output/file_watch.h"

namespace tolvane {

namespace {

class WatchedFile : public OutputFile {
public:
    WatchedFile(FileWatch& watch, std::string path, std::unique_ptr<OutputFile> file)
        : watch_(watch), path_(std::move(path)), file_(std::move(file)) {}

    bool Write(std::string_view text) override {
        const bool ok = file_->Write(text);
        if (ok) {
            watch_.Worked(path_);
        } else {
            watch_.Failed(path_, file_->Problem());
        }
        return ok;
    }
    // A flush with nothing left to write proves nothing: only a write
    // counts as working again.
    bool Flush() override {
        const bool ok = file_->Flush();
        if (!ok) watch_.Failed(path_, file_->Problem());
        return ok;
    }
    std::string Problem() const override { return file_->Problem(); }

private:

    FileWatch& watch_;
    std::string path_;
    std::unique_ptr<OutputFile> file_;
};

}  // namespace

std::unique_ptr<OutputFile> FileWatch::OpenForAppend(const std::string& path, std::string& problem) {
    std::unique_ptr<OutputFile> file = files_.OpenForAppend(path, problem);
    if (file == nullptr) {
        Failed(path, problem);
        return nullptr;
    }
    // Opening alone does not count as working again: a full disk still
    // opens for appending. The first good write does.
    return std::make_unique<WatchedFile>(*this, path, std::move(file));
}

void FileWatch::Failed(const std::string& path, const std::string& reason) {
    if (failing_.insert(path).second) status_.FileFailed(path, reason);
}

void FileWatch::Worked(const std::string& path) {
    const auto it = failing_.find(path);
    if (it == failing_.end()) return;
    failing_.erase(it);
    status_.FileWorksAgain(path);
}

}  // namespace tolvane
