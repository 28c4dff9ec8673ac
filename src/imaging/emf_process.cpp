// EMF pictures are converted to SVG by a program of our own,
// daredazi-emf2svg: libemf2svg and libUEMF allow version 2 of the GPL only,
// which cannot be joined with the LGPL-3 libraries the viewer links (libheif
// and its HEVC decoder) in one program. The converter gets the file on its
// standard input and gives the SVG on its standard output.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include "imaging/format_readers.h"

namespace imaging {

namespace {

// Beside the program (the build tree), else in its private folder of the
// installation.
QString converterProgram()
{
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
         {dir + QStringLiteral("/daredazi-emf2svg"), dir + QStringLiteral("/../libexec/daredazi/daredazi-emf2svg")}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

// The converter's work is bounded by the record and element limits; this
// only catches a converter that hangs.
constexpr int kConversionMs = 10000;
// SVG text beyond this is refused: the drawing limits refuse it anyway.
constexpr qint64 kMaxSvgBytes = 512ll * 1024 * 1024;

}  // namespace

QByteArray convertEmf(const uchar* data, size_t size)
{
    const QString program = converterProgram();
    if (program.isEmpty() || size > size_t(kMaxSvgBytes))
        return {};
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, {}, QIODevice::ReadWrite);
    if (!process.waitForStarted(kConversionMs))
        return {};
    process.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    process.closeWriteChannel();
    QByteArray svg;
    const QDeadlineTimer deadline(kConversionMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        svg += process.readAllStandardOutput();
        if (svg.size() > kMaxSvgBytes)
            break;
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    svg += process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || svg.size() > kMaxSvgBytes)
        return {};
    return svg;
}

}  // namespace imaging
