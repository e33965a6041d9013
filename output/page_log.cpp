#include "output/page_log.h"

#include "output/charset.h"
#include "output/current_line.h"
#include "settings/settings.h"

namespace tolvane {

void AppendFileChar(std::string& out, std::uint8_t ch) {
    if (ch >= 0xA0) {
        AppendLatin1AsUtf8(out, ch);
        return;
    }
    const auto low = static_cast<std::uint8_t>(ch & 0x7F);
    out += low < 32 ? '.' : static_cast<char>(low);
}

std::uint32_t FlushTicks(std::int32_t flushTime) {
    switch (flushTime) {
        case 2: return 50;
        case 3: return 100;
        case 4: return 300;
        default: return 600;
    }
}

PageLog::PageLog(const Settings& settings, FileWatch& files) : settings_(settings), files_(files) {
    // A whole line and the breaks of its rows at the narrowest width, so
    // that writing never allocates.
    row_.reserve(2 * kCurrentLineSize + 2);
}

PageLog::~PageLog() = default;

void PageLog::Open(const std::string& dateBaseName) {
    Close();
    name_ = settings_.LogFileUseDate ? dateBaseName + ".LOG" : settings_.LogFile;
    std::string problem;
    if (!name_.empty()) file_ = files_.OpenForAppend(name_, problem);
}

void PageLog::Close() {
    // A line cut short by closing is written as far as it got.
    if (!row_.empty()) WriteRow();
    file_.reset();
    name_.clear();
}

void PageLog::PutChar(std::uint8_t ch) {
    if (settings_.LogFileEnabled) AppendFileChar(row_, ch);
}

void PageLog::EndRow(bool wrapped, bool pageLine) {
    if (!settings_.LogFileEnabled) return;
    row_ += '\n';
    if (!wrapped) WriteRow();
    if (file_ && pageLine && settings_.LogFileFlush) {
        if (settings_.LogFlushTime == 1) {
            file_->Flush();
        } else if (flushCountdown_ == 0) {
            flushCountdown_ = FlushTicks(settings_.LogFlushTime);
        }
    }
}

void PageLog::WriteRow() {
    if (!file_ && !name_.empty()) {
        // The directory may exist again, the disk have room, the FIFO a reader.
        std::string problem;
        file_ = files_.OpenForAppend(name_, problem);
    }
    if (file_) file_->Write(row_);
    row_.clear();
}

void PageLog::FlushTick() {
    if (settings_.LogFileFlush && flushCountdown_ != 0 && --flushCountdown_ == 0 && file_) file_->Flush();
}

}  // namespace tolvane
