// Viewer figures: decoding and fitting a 24-megapixel JPEG against the naive
// path and against libjpeg-turbo alone, advance latency with and without
// decoding ahead, large PNG/BMP pictures, and the peak memory of a show.
//
//   bench_viewer                 all figures (BENCH_VIEWER_PICTURES=DIR: the
//                                show of peak memory over DIR's JPEGs)
//   bench_viewer rss DIR         (internal) a show over DIR, prints peak RSS
//   bench_viewer show PATH... [--still] [--panel] [--scroll]
//                                a show of the given files for screenshots
#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <functional>
#include <vector>

#include <jpeglib.h>

#include "app/app_state.h"
#include "camera_jpeg.h"
#include "widgets/click_label.h"
#include "platform/fonts.h"
#include "widgets/message_box.h"
#include "imaging/picture_decoder.h"
#include "viewer/picture_box.h"
#include "viewer/picture_cache.h"
#include "viewer/tfrm_main.h"
#include "viewer/viewer_logic.h"

namespace {

using bench::encodeJpeg;
using bench::makePhoto;
using bench::withCameraThumbnail;

double medianMs(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double timeMs(const std::function<void()>& f, int runs)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer e;
        e.start();
        f();
        t.push_back(e.nsecsElapsed() / 1e6);
    }
    return medianMs(t);
}

// libjpeg-turbo alone: decode at 1/denom into a plain buffer.
struct Err {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void turboDecode(const QByteArray& data, int denom)
{
    jpeg_decompress_struct c{};
    Err err{};
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = [](j_common_ptr ci) { longjmp(reinterpret_cast<Err*>(ci->err)->jump, 1); };
    static std::vector<uchar> buffer;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&c);
        return;
    }
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, reinterpret_cast<const uchar*>(data.constData()), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&c, TRUE);
    c.scale_num = 1;
    c.scale_denom = static_cast<unsigned>(denom);
    c.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&c);
    const size_t stride = size_t(c.output_width) * 4;
    buffer.resize(stride * c.output_height);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = buffer.data() + stride * c.output_scanline;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
}

double psnr(const QImage& a0, const QImage& b0)
{
    const QImage a = a0.convertToFormat(QImage::Format_RGB32), b = b0.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size())
        return 0;
    double se = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int dr = qRed(p[x]) - qRed(q[x]), dg = qGreen(p[x]) - qGreen(q[x]), db = qBlue(p[x]) - qBlue(q[x]);
            se += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = se / (3.0 * a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The high-water mark of this process's resident memory. (getrusage's
// maximum survives exec on Linux and would report the parent's.)
long peakRssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').first().toLong();
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

long currentRssKb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLong() * 4 : 0;
}

const QSize kScreen(1920, 1080);

