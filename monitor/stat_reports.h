// Hourly and daily statistics reports. A clock check close to every
// 10-second mark of the wall clock notices a new hour or a new day, writes
// the counters out (a text block and a CSV row per hour), resets them, and
// at a new day moves the date-named statistics and CSV files on and tells
// the day change (the log follows it there).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "world/outside_world.h"
#include "monitor/stat_counters.h"

namespace tolvane {

struct Settings;

// Told first at every hour change, before any report is written.
class HourChangeListener {
public:
    virtual ~HourChangeListener() = default;
    virtual void HourChanged(int newHour) = 0;
};

// Told at every day change, after the daily report is written and before
// the date-named statistics files move on.
class DayChangeListener {
public:
    virtual ~DayChangeListener() = default;
    virtual void DayChanged(const LocalTime& now) = 0;
};

// The CSV header line and the longest kept date/time text.
inline constexpr const char* kStatCsvHeader =
    "DATE,TIME,F6400N,F3200N,F1600N,P2400N,P1200N,P512N,GOLAYN,F6400A,F3200A,F1600A,P2400A,P1200A,P512A,GOLAYA,"
    "F6400NC,F3200NC,F1600NC,P2400NC,P1200NC,P512NC,GOLAYNC,F6400AC,F3200AC,F1600AC,P2400AC,P1200AC,P512AC,GOLAYAC\n";
inline constexpr std::size_t kStatTextLimit = 40;

// Writes one report block: two heading lines, a line per category, the
// totals and an empty line; one write per line.
void WriteStatReport(OutputFile& file, const StatCounters& counters);

// One CSV row: date and time in double quotes, then the 28 counts.
std::string StatCsvRow(const std::string& date, const std::string& time, const StatCounters& counters);

// The counts of one receiver of a station that runs several channels.
struct ChannelStatistics {
    std::string name;
    Statistics* stats;
};

// The file of the channels' CSV rows beside the CSV file: its name with
// "-CHANNELS" before the extension (970101.CSV: 970101-CHANNELS.CSV). Its
// rows are the CSV's with the channel after the time, so that readers of
// the CSV file see it as it always was.
std::string ChannelCsvName(const std::string& csvName);
inline constexpr const char* kChannelCsvHeaderStart = "DATE,TIME,CHANNEL,";

class StatReports {
public:
    StatReports(const Settings& settings, Statistics& stats, const WallClock& clock, FileOpener& files,
                HourChangeListener* hourListener = nullptr, DayChangeListener* dayListener = nullptr);
    ~StatReports();

    StatReports(const StatReports&) = delete;
    StatReports& operator=(const StatReports&) = delete;

    // Opens the enabled statistics files for appending (at engine creation).
    // A file that cannot be opened is tried again when a report is due.
    void OpenFiles();
    void CloseFiles();
    // For the statistics dialog, after it changed the settings of one file:
    // closes it and opens it again if it is enabled.
    void ReopenStatFile();
    void ReopenCsvFile();

    // Reads the clock: remembered time, date and time labels, countdown; the
    // next CSV row gets a header.
    void Start();

    // Every timer tick; runs the check when the countdown reaches 0.
    void StatClockCheck();

    bool StatFileOpen() const { return statFile_ != nullptr; }
    bool CsvFileOpen() const { return csvFile_ != nullptr; }
    const std::string& StatDate() const { return statDate_; }
    const std::string& StatTime() const { return statTime_; }
    int TimeCheckCountdown() const { return timeCheckCountdown_; }
    bool CsvHeaderPending() const { return csvHeaderPending_; }

    // A machine output whose drops the hourly report mentions; nullptr = none.
    RecordSink* records = nullptr;

    // The receivers' own counts when there are several channels (fewer than
    // two: none); each report then adds a row per channel, and each CSV row
    // a row per channel in ChannelCsvName's file. Reset with the station's.
    void SetChannels(std::vector<ChannelStatistics> channels) { channels_ = std::move(channels); }

private:
    void RunClockCheck();
    void HourChange(int newHour);
    void DayChange(const LocalTime& now);
    // The records the machine output dropped in the hour, when there were any.
    void WriteDropped(OutputFile& file);
    // A row of counts for each channel, then an empty line.
    void WriteChannelRows(OutputFile& file, StatCounters Statistics::*set) const;
    void WriteChannelCsv();
    std::string StatFileName(const LocalTime& date) const;
    std::string CsvFileName(const LocalTime& date) const;
    // The open file, or another attempt under the name last tried.
    OutputFile* StatOutput();
    OutputFile* CsvOutput();
    static int CountdownFor(const LocalTime& t);

    const Settings& settings_;
    Statistics& stats_;
    const WallClock& clock_;
    FileOpener& files_;
    HourChangeListener* hourListener_;
    DayChangeListener* dayListener_;

    std::string statDate_;
    std::string statTime_;
    LocalTime savedTime_;
    int timeCheckCountdown_ = 100;
    bool csvHeaderPending_ = true;
    bool channelCsvHeaderPending_ = true;
    std::vector<ChannelStatistics> channels_;

    std::unique_ptr<OutputFile> statFile_;
    std::unique_ptr<OutputFile> csvFile_;
    std::string statName_;  // name of the last open attempt
    std::string csvName_;
};

}  // namespace tolvane
