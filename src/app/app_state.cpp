#include "app/app_state.h"

#include <QDir>

#include "platform/folder_walk.h"

QString AppState::fullPath(int k) const
{
    if (k < 0 || k >= FileList.size() || k >= FolderIndexList.size())
        return QString();
    bool ok = false;
    const int folder = FolderIndexList.at(k).toInt(&ok);
    if (!ok || folder < 0 || folder >= FolderList.size())
        return QString();
    // A folder such as "/" already ends in the separator.
    return platform::joinPath(FolderList.at(folder), FileList.at(k));
}

int AppState::shownIndex() const
{
    if (FileList.isEmpty())
        return -1;
    return CurrentIndex == 0 ? FileList.size() - 1 : CurrentIndex - 1;
}
