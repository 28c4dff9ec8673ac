#include "widgets/folder_tree.h"

#include <QCollator>
#include <QDir>
#include <QAbstractFileIconProvider>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QThread>

#include <algorithm>
#include <atomic>

namespace widgets {

TopRow fourthRowTopRow(int i, int j)
{
    if (i >= 3)
        return {false, i - 3};
    return {true, i + std::max(j, 2 - i) - 2};
}

// Every row of the tree is a folder (or the root): one icon each, looked up
// once. The default provider asks the icon theme for every folder, which
// under a desktop theme probes hundreds of files per folder and held up the
// first picture of a show for half a second while a new folder's siblings
// came in.
//
// The icons are made when the tree is first shown, not with the window:
// the style's icons are files whose reading loads every picture plug-in of
// Qt's, 5 ms of each start that a start with a picture, whose folder window
// stays hidden, does not need. Rows read before then get no icon of their
// own, and the model asks for the folder icon by type when it draws them.
class FolderIcons : public QObject, public QAbstractFileIconProvider {
public:
    explicit FolderIcons(QObject* parent) : QObject(parent) {}
    // On the window's thread: the icons from now on.
    void make()
    {
        if (ready_.load(std::memory_order_relaxed))
            return;
        // The widgets provider falls back on the style's icons where no
        // theme has them.
        const QFileIconProvider standard;
        folder_ = standard.icon(QAbstractFileIconProvider::Folder);
        drive_ = standard.icon(QAbstractFileIconProvider::Drive);
        ready_.store(true, std::memory_order_release);
    }
    // Also asked on the model's reader thread.
    QIcon icon(IconType type) const override
    {
        if (!ready_.load(std::memory_order_acquire))
            return {};
        return type == Drive ? drive_ : folder_;
    }
    QIcon icon(const QFileInfo& info) const override
    {
        if (!ready_.load(std::memory_order_acquire))
            return {};
        return info.isRoot() ? drive_ : folder_;
    }

private:
    QIcon folder_, drive_;
    std::atomic<bool> ready_{false};
};

FolderTree::FolderTree(QWidget* parent)
    : QTreeView(parent), model_(new QFileSystemModel(this)), icons_(nullptr)
{
    icons_ = new FolderIcons(this);
    model_->setIconProvider(icons_);
    // Folders only; without QDir::Hidden the dot folders stay out.
    model_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    model_->setReadOnly(true);
    model_->setRootPath(QDir::rootPath());
    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(2000);
    connect(&settleTimer_, &QTimer::timeout, this, [this] {
        revealing_ = false;
        revealTimer_.stop();
    });
    setModel(model_);
    for (int c = 1; c < model_->columnCount(); ++c)
        hideColumn(c);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setAnimated(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    // A mouse press makes a row current before it selects it, so the
    // current row alone is not yet a chosen folder: report the change once
    // the selection has followed.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { reportIfChanged(); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { reportIfChanged(); });
    // Rows arrive and get sorted a while after a folder is read; each of
    // these may push the row being revealed out of view again.
    revealTimer_.setSingleShot(true);
    revealTimer_.setInterval(0);
    connect(&revealTimer_, &QTimer::timeout, this, &FolderTree::continueReveal);
    auto later = [this] {
        if (revealing_)
            revealTimer_.start();
    };
    // A folder asked for whose levels are still being read: the next level
    // is asked for as soon as one arrives.
    connect(model_, &QFileSystemModel::directoryLoaded, this, [this] {
        if (!pendingPath_.isEmpty() && indexFor(pendingPath_).isValid())
            pendingPath_.clear();
    });
    // Folders made or removed anywhere above the visible rows (a download,
    // a temporary folder) must not move the row under the pointer: the row
    // at the top stays at the top, as in a file manager.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &FolderTree::rememberTopRow);
    connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, &FolderTree::holdTopRow);
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, &FolderTree::holdTopRowBeforeRemoval);
    connect(model_, &QAbstractItemModel::layoutAboutToBeChanged, this, &FolderTree::holdTopRow);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &FolderTree::restoreTopRow);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &FolderTree::restoreTopRow);
    connect(model_, &QAbstractItemModel::layoutChanged, this, &FolderTree::restoreTopRow);
    connect(model_, &QFileSystemModel::directoryLoaded, this, later);
    connect(model_, &QAbstractItemModel::layoutChanged, this, later);
    connect(model_, &QAbstractItemModel::rowsInserted, this, later);
}

