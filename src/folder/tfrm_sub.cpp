#include "folder/tfrm_sub.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <initializer_list>

#include "app/app_state.h"
#include "app/aux_windows.h"
#include "folder/masks.h"
#include "widgets/click_label.h"
#include "platform/dpi.h"
#include "widgets/file_list_box.h"
#include "widgets/folder_tree.h"
#include "platform/folder_walk.h"
#include "platform/end_signals.h"
#include "platform/file_names.h"
#include "platform/fonts.h"
#include "platform/regular_file.h"
#include "platform/window_functions.h"
#include "widgets/message_box.h"
#include "widgets/radio_group.h"
#include "widgets/wide_lines.h"
#include "search/tdlg_px_serch.h"
#include "viewer/picture_box.h"
#include "viewer/related_media.h"
#include "viewer/tfrm_main.h"

namespace {

const QString kNoFolderMessage =
    QStringLiteral("フォルダ（ディレクトリ）の指定が不適切です！\nより下位のフォルダを指定してみて下さい。");
const QString kSkippedMessage = QStringLiteral("以下のフォルダは特殊なフォルダのためスキップしました。");
const QString kNothingToSearch = QStringLiteral("検索対象とする画像がありません。");
const QString kNothingFound = QStringLiteral("検索条件に合う画像がありません。");

// The busy cursor for the length of one OK, however it ends.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

QStringList repeated(const QString& text, int n)
{
    QStringList out;
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out << text;
    return out;
}

void setPointSize(QWidget* w, int size)
{
    QFont f = w->font();
    f.setPointSize(size);
    w->setFont(f);
}

// Each line is the name the file opens by; one whose bytes were not UTF-8
// is shown as the user reads it.
class FileNameLines : public widgets::WideLines {
public:
    using widgets::WideLines::WideLines;
    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        return platform::displayFileName(QStyledItemDelegate::displayText(value, locale));
    }
};

// The swatch shows its colour as its background.
void paintSwatch(QFrame* swatch, const QColor& colour)
{
    QPalette p = swatch->palette();
    p.setColor(QPalette::Window, colour);
    swatch->setPalette(p);
    swatch->setAutoFillBackground(true);
}

QIcon themeIcon(const char* name, QStyle::StandardPixmap fallback, const QStyle* style)
{
    return QIcon::fromTheme(QString::fromLatin1(name), style->standardIcon(fallback));
}

}  // namespace

