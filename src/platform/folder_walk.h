#pragma once
// The hidden twin of the folder tree used to visit every sub-folder of a
// folder: node 0 is the root, nodes 1.. follow depth first in the tree's
// order (each folder followed by all of its own sub-folders, siblings in
// folderNameLess order). Hidden folders are left out as in the tree.
// Symbolic links to folders are followed within the root's own tree only
// (a link to "/" would walk the whole system), and each real folder is
// visited once, so a link cycle ends.
#include <QString>
#include <QStringList>

namespace platform {

class FolderWalk {
public:
    // Sets the root; the walk then holds the root alone.
    void setRoot(const QString& path);
    const QString& root() const { return root_; }
    // Visits every sub-folder below the root.
    void expandAll();

    int nodeCount() const { return static_cast<int>(nodes_.size()); }
    // Path of node p (no trailing separator; the root "/" stays "/").
    const QString& path(int p) const { return nodes_.at(p); }
    const QStringList& paths() const { return nodes_; }
    // The file names found in node p while walking, and whether it could be
    // read at all (so a walk need not read each folder twice).
    const QStringList& files(int p) const { return files_.at(p); }
    bool readable(int p) const { return readable_.at(p); }

private:
    QString root_;
    QStringList nodes_;
    QList<QStringList> files_;
    QList<bool> readable_;
};

// Joins a folder and a name with the separator, without doubling it after a
// root such as "/".
QString joinPath(const QString& folder, const QString& name);

}  // namespace platform
