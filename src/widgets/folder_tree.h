#pragma once
// The folder tree of the folder window: every folder of the file system from
// its root down, folders only, with the platform's folder icons. Hidden (dot)
// folders are not shown. Folders are read in the background, so an
// unreadable or slow folder never blocks the window; it simply shows no
// children. The tree follows changes on disk by itself, and rows that come
// or go above the visible ones leave the visible rows where they are.
#include <QPersistentModelIndex>
#include <QString>
#include <QTimer>
#include <QTreeView>

class QFileSystemModel;

namespace widgets {

// Where the top row goes so that the selected folder becomes the fourth
// visible row. i: the folder's index among its siblings; j: its parent's
// index among the parent's siblings. Either a sibling of the folder
// (ofParent false) or a sibling of its parent (ofParent true) at index.
struct TopRow {
    bool ofParent = false;
    int index = 0;
};
TopRow fourthRowTopRow(int i, int j);

class FolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    // Path of the selected folder, or empty when none is selected.
    QString selectedPath() const;
    // Selects the folder at path (expanding its ancestors) and keeps it in
    // view while the tree loads the folders around it. False when the tree
    // has no such folder.
    bool selectPath(const QString& path);
    void clearSelectionPath();

    // Scrolls so that the selected folder is the fourth visible row; leaves
    // the scroll position alone when its parent is a top-level row.
    void scrollSelectedToFourthRow();

    // Expands the user's home folder and its ancestors and brings it into
    // view (the state at first show).
    // Keeps trying while the tree loads, until the home row is in view.
    void revealHome();
    // The user took over the tree, or chose another folder: the row being
    // kept in view no longer matters.
    void stopRevealingHome();
    // The home row lies inside the visible part of the tree.
    bool homeInView() const;

    QFileSystemModel* fileSystemModel() const { return model_; }

signals:
    // The selected folder changed (also when the selection is cleared).
    void selectedFolderChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The row of a folder ('/' separators), or none while the folders above
    // it are still being read. Asked for a deep folder in one go, the model
    // makes every level at once and later compares each with what its
    // reader reports, at a cost that grows with the cube of the depth (a
    // folder 1,000 levels deep held the window for half a minute); below the
    // first levels the rows are found one level at a time as they are read.
    QModelIndex indexFor(const QString& path);
    void reportIfChanged();
    void continueReveal();
    // The row at the top of the view and where it stands, remembered as the
    // view scrolls and put back after the model has changed.
    QModelIndex rowAtTop() const;
    void rememberTopRow();
    void holdTopRow();
    void holdTopRowBeforeRemoval(const QModelIndex& parent, int first, int last);
    void restoreTopRow();

    QFileSystemModel* model_;
    class FolderIcons* icons_;
    QString reportedPath_;
    // The folder kept in view while the tree loads ('/' separators), and
    // whether it is the home folder (opened, at the top) or a chosen one.
    QString revealPath_;
    QString pendingPath_;  // asked for, levels still being read
    // Where indexFor stopped last, so the next level costs one step.
    QString resumePath_;
    QPersistentModelIndex resumeRow_;
    qsizetype resumeLevel_ = 0;
    bool revealIsHome_ = false;
    bool revealing_ = false;
    QTimer revealTimer_;
    QTimer settleTimer_;
    QPersistentModelIndex topRow_;
    int topRowOffset_ = 0;
    bool holding_ = false;
};

}  // namespace widgets
