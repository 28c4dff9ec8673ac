// The version window and the help button: an open help viewer is brought
// forward (found on a real X server), otherwise the file is opened, and a
// missing file opens nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include "app/app_state.h"
#include "app/aux_windows.h"
#include "support/fake_opener.h"

#ifdef DAREDAZI_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace {

// Keeps the search for the help window off any X display of the machine.
struct NoDisplay {
    NoDisplay() : saved(qgetenv("DISPLAY")) { qunsetenv("DISPLAY"); }
    ~NoDisplay()
    {
        if (!saved.isEmpty())
            qputenv("DISPLAY", saved);
    }
    QByteArray saved;
};

bool anyVisibleMessageBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            return true;
    return false;
}

}  // namespace

TEST(VersionWindow, ShowsNameAndVersionModallyAndIsReleased)
{
    QWidget owner;
    QPointer<TfrmSSVer> seen;
    QString title, name, version;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        seen = qobject_cast<TfrmSSVer*>(QApplication::activeModalWidget());
        if (!seen)
            return;
        modal = seen->isModal();
        title = seen->windowTitle();
        name = seen->ProductName->text();
        version = seen->Version->text();
        seen->OKButton->click();
    });
    app::showVersionWindow(&owner);
    EXPECT_TRUE(modal);
    EXPECT_EQ(title, QStringLiteral("バージョン情報"));
    EXPECT_EQ(name, QStringLiteral("Daredazi"));
    EXPECT_EQ(version, QStringLiteral("バージョン：１．５０"));
    EXPECT_TRUE(seen.isNull()) << "released once closed";
}

TEST(Help, OpensTheFileOrNothingWhenNoHelpWindowIsOpen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString present = dir.filePath(QStringLiteral("Daredazi.chm"));
    QFile file(present);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("ITSF");
    file.close();

    struct Row {
        QString path;
        app::HelpOutcome outcome;
    };
    const Row rows[] = {
        {present, app::HelpOutcome::Opened},
        {dir.filePath(QStringLiteral("missing/Daredazi.chm")), app::HelpOutcome::Missing},
        {QString(), app::HelpOutcome::Missing},
    };
    NoDisplay noDisplay;
    for (const Row& row : rows) {
        FakeOpener opener;
        AppState state;
        state.HelpFilePath = row.path;
        EXPECT_EQ(app::openHelp(state), row.outcome) << row.path.toStdString();
        if (row.outcome == app::HelpOutcome::Opened) {
            EXPECT_EQ(opener.opened(), QStringList{row.path});
            // The handler's complaints do not reach our terminal.
            EXPECT_EQ(opener.errorStreams(), QStringList{QStringLiteral("/dev/null")});
        } else {
            QTest::qWait(100);
            EXPECT_TRUE(opener.opened(0).isEmpty());
        }
        EXPECT_FALSE(anyVisibleMessageBox());
    }
}

#ifdef DAREDAZI_HAVE_XCB
TEST(Help, OpenHelpWindowIsBroughtBackInsteadOfOpeningAgain)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb not available";
    // A display of our own, numbered by the server itself.
    QProcess server;
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("640x480x24")});
    ASSERT_TRUE(server.waitForStarted(5000));
    QByteArray number;
    while (!number.contains('\n') && server.waitForReadyRead(10000))
        number += server.readAllStandardOutput();
    ASSERT_FALSE(number.trimmed().isEmpty());
    const QByteArray display = ':' + number.trimmed();

    xcb_connection_t* c = xcb_connect(display.constData(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
        const xcb_atom_t a = r ? r->atom : 0;
        free(r);
        return a;
    };
    // The help viewer's window, as its program would title it; the second
    // one is minimised (unmapped), the first is open but may be covered.
    auto makeWindow = [&](const char* title, bool mapped) {
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 10, 10, 200, 150, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8,
                            strlen(title), title);
        if (mapped)
            xcb_map_window(c, w);
        xcb_flush(c);
        return w;
    };
    auto viewable = [&](xcb_window_t w) {
        xcb_get_window_attributes_reply_t* r =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
        const bool v = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
        free(r);
        return v;
    };

    const QByteArray savedDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", display);
    AppState state;
    QTemporaryDir dir;
    state.HelpFilePath = dir.filePath(QStringLiteral("Daredazi.chm"));
    QFile(state.HelpFilePath).open(QIODevice::WriteOnly);

    struct Row {
        const char* title;
        bool mapped;
    };
    const Row rows[] = {
        {"xCHM: 「Daredazi」のヘルプ", true},
        {"「Daredazi」のヘルプ", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        const xcb_window_t w = makeWindow(row.title, row.mapped);
        FakeOpener opener;
        EXPECT_EQ(app::openHelp(state), app::HelpOutcome::Raised);
        QTest::qWait(100);
        EXPECT_TRUE(opener.opened(0).isEmpty()) << "not opened a second time";
        EXPECT_TRUE(viewable(w));
        xcb_destroy_window(c, w);
        xcb_flush(c);
    }

    xcb_disconnect(c);
    if (savedDisplay.isEmpty())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", savedDisplay);
    server.terminate();
    server.waitForFinished(5000);
}
#endif