void decodeFigures(const char* label, const QByteArray& jpg)
{
    const auto drawn = [](QSize full) { return viewer::drawnSize(kScreen, full, true, false); };
    imaging::DecodeRequest req;
    req.drawnSize = drawn;
    imaging::DecodedPicture ours;
    QImage naive;
    // The three paths take turns, so a change in the machine's load meets
    // all of them alike.
    std::vector<double> a, b, c;
    ours = imaging::decodePicture("x.jpg", jpg, req);
    for (int i = 0; i < 7; ++i) {
        a.push_back(timeMs([&] { ours = imaging::decodePicture("x.jpg", jpg, req); }, 1));
        b.push_back(timeMs(
            [&] {
                QImage full = QImage::fromData(jpg, "JPG");
                naive = full.scaled(drawn(full.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            },
            1));
        c.push_back(timeMs([&] { turboDecode(jpg, ours.scaleDenom); }, 1));
    }
    const double tOurs = medianMs(a), tNaive = medianMs(b), tTurbo = medianMs(c);
    viewer::PictureRequest look;
    look.path = QStringLiteral("x.jpg");
    look.area = kScreen;
    const double tLook = timeMs([&] { (void)viewer::decodePreview(look, jpg); }, 5);
    std::printf("%s JPEG (%.1f MB): ours %.1f ms (1/%d, drawn %dx%d), naive %.1f ms, libjpeg-turbo alone %.1f ms\n",
                label, jpg.size() / 1048576.0, tOurs, ours.scaleDenom, ours.image.width(), ours.image.height(), tNaive,
                tTurbo);
    std::printf("   ours/naive %.2f (target <= 0.60), ours/turbo %.2f (target <= 1.15), PSNR vs naive %.1f dB (>= 35)\n",
                tOurs / tNaive, tOurs / tTurbo, psnr(ours.image, naive));
    std::printf("   a jump's first look (1/8 scale, fitted, Exif read) alone %.1f ms (%.2f of the 40 ms a jump may "
                "take to its first paint)\n",
                tLook, tLook / 40.0);
}

// Median time from an advance to the new picture painted.
double advanceLatency(TfrmMain& v, AppState& state, bool prefetch, int advances)
{
    v.setPrefetchEnabled(prefetch);
    state.CurrentIndex = 0;
    state.ViewerReady = true;
    v.Image1Click(v.handOverSender);
    std::vector<double> t;
    for (int i = 0; i < advances; ++i) {
        // A viewer looks at each picture for a while before moving on.
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 1500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QElapsedTimer e;
        e.start();
        v.Image1Click(v.Image1);
        v.Image1->repaint();
        t.push_back(e.nsecsElapsed() / 1e6);
        if (qEnvironmentVariableIsSet("BENCH_TRACE_RSS"))
            std::fprintf(stderr, "advance %d: peak %ld MB now %ld MB\n", i, peakRssKb() / 1024, currentRssKb() / 1024);
    }
    return medianMs(t);
}

// A jump with the track bar to a picture not decoded ahead: the time to
// the first paint of the new picture (its quick first look, when one
// comes) and to the picture itself painted. Medians over `jumps`.
struct JumpFigures {
    double firstPaint = 0;
    double fullPaint = 0;
    int previews = 0;
};

JumpFigures jumpLatency(TfrmMain& v, AppState& state, bool previews, int jumps)
{
    v.setPrefetchEnabled(true);
    v.pictureCache().setPreviewEnabled(previews);
    v.tbJump->setMaximum(static_cast<int>(state.FileList.size()));
    state.CurrentIndex = 0;
    state.ViewerReady = true;
    v.Image1Click(v.handOverSender);
    QElapsedTimer e;
    double first = -1;
    JumpFigures out;
    v.previewPainted = [&](const QImage&) {
        if (first < 0)
            first = e.nsecsElapsed() / 1e6;
        ++out.previews;
    };
    std::vector<double> a, b;
    const int count = static_cast<int>(state.FileList.size());
    for (int i = 0; i < jumps; ++i) {
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 700)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // Far enough that neither neighbour decoded ahead is the target.
        const int target = (state.CurrentIndex + count / 2) % count + 1;
        first = -1;
        e.start();
        v.tbJump->setValue(target);
        v.Image1->repaint();
        const double full = e.nsecsElapsed() / 1e6;
        a.push_back(first < 0 ? full : first);
        b.push_back(full);
    }
    v.previewPainted = nullptr;
    out.firstPaint = medianMs(a);
    out.fullPaint = medianMs(b);
    return out;
}

void fillShow(AppState& state, const QString& dir, const QStringList& names)
{
    state.FolderList = {dir};
    state.FileList = names;
    state.FolderIndexList.clear();
    for (int i = 0; i < names.size(); ++i)
        state.FolderIndexList << QStringLiteral("0");
}

int rssChild(const QString& dir)
{
    const double mb = 1024.0;
    // Qt, the fonts and the program's code before any window.
    QFont probe = QApplication::font();
    (void)QFontMetrics(probe).horizontalAdvance(QStringLiteral("画像 0123 ABC"));
    const long baseline = currentRssKb();
    widgets::MessageCapture quiet;
    AppState state;
    QObject ok;
    TfrmMain v(state);
    v.handOverSender = &ok;
    v.resize(kScreen);
    v.show();
    QCoreApplication::processEvents();
    const long window = currentRssKb();
    if (qEnvironmentVariableIsSet("BENCH_TRACE_RSS"))
        std::fprintf(stderr, "window shown: %ld MB\n", window / 1024);
    fillShow(state, dir, QDir(dir).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name));
    advanceLatency(v, state, true, 2 * static_cast<int>(state.FileList.size()));
    QElapsedTimer settle;  // the neighbours decoded ahead
    settle.start();
    while (settle.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const long steady = currentRssKb();
    const long peak = peakRssKb();

    // What a picture costs, from the pictures of the show.
    qint64 largestFile = 0;
    QSize full;
    for (const QString& name : state.FileList) {
        QFile f(QDir(dir).filePath(name));
        largestFile = std::max(largestFile, f.size());
        if (full.isEmpty() && f.open(QIODevice::ReadOnly)) {
            const QByteArray head = f.read(1 << 20);
            full = imaging::jpegPictureSize(reinterpret_cast<const uchar*>(head.constData()),
                                            static_cast<size_t>(head.size()));
        }
    }
    const QSize drawn = v.shownPicture().image.size();
    const int denom = imaging::jpegScaleFor(full, drawn);
    const double shown = drawn.width() * drawn.height() * 4 / mb / 1024;
    // The DCT-scaled rows come sixteen at a time and are fitted as they
    // come: a band of them, never the whole scaled picture.
    const double band = double((full.width() + denom - 1) / denom + 1) * 16 * 4 / mb / mb;
    const double cached = v.pictureCache().cachedBytes() / mb / mb;
    std::printf("memory accounting of a show of %dx%d JPEGs at %dx%d (MB):\n", full.width(), full.height(),
                kScreen.width(), kScreen.height());
    std::printf("   Qt, fonts and code before any window %.1f; the viewer window +%.1f\n", baseline / mb,
                (window - baseline) / mb);
    std::printf("   pictures kept at screen size (%dx%d, %.1f each): %.1f in the cache (on screen, next, back); "
                "resident between pictures %.1f\n",
                drawn.width(), drawn.height(), shown, cached, steady / mb);
    std::printf("   one decode under way: file bytes up to %.1f + a band of 16 1/%d DCT-scaled rows %.1f + the fitted "
                "picture %.1f = %.1f\n",
                largestFile / mb / mb, denom, band, shown, largestFile / mb / mb + band + shown);
    std::printf("   peak %.1f = resident between pictures + %.1f\n", peak / mb, (peak - steady) / mb);
    std::printf("%ld\n", peak);
    return 0;
}

int showMode(const QStringList& args)
{
    AppState state;
    QObject ok;
    TfrmMain v(state);
    v.handOverSender = &ok;
    QStringList files;
    bool panel = false, scroll = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--panel"))
            panel = true;
        else if (a == QLatin1String("--scroll"))
            scroll = true;
        else
            files << a;
    }
    if (files.isEmpty())
        return 2;
    QPalette p = v.palette();
    p.setColor(QPalette::Window, QColor(40, 40, 40));
    v.setPalette(p);
    v.setAutoFillBackground(true);
    if (scroll) {
        v.Image1->setProportional(false);
        v.Image1->setStretch(false);
        v.Image1->setCenter(false);
    }
    state.FolderList.clear();
    for (const QString& f : files) {
        const QFileInfo fi(f);
        int folder = state.FolderList.indexOf(fi.absolutePath());
        if (folder < 0) {
            folder = state.FolderList.size();
            state.FolderList << fi.absolutePath();
        }
        state.FileList << fi.fileName();
        state.FolderIndexList << QString::number(folder);
    }
    v.showFullScreen();
    QTimer::singleShot(300, &v, [&] {
        v.Image1->resize(v.screen() ? v.screen()->geometry().size() : v.size());
        v.tbJump->setMaximum(static_cast<int>(state.FileList.size()));
        v.lbTotal->setText(QStringLiteral("/") + QString::number(state.FileList.size()));
        state.ViewerReady = true;
        state.SuppressJumpChange = true;
        v.Image1Click(&ok);
        state.SuppressJumpChange = false;
        if (panel)
            v.lbSenOtMouseEnter();
        if (scroll) {
            v.scroller()->verticalScrollBar()->setValue(v.scroller()->verticalScrollBar()->maximum() / 2);
            v.scroller()->horizontalScrollBar()->setValue(v.scroller()->horizontalScrollBar()->maximum() / 2);
        }
    });
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv)
{
    if (!(argc >= 2 && std::string(argv[1]) == "show") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::installFontSubstitutes();
    QApplication::setFont(platform::uiFont(15));
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (!args.isEmpty() && args[0] == QLatin1String("rss"))
        return rssChild(args.value(1));
    if (!args.isEmpty() && args[0] == QLatin1String("show"))
        return showMode(args.mid(1));

    // `bench_viewer jump`: the jumps alone, for trying a change to them.
    const bool jumpsOnly = !args.isEmpty() && args[0] == QLatin1String("jump");
    QTemporaryDir dir;
    std::printf("Generating 6000x4000 test pictures...\n");
    const QImage high = makePhoto(6000, 4000, 0.15, 1);
    const QByteArray highJpg = encodeJpeg(high, 90);
    const QImage low = makePhoto(6000, 4000, 0.035, 2);
    const QByteArray lowJpg = encodeJpeg(low, 90);

    // 1. Decode and fit.
    if (!jumpsOnly) {
        decodeFigures("high-detail", highJpg);
        decodeFigures("low-detail", lowJpg);
    }

    // 2. Advance latency over a show of 24-megapixel JPEGs.
    QStringList names;
    for (int i = 0; i < 6; ++i) {
        const QString name = QStringLiteral("p%1.jpg").arg(i);
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(i % 2 ? lowJpg : highJpg);
        names << name;
    }
    if (!jumpsOnly) {
        widgets::MessageCapture quiet;
        AppState state;
        QObject ok;
        TfrmMain v(state);
        v.handOverSender = &ok;
        v.resize(kScreen);
        v.show();
        v.Image1->resize(kScreen);
        fillShow(state, dir.path(), names);
        const double without = advanceLatency(v, state, false, 10);
        const double with = advanceLatency(v, state, true, 10);
        std::printf("advance to painted, 24 MP JPEG at 1920x1080: without prefetch %.1f ms, with prefetch %.1f ms "
                    "(target <= 40 ms)\n",
                    without, with);
    }

    // 5. A jump with the track bar across a show of 24-megapixel JPEGs:
    // as the generator writes them (no Exif), and as a camera writes them
    // (with its 160 x 120 Exif thumbnail, padded with black bars).
    {
        // Over real photographs when given (BENCH_VIEWER_PICTURES): the
        // generated high-detail picture is noise, the hardest case for the
        // entropy decoding a first look cannot skip.
        const QString real = qEnvironmentVariable("BENCH_VIEWER_PICTURES");
        const QString jumpDir = real.isEmpty() ? dir.path() : real;
        if (real.isEmpty()) {
            for (int k = 0; k < 2; ++k) {
                QFile f(dir.filePath(QStringLiteral("c%1.jpg").arg(k)));
                f.open(QIODevice::WriteOnly);
                f.write(withCameraThumbnail(k ? lowJpg : highJpg, k ? low : high));
            }
        }
        for (const bool camera : {false, true}) {
            if (camera && !real.isEmpty())
                break;
            QStringList many;
            if (!real.isEmpty())
                many = QDir(real).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
            for (int i = 0; real.isEmpty() && i < 40; ++i) {
                const QString name = QStringLiteral("j%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
                const QString from = camera ? QStringLiteral("c%1.jpg").arg(i % 2) : names[i % names.size()];
                // Hard links: forty names, a few files' worth of disk and cache.
                QFile::remove(dir.filePath(name));
                if (::link(QFile::encodeName(dir.filePath(from)).constData(),
                           QFile::encodeName(dir.filePath(name)).constData()) != 0)
                    QFile::copy(dir.filePath(from), dir.filePath(name));
                many << name;
            }
            widgets::MessageCapture quiet;
            AppState state;
            QObject ok;
            TfrmMain v(state);
            v.handOverSender = &ok;
            v.resize(kScreen);
            v.show();
            v.Image1->resize(kScreen);
            fillShow(state, jumpDir, many);
            const JumpFigures before = jumpLatency(v, state, false, 9);
            const JumpFigures after = jumpLatency(v, state, true, 9);
            std::printf("jump with the track bar, 24 MP JPEG at 1920x1080 (%s):\n"
                        "   without a first look: picture painted after %.1f ms\n"
                        "   with first looks (%s): first paint %.1f ms (target <= 40 ms, %.2f of the target), "
                        "full-quality repaint %.1f ms (%.2f of the decode without first look; %d first looks)\n",
                        !real.isEmpty() ? "the given photographs"
                        : camera        ? "as a camera writes them, with a padded Exif thumbnail"
                                        : "generated without Exif, high and low detail",
                        before.fullPaint, camera ? "the Exif thumbnail" : "1/8 scale",
                        after.firstPaint, after.firstPaint / 40.0, after.fullPaint, after.fullPaint / before.fullPaint,
                        after.previews);
            for (int i = 0; real.isEmpty() && i < many.size(); ++i)
                QFile::remove(dir.filePath(many[i]));
        }
    }

    if (jumpsOnly)
        return 0;

    // 4. Peak memory of a show, in a process of its own.
    {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // BENCH_VIEWER_PICTURES: a folder of real photographs instead.
        const QString pictures = qEnvironmentVariable("BENCH_VIEWER_PICTURES", dir.path());
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("rss"), pictures});
        child.waitForFinished(600000);
        QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split('\n');
        const long kb = lines.takeLast().toLong();
        for (const QString& line : lines)
            std::printf("%s\n", qPrintable(line));
        // The leanest other viewer measured 222 MB on the same pictures.
        std::printf("peak resident memory (VmHWM) of a show of 24 MP JPEGs at 1920x1080: %.1f MB "
                    "(target <= 111 MB, 0.5 of the leanest other viewer's 222 MB: %.2f)\n",
                    kb / 1024.0, kb / 1024.0 / 222.0);
    }

    // 3. Large PNG and BMP, beyond Qt's default 128 MB reader limit.
    {
        const QImage big = makePhoto(8200, 4200, 0.1, 3);
        for (const char* fmt : {"PNG", "BMP"}) {
            QByteArray data;
            QBuffer b(&data);
            b.open(QIODevice::WriteOnly);
            big.save(&b, fmt);
            QBuffer rb(&data);
            rb.open(QIODevice::ReadOnly);
            QImageReader qt(&rb, fmt);
            const bool qtOpens = !qt.read().isNull();
            imaging::DecodedPicture d;
            const double t = timeMs(
                [&] { d = imaging::decodePicture(QStringLiteral("big.") + QString::fromLatin1(fmt).toLower(), data, {}); },
                3);
            std::printf("large %s 8200x4200 (%.0f MB decoded): ours %s in %.0f ms; Qt's reader with its default limit: %s\n",
                        fmt, 8200.0 * 4200 * 4 / 1048576, d.image.isNull() ? "FAILED" : "opens", t,
                        qtOpens ? "opens" : "refuses");
        }
    }
    return 0;
}