TfrmSub::TfrmSub(AppState& state, QWidget* parent) : QDialog(parent), state_(state)
{
    setWindowTitle(QStringLiteral("フォルダの選択"));
    // A fixed dialog without border icons.
    setWindowFlags(platform::kFixedDialogFlags);
    const double f = platform::dpiFactor(this);
    // Bounds and the font are designed at 120 dpi and scale together, so
    // every caption still fits its control.
    setFont(platform::uiFont(platform::scaled(15, f)));
    // 20 units taller than the design, so the order and map groups hold
    // their items at the window's one font size with room between them.
    setFixedSize(platform::scaled(541, f), platform::scaled(501, f));

    auto place = [f](QWidget* w, int l, int t, int wd, int h) { platform::placeAt(w, l, t, wd, h, f); };
    auto placeLabel = [f](QLabel* w, int l, int t) {
        w->adjustSize();
        w->move(platform::scaled(l, f), platform::scaled(t, f));
    };

    FLList = new QListWidget(this);
    place(FLList, 11, 24, 227, 296);
    FLList->setSelectionMode(QAbstractItemView::SingleSelection);
    // One line height for all: a folder of thousands of names fills at once.
    FLList->setUniformItemSizes(true);
    listItems_ = new FileNameLines(FLList);
    FLList->setItemDelegate(listItems_);
    // Sideways by a few characters a step: by whole columns, one step would
    // jump from a name's start past its end.
    FLList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    FLList->horizontalScrollBar()->setSingleStep(FLList->fontMetrics().averageCharWidth() * 3);
    Label1 = new QLabel(QStringLiteral("表示対象ファイル("), this);
    placeLabel(Label1, 39, 4);
    Label4 = new QLabel(QStringLiteral("0)"), this);
    placeLabel(Label4, 155, 4);
    Label4->resize(platform::scaled(80, f), Label4->height());

    tvFoldr = new widgets::FolderTree(this);
    place(tvFoldr, 249, 24, 280, 296);
    Label3 = new QLabel(QStringLiteral("表示対象フォルダ"), this);
    placeLabel(Label3, 274, 4);

    FLBox = new widgets::FileListBox;
    FLBox->setMask(folder::kFullMask);
    tvDR = new platform::FolderWalk;

    rgDSort = new widgets::RadioGroup(QStringLiteral("日付順に表示（"),
                                       {QStringLiteral("なし（"), QStringLiteral("ファイルの日付"),
                                        QStringLiteral("作成（撮影）日")},
                                       this);
    place(rgDSort, 6, 326, 133, 97);
    rgDSort->setItemIndex(0);
    rbAsend = new QRadioButton(QStringLiteral("昇順"), this);
    place(rbAsend, 113, 322, 121, 25);
    rbAsend->setChecked(true);
    rbDesnd = new QRadioButton(QStringLiteral("降順）"), this);
    place(rbDesnd, 175, 326, 57, 17);
    cbRandm = new QCheckBox(QStringLiteral("ランダム表示）"), this);
    place(cbRandm, 69, 345, 108, 17);

    chbUnDr = new QCheckBox(QStringLiteral("下位ディレクトリも検索"), this);
    place(chbUnDr, 284, 323, 193, 21);
    // The display options and the colour stand 15 and 11 units right of the
    // design, so that "ランダム表示）" ends before them at the window's font.
    chbCenter = new QCheckBox(QStringLiteral("中央に表示"), this);
    place(chbCenter, 218, 348, 105, 17);
    chbCenter->setChecked(true);
    chbPropo = new QCheckBox(QStringLiteral("画像の全体を表示"), this);
    place(chbPropo, 218, 371, 145, 17);
    chbPropo->setChecked(true);
    chbStrech = new QCheckBox(QStringLiteral("画面一杯に拡大"), this);
    place(chbStrech, 218, 394, 129, 17);
    chbWind = new QCheckBox(QStringLiteral("ウインド内表示にする"), this);
    place(chbWind, 218, 417, 165, 17);

    rgMapVw = new widgets::RadioGroup(QStringLiteral("地図の表示"),
                                       {QStringLiteral("地理院地図"), QStringLiteral("グーグル")}, this);
    place(rgMapVw, 8, 427, 108, 69);
    rgMapVw->setItemIndex(0);

    Label2 = new QLabel(QStringLiteral("背景色"), this);
    placeLabel(Label2, 372, 348);
    spBkCol = new QFrame(this);
    place(spBkCol, 420, 344, 58, 24);
    spBkCol->setFrameShape(QFrame::Box);
    setBackgroundColour(QApplication::palette().color(QPalette::Window));
    btBkCol = new QPushButton(QStringLiteral("変更"), this);
    place(btBkCol, 479, 343, 41, 25);
    btBkCol->setAutoDefault(false);

    Bevel1 = new QFrame(this);
    // Up by 8 and right by 8 from the design, clear of the rows of
    // "画像の全体を表示" and of "ウインド内表示にする", which runs on under it.
    place(Bevel1, 370, 373, 158, 41);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    auto speedButton = [&](int left, const QString& hint) {
        auto* b = new QToolButton(this);
        place(b, left, 378, 28, 28);
        b->setIconSize(QSize(platform::scaled(20, f), platform::scaled(20, f)));
        b->setAutoRaise(true);
        if (!hint.isEmpty())
            b->setToolTip(hint);
        return b;
    };
    // Their icons come when the window is first shown (showEvent).
    sbSerch = speedButton(377, QStringLiteral("標題とコメントで画像を検索します"));
    btSetPrint = speedButton(414, QStringLiteral("印刷設定"));
    btHelp = speedButton(452, QString());
    btVer = speedButton(490, QStringLiteral("バージョン情報"));

    btExit = new QPushButton(QStringLiteral("Exit"), this);
    place(btExit, 170, 458, 73, 33);
    btExit->setAutoDefault(false);
    btOK = new QPushButton(QStringLiteral("OK"), this);
    place(btOK, 327, 458, 73, 33);
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    place(btCancel, 436, 458, 73, 33);
    btCancel->setAutoDefault(false);
    btCancel->setEnabled(false);

    // Captions may run wider in the substitute font than in the design's:
    // such a control grows to the right rather than clip its caption.
    for (QWidget* w : std::initializer_list<QWidget*>{rgDSort, rbAsend, rbDesnd, cbRandm, chbUnDr, chbCenter,
                                                       chbPropo, chbStrech, chbWind, rgMapVw})
        if (w->sizeHint().width() > w->width())
            w->resize(w->sizeHint().width(), w->height());
    // "ランダム表示）" continues the caption "なし（" of the first order item.
    if (QRadioButton* first = rgDSort->button(0)) {
        if (rgDSort->layout())
            rgDSort->layout()->activate();
        const int end = rgDSort->x() + first->x() + first->sizeHint().width();
        // On the line of the caption it continues, clear of the group's title.
        const int line = rgDSort->y() + first->y() + (first->height() - cbRandm->height()) / 2;
        cbRandm->move(std::max(cbRandm->x(), end), std::max(cbRandm->y(), line));
    }
    pushNeighboursAlong();

    Label4->move(std::max(Label4->x(), Label1->x() + Label1->width()), Label4->y());

    // The check box beside "なし（" and the direction buttons on the group's
    // caption line sit over the group box.
    cbRandm->raise();
    rbAsend->raise();
    rbDesnd->raise();

    connect(tvFoldr, &widgets::FolderTree::selectedFolderChanged, this, &TfrmSub::tvFoldrChange);
    connect(btOK, &QPushButton::clicked, this, [this] { btOKClick(btOK); });
    connect(btCancel, &QPushButton::clicked, this, &TfrmSub::btCancelClick);
    connect(btExit, &QPushButton::clicked, this, &TfrmSub::btExitClick);
    connect(btBkCol, &QPushButton::clicked, this, &TfrmSub::btBkColClick);
    connect(btSetPrint, &QToolButton::clicked, this, &TfrmSub::btSetPrintClick);
    connect(sbSerch, &QToolButton::clicked, this, &TfrmSub::sbSerchClick);
    connect(btHelp, &QToolButton::clicked, this, &TfrmSub::btHelpClick);
    connect(btVer, &QToolButton::clicked, this, &TfrmSub::btVerClick);
    connect(rgDSort, &widgets::RadioGroup::clicked, this, [this] { rgDSortClick(); });
    connect(rbAsend, &QRadioButton::clicked, this, &TfrmSub::rbAsendClick);
    connect(rbDesnd, &QRadioButton::clicked, this, &TfrmSub::rbAsendClick);

    // FormCreate: the lists live in the shared state; the options start here.
    state_.ChosenFolder.clear();
    state_.LastSortMode = 0;
    state_.UseGoogleMap = false;
    state_.ViewerReady = false;
}

