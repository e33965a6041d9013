#include "app/desktop/spectrum_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tolvane::desktop {

namespace {

// Room for the level scale at the left, the channel names above and the
// frequency scale below.
constexpr int kLeft = 44, kTop = 16, kBottom = 18, kRight = 6;
// How far from a click a carrier is looked for, and how wide one is: a
// pager channel's 25 kHz raster, FSK tones 4.8 kHz either side.
constexpr double kSearchHz = 12500;
constexpr double kCarrierHalfWidthHz = 8000;
// A bin counts as carrier this far above the noise floor.
constexpr float kAboveNoiseDb = 6;
constexpr double kRoundHz = 100;

float NoiseFloor(const std::vector<float>& db) {
    std::vector<float> sorted = db;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle;
}

double BinOffsetHz(const BandView& view, std::size_t bin) {
    const double n = static_cast<double>(view.db.size());
    return (static_cast<double>(bin) - n / 2) * view.sampleRate / n;
}

// The bins whose offsets lie within `halfWidth` of `offsetHz`.
std::pair<std::size_t, std::size_t> BinsAround(const BandView& view, double offsetHz, double halfWidth) {
    const double n = static_cast<double>(view.db.size());
    const double binHz = view.sampleRate / n;
    const double first = std::ceil((offsetHz - halfWidth) / binHz + n / 2);
    const double last = std::floor((offsetHz + halfWidth) / binHz + n / 2);
    return {static_cast<std::size_t>(std::clamp(first, 0.0, n)), static_cast<std::size_t>(std::clamp(last + 1, 0.0, n))};
}

// A step of 1, 2 or 5 times a power of ten that cuts `span` into about `parts`.
double TickStep(double span, int parts) {
    const double raw = span / parts;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) return m * power;
    }
    return 10 * power;
}

}  // namespace

double BandFrequency(const BandView& view, double offsetHz) {
    return view.centreHz * (1.0 + view.errorPpm * 1e-6) + offsetHz;
}

std::optional<double> CarrierNear(const BandView& view, double hz) {
    if (view.db.empty() || view.sampleRate <= 0) return std::nullopt;
    const float floor = NoiseFloor(view.db);
    const double clicked = hz - BandFrequency(view, 0);
    const auto [first, last] = BinsAround(view, clicked, kSearchHz);
    std::size_t peak = first;
    for (std::size_t i = first; i < last; ++i) {
        if (view.db[i] > view.db[peak]) peak = i;
    }
    if (first >= last || view.db[peak] < floor + kAboveNoiseDb) return std::nullopt;
    // The loudest bin is one tone of the FSK, the other may be twice the
    // deviation away. How often each tone is sent depends on the data, so
    // the middle is between the edges of the band the carrier occupies, not
    // the middle of its power; found again around that middle.
    const float threshold = floor + kAboveNoiseDb;
    double middle = BinOffsetHz(view, peak);
    for (const double halfWidth : {2 * kCarrierHalfWidthHz, kCarrierHalfWidthHz}) {
        const auto [from, to] = BinsAround(view, middle, halfWidth);
        std::optional<std::size_t> low, high;
        for (std::size_t i = from; i < to; ++i) {
            if (view.db[i] < threshold) continue;
            if (!low) low = i;
            high = i;
        }
        if (low) middle = (BinOffsetHz(view, *low) + BinOffsetHz(view, *high)) / 2;
    }
    return std::round(BandFrequency(view, middle) / kRoundHz) * kRoundHz;
}

SpectrumWidget::SpectrumWidget(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(120);
    setCursor(Qt::CrossCursor);
    setToolTip("Click a carrier to add a channel there");
}

void SpectrumWidget::Show(const BandView& view, std::vector<std::string> names) {
    view_ = view;
    names_ = std::move(names);
    update();
}

int SpectrumWidget::XOf(double hz) const {
    const double width = std::max(1, this->width() - kLeft - kRight);
    if (view_.sampleRate <= 0) return kLeft;
    const double low = BandFrequency(view_, -view_.sampleRate / 2);
    return kLeft + static_cast<int>(std::lround((hz - low) / view_.sampleRate * width));
}

