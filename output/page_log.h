// The log: every row of the message pane, as files show text. A row is
// written when its line ends, a wrapped line with all its rows in one
// write, so that another monitor appending to the same log cannot come
// between them. Shared by everything that writes the message pane.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "output/file_watch.h"

namespace tolvane {

struct Settings;

// Log and filter files show control codes as '.' and the letters of the
// national charsets (Latin-1 from 0xA0 on) in UTF-8; other bytes with the
// top bit set lose it.
void AppendFileChar(std::string& out, std::uint8_t ch);

// Flush countdown in timer ticks for a LogFlushTime / FilterFlushTime code.
std::uint32_t FlushTicks(std::int32_t flushTime);

class PageLog {
public:
    // The settings are read as they are at each call.
    PageLog(const Settings& settings, FileWatch& files);
    ~PageLog();

    PageLog(const PageLog&) = delete;
    PageLog& operator=(const PageLog&) = delete;

    // Opened for appending under LogFile, or with LogFileUseDate under the
    // date base name + ".LOG". A file that cannot be opened or written is
    // skipped (and told to the FileStatusSink); opening is tried again at
    // every line end.
    void Open(const std::string& dateBaseName);
    // Writes a line still being written, then closes.
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    // A character of the message pane's row being written (0 included).
    void PutChar(std::uint8_t ch);
    // The message pane's row ended: wrapped = its line goes on in the next
    // row; pageLine = a page line ended (not a frame row), which arms the
    // flush.
    void EndRow(bool wrapped, bool pageLine);

    // Timer hook: the flush countdown.
    void FlushTick();
    std::uint32_t FlushCountdown() const { return flushCountdown_; }

private:
    void WriteRow();

    const Settings& settings_;
    FileWatch& files_;
    std::unique_ptr<OutputFile> file_;
    std::string name_;  // the log to write while logging is on
    std::string row_;   // the message-pane line being written, as logged (its rows so far)
    std::uint32_t flushCountdown_ = 0;
};

}  // namespace tolvane