TfrmSub::~TfrmSub()
{
    delete FLBox;
    delete tvDR;
    delete PSDPrinter;
}

QColor TfrmSub::backgroundColour() const { return spBkCol->palette().color(QPalette::Window); }

void TfrmSub::setBackgroundColour(const QColor& colour) { paintSwatch(spBkCol, colour); }

void TfrmSub::FormShow()
{
    TfrmMain* viewer = state_.frmMain;
    if (viewer && viewer->TimDsp->isActive())
        viewer->TimDsp->stop();
    // The folder tree follows changes on disk by itself.
    if (viewer && state_.MovieOpen && viewer->MPlayer)
        viewer->MPlayer->pause();
    if (!state_.ChosenFolder.isEmpty()) {
        if (tvFoldr->selectPath(state_.ChosenFolder))
            tvFoldr->scrollSelectedToFourthRow();
    } else if (!homeRevealed_) {
        tvFoldr->revealHome();
    }
    homeRevealed_ = true;
    state_.FolderWindowShown = true;
}

void TfrmSub::tvFoldrChange()
{
    directFolder_.clear();
    listFolder(tvFoldr->selectedPath());
}

bool TfrmSub::listFolder(const QString& path)
{
    bool listed = true;
    if (!path.isEmpty() && platform::isDirectory(path)) {
        listed = FLBox->setDirectory(path);
        if (listed)
            FLLstSort(-1);
    } else {
        FLList->clear();
    }
    if (!listed) {
        FLList->clear();
        Label4->setText(QStringLiteral("0)"));
        if (state_.FolderWindowShown)
            widgets::showMessage(QStringLiteral("フォルダを読み込めません。\n") + platform::displayFileName(path), this);
        return false;
    }
    if (FLList->count() == 0)
        setListScrollWidth(0);
    Label4->setText(QString::number(FLList->count()) + QStringLiteral(")"));
    return true;
}