double SpectrumWidget::FrequencyAt(int x) const {
    const double width = std::max(1, this->width() - kLeft - kRight);
    return BandFrequency(view_, -view_.sampleRate / 2) + (x - kLeft) / width * view_.sampleRate;
}

void SpectrumWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || view_.db.empty()) return;
    const std::optional<double> carrier = CarrierNear(view_, FrequencyAt(event->position().toPoint().x()));
    if (carrier && carrierClicked) carrierClicked(*carrier);
}

void SpectrumWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QRect plot(kLeft, kTop, std::max(1, width() - kLeft - kRight), std::max(1, height() - kTop - kBottom));
    painter.setPen(Qt::darkGray);
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    if (view_.db.empty() || view_.sampleRate <= 0) {
        painter.drawText(plot, Qt::AlignCenter, "Waiting for the IQ band...");
        return;
    }
    // The noise at the bottom, the loudest carrier near the top.
    const float floor = NoiseFloor(view_.db);
    const float loudest = *std::max_element(view_.db.begin(), view_.db.end());
    const double bottom = std::floor((double(floor) - 10) / 10) * 10;
    const double top = std::max(bottom + 40, std::ceil((double(loudest) + 5) / 10) * 10);
    const auto yOf = [&](double db) { return plot.bottom() - (db - bottom) / (top - bottom) * plot.height(); };

    const QFontMetrics metrics = painter.fontMetrics();
    for (double db = bottom; db <= top; db += 10) {
        const int y = static_cast<int>(yOf(db));
        painter.setPen(QColor(40, 40, 40));
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(Qt::gray);
        painter.drawText(QRect(0, y - metrics.height() / 2, kLeft - 4, metrics.height()), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(db, 'f', 0));
    }
    const double low = BandFrequency(view_, -view_.sampleRate / 2);
    const double step = TickStep(view_.sampleRate, 6);
    const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step / 1e6))));
    for (double hz = std::ceil(low / step) * step; hz < low + view_.sampleRate; hz += step) {
        const int x = XOf(hz);
        painter.setPen(QColor(40, 40, 40));
        painter.drawLine(x, plot.top(), x, plot.bottom());
        painter.setPen(Qt::gray);
        painter.drawText(QRect(x - 50, plot.bottom() + 2, 100, kBottom - 2), Qt::AlignHCenter | Qt::AlignTop,
                         QString::number(hz / 1e6, 'f', decimals));
    }

    // The loudest bin of each pixel column, so that a narrow carrier shows
    // however many bins share a column.
    QPainterPath trace;
    const std::size_t n = view_.db.size();
    int column = -1;
    float columnMax = 0;
    const auto flush = [&] {
        if (column < 0) return;
        const QPointF point(column, std::clamp(yOf(columnMax), double(plot.top()), double(plot.bottom())));
        trace.elementCount() == 0 ? trace.moveTo(point) : trace.lineTo(point);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const int x = XOf(BandFrequency(view_, BinOffsetHz(view_, i)));
        if (x != column) {
            flush();
            column = x;
            columnMax = view_.db[i];
        }
        columnMax = std::max(columnMax, view_.db[i]);
    }
    flush();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 220, 0), 1));
    painter.drawPath(trace);
    painter.setRenderHint(QPainter::Antialiasing, false);

    // The channels, where they are tuned, with their names above the plot.
    for (std::size_t i = 0; i < view_.channelOffsetsHz.size(); ++i) {
        const int x = XOf(BandFrequency(view_, view_.channelOffsetsHz[i]));
        painter.setPen(QPen(QColor(255, 200, 0), 1, Qt::DashLine));
        painter.drawLine(x, plot.top(), x, plot.bottom());
        const QString name = i < names_.size() ? QString::fromStdString(names_[i]) : QString::number(i + 1);
        painter.setPen(QColor(255, 200, 0));
        painter.drawText(QRect(x - 60, 0, 120, kTop), Qt::AlignHCenter | Qt::AlignVCenter, name);
    }
}

}  // namespace tolvane::desktop
