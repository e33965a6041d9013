#include "output/page_writer.h"

#include <cstdio>

#include "output/output.h"

namespace tolvane {

namespace {

constexpr std::size_t kTimeOfDayMax = 40;

FilterType FilterTypeOf(const PageHeader& header) {
    switch (header.protocol) {
        case PageProtocol::Pocsag: return FilterType::Pocsag;
        case PageProtocol::Flex: return header.longAddress ? FilterType::LongFlex : FilterType::ShortFlex;
        case PageProtocol::Gsc: return FilterType::Golay;
        case PageProtocol::Reflex: break;
    }
    return FilterType::Unassigned;
}

// The filters' baud code of a POCSAG rate (1 = 2400, 2 = 1200, 3 = 512).
int FilterBaudOf(const PageHeader& header) {
    if (header.protocol != PageProtocol::Pocsag) return 0;
    for (int code = 1; code <= 3; ++code)
        if (FilterBaudName(code) == header.rate) return code;
    return 0;
}

// The function a filter compares: as the field shows it.
int FilterFunctionOf(const PageHeader& header) {
    switch (header.protocol) {
        case PageProtocol::Pocsag: return header.function + 1;
        case PageProtocol::Gsc: return header.function;
        default: return 0;
    }
}

}  // namespace

CapcodeField FormatCapcodeField(const PageHeader& header, std::optional<std::string_view> timeOfDay) {
    const std::string_view time = timeOfDay ? timeOfDay->substr(0, kTimeOfDayMax) : std::string_view();
    CapcodeField field;
    const bool pocsag = header.protocol == PageProtocol::Pocsag;
    const bool gsc = header.protocol == PageProtocol::Gsc;
    field.digits = gsc ? 6 : header.longAddress ? 9 : 7;
    char capcode[24];
    if (header.capcode < 0)
        std::snprintf(capcode, sizeof capcode, "%.*s", field.digits, "?????????");
    else
        std::snprintf(capcode, sizeof capcode, "%0*lld", field.digits, static_cast<long long>(header.capcode));
    const char* brackets = pocsag ? "{}" : gsc ? "()" : "[]";
    std::string& text = field.text;
    text += brackets[0];
    text += capcode;
    text += brackets[1];
    const std::string function =
        pocsag && header.capcode < 0 ? "?" : std::to_string(pocsag ? header.function + 1 : header.function);
    if (pocsag) {
        text += ' ';
        if (timeOfDay) (text += time) += ' ';
        text += function + ' ' + header.rate;
    } else if (gsc) {
        text += ' ' + function;
        if (timeOfDay) (text += ' ') += time;
    } else {
        // Both lengths of FLEX address take the same room.
        text += header.longAddress ? " " : "   ";
        text += time;
    }
    return field;
}

void PageWriter::BeginPage(const PageHeader& header) {
    const bool known = header.capcode >= 0;
    const PageFacts facts{header.protocol,        header.rate, known ? header.function : -1, header.phase,
                          header.type,            header.incomplete};
    if (header.protocol == PageProtocol::Reflex) {
        output_.DescribePage(facts);
        return;
    }
    std::string time;
    if (settings_.Timestamp) time = clock_.TimeOfDayText();
    const CapcodeField field =
        FormatCapcodeField(header, settings_.Timestamp ? std::optional<std::string_view>(time) : std::nullopt);
    output_.SelectCapcodeFilter(FilterTypeOf(header), std::string_view(field.text).substr(1, static_cast<std::size_t>(field.digits)),
                                field.digits, FilterFunctionOf(header), FilterBaudOf(header));
    output_.DescribePage(facts);
    output_.PutCapcodeField(field.text);
    output_.MarkMessageStart();
}

void PageWriter::MarkMessageStart() { output_.MarkMessageStart(); }

void PageWriter::Put(ColorClass color, std::string_view text) {
    output_.PaneSetColor(output_.MessagePane, color);
    output_.PanePutText(output_.MessagePane, text);
}

void PageWriter::Put(ColorClass color, std::uint8_t ch) {
    output_.PaneSetColor(output_.MessagePane, color);
    output_.PanePutChar(output_.MessagePane, ch);
}

void PageWriter::PutTextChar(ColorClass color, std::uint8_t ch) {
    output_.PaneSetColor(output_.MessagePane, color);
    output_.PutTextChar(ch);
}

void PageWriter::EndPage() { output_.PaneEndLine(output_.MessagePane); }

void PageWriter::WriteFrameRow(std::string_view text) {
    output_.SetRowBreakOnly(true);
    Put(ColorClass::Timestamp, text);
    EndPage();
    output_.SetRowBreakOnly(false);
}

bool PageWriter::LineOpen() const { return output_.Line().length > 0; }

}  // namespace tolvane