bool TfrmSub::chooseFolderDirectly(const QString& folder)
{
    if (!platform::isDirectory(folder) || !listFolder(folder))
        return false;
    directFolder_ = QDir::toNativeSeparators(folder);
    return true;
}

bool TfrmSub::isSearchSender(QObject* sender) const
{
    return sender && state_.dlgPxSerch && state_.dlgPxSerch->OKBtn && sender == state_.dlgPxSerch->OKBtn;
}

void TfrmSub::setSearchControlsEnabled(bool on)
{
    TdlgPxSerch* d = state_.dlgPxSerch;
    if (!d)
        return;
    QWidget* controls[] = {d->OKBtn, d->CancelBtn, d->edSerch, d->cbBothSer, d->rgSerAria, d->edDtSer};
    for (QWidget* w : controls)
        if (w)
            w->setEnabled(on);
}

void TfrmSub::restoreAfterSearch()
{
    if (chbUnDr->isChecked()) {
        FLBox->setDirectory(state_.ChosenFolder);
        state_.SortList.clear();
        FLLstSort(0);
    }
    setSearchControlsEnabled(true);
}

void TfrmSub::btOKClick(QObject* sender)
{
    TfrmMain* viewer = state_.frmMain;
    const bool searchRun = isSearchSender(sender);

    // 1-2. The chosen folder.
    const QString chosen = directFolder_.isEmpty() ? tvFoldr->selectedPath() : directFolder_;
    if (chosen.isEmpty() || !platform::isDirectory(chosen)) {
        widgets::showMessage(kNoFolderMessage, this);
        setResult(0);
        return;
    }
    state_.ChosenFolder = chosen;

    // 3. A search lists JPEG files only.
    if (searchRun) {
        setSearchControlsEnabled(false);
        if (state_.dlgPxSerch->pbKen)
            state_.dlgPxSerch->pbKen->setVisible(true);
        FLBox->setMask(folder::kExifMask);
        listFolder(chosen);
    }

    // 4.
    state_.SearchSortsByDate = false;
    state_.UseGoogleMap = rgMapVw->itemIndex() == 1;
    const int n = FLList->count();
    QString skipped;
    BusyCursor busy;

    // 5. A list of fewer than two pictures switched the timer mode off.
    if (viewer && state_.FileList.size() < 2 && !viewer->timerModeOn())
        viewer->btTimeClick();

    // 9 (ahead of 7, which needs to know whether the walk will run).
    tvDR->setRoot(state_.ChosenFolder);
    if (chbUnDr->isChecked())
        tvDR->expandAll();
    const bool walk = chbUnDr->isChecked() && tvDR->nodeCount() > 1;

    // 6-7. The chosen folder's own lines.
    state_.FolderList.clear();
    state_.FolderIndexList.clear();
    state_.FileList.clear();
    if (n > 0) {
        state_.FolderList << state_.ChosenFolder;
        state_.FolderIndexList = repeated(QStringLiteral("0"), n);
        state_.FileList.reserve(n);
        for (int i = 0; i < n; ++i)
            state_.FileList << FLList->item(i)->text();
        if (cbRandm->isChecked() && rgDSort->itemIndex() == 0 && !walk)
            shuffleFileList();
    }

    // 8. The selected line is shown first.
    const QList<QListWidgetItem*> selected = FLList->selectedItems();
    state_.CurrentIndex = selected.isEmpty() ? 0 : FLList->row(selected.first());

    // 10. Every sub-folder, depth first.
    if (walk) {
        state_.SortList.clear();
        if (searchRun && rgDSort->itemIndex() == 2)
            state_.SearchSortsByDate = true;
        int f = 0;
        if (n > 0) {
            FLLstSort(0);
            f = 1;
        }
        for (int p = 1; p < tvDR->nodeCount() && !platform::endRequested(); ++p) {
            const QString q = tvDR->path(p);
            if (!platform::isDirectory(q)) {
                skipped += QStringLiteral("\n") + platform::displayFileName(q) + QStringLiteral("(") + QString::number(p) +
                           QStringLiteral(")");
                continue;
            }
            // The walk has just read q; FLBox takes its files from there.
            if (!FLBox->setListing(q, tvDR->files(p), tvDR->readable(p))) {
                skipped += QStringLiteral("\n") + platform::displayFileName(q) + QStringLiteral("[") + QString::number(p) +
                           QStringLiteral("]");
                continue;
            }
            const int c = FLBox->count();
            FLLstSort(f);
            if (c >= 1) {
                state_.FolderList << FLBox->directory();
                if (f == 0)
                    state_.FolderIndexList += repeated(QStringLiteral("0"), c);
                ++f;
            }
        }
        // FLBox lists the chosen folder again, as FLList shows it, so an
        // order change afterwards refills FLList from the right folder.
        FLBox->setDirectory(state_.ChosenFolder);
        if (!state_.SortList.isEmpty()) {
            const int order = rgDSort->itemIndex();
            if (state_.SearchSortsByDate || order == 0) {
                if (cbRandm->isChecked() && order == 0)
                    shuffleSortList();
                state_.FileList = state_.SortList;
            } else {
                sortAndSplit(order == 1 ? 8 : 19);
            }
        }
    }
    if (state_.CurrentIndex >= state_.FileList.size())
        state_.CurrentIndex = 0;

    // 11.
    if (!skipped.isEmpty())
        widgets::showMessage(kSkippedMessage + skipped, this);

    // 12.
    if (viewer)
        viewer->lbPosi->setText(QStringLiteral("0"));
    applyDisplayOptions();
    state_.ViewerReady = true;

    // 13. The search narrows the list.
    if (searchRun) {
        FLBox->setMask(folder::kFullMask);
        if (state_.FileList.isEmpty()) {
            widgets::showMessage(kNothingToSearch, this);
            restoreAfterSearch();
            return;
        }
        if (!state_.dlgPxSerch->SearchRun()) {
            widgets::showMessage(kNothingFound, this);
            restoreAfterSearch();
            return;
        }
        if (state_.SearchSortsByDate)
            state_.dlgPxSerch->sortAndSplitResults();
        state_.CurrentIndex = 0;
        setResult(QDialog::Accepted);
    }
    if (!viewer)
        return;

    // 14-15.
    applyWindowMode();
    if (!viewerShownOnce_) {
        btCancel->setEnabled(true);
        viewerShownOnce_ = true;
        viewer->show();
    }

    // 16-17.
    const int count = static_cast<int>(state_.FileList.size());
    viewer->lbTotal->setText(QStringLiteral("/") + QString::number(count));
    if (viewer->autoScroll() && (viewer->Image1->proportional() || viewer->Image1->stretch())) {
        viewer->setAutoScroll(false);
        viewer->Image1->resize(viewerOuterSize());
    }

    // 18-19. Hand over; a new show starts with the control panel down.
    viewer->Panel1->hide();
    state_.SuppressJumpChange = true;
    if (count == 0) {
        viewer->Image1->clear();
        if (viewer->autoScroll())
            viewer->Image1->resize(viewerOuterSize());
        viewer->lbSize->clear();
        state_.ViewerReady = false;
        viewer->tbJump->setMaximum(1);
        viewer->tbJump->setTickInterval(1);
        viewer->tbJump->setValue(1);
        viewer->lbPosi->setText(QStringLiteral("0"));
        viewer->lbNitiji->clear();
        viewer->lbFName->clear();
        viewer->cbDisp->clear();
        viewer->lbTitle->clear();
        if (viewer->timerModeOn())
            viewer->btTimeClick();
        viewer->cbDisp->hide();
        viewer->lbTitle->hide();
        viewer->btMap->hide();
        viewer->setWindowTitle(QStringLiteral("Daredazi"));
    } else {
        viewer->tbJump->setMaximum(count);
        viewer->tbJump->setTickInterval(std::max(1, count / 20));
        viewer->lbPosi->setText(QStringLiteral("1"));
        if (viewer->timerModeOn()) {
            if (count < 2)
                viewer->btTimeClick();
            else
                viewer->TimDsp->start();
        }
        viewer->handOverSender = btOK;
        viewer->Image1Click(btOK);
    }

    // 20.
    state_.SuppressJumpChange = false;
    done(QDialog::Accepted);
    state_.SearchSortsByDate = false;
    viewer->raise();
    viewer->activateWindow();
}

