// The waterfall as drawn, judged from its image: what is drawn in the slices'
// colours lies within the region their projected polygons cover, and forms
// one figure (no piece floats apart), for frames at several oversampling
// rates and for a single tone and a frame of zeros.

#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QPainter>
#include <complex>
#include <span>
#include <string>
#include <vector>

#include "Analysis/Waterfall.h"
#include "Displays/WaterfallPlottable.h"
#include "Displays/WaterfallView.h"
#include "OneX/FrameBuilder.h"

using namespace onex;
using C = std::complex<double>;

namespace {

constexpr int kWidth = 800, kHeight = 600;

// The slices' colours are strongly saturated; the box, the axes and their
// texts are grey or black.
bool sliceColoured(QRgb pixel) {
    const QColor c = QColor::fromRgb(pixel);
    return c.hsvSaturationF() > 0.5 && c.valueF() > 0.3;
}

struct Drawing {
    int outside = 0;  // slice-coloured pixels outside every slice
    QPoint firstOutside;
    std::vector<std::size_t> pieces;  // sizes of the connected slice-coloured pieces
};

// The waterfall of `wave` with the plot command's 200 slices, drawn at
// kWidth x kHeight like the image files.
Drawing draw(std::span<const C> wave, double sampleRate) {
    const analysis::WaterfallModel m = analysis::waterfallModel(
        wave, sampleRate, static_cast<double>(wave.size()) / sampleRate / 200);
    QCustomPlot plot;
    plot.resize(kWidth, kHeight);
    displays::drawWaterfall(plot, m);
    const QImage image = plot.toPixmap(kWidth, kHeight).toImage();

    // The region the slices' polygons cover as the view projects them,
    // grown by two pixels for lines rasterised on their edges.
    auto* slices = plot.findChild<displays::WaterfallPlottable*>("QV_Waterfall");
    if (!slices) ADD_FAILURE() << "no slices";
    QImage covered(image.size(), QImage::Format_ARGB32);
    covered.fill(Qt::transparent);
    QPainter painter(&covered);
    painter.setPen(QPen(Qt::black, 4));
    painter.setBrush(Qt::black);
    for (std::size_t r = 0; slices && r < m.rows; ++r)
        painter.drawPolygon(slices->slicePolygon(r));
    painter.end();

    Drawing d;
    const int w = image.width(), h = image.height();
    std::vector<char> todo(static_cast<std::size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (sliceColoured(image.pixel(x, y))) {
                todo[static_cast<std::size_t>(y) * w + x] = 1;
                if (qAlpha(covered.pixel(x, y)) == 0 && d.outside++ == 0)
                    d.firstOutside = QPoint(x, y);
            }
    // Pieces joined through any pixel within two of each other: lines that
    // pass behind a nearer one may leave a pixel's gap where the nearer fill
    // and line are rasterised, but nothing should stand further apart.
    std::vector<QPoint> stack;
    for (int start = 0; start < w * h; ++start) {
        if (!todo[static_cast<std::size_t>(start)]) continue;
        std::size_t size = 0;
        todo[static_cast<std::size_t>(start)] = 0;
        stack.assign(1, QPoint(start % w, start / w));
        while (!stack.empty()) {
            const QPoint p = stack.back();
            stack.pop_back();
            ++size;
            for (int ny = p.y() - 2; ny <= p.y() + 2; ++ny)
                for (int nx = p.x() - 2; nx <= p.x() + 2; ++nx) {
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    char& t = todo[static_cast<std::size_t>(ny) * w + nx];
                    if (t) {
                        t = 0;
                        stack.emplace_back(nx, ny);
                    }
                }
        }
        d.pieces.push_back(size);
    }
    return d;
}

void expectOneFigureWithinTheSlices(std::span<const C> wave, double sampleRate,
                                    const std::string& what) {
    const Drawing d = draw(wave, sampleRate);
    EXPECT_EQ(d.outside, 0) << what << ": pixels outside the slices, the first at "
                            << d.firstOutside.x() << "," << d.firstOutside.y();
    EXPECT_EQ(d.pieces.size(), 1u) << what << ": separate pieces (one of them the slices)";
}

}  // namespace

TEST(WaterfallView, SlicesFormOneFigureWithinTheirPolygons) {
    for (double os : {2.0, 5.0, 30.0}) {
        Parameters p = InitializeParameters();
        p.OverSampling = os;
        expectOneFigureWithinTheSlices(Calculate(p).waveform, 1228800 * os,
                                       "OverSampling " + std::to_string(os));
    }
    std::vector<C> tone(20000);
    for (std::size_t k = 0; k < tone.size(); ++k)
        tone[k] = std::polar(1.0, 0.9 * static_cast<double>(k));
    expectOneFigureWithinTheSlices(tone, 1e6, "one tone");
    expectOneFigureWithinTheSlices(std::vector<C>(20000), 1e6, "zeros");
}
