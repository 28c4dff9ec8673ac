#include "platform/file_list_box.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

// One pattern of a mask. "*.ext" (the usual case) is a plain suffix test,
// which is far cheaper than a regular expression over thousands of names.
struct Pattern {
    QString suffix;  // ".ext" when the pattern is "*.ext"
    QRegularExpression regex;
};

std::vector<Pattern> parseMask(const QString& mask)
{
    std::vector<Pattern> out;
    const QStringList parts = mask.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString part : parts) {
        part = part.trimmed();
        if (part.isEmpty())
            continue;
        Pattern p;
        const QString rest = part.mid(1);
        if (part.startsWith(QLatin1Char('*')) && rest.startsWith(QLatin1Char('.')) &&
            !rest.contains(QLatin1Char('*')) && !rest.contains(QLatin1Char('?')) &&
            !rest.contains(QLatin1Char('[')))
            p.suffix = rest;
        else
            p.regex = QRegularExpression(QRegularExpression::wildcardToRegularExpression(part),
                                         QRegularExpression::CaseInsensitiveOption);
        out.push_back(std::move(p));
    }
    return out;
}

bool matches(const std::vector<Pattern>& patterns, const QString& name)
{
    for (const Pattern& p : patterns) {
        if (!p.suffix.isEmpty()) {
            if (name.endsWith(p.suffix, Qt::CaseInsensitive))
                return true;
        } else if (p.regex.match(name).hasMatch()) {
            return true;
        }
    }
    return false;
}

QString withoutTrailingSeparator(const QString& dir)
{
    QString d = QDir::fromNativeSeparators(dir);
    while (d.size() > 1 && d.endsWith(QLatin1Char('/')) && !(d.size() == 3 && d.at(1) == QLatin1Char(':')))
        d.chop(1);
    return QDir::toNativeSeparators(d);
}

}  // namespace

void FileListBox::setMask(const QString& mask)
{
    if (mask == mask_)
        return;
    mask_ = mask;
    if (!directory_.isEmpty())
        update();
}

bool FileListBox::setDirectory(const QString& dir)
{
    directory_ = withoutTrailingSeparator(dir);
    return update();
}

bool FileListBox::update()
{
    items_.clear();
    if (directory_.isEmpty())
        return false;
    const QFileInfo info(directory_);
    if (!info.isDir() || !info.isReadable() || !QDir(directory_).isReadable())
        return false;

    const std::vector<Pattern> patterns = parseMask(mask_);
    // Without QDir::Hidden and QDir::System, hidden files, devices, sockets
    // and dangling links stay out of the list.
    QDirIterator it(directory_, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (matches(patterns, name))
            items_ << name;
    }
    std::sort(items_.begin(), items_.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return true;
}

}  // namespace platform