void TfrmSub::btCancelClick()
{
    TfrmMain* viewer = state_.frmMain;
    if (viewer) {
        setBackgroundColour(viewer->palette().color(QPalette::Window));
        chbCenter->setChecked(viewer->Image1->center());
        chbPropo->setChecked(viewer->Image1->proportional());
        chbStrech->setChecked(viewer->Image1->stretch());
    }
    rgMapVw->setItemIndex(state_.UseGoogleMap ? 1 : 0);
    if (viewer) {
        if (state_.FileList.size() > 1 && viewer->timerModeOn())
            viewer->TimDsp->start();
        if (viewer->hasBorder()) {
            chbWind->setChecked(true);
        } else {
            chbWind->setChecked(false);
            setViewerState(Qt::WindowMaximized);
        }
        if (state_.MovieOpen && viewer->MPlayer)
            viewer->MPlayer->resume();
    }
    done(QDialog::Rejected);
}

void TfrmSub::btExitClick()
{
    done(kExitResult);
    if (state_.frmMain)
        state_.frmMain->close();
    // The viewer may never have been shown, so its closing need not end the
    // event loop by itself.
    QCoreApplication::quit();
}

void TfrmSub::btBkColClick()
{
    const QColor c = QColorDialog::getColor(backgroundColour(), this);
    if (c.isValid())
        setBackgroundColour(c);
}

