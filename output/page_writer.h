// How a decoder writes: one page line at a time, begun from the facts of
// its header, then coloured text, then its end. The writer makes the
// capcode field that starts the line, chooses the page's capcode filter and
// describes the page for its record; rows that are no page (FLEX frame
// numbers) go out on their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "output/page_record.h"
#include "settings/settings.h"

namespace tolvane {

class Output;
class WallClock;

// What a decoder knows when a page begins.
struct PageHeader {
    PageProtocol protocol = PageProtocol::Pocsag;
    const char* rate = "";     // static text, as records name it: "1200", "1600/2", "600"
    std::int64_t capcode = -1;  // -1: the address failed correction
    bool longAddress = false;  // FLEX: nine digits instead of seven
    int function = -1;         // POCSAG 0..3, GSC 1..4; -1 = none
    char phase = 0;            // FLEX 'A'..'D'; 0 = none
    PageType type = PageType::Alpha;
    bool incomplete = false;  // FLEX fragments whose rest never came
};

// The capcode field of a page line, and how many of its characters after
// the opening bracket are the capcode (question marks for one that failed
// correction):
//
//   POCSAG       {1234567} [TIME ]F RATE   F the function 1..4 (? with the capcode)
//   FLEX short   [1234567]   [TIME]
//   FLEX long    [123456789] [TIME]
//   GSC          (123456) F[ TIME]
//
// TIME is the time of day, when pages are stamped; at most 40 characters
// of it.
struct CapcodeField {
    std::string text;
    int digits = 0;
};
CapcodeField FormatCapcodeField(const PageHeader& header, std::optional<std::string_view> timeOfDay);

class PageWriter {
public:
    PageWriter(Output& output, const Settings& settings, const WallClock& clock)
        : output_(output), settings_(settings), clock_(clock) {}

    // Starts a page line: its capcode filter is chosen (a rejecting one
    // hides the whole page), the page is described for its record, and the
    // capcode field is written; the message starts after it unless
    // MarkMessageStart moves the mark on. A page without an address (the
    // ReFLEX dump) is only described.
    void BeginPage(const PageHeader& header);
    // What follows is the message (for the filters' text and the record).
    void MarkMessageStart();

    void Put(ColorClass color, std::string_view text);
    void Put(ColorClass color, char ch) { Put(color, static_cast<std::uint8_t>(ch)); }
    void Put(ColorClass color, std::uint8_t ch);
    // One character of a page's 7-bit text, shown as the letter it stands
    // for in the page's charset.
    void PutTextChar(ColorClass color, std::uint8_t ch);

    // Ends the line being written; a page line goes to the filters and
    // its record out.
    void EndPage();
    // A row of its own in the timestamp colour that is no page: shown and
    // logged, never filtered or recorded.
    void WriteFrameRow(std::string_view text);

    // True while a line is being written.
    bool LineOpen() const;

private:
    Output& output_;
    const Settings& settings_;
    const WallClock& clock_;
};

}  // namespace tolvane