QModelIndex FolderTree::rowAtTop() const
{
    // A deep row starts right of its indentation: look along the top line.
    const int step = std::max(4, indentation() / 2);
    for (int x = 1; x < viewport()->width(); x += step)
        if (const QModelIndex idx = indexAt(QPoint(x, 0)); idx.isValid())
            return idx;
    return {};
}

void FolderTree::rememberTopRow()
{
    // Scrolling that a change of the model causes is no choice of the person.
    if (holding_)
        return;
    const QModelIndex top = rowAtTop();
    if (!top.isValid())
        return;
    topRow_ = top;
    topRowOffset_ = visualRect(top).top();
}

void FolderTree::holdTopRow()
{
    // The top row before the model starts to change (or, where the view
    // cannot tell it now, as it was last seen).
    if (!holding_)
        rememberTopRow();
    holding_ = topRow_.isValid();
}

void FolderTree::holdTopRowBeforeRemoval(const QModelIndex& parent, int first, int last)
{
    holdTopRow();
    if (!holding_)
        return;
    // The top row, or a folder it lies in, is going: the row below the
    // removed ones takes its place, else the one above, else their parent.
    for (QModelIndex p = topRow_; p.isValid(); p = p.parent()) {
        if (p.parent() == parent && p.row() >= first && p.row() <= last) {
            const QModelIndex below = model_->index(last + 1, 0, parent);
            const QModelIndex above = first > 0 ? model_->index(first - 1, 0, parent) : QModelIndex();
            topRow_ = below.isValid() ? below : above.isValid() ? above : parent;
            return;
        }
    }
}