QPrinter* TfrmSub::pageSetup()
{
    if (!PSDPrinter) {
        // Page setup: A4 with 25 mm margins on every side.
        PSDPrinter = new QPrinter(QPrinter::HighResolution);
        PSDPrinter->setPageSize(QPageSize(QPageSize::A4));
        PSDPrinter->setPageOrientation(QPageLayout::Portrait);
        PSDPrinter->setPageMargins(QMarginsF(25.0, 25.0, 25.0, 25.0), QPageLayout::Millimeter);
    }
    return PSDPrinter;
}

void TfrmSub::btSetPrintClick()
{
    QPageSetupDialog dialog(pageSetup(), this);
    dialog.exec();
}

void TfrmSub::sbSerchClick()
{
    if (state_.dlgPxSerch)
        state_.dlgPxSerch->exec();
}

void TfrmSub::btHelpClick() { app::openHelp(state_, this); }

void TfrmSub::btVerClick() { app::showVersionWindow(this); }

void TfrmSub::applyDisplayOptions()
{
    TfrmMain* viewer = state_.frmMain;
    if (!viewer)
        return;
    QPalette p = viewer->palette();
    p.setColor(QPalette::Window, backgroundColour());
    viewer->setPalette(p);
    viewer->setAutoFillBackground(true);
    viewer->Image1->setCenter(chbCenter->isChecked());
    viewer->Image1->setProportional(chbPropo->isChecked());
    viewer->Image1->setStretch(chbStrech->isChecked());
}

