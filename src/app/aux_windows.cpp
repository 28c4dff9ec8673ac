#include "app/aux_windows.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSvgRenderer>
#include <QUrl>

#include "app/app_state.h"
#include "app/help_window.h"
#include "platform/dpi.h"
#include "platform/fonts.h"
#include "platform/shell_open.h"
#include "platform/window_functions.h"

// The pictures live in a resource of the static gui library, which the
// linker keeps only when something refers to it.
static void initWindowResources()
{
    Q_INIT_RESOURCE(daredazi_windows);
}

TfrmSSVer::TfrmSSVer(QWidget* owner)
    : QDialog(owner, platform::kFixedDialogFlags)
{
    initWindowResources();
    setObjectName(QStringLiteral("frmSSVer"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    const double f = platform::dpiFactor(this);
    setFixedSize(platform::scaled(341, f), platform::scaled(244, f));
    setFont(platform::uiFont(platform::scaled(15, f)));

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    platform::placeAt(Panel1, 8, 8, 325, 182, f);

    ProgramIcon = new QLabel(Panel1);
    platform::placeAt(ProgramIcon, 8, 4, 132, 148, f);
    {
        QPixmap picture(ProgramIcon->size());
        picture.fill(Qt::transparent);
        QSvgRenderer renderer(QStringLiteral(":/daredazi.svg"));
        QPainter painter(&picture);
        renderer.render(&painter, QRectF(picture.rect()));  // stretched
        ProgramIcon->setPixmap(picture);
    }

    ProductName = new QLabel(QStringLiteral("Daredazi"), Panel1);
    QFont nameFont = font();
    nameFont.setPixelSize(platform::scaled(27, f));
    nameFont.setBold(true);
    ProductName->setFont(nameFont);
    ProductName->move(platform::scaled(156, f), platform::scaled(36, f));
    ProductName->adjustSize();

    Version = new QLabel(QStringLiteral("バージョン：１．５０"), Panel1);
    QFont versionFont = font();
    versionFont.setPixelSize(platform::scaled(18, f));
    Version->setFont(versionFont);
    Version->move(platform::scaled(156, f), platform::scaled(92, f));
    Version->adjustSize();
    // The full-width digits run wider in the substitute font than the panel.
    platform::shrinkToFit(Version, Panel1->contentsRect().right() - Version->x());
    Version->adjustSize();

    Comments = new QLabel(QStringLiteral("撮影情報つき写真スライドショー"), Panel1);
    Comments->setFont(platform::serifFont(platform::scaled(18, f)));
    Comments->move(platform::scaled(8, f), platform::scaled(155, f));
    Comments->adjustSize();

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    platform::placeAt(OKButton, 133, 202, 75, 30, f);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    if (owner)
        move(owner->frameGeometry().center() - rect().center());
}

namespace app {

void showVersionWindow(QWidget* parent)
{
    TfrmSSVer frmSSVer(parent);
    frmSSVer.exec();
}

namespace {

// A help window of this program, found by its title (one closed and hidden
// is on its way out). It stays shown while the folder window that owns it
// is hidden.
QWidget* ownHelpWindow()
{
    const QString title = QString::fromUtf16(kHelpWindowTitle);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == title && w->isVisible() && qobject_cast<HelpWindow*>(w))
            return w;
    return nullptr;
}

void bringForward(QWidget* w)
{
    if (w->isMinimized())
        w->showNormal();
    else
        w->show();
    w->raise();
    w->activateWindow();
}

bool showOwnHelp(const QString& helpFile, QWidget* owner)
{
    HelpWindow* window = HelpWindow::create(helpFile, owner);
    if (!window)
        return false;
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}

}  // namespace

HelpOutcome openHelp(AppState& state, QWidget* owner)
{
    // Our own window first: the search by title sees only X11 windows, and
    // not always this program's own.
    if (QWidget* own = ownHelpWindow()) {
        bringForward(own);
        return HelpOutcome::Raised;
    }
    if (platform::activateWindowTitled(QString::fromUtf16(kHelpWindowTitle)))
        return HelpOutcome::Raised;
    // Without the file the desktop's handler would only complain in its own
    // words; open nothing instead.
    if (state.HelpFilePath.isEmpty() || !QFileInfo(state.HelpFilePath).isFile())
        return HelpOutcome::Missing;
    const QString helpFile = state.HelpFilePath;
    if (platform::desktopHasHandlerFor(helpFile)) {
        QPointer<QWidget> ownerLater(owner);
        platform::openFileWatched(helpFile, owner ? static_cast<QObject*>(owner) : qApp, [helpFile, ownerLater] {
            if (!ownHelpWindow())
                showOwnHelp(helpFile, ownerLater);
        });
        return HelpOutcome::Opened;
    }
    return showOwnHelp(helpFile, owner) ? HelpOutcome::Shown : HelpOutcome::Missing;
}

}  // namespace app
