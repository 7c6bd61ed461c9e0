#include "UI/WindowUtilities.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <cmath>
#include <vector>

#include "UI/platform/Controls.h"
#include "UI/platform/Services.h"
#include "UI/platform/Windows.h"
#include "platform/Error.h"
#include "version/Version.h"

namespace onex::ui {

using platform::Handles;

namespace {

// The control background of the platform, so that window and controls match.
void useControlBackground(QWidget& window) {
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window.setPalette(palette);
}

// Opens a layout, or brings back the window of it that is still open.
QWidget* openOrReuse(std::string_view name) {
    if (QWidget* open = platform::findOpenLayout(name)) return open;
    return platform::openLayout(name);
}

void showImage(QWidget& window, const char* resource) {
    Handles* h = platform::guidata(&window);
    if (!h || !h->has("txtLogo")) return;
    const QPixmap image(resource);
    if (!image.isNull()) h->get<QLabel>("txtLogo").setPixmap(image);
}

const platform::CallbackRouter::Registration& aboutModule() {
    // The About box's only routine: its OK button ends the wait.
    static const auto registration = platform::services().router.add(
        "QV_About",
        [](const std::string& routine, QObject* gcbo, Handles*) {
            platform::guarded("QV_About", routine, [&] {
                if (routine != "pbOK_Callback")
                    throw platform::undefinedRoutine("QV_About", routine);
                platform::uiresume(platform::windowOf(gcbo));
            });
        },
        {"pbOK_Callback"});
    return registration;
}

}  // namespace

QWidget* loadFigure(std::string_view filename, QWidget* parentHandle) {
    QWidget* fig = platform::openLayout(filename, parentHandle);
    useControlBackground(*fig);
    platform::guidata(fig, platform::buildHandles(fig));
    PositionChildWindow(parentHandle, *fig);
    return fig;
}

QRect centredRect(const QRect& reference, const QRect& child) {
    const int left = (reference.width() - child.width()) / 2 + reference.left();
    const int top = (reference.height() - child.height()) / 2 + reference.top();
    return QRect(left, top, child.width(), child.height());
}

void PositionChildWindow(const QWidget* parent, QWidget& child) {
    QRect reference;
    if (parent) {
        reference = parent->geometry();
    } else {
        const QScreen* screen = QGuiApplication::primaryScreen();
        reference = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    }
    child.setGeometry(centredRect(reference, child.geometry()));
}

void scrollOnSmallScreens(QWidget& window, QWidget& panels) {
    QWidget* holder = panels.parentWidget();
    if (!holder || !holder->layout()) throw Error("The panels of a window must sit in a layout");
    auto* area = new QScrollArea(holder);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    delete holder->layout()->replaceWidget(&panels, area);
    area->setWidget(&panels);

    // Before the window is shown, a change of a control's font or size
    // leaves the layouts' measures stale: they are taken afresh after each.
    const auto remeasure = [&window] {
        for (QWidget* w : window.findChildren<QWidget*>())
            w->updateGeometry();
        for (QLayout* layout : window.findChildren<QLayout*>())
            layout->invalidate();
    };
    remeasure();
    QSize size = window.size();
    // The size the window needs when the area shows the panels whole.
    area->setMinimumSize(panels.minimumSizeHint());
    remeasure();
    size = size.expandedTo(window.minimumSizeHint());
    area->setMinimumSize(0, 0);
    remeasure();
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen) size = size.boundedTo(screen->availableGeometry().size());
    window.resize(size);
}

void ResizeAllFonts(const Handles& handles) {
    const auto& ppi = platform::services().screenPixelsPerInch;
    if (!ppi || ppi() != 96) return;
    // All new sizes are taken from the fonts as they are before any change:
    // a widget without a font of its own shows its parent's, which would
    // otherwise be enlarged twice.
    std::vector<std::pair<QPointer<QWidget>, QFont>> changes;
    for (const std::string& tag : handles.tags()) {
        auto* w = qobject_cast<QWidget*>(handles.find(tag));
        // Windows, menus and the menu bar have no font size of their own.
        if (!w || w->isWindow() || qobject_cast<QMenu*>(w) || qobject_cast<QMenuBar*>(w)) continue;
        QFont font = w->font();
        if (font.pointSizeF() > 0)
            font.setPointSize(static_cast<int>(std::round(font.pointSizeF() * 1.1)));
        else if (font.pixelSize() > 0)
            font.setPixelSize(static_cast<int>(std::round(font.pixelSize() * 1.1)));
        changes.emplace_back(w, font);
    }
    for (auto& [w, font] : changes)
        if (w) w->setFont(font);
}

QWidget* QV_Splash() {
    QWidget* fig = openOrReuse("QV_Splash");
    fig->setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    platform::guidata(fig, platform::buildHandles(fig));
    PositionChildWindow(nullptr, *fig);
    showImage(*fig, ":/images/splash.jpg");
    fig->show();
    fig->raise();
    platform::drawnow();
    return fig;
}

std::string aboutRevision(const AppInfo& app) {
    if (app.IsRelease != 0) {
        std::string rev = app.Rev.substr(0, 7);
        rev.resize(7, ' ');
        return rev;
    }
    return app.Rev + "  Proto";
}

namespace {

void runAbout(const QWidget* parent, const AppInfo* app) {
    aboutModule();
    QWidget* fig = openOrReuse("QV_About");
    useControlBackground(*fig);
    // Closing the box ends it (and its wait) like its OK button.
    fig->setAttribute(Qt::WA_DeleteOnClose);
    Handles handles = platform::buildHandles(fig);
    platform::guidata(fig, handles);
    if (parent) PositionChildWindow(parent, *fig);
    ResizeAllFonts(handles);
    // The build's version beside the system's revision, for bug reports.
    platform::setString(handles.at("lblVersion"), onex::versionText());
    if (app) {
        platform::setName(*fig, app->Name);
        platform::setString(handles.at("lblRevision"), aboutRevision(*app));
        platform::setString(handles.at("lblDate"), app->Date);
        platform::setString(handles.at("lblNotes"), app->Notes);
        platform::setString(handles.at("txtNotesLine2"), app->NotesLine2);
        platform::setString(handles.at("txtNotesLine3"), app->NotesLine3);
        platform::setString(handles.at("txtNotesLine4"), app->NotesLine4);
        platform::setString(handles.at("txtNotesLine5"), app->NotesLine5);
    }
    showImage(*fig, ":/images/logo.jpg");
    if (platform::askModal(fig)) delete fig;
}

}  // namespace

void QV_About(QObject* parentHandle, const AppInfo* app) {
    auto* parent = qobject_cast<QWidget*>(parentHandle);
    if (!parent || !parent->isWindow()) throw Error("Input argument must be a handle to parent");
    runAbout(parent, app);
}

void QV_About(const AppInfo* app) {
    runAbout(nullptr, app);
}

}  // namespace onex::ui