void FolderTree::restoreTopRow()
{
    if (!holding_)
        return;
    holding_ = false;
    QModelIndex top = topRow_;
    if (!top.isValid())
        return;
    const int offset = topRowOffset_;
    // A row whose folder was folded away meanwhile is shown by that folder.
    for (QModelIndex p = top.parent(); p.isValid(); p = p.parent())
        if (!isExpanded(p))
            top = p;
    executeDelayedItemsLayout();
    const int shift = visualRect(top).top() - offset;
    if (shift == 0) {
        rememberTopRow();
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    if (verticalScrollMode() == QAbstractItemView::ScrollPerPixel) {
        bar->setValue(bar->value() + shift);
    } else {
        // The bar counts rows: put the held row back at the top.
        scrollTo(top, QAbstractItemView::PositionAtTop);
    }
    rememberTopRow();
}

void FolderTree::reportIfChanged()
{
    const QString path = selectedPath();
    if (path == reportedPath_)
        return;
    if (!path.isEmpty() && QDir::fromNativeSeparators(path) != revealPath_)
        stopRevealingHome();
    reportedPath_ = path;
    emit selectedFolderChanged();
}

void FolderTree::mousePressEvent(QMouseEvent* event)
{
    stopRevealingHome();
    // A right click chooses the folder under the pointer, as a left click.
    if (event->button() == Qt::RightButton) {
        const QModelIndex idx = indexAt(event->position().toPoint());
        if (idx.isValid()) {
            setCurrentIndex(idx);
            event->accept();
            return;
        }
    }
    QTreeView::mousePressEvent(event);
}

QString FolderTree::selectedPath() const
{
    const QModelIndex idx = currentIndex();
    if (!idx.isValid() || !selectionModel()->isSelected(idx))
        return QString();
    return QDir::toNativeSeparators(model_->filePath(idx));
}

QModelIndex FolderTree::indexFor(const QString& path)
{
    // The first levels at once, as the model does by itself.
    constexpr int kAtOnce = 24;
    qsizetype cut = 0;
    int levels = 0;
    for (qsizetype i = 1; i < path.size(); ++i) {
        if (path.at(i) == QLatin1Char('/') && path.at(i - 1) != QLatin1Char('/') && ++levels == kAtOnce) {
            cut = i;
            break;
        }
    }
    if (cut == 0)
        return model_->index(path);
    const QStringList rest = path.mid(cut + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // Carry on from the level reached last time.
    QModelIndex row;
    qsizetype from = 0;
    if (path == resumePath_ && resumeRow_.isValid()) {
        row = resumeRow_;
        from = resumeLevel_;
    } else {
        row = model_->index(path.left(cut));
    }
    for (qsizetype i = from; i < rest.size(); ++i) {
        if (!row.isValid())
            return {};
        QModelIndex next;
        // Not read yet: ask for it; the walk goes on when its rows arrive.
        if (model_->canFetchMore(row)) {
            model_->fetchMore(row);
        } else {
            const int rows = model_->rowCount(row);
            for (int r = 0; r < rows && !next.isValid(); ++r) {
                const QModelIndex child = model_->index(r, 0, row);
                if (model_->fileName(child) == rest[i])
                    next = child;
            }
        }
        if (!next.isValid()) {
            resumePath_ = path;
            resumeRow_ = row;
            resumeLevel_ = i;
            return {};
        }
        row = next;
    }
    return row;
}

bool FolderTree::selectPath(const QString& path)
{
    const QModelIndex idx = indexFor(QDir::fromNativeSeparators(path));
    if (!idx.isValid()) {
        // Each level read leads to the next at once (see below).
        pendingPath_ = QDir::fromNativeSeparators(path);
        return false;
    }
    pendingPath_.clear();
    for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
        expand(p);
    stopRevealingHome();
    revealPath_ = model_->filePath(idx);
    revealIsHome_ = false;
    revealing_ = true;
    setCurrentIndex(idx);
    scrollTo(idx);
    continueReveal();
    return true;
}

void FolderTree::clearSelectionPath()
{
    selectionModel()->clear();
    reportedPath_.clear();
    emit selectedFolderChanged();
}

void FolderTree::scrollSelectedToFourthRow()
{
    const QModelIndex idx = currentIndex();
    if (!idx.isValid())
        return;
    const QModelIndex parent = idx.parent();
    if (!parent.isValid())
        return;
    const TopRow top = fourthRowTopRow(idx.row(), parent.row());
    QModelIndex target;
    if (!top.ofParent) {
        target = model_->index(top.index, 0, parent);
    } else {
        const QModelIndex grand = parent.parent();
        if (!grand.isValid())
            return;  // the parent is a top row: nothing above it to refer to
        target = model_->index(top.index, 0, grand);
    }
    if (target.isValid())
        scrollTo(target, QAbstractItemView::PositionAtTop);
}

void FolderTree::revealHome()
{
    revealPath_ = QDir::homePath();
    revealIsHome_ = true;
    revealing_ = true;
    continueReveal();
}

void FolderTree::continueReveal()
{
    if (!revealing_)
        return;
    // The model reads folders in the background: a row can only be scrolled
    // to once its parent has been read, so each loaded folder on the way
    // down brings the row a step nearer.
    const QModelIndex row = indexFor(revealPath_);
    if (!row.isValid())
        return;
    for (QModelIndex p = row.parent(); p.isValid(); p = p.parent())
        expand(p);
    if (revealIsHome_)
        expand(row);
    const QModelIndex parent = row.parent();
    const bool loaded = !parent.isValid() || !model_->canFetchMore(parent);
    if (loaded && visualRect(row).isValid()) {
        if (revealIsHome_)
            scrollTo(row, QAbstractItemView::PositionAtTop);
        else
            scrollTo(row);
        // Keep it there while the last rows settle, unless the user moves.
        if (!settleTimer_.isActive())
            settleTimer_.start();
    }
}

void FolderTree::stopRevealingHome()
{
    revealing_ = false;
    revealTimer_.stop();
    settleTimer_.stop();
}

bool FolderTree::homeInView() const
{
    const QModelIndex home = model_->index(QDir::homePath());
    if (!home.isValid())
        return false;
    const QRect r = visualRect(home);
    return r.isValid() && viewport()->rect().intersects(r);
}

void FolderTree::keyPressEvent(QKeyEvent* event)
{
    stopRevealingHome();
    QTreeView::keyPressEvent(event);
}

void FolderTree::showEvent(QShowEvent* event)
{
    if (!icons_->icon(QAbstractFileIconProvider::Folder).isNull()) {
        QTreeView::showEvent(event);
        return;
    }
    icons_->make();
    // Rows are as tall as their icons.
    scheduleDelayedItemsLayout();
    QTreeView::showEvent(event);
}

void FolderTree::wheelEvent(QWheelEvent* event)
{
    stopRevealingHome();
    QTreeView::wheelEvent(event);
}

}  // namespace widgets
