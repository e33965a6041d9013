#include "monitor/stat_reports.h"

#include <cstdio>

#include "settings/settings.h"

namespace tolvane {

namespace {

constexpr int kTicksPerSecond = 10;

double Average(std::uint32_t chars, std::uint32_t msgs) {
    return msgs == 0 ? 0.0 : static_cast<double>(chars) / static_cast<double>(msgs);
}

std::string Limited(std::string text) {
    if (text.size() > kStatTextLimit) text.resize(kStatTextLimit);
    return text;
}

std::string ReportTitle(std::size_t category) {
    std::string title = kStatCategoryNames[category];
    for (char& c : title) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return title;
}

void AppendCounts(std::string& row, const std::array<std::uint32_t, kStatCategoryCount>& counts) {
    for (const std::uint32_t n : counts) {
        row += std::to_string(n);
        row += ',';
    }
}

// The 28 counts of a CSV row, ending the line.
std::string CsvCounts(const StatCounters& c) {
    std::string row;
    AppendCounts(row, c.numericMsgs);
    AppendCounts(row, c.alphaMsgs);
    AppendCounts(row, c.numericChars);
    AppendCounts(row, c.alphaChars);
    row.back() = '\n';  // the last count ends the line instead of a comma
    return row;
}

}  // namespace

void WriteStatReport(OutputFile& file, const StatCounters& c) {
    file.Write("              Numeric   Numeric  Numeric      Alpha     Alpha    Alpha\n");
    file.Write("                 Msgs     Chars  Average       Msgs     Chars  Average\n");
    // Counts are unsigned 32-bit; totals are summed wide so they cannot wrap.
    unsigned long long totals[4] = {};
    char line[160];
    for (std::size_t i = 0; i < kStatCategoryCount; ++i) {
        std::snprintf(line, sizeof line, "%-11s  %8lu %9lu   %6.2f   %8lu %9lu   %6.2f\n", ReportTitle(i).c_str(),
                      static_cast<unsigned long>(c.numericMsgs[i]), static_cast<unsigned long>(c.numericChars[i]),
                      Average(c.numericChars[i], c.numericMsgs[i]), static_cast<unsigned long>(c.alphaMsgs[i]),
                      static_cast<unsigned long>(c.alphaChars[i]), Average(c.alphaChars[i], c.alphaMsgs[i]));
        file.Write(line);
        totals[0] += c.numericMsgs[i];
        totals[1] += c.numericChars[i];
        totals[2] += c.alphaMsgs[i];
        totals[3] += c.alphaChars[i];
    }
    file.Write("             -------- ---------            -------- ---------\n");
    std::snprintf(line, sizeof line, "  Totals     %8llu %9llu            %8llu %9llu\n", totals[0], totals[1], totals[2],
                  totals[3]);
    file.Write(line);
    file.Write("\n");
}

std::string ChannelCsvName(const std::string& csvName) {
    const std::size_t dot = csvName.rfind('.');
    const bool csv = dot != std::string::npos && csvName.size() - dot == 4 &&
                     (csvName.compare(dot, 4, ".CSV") == 0 || csvName.compare(dot, 4, ".csv") == 0);
    return csv ? csvName.substr(0, dot) + "-CHANNELS" + csvName.substr(dot) : csvName + "-CHANNELS.CSV";
}

std::string StatCsvRow(const std::string& date, const std::string& time, const StatCounters& c) {
    return "\"" + date + "\",\"" + time + "\"," + CsvCounts(c);
}

StatReports::StatReports(const Settings& settings, Statistics& stats, const WallClock& clock, FileOpener& files,
                         HourChangeListener* hourListener, DayChangeListener* dayListener)
    : settings_(settings),
      stats_(stats),
      clock_(clock),
      files_(files),
      hourListener_(hourListener),
      dayListener_(dayListener) {}

StatReports::~StatReports() = default;

std::string StatReports::StatFileName(const LocalTime& date) const {
    return settings_.StatFileUseDate ? DateFileName(date) + ".ST" : settings_.StatFile;
}

std::string StatReports::CsvFileName(const LocalTime& date) const {
    return settings_.StatCSVFileUseDate ? DateFileName(date) + ".CSV" : settings_.StatCSVFile;
}

void StatReports::OpenFiles() {
    ReopenStatFile();
    ReopenCsvFile();
}

void StatReports::CloseFiles() {
    statFile_.reset();
    csvFile_.reset();
    statName_.clear();
    csvName_.clear();
}

void StatReports::ReopenStatFile() {
    statFile_.reset();
    statName_.clear();
    if (settings_.StatFileEnabled) StatOutput();
}

void StatReports::ReopenCsvFile() {
    csvFile_.reset();
    csvName_.clear();
    if (settings_.StatCSVFileEnabled) CsvOutput();
}

OutputFile* StatReports::StatOutput() {
    if (statFile_) return statFile_.get();
    if (statName_.empty()) statName_ = StatFileName(clock_.Local());
    std::string problem;
    if (!statName_.empty()) statFile_ = files_.OpenForAppend(statName_, problem);
    return statFile_.get();
}

OutputFile* StatReports::CsvOutput() {
    if (csvFile_) return csvFile_.get();
    if (csvName_.empty()) csvName_ = CsvFileName(clock_.Local());
    std::string problem;
    if (!csvName_.empty()) csvFile_ = files_.OpenForAppend(csvName_, problem);
    return csvFile_.get();
}

int StatReports::CountdownFor(const LocalTime& t) {
    const int second = ((t.second % 10) + 10) % 10;
    return (10 - second) * kTicksPerSecond;
}

void StatReports::Start() {
    savedTime_ = clock_.Local();
    statDate_ = Limited(clock_.DateText());
    statTime_ = Limited(clock_.TimeOfDayText());
    timeCheckCountdown_ = CountdownFor(savedTime_);
    csvHeaderPending_ = true;
    channelCsvHeaderPending_ = true;
}

void StatReports::StatClockCheck() {
    if (--timeCheckCountdown_ > 0) return;
    RunClockCheck();
}

void StatReports::RunClockCheck() {
    const LocalTime now = clock_.Local();
    if (now.hour != savedTime_.hour) HourChange(now.hour);
    if (now.hour != savedTime_.hour || now.minute != savedTime_.minute || now.day != savedTime_.day) {
        if (now.day != savedTime_.day) DayChange(now);
        savedTime_ = now;
    }
    timeCheckCountdown_ = CountdownFor(now);
}

void StatReports::HourChange(int newHour) {
    if (hourListener_ != nullptr) hourListener_->HourChanged(newHour);
    if (settings_.StatFileEnabled) {
        if (OutputFile* file = StatOutput()) {
            file->Write(statDate_ + " " + statTime_ + "  HOURLY\n");
            WriteStatReport(*file, stats_.HourlyStats);
            WriteChannelRows(*file, &Statistics::HourlyStats);
            WriteDropped(*file);
            file->Flush();
        }
    }
    if (settings_.StatCSVFileEnabled) {
        if (OutputFile* file = CsvOutput()) {
            if (csvHeaderPending_) {
                file->Write(kStatCsvHeader);
                csvHeaderPending_ = false;
            }
            file->Write(StatCsvRow(statDate_, statTime_, stats_.HourlyStats));
            file->Flush();
        }
        WriteChannelCsv();
    }
    stats_.HourlyStats.Clear();
    for (const ChannelStatistics& channel : channels_) channel.stats->HourlyStats.Clear();
    statTime_ = Limited(clock_.TimeOfDayText());
}

void StatReports::WriteChannelRows(OutputFile& file, StatCounters Statistics::*set) const {
    if (channels_.size() < 2) return;
    file.Write("Channel       Numeric Msgs     Chars     Alpha Msgs     Chars\n");
    char line[160];
    for (const ChannelStatistics& channel : channels_) {
        const StatCounters& c = (*channel.stats).*set;
        unsigned long long sums[4] = {};
        for (std::size_t i = 0; i < kStatCategoryCount; ++i) {
            sums[0] += c.numericMsgs[i];
            sums[1] += c.numericChars[i];
            sums[2] += c.alphaMsgs[i];
            sums[3] += c.alphaChars[i];
        }
        std::snprintf(line, sizeof line, "%-12.20s  %12llu %9llu  %13llu %9llu\n", channel.name.c_str(), sums[0], sums[1],
                      sums[2], sums[3]);
        file.Write(line);
    }
    file.Write("\n");
}

void StatReports::WriteChannelCsv() {
    if (channels_.size() < 2 || csvName_.empty()) return;
    std::string problem;
    const std::unique_ptr<OutputFile> file = files_.OpenForAppend(ChannelCsvName(csvName_), problem);
    if (!file) return;
    if (channelCsvHeaderPending_) {
        file->Write(std::string(kChannelCsvHeaderStart) + (kStatCsvHeader + std::string_view("DATE,TIME,").size()));
        channelCsvHeaderPending_ = false;
    }
    for (const ChannelStatistics& channel : channels_) {
        // The channel's name in quotes, a quote in it doubled.
        std::string row = "\"" + statDate_ + "\",\"" + statTime_ + "\",\"";
        for (const char c : channel.name) row += c == '"' ? std::string("\"\"") : std::string(1, c);
        file->Write(row + "\"," + CsvCounts(channel.stats->HourlyStats));
    }
    file->Flush();
}

void StatReports::WriteDropped(OutputFile& file) {
    const std::uint64_t dropped = records != nullptr ? records->TakeDropped() : 0;
    if (dropped == 0) return;
    file.Write("Machine output: " + std::to_string(dropped) + " records dropped, queue full\n\n");
}

void StatReports::DayChange(const LocalTime& now) {
    if (settings_.StatFileEnabled) {
        if (OutputFile* file = StatOutput()) {
            file->Write(statDate_ + "  DAILY\n");
            WriteStatReport(*file, stats_.DailyStats);
            WriteChannelRows(*file, &Statistics::DailyStats);
            file->Flush();
        }
    }
    const std::string dateName = DateFileName(now);
    if (dayListener_ != nullptr) dayListener_->DayChanged(now);
    if (settings_.StatFileEnabled && settings_.StatFileUseDate) {
        statFile_.reset();
        statName_ = dateName + ".ST";
        StatOutput();
    }
    if (settings_.StatCSVFileEnabled && settings_.StatCSVFileUseDate) {
        csvFile_.reset();
        csvName_ = dateName + ".CSV";
        CsvOutput();
        csvHeaderPending_ = true;
        channelCsvHeaderPending_ = true;
    }
    stats_.DailyStats.Clear();
    for (const ChannelStatistics& channel : channels_) channel.stats->DailyStats.Clear();
    statDate_ = Limited(clock_.DateText());
}

}  // namespace tolvane
