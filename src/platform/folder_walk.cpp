#include "platform/folder_walk.h"

#include <QDir>
#include <QSet>

#include <algorithm>
#include <vector>

#include "platform/end_signals.h"
#include "platform/folder_listing.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

QString normalised(const QString& path)
{
    QString p = QDir::fromNativeSeparators(path);
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')) && !(p.size() == 3 && p.at(1) == QLatin1Char(':')))
        p.chop(1);
    return p;
}

QString canonicalOf(const QString& path)
{
    const QString c = realPath(path);
    return c.isEmpty() ? path : c;
}

// Whether real lies in the tree whose real root is root.
bool insideTree(const QString& real, const QString& root)
{
    if (real == root)
        return true;
    const bool rootEndsInSlash = root.endsWith(QLatin1Char('/'));
    return real.startsWith(root) && (rootEndsInSlash || real.at(root.size()) == QLatin1Char('/'));
}

}  // namespace

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

void FolderWalk::setRoot(const QString& path)
{
    root_ = QDir::toNativeSeparators(normalised(path));
    nodes_.clear();
    nodes_ << root_;
    files_ = {QStringList()};
    readable_ = {true};
}

void FolderWalk::expandAll()
{
    nodes_.clear();
    files_.clear();
    readable_.clear();
    if (root_.isEmpty())
        return;

    // Real folders already met. A folder's real path is its parent's real
    // path plus its name unless it is a link, so only links need resolving.
    // A folder counts as met when it is numbered, so the first of several
    // routes to it in tree order keeps it.
    QSet<QString> seen;
    struct Pending {
        QString path;
        QString real;
    };
    std::vector<Pending> stack;
    const QString rootReal = canonicalOf(root_);
    stack.push_back({root_, rootReal});

    // Depth first, in tree order: children are pushed in reverse so the
    // first sibling comes off the stack first, and each folder's sub-folders
    // are numbered before its next sibling.
    while (!stack.empty()) {
        // Asked to end: what was walked is all there is.
        if (endRequested())
            break;
        Pending cur = std::move(stack.back());
        stack.pop_back();
        if (seen.contains(cur.real))
            continue;
        seen.insert(cur.real);
        nodes_ << cur.path;
        QStringList children;
        QStringList files;
        readable_ << listFolder(cur.path, &children, &files);
        files_ << files;
        std::sort(children.begin(), children.end(), folderNameLess);
        for (auto c = children.crbegin(); c != children.crend(); ++c) {
            const QString childPath = joinPath(cur.path, *c);
            QString real;
            if (lookUpFile(childPath).symLink) {
                // A link is followed only within the chosen folder's own
                // tree: one to "/" would walk the whole system, /proc too.
                real = canonicalOf(childPath);
                if (!insideTree(real, rootReal))
                    continue;
            } else {
                real = cur.real.endsWith(QLatin1Char('/')) ? cur.real + *c : cur.real + QLatin1Char('/') + *c;
            }
            if (seen.contains(real))
                continue;
            stack.push_back({childPath, real});
        }
    }
}

}  // namespace platform
