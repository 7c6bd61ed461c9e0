#include "Displays/MeasurementsWindow.h"

#include <QAction>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "Analysis/MeasurementReport.h"
#include "Displays/PlotWindow.h"

namespace onex::displays {

QPlainTextEdit* newTableView(const std::string& text, QWidget* parent) {
    auto* table = new QPlainTextEdit(parent);
    table->setObjectName("table");
    table->setReadOnly(true);
    table->setLineWrapMode(QPlainTextEdit::NoWrap);
    table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table->setPlainText(QString::fromStdString(text));
    return table;
}

QSize tableTextSize(const QPlainTextEdit& table) {
    const QFontMetrics metrics(table.font());
    const QStringList lines = table.toPlainText().split('\n');
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int margin = 4 * metrics.lineSpacing();
    return {widest + margin, static_cast<int>(lines.size()) * metrics.lineSpacing() + margin};
}

QMainWindow* QV_ShowMeasurements(QWidget* hParent, const std::string& label,
                                 const analysis::Measurements& measurements) {
    auto* window = new QMainWindow(nullptr);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QString::fromStdString("Measurements " + label));

    QPlainTextEdit* table = newTableView(analysis::measurementsTable(measurements), window);
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
    QRect place = displayPlace(hParent, Placement::Standard);
    place.setSize(place.size().expandedTo(tableTextSize(*table)));
    window->setGeometry(place);
    window->show();
    return window;
}

}  // namespace onex::displays
