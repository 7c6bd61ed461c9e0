#include "Displays/MeasurementsWindow.h"

#include <QAction>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>

#include "Analysis/MeasurementReport.h"
#include "Displays/PlotWindow.h"

namespace onex::displays {

QMainWindow* QV_ShowMeasurements(QWidget* hParent, const std::string& label,
                                 const analysis::Measurements& measurements) {
    auto* window = new QMainWindow(nullptr);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QString::fromStdString("Measurements " + label));

    auto* table = new QPlainTextEdit(window);
    table->setObjectName("table");
    table->setReadOnly(true);
    table->setLineWrapMode(QPlainTextEdit::NoWrap);
    table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table->setPlainText(QString::fromStdString(analysis::measurementsTable(measurements)));
    window->setCentralWidget(table);

    QMenu* file = window->menuBar()->addMenu("&File");
    QAction* close = file->addAction("&Close");
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    QObject::connect(close, &QAction::triggered, window, [window] { window->close(); });
    QMenu* edit = window->menuBar()->addMenu("&Edit");
    QAction* copy = edit->addAction("&Copy");
    copy->setObjectName("copy");
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    QObject::connect(copy, &QAction::triggered, window,
                     [table] { QGuiApplication::clipboard()->setText(table->toPlainText()); });

    // Placed like the CCDF window, but tall enough for the whole table.
    const QScreen* screen = hParent ? hParent->screen() : QGuiApplication::primaryScreen();
    const int screenHeight = screen ? screen->geometry().height() : 768;
    std::optional<FigRect> parent;
    if (hParent) parent = figRectOf(hParent->geometry(), screenHeight);
    QRect place = screenRectOf(placeFigure(Placement::Standard, parent), screenHeight);
    const QFontMetrics metrics(table->font());
    const QStringList lines = table->toPlainText().split('\n');
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int margin = 4 * metrics.lineSpacing();
    place.setWidth(std::max(place.width(), widest + margin));
    place.setHeight(
        std::max(place.height(), static_cast<int>(lines.size()) * metrics.lineSpacing() + margin));
    window->setGeometry(place);
    window->show();
    return window;
}

}  // namespace onex::displays
