// Today's formats against their libraries alone, in the same run:
//  - a 12-megapixel iPhone HEIC shown at 1920x1080 (file read, decode,
//    reduced copy, Exif) against libheif's own decode and scaling to the
//    same size (target <= 1.2);
//  - the advance with decoding ahead over a show of such HEICs (target
//    <= 20 ms);
//  - a raw file's picture (its 24-megapixel embedded JPEG) against the same
//    JPEG's decode alone at the same size (target <= 1.2).
// The HEIC is the sample iPhone picture where the sample folder is, else one
// ImageMagick makes.
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/app_state.h"
#include "camera_jpeg.h"
#include "imaging/picture_decoder.h"
#include "viewer/picture_box.h"
#include "viewer/picture_cache.h"
#include "viewer/tfrm_main.h"
#include "viewer/viewer_logic.h"
#include "widgets/message_box.h"

namespace {

const QSize kScreen(1920, 1080);

double medianMs(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double timeMs(const std::function<void()>& f, int runs)
{
    f();  // warm: the file in the page cache, the libraries' tables built
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer e;
        e.start();
        f();
        t.push_back(e.nsecsElapsed() / 1e6);
    }
    return medianMs(t);
}

// Gradients with a quarter-strength noise, as a photograph's detail.
QImage makePhoto(int w, int h, quint32 seed) { return bench::makePhoto(w, h, 0.25, seed); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// libheif alone: the primary picture decoded to RGB and scaled by libheif
// to the size the viewer draws it at.
void heifAlone(const QByteArray& data, QSize drawn)
{
    heif_context* ctx = heif_context_alloc();
    heif_context_read_from_memory_without_copy(ctx, data.constData(), static_cast<size_t>(data.size()), nullptr);
    heif_image_handle* handle = nullptr;
    heif_context_get_primary_image_handle(ctx, &handle);
    heif_image* image = nullptr;
    heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
    heif_image* scaled = nullptr;
    heif_image_scale_image(image, &scaled, drawn.width(), drawn.height(), nullptr);
    heif_image_release(scaled);
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(ctx);
}

viewer::PictureRequest requestFor(const QString& path)
{
    viewer::PictureRequest r;
    r.path = path;
    r.area = kScreen;
    r.background = Qt::black;
    return r;
}

void le16(QByteArray& s, uint16_t v) { s += char(v & 0xFF), s += char(v >> 8); }
void le32(QByteArray& s, uint32_t v) { le16(s, v & 0xFFFF), le16(s, v >> 16); }

// A raw file as a camera writes it: a thumbnail in IFD0, the full-size
// JPEG as the strip of a sub-IFD, and "raw data" after it.
QByteArray rawAround(const QByteArray& thumb, const QByteArray& preview)
{
    QByteArray t("II*\0", 4);
    le32(t, 8);
    const uint32_t sub = 8 + 2 + 3 * 12 + 4, data = sub + 2 + 3 * 12 + 4;
    auto entry = [&t](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        le16(t, tag), le16(t, type), le32(t, count), le32(t, value);
    };
    le16(t, 3);
    entry(0x014A, 4, 1, sub);
    entry(0x0201, 4, 1, data);
    entry(0x0202, 4, 1, uint32_t(thumb.size()));
    le32(t, 0);
    le16(t, 3);
    entry(0x0103, 3, 1, 6);
    entry(0x0111, 4, 1, data + uint32_t(thumb.size()));
    entry(0x0117, 4, 1, uint32_t(preview.size()));
    le32(t, 0);
    return t + thumb + preview + QByteArray(20 * 1024 * 1024, '\x5A');
}

QByteArray jpegOf(const QImage& img, int quality)
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "JPG", quality);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir dir;