void TfrmSub::pushNeighboursAlong()
{
    // A caption that runs wider at this font than the design's pushes the
    // controls to its right along, instead of being shrunk: the direction
    // buttons follow the order group's caption, the display options follow
    // "ランダム表示）", the colour and the speed buttons follow the display
    // options. The right-hand controls keep their right edges.
    const int gap = platform::scaled(4, platform::dpiFactor(this));
    // Where a check box's or radio button's box and caption end.
    auto end = [](const QWidget* w) { return w->x() + std::min(w->width(), w->sizeHint().width()); };

    QStyleOptionGroupBox title;
    title.initFrom(rgDSort);
    title.text = rgDSort->title();
    title.subControls = QStyle::SC_GroupBoxLabel;
    title.lineWidth = 1;
    const QRect caption = rgDSort->style()->subControlRect(QStyle::CC_GroupBox, &title, QStyle::SC_GroupBoxLabel, rgDSort);
    rbAsend->move(std::max(rbAsend->x(), rgDSort->x() + caption.right() + gap), rbAsend->y());
    rbDesnd->move(std::max(rbDesnd->x(), end(rbAsend) + gap), rbDesnd->y());

    const int optionsLeft = std::max(chbCenter->x(), end(cbRandm) + gap);
    for (QWidget* w : {chbCenter, chbPropo, chbStrech, chbWind})
        w->move(optionsLeft, w->y());

    const int optionsEnd = std::max({end(chbCenter), end(chbPropo), end(chbStrech)});
    Label2->move(std::max(Label2->x(), optionsEnd + gap), Label2->y());
    const int swatchRight = spBkCol->x() + spBkCol->width();
    spBkCol->setGeometry(std::max(spBkCol->x(), Label2->x() + Label2->width() + gap), spBkCol->y(), 0, spBkCol->height());
    spBkCol->resize(swatchRight - spBkCol->x(), spBkCol->height());

    // The bevel shares its rows with "画像の全体を表示" and "画面一杯に拡大".
    const int bevelRight = Bevel1->x() + Bevel1->width();
    const int bevelLeft = std::max(Bevel1->x(), std::max(end(chbPropo), end(chbStrech)) + gap);
    Bevel1->setGeometry(bevelLeft, Bevel1->y(), bevelRight - bevelLeft, Bevel1->height());
    QToolButton* const buttons[] = {sbSerch, btSetPrint, btHelp, btVer};
    const int each = sbSerch->width();
    const int space = (Bevel1->width() - 4 * each) / 5;
    for (int i = 0; i < 4; ++i)
        buttons[i]->move(Bevel1->x() + space + i * (each + space), buttons[i]->y());
}

