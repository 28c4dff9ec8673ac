#pragma once
// The help shown by the program itself, for desktops that have no program
// for help files: the table of contents beside the pages, titled as the
// help viewer's window is, so the help button finds it again.
#include <QTextBrowser>
#include <QWidget>

#include <memory>

#include "platform/chm_file.h"

class QSplitter;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace app {

// Shows the help file's pages, resolving their pictures, style sheets and
// links to other pages from the file.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    HelpBrowser(const platform::ChmFile& file, QWidget* parent);
    QVariant loadResource(int type, const QUrl& name) override;

    // The page shown, as a path inside the file ("/index.html#part").
    QString page() const;
    // Shows a page; false (and nothing changes) when the file lacks it.
    bool showPage(const QString& path);

private:
    void followLink(const QUrl& link);

    const platform::ChmFile& file_;
};

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // The window over the help file, not yet shown; null when the file
    // cannot be read as a help file.
    static HelpWindow* create(const QString& helpFile, QWidget* parent = nullptr);

    QToolButton* btBack = nullptr;
    QToolButton* btForward = nullptr;
    QSplitter* splitter = nullptr;
    QTreeWidget* tvContents = nullptr;
    HelpBrowser* browser = nullptr;

private:
    HelpWindow(std::unique_ptr<platform::ChmFile> file, QWidget* parent);
    void contentsItemChosen(QTreeWidgetItem* item);
    void markPageInContents(const QUrl& page);

    std::unique_ptr<platform::ChmFile> file_;
};

}  // namespace app
