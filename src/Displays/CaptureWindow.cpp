#include "Displays/CaptureWindow.h"

#include <qcustomplot.h>
#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QSplitter>

#include "Analysis/CaptureDisplays.h"
#include "Analysis/CaptureReport.h"
#include "Displays/CaptureViews.h"
#include "Displays/MeasurementsWindow.h"
#include "Displays/PlotWindow.h"

namespace onex::displays {

namespace {

// The smallest window that shows the views readably beside the table.
constexpr int kMinWidth = 1100, kMinHeight = 720;

QCustomPlot* newPlot(const char* name, QWidget* parent) {
    auto* plot = new QCustomPlot(parent);
    plot->setObjectName(name);
    plot->setMinimumSize(260, 220);
    return plot;
}

}  // namespace

QMainWindow* QV_ShowCaptureAnalysis(QWidget* hParent, const std::string& label,
                                    const analysis::CaptureAnalysis& a,
                                    const std::string& heading) {
    // The models first: an analysis without chips opens no window.
    const analysis::CaptureDisplays models = analysis::captureDisplays(a);

    auto* window = new QMainWindow(nullptr);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QString::fromStdString("Capture Analysis " + label));

    auto* split = new QSplitter(Qt::Horizontal, window);
    split->setObjectName("split");
    QPlainTextEdit* table = newTableView(heading + "\n" + analysis::captureTable(a), split);
    auto* views = new QWidget(split);
    auto* grid = new QGridLayout(views);
    grid->setContentsMargins(0, 0, 0, 0);
    QCustomPlot* constellation = newPlot("constellation", views);
    QCustomPlot* codePower = newPlot("codePower", views);
    QCustomPlot* evm = newPlot("evm", views);
    grid->addWidget(constellation, 0, 0);
    grid->addWidget(codePower, 0, 1);
    grid->addWidget(evm, 1, 0, 1, 2);
    split->addWidget(table);
    split->addWidget(views);
    split->setStretchFactor(1, 1);
    window->setCentralWidget(split);

    drawChipConstellation(*constellation, models.constellation);
    drawCodePower(*codePower, models.codePower);
    drawEvmTime(*evm, models.evm);
    for (QCustomPlot* plot : {constellation, codePower, evm})
        rememberHomeRanges(*plot);
    addDisplayMenus(*window, *views, {constellation, codePower, evm},
                    [table] { QGuiApplication::clipboard()->setText(table->toPlainText()); });

    QRect place = displayPlace(hParent, Placement::Standard);
    const QSize tableSize = tableTextSize(*table);
    table->setMinimumWidth(tableSize.width());
    place.setSize(place.size().expandedTo(QSize(std::max(kMinWidth, tableSize.width() + 700),
                                                std::max(kMinHeight, tableSize.height()))));
    window->setGeometry(place);
    window->show();
    return window;
}

}  // namespace onex::displays
