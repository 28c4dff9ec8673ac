#include "support/hostile_rows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QColor>
#include <QImage>
#include <QProcess>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <cstdio>
#include <functional>

#include <webp/encode.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/hostile_folders.h"

namespace testsupport {

namespace {

// The folder window's design bounds are at 120 dpi; the server runs at 96.
QPoint design(int x, int y) { return {qRound(x * 0.8), qRound(y * 0.8)}; }

double since(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

RowResult skippedRow(const QString& why)
{
    RowResult r;
    r.skipped = why;
    return r;
}

QString pattern(const QString& name) { return QRegularExpression::escape(name) + u'$'; }

// A message box of the program: titled as the program, far smaller than
// the viewer (the splash, also so titled, is gone a second after the start).
QString boxUp(const XServer& x)
{
    for (const QString& id : x.windows(QStringLiteral("^Daredazi$"))) {
        const QRect g = x.geometry(id);
        if (g.width() > 0 && g.width() < 1000 && g.height() < 700)
            return id;
    }
    return {};
}

QString waitFor(const std::function<QString()>& probe, int ms)
{
    QElapsedTimer t;
    t.start();
    do {
        if (QString found = probe(); !found.isEmpty())
            return found;
        QThread::msleep(40);
    } while (t.elapsed() < ms);
    return {};
}

QString waitBox(const XServer& x, int ms) { return waitFor([&] { return boxUp(x); }, ms); }

void press(const XServer& x, const QString& window, const QString& key)
{
    x.xdotool({QStringLiteral("windowfocus"), window});
    QThread::msleep(60);
    x.key(key);
}

// The colour at a point of the screen (invalid without ImageMagick).
QColor pixel(const XServer& x, int px, int py)
{
    if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
        return {};
    QProcess p;
    p.start(QStringLiteral("import"), {QStringLiteral("-display"), x.display(), QStringLiteral("-window"),
                                       QStringLiteral("root"), QStringLiteral("-crop"),
                                       QStringLiteral("1x1+%1+%2").arg(px).arg(py), QStringLiteral("txt:-")});
    p.waitForFinished(20000);
    const QString out = QString::fromLatin1(p.readAllStandardOutput());
    const qsizetype at = out.lastIndexOf(QStringLiteral("srgb("));
    if (at < 0)
        return {};
    const QStringList rgb = out.mid(at + 5).section(u')', 0, 0).split(u',');
    return rgb.size() == 3 ? QColor(rgb[0].toInt(), rgb[1].toInt(), rgb[2].toInt()) : QColor();
}

void finish(RealProgram& p, RowResult& r, int signal)
{
    r.survived = p.running();
    r.peakKb = p.peakKb();
    r.endMs = p.endBy(signal, 5000);  // a hang for good is the fault: 5 s is plenty
    r.endedCleanly = p.endedCleanly();
    if (!r.endedCleanly || !r.reached) {
        const QString how = QStringLiteral("%1%2").arg(r.reached ? QString() : QStringLiteral("not reached, "), p.howItEnded());
        r.detail = r.detail.isEmpty() ? how : r.detail + QStringLiteral("; ") + how;
    }
}

bool writePictures(const QString& folder, const QStringList& names, QColor colour = QColor(200, 30, 30))
{
    const QByteArray jpeg = plainJpeg(640, 480, colour);
    for (const QString& n : names)
        if (!writeFile(folder + u'/' + n, jpeg))
            return false;
    return true;
}

// Replaces path by what make creates at a temporary name beside it.
bool replaceBy(const QString& path, const std::function<bool(const QString&)>& make)
{
    const QString temp = path + QStringLiteral(".new");
    return make(temp) && ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0;
}

// Starts the program on a picture and waits for the viewer to show it.
QString startShow(RealProgram& p, const XServer& x, const QString& picture, RowResult& r, int ms = 20000)
{
    QElapsedTimer t;
    t.start();
    if (!p.start({picture}))
        return {};
    const QString viewer = x.waitForWindow(pattern(QFileInfo(picture).fileName()), ms);
    r.reached = !viewer.isEmpty();
    r.actionMs = since(t);
    return viewer;
}

// The folder window of `daredazi FOLDER`, listed.
QString startFolderWindow(RealProgram& p, const XServer& x, const QString& folder)
{
    if (!p.start({folder}))
        return {};
    const QString window = x.waitForWindow(QStringLiteral("^フォルダの選択$"), 20000);
    QThread::msleep(1500);  // the splash goes, the folder is listed
    return window;
}

// Sub-folders on, OK: the viewer of the first picture, or a box.
void walkSubFolders(const XServer& x, const QString& window, const QString& firstPicture, RowResult& r)
{
    const QPoint box = design(292, 333);
    x.click(window, box.x(), box.y());
    QThread::msleep(200);
    const QPoint ok = design(363, 474);
    QElapsedTimer t;
    t.start();
    x.click(window, ok.x(), ok.y());
    QString got;
    const QString found = waitFor(
        [&] {
            if (!boxUp(x).isEmpty())
                return got = QStringLiteral("box");
            if (!x.windows(pattern(firstPicture)).isEmpty())
                return got = QStringLiteral("show");
            return QString();
        },
        20000);
    r.actionMs = since(t);
    r.reached = got == QStringLiteral("show");
    r.detail = got.isEmpty() ? QStringLiteral("neither a show nor a box") : got;
}

// Opens the search dialog, asks for a word and presses OK; returns the
// moment of the key, or an invalid timer when the dialog did not come.
bool startSearch(const XServer& x, const QString& folderWindow)
{
    const QPoint search = design(384, 400);
    x.click(folderWindow, search.x(), search.y());
    const QString dialog = x.waitForWindow(QStringLiteral("^検索設定$"), 10000);
    if (dialog.isEmpty())
        return false;
    QThread::msleep(300);
    x.xdotool({QStringLiteral("windowfocus"), dialog});
    x.type(QStringLiteral("x"));
    x.key(QStringLiteral("Return"));
    return true;
}

RowResult rowFlood(const RowSetup& s)
{
    RowResult r;
    const QString file = s.folder + QStringLiteral("/flood.jpg");
    writeFile(file, canonNoteFlood());
    {
        RealProgram p(s.program, s.x);
        startShow(p, *s.x, file, r);
        finish(p, r, s.signal);
    }
    // The tool, timed with its peak memory where GNU time is there.
    QProcess tool;
    QElapsedTimer t;
    t.start();
    const QString time = QStringLiteral("/usr/bin/time");
    if (QFile::exists(time))
        tool.start(time, {QStringLiteral("-f"), QStringLiteral("peak %M KB"), s.info, file});
    else
        tool.start(s.info, {file});
    const bool ended = tool.waitForFinished(30000);
    const double toolMs = since(t);
    const QByteArray out = tool.readAllStandardOutput();
    const QByteArray err = tool.readAllStandardError().trimmed();
    r.detail = QStringLiteral("daredazi-info: %1, %2 lines, %3 ms, %4")
                   .arg(ended ? QStringLiteral("ended") : QStringLiteral("no end"))
                   .arg(out.count("\nline: ") + (out.startsWith("line: ") ? 1 : 0))
                   .arg(toolMs, 0, 'f', 0)
                   .arg(QString::fromLatin1(err.split('\n').last()));
    return r;
}

RowResult rowHugeNeighbours(const RowSetup& s)
{
    RowResult r;
    writePictures(s.folder, {QStringLiteral("a.jpg")});
    makeSparseFile(s.folder + QStringLiteral("/b.jpg"), 8ll << 30);
    makeSparseFile(s.folder + QStringLiteral("/c.jpg"), 64ll << 30);
    RealProgram p(s.program, s.x);
    const QString viewer = startShow(p, *s.x, s.folder + QStringLiteral("/a.jpg"), r);
    if (viewer.isEmpty())
        return finish(p, r, s.signal), r;
    QThread::msleep(2000);  // both neighbours have been read ahead by now
    QElapsedTimer t;
    t.start();
    press(*s.x, viewer, QStringLiteral("Return"));
    const QString box = waitBox(*s.x, 10000);
    r.actionMs = since(t);
    r.reached = r.reached && !box.isEmpty() && p.running();
    if (!box.isEmpty())
        press(*s.x, box, QStringLiteral("Return"));
    QThread::msleep(300);
    finish(p, r, s.signal);
    return r;
}

RowResult rowSoundFifo(const RowSetup& s)
{
    RowResult r;
    writeFile(s.folder + QStringLiteral("/p.jpg"), jpegNamingSound(QStringLiteral("s.wav")));
    makeFifo(s.folder + QStringLiteral("/s.wav"));
    RealProgram p(s.program, s.x);
    startShow(p, *s.x, s.folder + QStringLiteral("/p.jpg"), r);
    QThread::msleep(500);
    finish(p, r, s.signal);
    return r;
}

// One advance of a show: Return, and the picture it reaches (by the
// caption, set also when the picture is missing or fails), after the error
// message when one is due.
struct Step {
    QString name;
    bool errorMessage = false;
};

// The show of the named pictures from the first; once it runs, pictures are
// replaced as given (before they are read ahead: the show reads the next one
// ahead after each advance), then the show is stepped through.
RowResult rowDuringShow(const RowSetup& s, const QStringList& names,
                        const QList<std::pair<QString, std::function<bool(const QString&)>>>& replacements,
                        const QList<Step>& steps)
{
    RowResult r;
    writePictures(s.folder, names);
    RealProgram p(s.program, s.x);
    const QString viewer = startShow(p, *s.x, s.folder + u'/' + names.first(), r);
    if (viewer.isEmpty())
        return finish(p, r, s.signal), r;
    QThread::msleep(1000);
    for (const auto& [name, make] : replacements)
        replaceBy(s.folder + u'/' + name, make);
    QElapsedTimer t;
    t.start();
    int done = 0;
    for (const Step& step : steps) {
        press(*s.x, viewer, QStringLiteral("Return"));
        if (step.errorMessage) {
            const QString box = waitBox(*s.x, 10000);
            if (box.isEmpty())
                break;
            press(*s.x, box, QStringLiteral("Return"));
        }
        if (s.x->waitForWindow(pattern(step.name), 10000).isEmpty())
            break;
        ++done;
    }
    r.actionMs = since(t);
    r.reached = r.reached && done == steps.size();
    r.detail = QStringLiteral("%1 of %2 advances").arg(done).arg(steps.size());
    QThread::msleep(300);
    finish(p, r, s.signal);
    return r;
}

// A folder of many pictures; the last one read becomes a FIFO once the
// search has begun reading.
RowResult rowSearchFifo(const RowSetup& s, bool signalDuringSearch)
{
    RowResult r;
    const QByteArray jpeg = plainJpeg(8, 8);
    for (int i = 0; i < s.pictures; ++i)
        writeFile(s.folder + QStringLiteral("/p%1.jpg").arg(i, 6, 10, QLatin1Char('0')), jpeg);
    const QString last = s.folder + QStringLiteral("/p%1.jpg").arg(s.pictures - 1, 6, 10, QLatin1Char('0'));
    RealProgram p(s.program, s.x);
    const QString window = startFolderWindow(p, *s.x, s.folder);
    if (window.isEmpty())
        return finish(p, r, s.signal), r;
    const int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch, QFile::encodeName(s.folder).constData(), IN_OPEN);
    QElapsedTimer t;
    t.start();
    if (!startSearch(*s.x, window)) {
        ::close(watch);
        r.detail = QStringLiteral("no search dialog");
        return finish(p, r, s.signal), r;
    }
    // The first picture opened: the reads have begun, in list order.
    bool swapped = false;
    alignas(inotify_event) char buffer[64 * 1024];
    while (!swapped && t.elapsed() < 20000) {
        const ssize_t n = ::read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; n > 0 && at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            if (e->len > 0 && !(e->mask & IN_ISDIR) && QByteArray(e->name).endsWith(".jpg"))
                swapped = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    ::close(watch);
    if (swapped)
        replaceBy(last, [](const QString& path) { return makeFifo(path); });
    if (signalDuringSearch) {
        r.reached = swapped;
        r.actionMs = since(t);
        finish(p, r, s.signal);
        return r;
    }
    // No picture has the word: the search ends with its message.
    r.reached = swapped && !waitBox(*s.x, 30000).isEmpty();
    r.actionMs = since(t);
    r.detail = swapped ? QStringLiteral("%1 pictures, the last a FIFO").arg(s.pictures) : QStringLiteral("no read seen");
    finish(p, r, s.signal);
    return r;
}

RowResult rowInfo(const RowSetup& s)
{
    RowResult r;
    const QString fifo = s.folder + QStringLiteral("/fifo.jpg"), huge = s.folder + QStringLiteral("/huge.jpg");
    makeFifo(fifo);
    makeSparseFile(huge, 64ll << 30);
    QElapsedTimer t;
    t.start();
    QStringList outcomes;
    bool all = true;
    for (const QString& file : {fifo, huge}) {
        QProcess tool;
        tool.start(s.info, {file});
        const bool ended = tool.waitForFinished(10000);  // a hang for good is the fault
        if (!ended)
            tool.kill(), tool.waitForFinished();
        const bool normal = ended && tool.exitStatus() == QProcess::NormalExit;
        all = all && normal && tool.exitCode() == (file == fifo ? 1 : 0);
        outcomes << QStringLiteral("%1: %2").arg(QFileInfo(file).fileName(),
                                                 !ended ? QStringLiteral("no end")
                                                 : !normal ? QStringLiteral("crashed")
                                                           : QStringLiteral("status %1 %2")
                                                                 .arg(tool.exitCode())
                                                                 .arg(QString::fromUtf8(tool.readAllStandardError().trimmed())));
    }
    r.actionMs = since(t);
    r.reached = all;
    r.survived = all;
    r.endedCleanly = all;
    r.endMs = 0;
    r.detail = outcomes.join(QStringLiteral("; "));
    return r;
}

RowResult rowFirstBox(const RowSetup& s)
{
    RowResult r;
    writeFile(s.folder + QStringLiteral("/x.jpg"), QByteArray(300, 'x'));
    RealProgram p(s.program, s.x);
    QElapsedTimer t;
    t.start();
    p.start({s.folder + QStringLiteral("/x.jpg")});
    QThread::msleep(2000);  // the splash has gone
    r.reached = !waitBox(*s.x, 15000).isEmpty();
    r.actionMs = since(t);
    QThread::msleep(300);
    finish(p, r, s.signal);
    return r;
}

RowResult rowBrokenLinks(const RowSetup& s)
{
    RowResult r;
    writePictures(s.folder, {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    makeLink(s.folder + QStringLiteral("/gone.jpg"), s.folder + QStringLiteral("/c.jpg"));
    makeLink(s.folder + QStringLiteral("/gone"), s.folder + QStringLiteral("/zz"));
    QDir().mkpath(s.folder + QStringLiteral("/sub"));
    writePictures(s.folder + QStringLiteral("/sub"), {QStringLiteral("d.jpg")});
    makeLink(s.folder + QStringLiteral("/gone"), s.folder + QStringLiteral("/sub/broken"));
    {
        RealProgram p(s.program, s.x);
        startShow(p, *s.x, s.folder + QStringLiteral("/a.jpg"), r);
        finish(p, r, s.signal);
    }
    // As a sub-folder, the folder is walked and shown, not skipped.
    RealProgram p(s.program, s.x);
    const QString window = startFolderWindow(p, *s.x, s.folder);
    RowResult walk;
    if (!window.isEmpty())
        walkSubFolders(*s.x, window, QStringLiteral("a.jpg"), walk);
    r.reached = r.reached && walk.reached;
    r.detail = QStringLiteral("sub-folders: ") + walk.detail;
    RowResult second;
    finish(p, second, s.signal);
    r.survived = r.survived && second.survived;
    r.endedCleanly = r.endedCleanly && second.endedCleanly;
    r.endMs = std::max(r.endMs, second.endMs);
    r.peakKb = std::max(r.peakKb, second.peakKb);
    return r;
}

RowResult rowShiftJisNames(const RowSetup& s)
{
    RowResult r;
    // 写真.jpg in code page 932, a red picture.
    const QByteArray name = QFile::encodeName(s.folder) + "/\x8e\xca\x90\x5e.jpg";
    // The temporary folder's own removal cannot name it.
    struct RemoveByBytes {
        QByteArray path;
        ~RemoveByBytes() { ::unlink(path.constData()); }
    } removeByBytes{name};
    const QByteArray jpeg = plainJpeg(640, 480, QColor(220, 0, 0));
    FILE* f = std::fopen(name.constData(), "wb");
    if (!f || std::fwrite(jpeg.constData(), 1, static_cast<size_t>(jpeg.size()), f) != size_t(jpeg.size())) {
        r.skipped = QStringLiteral("cannot write a Shift-JIS name here");
        if (f)
            std::fclose(f);
        return r;
    }
    std::fclose(f);
    writePictures(s.folder, {QStringLiteral("b.jpg")}, QColor(0, 0, 220));
    RealProgram p(s.program, s.x);
    // The show starts at b.jpg; the next picture is the one of that name.
    const QString first = startShow(p, *s.x, s.folder + QStringLiteral("/b.jpg"), r);
    if (first.isEmpty())
        return finish(p, r, s.signal), r;
    QElapsedTimer t;
    t.start();
    press(*s.x, first, QStringLiteral("Return"));
    const QString viewer = s.x->waitForWindow(QStringLiteral("写真\\.jpg$"), 20000);
    r.actionMs = since(t);
    QThread::msleep(500);
    const QColor centre = viewer.isEmpty() ? QColor() : pixel(*s.x, 960, 540);
    // The picture itself on screen, red.
    const bool red = centre.red() > 150 && centre.green() < 80 && centre.blue() < 80;
    r.reached = !viewer.isEmpty() && (!centre.isValid() || red);
    r.detail = QStringLiteral("caption %1, centre %2")
                   .arg(viewer.isEmpty() ? QStringLiteral("not seen") : QStringLiteral("写真.jpg"), centre.name());
    finish(p, r, s.signal);
    return r;
}

RowResult rowLinkToRoot(const RowSetup& s)
{
    RowResult r;
    writePictures(s.folder, {QStringLiteral("a.jpg")});
    QDir().mkpath(s.folder + QStringLiteral("/s"));
    writePictures(s.folder + QStringLiteral("/s"), {QStringLiteral("b.jpg")});
    makeLink(QStringLiteral("/"), s.folder + QStringLiteral("/root"));
    RealProgram p(s.program, s.x);
    const QString window = startFolderWindow(p, *s.x, s.folder);
    if (!window.isEmpty())
        walkSubFolders(*s.x, window, QStringLiteral("a.jpg"), r);
    finish(p, r, s.signal);
    return r;
}

RowResult rowDeep(const RowSetup& s)
{
    RowResult r;
    QByteArray path = QFile::encodeName(s.folder);
    for (int i = 0; i < 1000; ++i) {
        path += "/d";
        ::mkdir(path.constData(), 0700);
    }
    const QString picture = QFile::decodeName(path) + QStringLiteral("/x.jpg");
    writeFile(picture, plainJpeg(640, 480));
    RealProgram p(s.program, s.x);
    startShow(p, *s.x, picture, r, 25000);
    finish(p, r, s.signal);
    return r;
}

}  // namespace

RowResult runRow(int row, const RowSetup& s)
{
    if (row == 7)
        return rowInfo(s);
    if (!s.x)
        return skippedRow(QStringLiteral("no X server"));
    switch (row) {
    case 1:
        return rowFlood(s);
    case 2:
        return rowHugeNeighbours(s);
    case 3:
        return rowSoundFifo(s);
    case 4:
        // c.jpg becomes a FIFO before it is read ahead; it is missing when
        // reached (no file to show), and d.jpg still comes.
        return rowDuringShow(s, {QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg"),
                                 QStringLiteral("d.jpg")},
                             {{QStringLiteral("c.jpg"), [](const QString& p) { return makeFifo(p); }}},
                             {{QStringLiteral("b.jpg")}, {QStringLiteral("c.jpg")}, {QStringLiteral("d.jpg")}});
    case 5:
        return rowSearchFifo(s, false);
    case 6:
        // c.jpg becomes a link to /dev/zero (no file to show), d.jpg grows
        // to 8 GB (the error message), and e.jpg still comes.
        return rowDuringShow(
            s,
            {QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg"), QStringLiteral("d.jpg"),
             QStringLiteral("e.jpg")},
            {{QStringLiteral("c.jpg"), [](const QString& p) { return makeLink(QStringLiteral("/dev/zero"), p); }},
             {QStringLiteral("d.jpg"),
              [](const QString& p) { return writeFile(p, plainJpeg(64, 48)) && makeSparseFile(p, 8ll << 30); }}},
            {{QStringLiteral("b.jpg")}, {QStringLiteral("c.jpg")}, {QStringLiteral("d.jpg"), true},
             {QStringLiteral("e.jpg")}});
    case 7:
        return rowInfo(s);
    case 8:
        return rowFirstBox(s);
    case 9:
        return rowBrokenLinks(s);
    case 10:
        return rowShiftJisNames(s);
    case 11:
        return rowLinkToRoot(s);
    case 12:
        return rowDeep(s);
    default:
        return skippedRow(QStringLiteral("no such row"));
    }
}

RowResult runLibraryFormatShow(const RowSetup& s, bool errorExpected)
{
    if (!s.x)
        return skippedRow(QStringLiteral("no X server"));
    RowResult r;
    // A green WebP between two red JPEGs.
    QImage green(640, 480, QImage::Format_RGB888);
    green.fill(QColor(30, 200, 30));
    uint8_t* encoded = nullptr;
    const size_t size = WebPEncodeRGB(green.constBits(), green.width(), green.height(),
                                      static_cast<int>(green.bytesPerLine()), 90, &encoded);
    const QByteArray webp(reinterpret_cast<const char*>(encoded), static_cast<qsizetype>(size));
    WebPFree(encoded);
    if (webp.isEmpty() || !writePictures(s.folder, {QStringLiteral("a.jpg"), QStringLiteral("c.jpg")}) ||
        !writeFile(s.folder + QStringLiteral("/b.webp"), webp))
        return skippedRow(QStringLiteral("cannot write the pictures"));
    RealProgram p(s.program, s.x);
    const QString viewer = startShow(p, *s.x, s.folder + QStringLiteral("/a.jpg"), r);
    if (viewer.isEmpty())
        return finish(p, r, s.signal), r;
    QThread::msleep(1500);  // the splash, titled as a message box, is gone
    QElapsedTimer t;
    t.start();
    press(*s.x, viewer, QStringLiteral("Return"));
    // The error message comes before the caption names the picture.
    QString box;
    if (errorExpected && !(box = waitBox(*s.x, 10000)).isEmpty())
        press(*s.x, box, QStringLiteral("Return"));
    const bool named = !s.x->waitForWindow(pattern(QStringLiteral("b.webp")), 10000).isEmpty();
    if (!errorExpected)
        box = waitBox(*s.x, 1500);
    r.actionMs = since(t);
    QColor centre;
    if (box.isEmpty()) {
        QThread::msleep(300);
        centre = pixel(*s.x, 960, 540);
    }
    const bool shownGreen = !centre.isValid() || (centre.green() > 150 && centre.red() < 90);
    press(*s.x, viewer, QStringLiteral("Return"));
    const bool wentOn = !s.x->waitForWindow(pattern(QStringLiteral("c.jpg")), 10000).isEmpty();
    r.reached = named && wentOn && (errorExpected ? !box.isEmpty() : box.isEmpty() && shownGreen);
    r.detail = QStringLiteral("b.webp %1, %2, centre %3, c.jpg %4")
                   .arg(named ? QStringLiteral("named") : QStringLiteral("not named"),
                        box.isEmpty() ? QStringLiteral("no error message") : QStringLiteral("error message"),
                        centre.isValid() ? centre.name() : QStringLiteral("not looked at"),
                        wentOn ? QStringLiteral("shown") : QStringLiteral("not shown"));
    finish(p, r, s.signal);
    return r;
}

RowResult runRelatedSoundShow(const RowSetup& s)
{
    if (!s.x)
        return skippedRow(QStringLiteral("no X server"));
    RowResult r;
    // Any bytes do: without a back end the file is never read.
    if (!writeFile(s.folder + QStringLiteral("/p.jpg"), jpegNamingSound(QStringLiteral("s.wav"))) ||
        !writeFile(s.folder + QStringLiteral("/s.wav"), QByteArray(4096, '\x5a')) ||
        !writePictures(s.folder, {QStringLiteral("q.jpg")}))
        return skippedRow(QStringLiteral("cannot write the pictures"));
    RealProgram p(s.program, s.x);
    const QString viewer = startShow(p, *s.x, s.folder + QStringLiteral("/p.jpg"), r);
    if (viewer.isEmpty())
        return finish(p, r, s.signal), r;
    QThread::msleep(1500);  // the splash, titled as a message box, is gone
    const QString box = waitBox(*s.x, 5000);
    if (!box.isEmpty())
        press(*s.x, box, QStringLiteral("Return"));
    press(*s.x, viewer, QStringLiteral("Return"));
    const bool wentOn = !s.x->waitForWindow(pattern(QStringLiteral("q.jpg")), 10000).isEmpty();
    r.reached = !box.isEmpty() && wentOn;
    r.detail = QStringLiteral("%1, q.jpg %2")
                   .arg(box.isEmpty() ? QStringLiteral("no error box") : QStringLiteral("error box"),
                        wentOn ? QStringLiteral("shown") : QStringLiteral("not shown"));
    finish(p, r, s.signal);
    return r;
}

RowResult runSignalCase(const QString& state, const RowSetup& s)
{
    if (!s.x)
        return skippedRow(QStringLiteral("no X server"));
    if (state == QLatin1String("box"))
        return rowFirstBox(s);
    if (state == QLatin1String("search"))
        return rowSearchFifo(s, true);
    RowResult r;
    RealProgram p(s.program, s.x);
    QElapsedTimer t;
    if (state == QLatin1String("dialog")) {
        writePictures(s.folder, {QStringLiteral("a.jpg")});
        const QString window = startFolderWindow(p, *s.x, s.folder);
        t.start();
        const QPoint search = design(384, 400);
        if (!window.isEmpty())
            s.x->click(window, search.x(), search.y());
        r.reached = !s.x->waitForWindow(QStringLiteral("^検索設定$"), 10000).isEmpty();
    } else if (state == QLatin1String("walk")) {
        // Thousands of folders, and a link to the root the old walk took.
        writePictures(s.folder, {QStringLiteral("a.jpg")});
        for (int i = 0; i < 200; ++i)
            for (int j = 0; j < 50; ++j)
                QDir().mkpath(s.folder + QStringLiteral("/f%1/g%2").arg(i).arg(j));
        makeLink(QStringLiteral("/"), s.folder + QStringLiteral("/root"));
        const QString window = startFolderWindow(p, *s.x, s.folder);
        if (!window.isEmpty()) {
            const QPoint box = design(292, 333), ok = design(363, 474);
            s.x->click(window, box.x(), box.y());
            QThread::msleep(200);
            t.start();
            s.x->click(window, ok.x(), ok.y());
            QThread::msleep(150);
            r.reached = true;
        }
    } else if (state == QLatin1String("decode")) {
        // Noise does not compress: the decode takes its time.
        QImage noise(6000, 4000, QImage::Format_RGB32);
        QRandomGenerator random(7);
        for (int y = 0; y < noise.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(noise.scanLine(y));
            for (int x = 0; x < noise.width(); ++x)
                line[x] = random.generate();
        }
        noise.save(s.folder + QStringLiteral("/big.png"), "PNG");
        t.start();
        p.start({s.folder + QStringLiteral("/big.png")});
        // The viewer comes up (in full screen) before the picture is decoded.
        r.reached = !waitFor(
                         [&] {
                             for (const QString& id : s.x->windows(QStringLiteral(".")))
                                 if (s.x->geometry(id).width() == 1920)
                                     return id;
                             return QString();
                         },
                         20000)
                         .isEmpty();
    } else {
        return skippedRow(QStringLiteral("no such state"));
    }
    r.actionMs = t.isValid() ? since(t) : -1;
    finish(p, r, s.signal);
    return r;
}

}  // namespace testsupport