    // 1. A 12-megapixel HEIC.
    QString heic = QStringLiteral(DAREDAZI_TESTDATA_DIR "/modern/me_IMG_1034.heic");
    if (!QFile::exists(heic)) {
        heic = dir.filePath(QStringLiteral("made.heic"));
        makePhoto(4032, 3024, 7).save(dir.filePath(QStringLiteral("made.png")));
        QProcess::execute(QStringLiteral("convert"), {dir.filePath(QStringLiteral("made.png")), heic});
    }
    const QByteArray heicBytes = readAll(heic);
    if (heicBytes.isEmpty()) {
        std::printf("no 12-megapixel HEIC (sample folder absent and ImageMagick cannot write one)\n");
        return 1;
    }
    {
    const auto ours = viewer::loadPicture(requestFor(heic));
    if (!ours || ours->failed) {
        std::printf("the HEIC did not decode\n");
        return 1;
    }
    const QSize drawn = ours->picture.image.size();
    // The two in turn, round by round, so that a slow spell of the machine
    // falls on both; the ratio is the median of the rounds' ratios.
    heifAlone(readAll(heic), drawn);
    std::vector<double> alone, mine, ratios;
    for (int round = 0; round < 9; ++round) {
        QElapsedTimer e;
        e.start();
        heifAlone(readAll(heic), drawn);
        alone.push_back(e.nsecsElapsed() / 1e6);
        e.restart();
        (void)viewer::loadPicture(requestFor(heic));
        mine.push_back(e.nsecsElapsed() / 1e6);
        ratios.push_back(mine.back() / alone.back());
    }
    std::printf("12 MP HEIC (%dx%d) shown at %dx%d: ours %.1f ms, libheif alone %.1f ms (medians of 9 rounds), "
                "ratio %.2f (median of the rounds' ratios; target <= 1.20)\n",
                ours->picture.fullSize.width(), ours->picture.fullSize.height(), drawn.width(), drawn.height(),
                medianMs(mine), medianMs(alone), medianMs(ratios));

    // 2. The advance over a show of HEICs, decoded ahead.
    {
        QStringList names;
        for (int i = 0; i < 6; ++i) {
            const QString name = QStringLiteral("p%1.heic").arg(i);
            QFile::copy(heic, dir.filePath(name));
            names << name;
        }
        widgets::MessageCapture quiet;
        AppState state;
        QObject ok;
        TfrmMain v(state);
        v.handOverSender = &ok;
        v.resize(kScreen);
        v.show();
        v.Image1->resize(kScreen);
        state.FolderList = {dir.path()};
        state.FileList = names;
        for (int i = 0; i < names.size(); ++i)
            state.FolderIndexList << QStringLiteral("0");
        auto advances = [&](bool prefetch) {
            v.setPrefetchEnabled(prefetch);
            state.CurrentIndex = 0;
            state.ViewerReady = true;
            v.Image1Click(v.handOverSender);
            std::vector<double> t;
            for (int i = 0; i < 8; ++i) {
                QElapsedTimer wait;
                wait.start();
                while (wait.elapsed() < 2000)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                QElapsedTimer e;
                e.start();
                v.Image1Click(v.Image1);
                v.Image1->repaint();
                t.push_back(e.nsecsElapsed() / 1e6);
            }
            return medianMs(t);
        };
        const double without = advances(false);
        const double with = advances(true);
        std::printf("advance to painted, 12 MP HEIC at 1920x1080: without prefetch %.1f ms, with prefetch %.1f ms "
                    "(target <= 20 ms)\n",
                    without, with);
    }

    }

    // 3. A raw file's picture: its 24-megapixel embedded JPEG.
    {
        const QByteArray preview = jpegOf(makePhoto(6000, 4000, 3), 92);
        const QByteArray thumb = jpegOf(makePhoto(160, 120, 4), 80);
        const QString raw = dir.filePath(QStringLiteral("IMG_0001.NEF"));
        QFile f(raw);
        f.open(QIODevice::WriteOnly);
        f.write(rawAround(thumb, preview));
        f.close();
        const auto shown = viewer::loadPicture(requestFor(raw));
        const QSize size = shown->picture.image.size();
        const double tRaw = timeMs([&] { (void)viewer::loadPicture(requestFor(raw)); }, 5);
        const double tJpeg = timeMs(
            [&] {
                imaging::JpegInfo info;
                (void)imaging::decodeJpeg(reinterpret_cast<const uchar*>(preview.constData()),
                                          static_cast<size_t>(preview.size()),
                                          [&](QSize full) { return viewer::drawnSize(kScreen, full, true, false); },
                                          &info);
            },
            5);
        std::printf("raw file with a 24 MP preview shown at %dx%d: ours %.1f ms, the preview's decode alone %.1f ms, "
                    "ratio %.2f (target <= 1.20)\n",
                    size.width(), size.height(), tRaw, tJpeg, tRaw / tJpeg);
    }
    return 0;
}