void TfrmSub::setViewerState(Qt::WindowStates wanted)
{
    TfrmMain* viewer = state_.frmMain;
    viewer->setWindowState(wanted);
    // A shown window takes its new size through the window system; let that
    // arrive before the layout below reads it.
    if (viewer->isVisible())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmSub::setViewerBorder(bool on)
{
    TfrmMain* viewer = state_.frmMain;
    const bool wasVisible = viewer->isVisible();
    viewer->setBorder(on);
    // Changing the frame recreates the native window, which hides it.
    if (wasVisible && !viewer->isVisible())
        viewer->show();
}

QSize TfrmSub::viewerOuterSize() const
{
    TfrmMain* viewer = state_.frmMain;
    if (!viewer->isVisible() && (viewer->windowState() & Qt::WindowMaximized) && viewer->screen())
        return viewer->hasBorder() ? viewer->screen()->availableGeometry().size() : viewer->screen()->geometry().size();
    return viewer->frameGeometry().size();
}

int TfrmSub::viewerClientWidth() const
{
    TfrmMain* viewer = state_.frmMain;
    if (!viewer->isVisible() && (viewer->windowState() & Qt::WindowMaximized) && viewer->screen())
        return viewer->hasBorder() ? viewer->screen()->availableGeometry().width() : viewer->screen()->geometry().width();
    return viewer->width();
}

void TfrmSub::placeInfoRow()
{
    TfrmMain* viewer = state_.frmMain;
    const double f = platform::dpiFactor(viewer);
    viewer->cbDisp->move(viewerClientWidth() - platform::scaled(280, f), viewer->cbDisp->y());
    viewer->lbTitle->resize(std::max(0, viewer->cbDisp->x() - viewer->lbTitle->x() - platform::scaled(50, f)),
                            viewer->lbTitle->height());
}

void TfrmSub::applyWindowMode()
{
    TfrmMain* viewer = state_.frmMain;
    if (!viewer)
        return;
    const double f = platform::dpiFactor(viewer);
    const bool windowMode = viewer->hasBorder();
    const bool wantWindow = chbWind->isChecked();
    if (windowMode && !wantWindow) {
        setViewerState(Qt::WindowNoState);
        setViewerBorder(false);
        setViewerState(Qt::WindowMaximized);
        setPointSize(viewer->lbNitiji, 14);
        setPointSize(viewer->lbTitle, 16);
        viewer->lbTitle->move(platform::scaled(240, f), viewer->lbTitle->y());
        viewer->Image1->resize(viewerOuterSize());
        placeInfoRow();
    } else if (!windowMode && wantWindow) {
        setViewerBorder(true);
        setViewerState(Qt::WindowNoState);
        viewer->fitWorkArea();
        if (viewer->isVisible())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        setPointSize(viewer->lbNitiji, 12);
        setPointSize(viewer->lbTitle, 13);
        viewer->lbTitle->move(platform::scaled(200, f), viewer->lbTitle->y());
        viewer->Image1->resize(viewer->size());
        placeInfoRow();
    } else if (!windowMode && !wantWindow) {
        // It may have been minimised when the folder window was opened.
        setViewerState(Qt::WindowMaximized);
    }
}

void TfrmSub::showEvent(QShowEvent* event)
{
    // The theme's icons, or the style's: reading the style's loads every
    // picture plug-in of Qt's, which a start with a picture, whose folder
    // window stays hidden, need not wait for.
    if (sbSerch->icon().isNull()) {
        const QStyle* st = style();
        sbSerch->setIcon(themeIcon("edit-find", QStyle::SP_FileDialogContentsView, st));
        btSetPrint->setIcon(themeIcon("document-print", QStyle::SP_FileDialogDetailedView, st));
        btHelp->setIcon(themeIcon("help-contents", QStyle::SP_DialogHelpButton, st));
        btVer->setIcon(themeIcon("help-about", QStyle::SP_MessageBoxInformation, st));
    }
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmSub::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    // FormClose: the work list holds nothing of lasting meaning.
    if (!event->spontaneous())
        state_.SortList.clear();
}

void TfrmSub::closeEvent(QCloseEvent* event)
{
    // The window manager's close box: Cancel once there is a show to return
    // to; before that the folder window is the program's only window, and
    // closing it ends the program as Exit does (it must not hide and leave
    // the program running unseen).
    if (event->spontaneous() && !btCancel->isEnabled()) {
        event->ignore();
        QTimer::singleShot(0, this, &TfrmSub::btExitClick);
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmSub::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Minimising is none of this dialog's functions, but some window
    // managers offer it for every window: it would leave the program without
    // a window to return from. Come back at once.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && isVisible())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                setWindowState(windowState() & ~Qt::WindowMinimized);
        });
}

void TfrmSub::reject()
{
    // Escape (or the window system's close) works as Cancel once there is a
    // show to return to; before that the folder window is all there is.
    if (btCancel->isEnabled())
        btCancelClick();
}
