#include "app/help_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QStyle>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "app/aux_windows.h"
#include "platform/dpi.h"
#include "platform/shell_open.h"

namespace app {

namespace {

constexpr int kPathRole = Qt::UserRole;

// Pages are shown under a scheme of their own, so that the browser resolves
// their relative links against the page and never looks on the disk.
QUrl pageUrl(const QString& path)
{
    QUrl url;
    url.setScheme(QStringLiteral("chm"));
    const qsizetype hash = path.indexOf(u'#');
    url.setPath(hash < 0 ? path : path.left(hash));
    if (hash >= 0)
        url.setFragment(path.mid(hash + 1));
    return url;
}

QString pathOf(const QUrl& url)
{
    QString path = url.path();
    if (url.hasFragment())
        path += u'#' + url.fragment();
    return path;
}

QString withoutFragment(const QString& path)
{
    const qsizetype hash = path.indexOf(u'#');
    return hash < 0 ? path : path.left(hash);
}

}  // namespace

HelpBrowser::HelpBrowser(const platform::ChmFile& file, QWidget* parent) : QTextBrowser(parent), file_(file)
{
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::followLink);
}

QString HelpBrowser::page() const
{
    return pathOf(source());
}

bool HelpBrowser::showPage(const QString& path)
{
    if (path.isEmpty() || !file_.read(withoutFragment(path)))
        return false;
    setSource(pageUrl(path));
    return true;
}

void HelpBrowser::followLink(const QUrl& link)
{
    const QString inFile = link.scheme() == QLatin1String("chm")
                               ? pathOf(link)
                               : platform::resolveHelpLink(page(), link.toString(QUrl::FullyDecoded));
    if (!inFile.isEmpty()) {
        showPage(inFile);
        return;
    }
    // Web addresses and mail go to the desktop, as from any help viewer.
    const QString scheme = link.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))
        platform::openExternally(link);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name)
{
    const QString path = name.scheme() == QLatin1String("chm")
                             ? name.path()
                             : withoutFragment(platform::resolveHelpLink(page(), name.toString(QUrl::FullyDecoded)));
    if (path.isEmpty())
        return {};
    const auto bytes = file_.read(path);
    if (!bytes)
        return {};
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return platform::decodeHelpText(*bytes);
    return QByteArray(bytes->data(), qsizetype(bytes->size()));
}

HelpWindow* HelpWindow::create(const QString& helpFile, QWidget* parent)
{
    auto file = platform::ChmFile::open(helpFile);
    if (!file)
        return nullptr;
    return new HelpWindow(std::make_unique<platform::ChmFile>(std::move(*file)), parent);
}

HelpWindow::HelpWindow(std::unique_ptr<platform::ChmFile> file, QWidget* parent)
    : QWidget(parent, Qt::Window), file_(std::move(file))
{
    setObjectName(QStringLiteral("frmHelp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf16(kHelpWindowTitle));
    const double f = platform::dpiFactor(this);
    resize(platform::scaled(960, f), platform::scaled(720, f));

    btBack = new QToolButton(this);
    btBack->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    btBack->setToolTip(QStringLiteral("戻る"));
    btBack->setEnabled(false);
    btForward = new QToolButton(this);
    btForward->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    btForward->setToolTip(QStringLiteral("進む"));
    btForward->setEnabled(false);

    tvContents = new QTreeWidget(this);
    tvContents->setObjectName(QStringLiteral("tvContents"));
    tvContents->setHeaderHidden(true);
    tvContents->setColumnCount(1);
    tvContents->header()->setStretchLastSection(true);
    browser = new HelpBrowser(*file_, this);
    browser->setObjectName(QStringLiteral("browser"));

    splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(tvContents);
    splitter->addWidget(browser);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({platform::scaled(280, f), platform::scaled(680, f)});
    splitter->setChildrenCollapsible(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btBack);
    buttons->addWidget(btForward);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);

    // The table of contents: each entry under the last one less deep.
    std::vector<QTreeWidgetItem*> parents;
    for (const platform::HelpTopic& topic : file_->topics()) {
        const size_t depth = std::min(size_t(topic.depth), parents.size());
        parents.resize(depth);
        auto* item = parents.empty() ? new QTreeWidgetItem(tvContents) : new QTreeWidgetItem(parents.back());
        item->setText(0, topic.name);
        item->setToolTip(0, topic.name);
        item->setData(0, kPathRole, topic.local);
        parents.push_back(item);
    }
    tvContents->expandAll();

    connect(tvContents, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { contentsItemChosen(item); });
    connect(tvContents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { contentsItemChosen(item); });
    connect(browser, &QTextBrowser::sourceChanged, this, &HelpWindow::markPageInContents);
    connect(browser, &QTextBrowser::backwardAvailable, btBack, &QWidget::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, btForward, &QWidget::setEnabled);
    connect(btBack, &QToolButton::clicked, browser, &QTextBrowser::backward);
    connect(btForward, &QToolButton::clicked, browser, &QTextBrowser::forward);

    const platform::HelpFileInfo info = file_->info();
    if (!browser->showPage(info.defaultTopic)) {
        for (QTreeWidgetItemIterator it(tvContents); *it; ++it)
            if (browser->showPage((*it)->data(0, kPathRole).toString()))
                break;
    }
}

void HelpWindow::contentsItemChosen(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const QString path = item->data(0, kPathRole).toString();
    if (!path.isEmpty() && path != browser->page())
        browser->showPage(path);
}

void HelpWindow::markPageInContents(const QUrl& url)
{
    const QString page = url.path();
    for (QTreeWidgetItemIterator it(tvContents); *it; ++it) {
        if (withoutFragment((*it)->data(0, kPathRole).toString()).compare(page, Qt::CaseInsensitive) == 0) {
            if (tvContents->currentItem() != *it) {
                const QSignalBlocker blocker(tvContents);
                tvContents->setCurrentItem(*it);
            }
            return;
        }
    }
}

}  // namespace app
