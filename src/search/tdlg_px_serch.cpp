#include "search/tdlg_px_serch.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "folder/display_order.h"
#include "folder/buffered_file.h"
#include "folder/read_ahead.h"
#include "folder/tfrm_sub.h"
#include "widgets/click_label.h"
#include "platform/dpi.h"
#include "platform/end_signals.h"
#include "platform/fonts.h"
#include "platform/window_functions.h"
#include "widgets/message_box.h"
#include "widgets/radio_group.h"
#include "search/search_match.h"
#include "viewer/tfrm_main.h"

namespace {

const QString kInitialWords = QStringLiteral("検索する語を記入する");
const QString kNoConditions = QStringLiteral("検索条件が何も入力されていません。");

}  // namespace

TdlgPxSerch::TdlgPxSerch(AppState& state, QWidget* parent) : QDialog(parent), state_(state)
{
    setWindowTitle(QStringLiteral("検索設定"));
    setWindowFlags(platform::kFixedDialogFlags);
    setModal(true);
    const double f = platform::dpiFactor(this);
    setFont(platform::uiFont(platform::scaled(15, f)));
    // 26 units wider than the design: "標題とコメントの両方を検索する" keeps
    // the dialog's font size on its line beside the group.
    setFixedSize(platform::scaled(456, f), platform::scaled(236, f));

    Label1 = new QLabel(QStringLiteral("検索語"), this);
    platform::placeAt(Label1, 16, 22, 60, 20, f);
    edSerch = new QLineEdit(kInitialWords, this);
    edSerch->setToolTip(QStringLiteral("半角スペースで区切って複数の検索語"));
    platform::placeAt(edSerch, 84, 18, 356, 26, f);

    rgSerAria = new widgets::RadioGroup(QStringLiteral("検索対象"),
                                         {QStringLiteral("標題"), QStringLiteral("コメント")}, this);
    // Two columns: the items side by side.
    if (auto* box = qobject_cast<QBoxLayout*>(rgSerAria->layout()))
        box->setDirection(QBoxLayout::LeftToRight);
    rgSerAria->setItemIndex(0);
    platform::placeAt(rgSerAria, 16, 54, 190, 52, f);

    cbBothSer = new QCheckBox(QStringLiteral("標題とコメントの両方を検索する"), this);
    platform::placeAt(cbBothSer, 216, 76, 232, 22, f);

    Label2 = new QLabel(QStringLiteral("撮影日時"), this);
    platform::placeAt(Label2, 16, 124, 66, 20, f);
    edDtSer = new QLineEdit(this);
    edDtSer->setToolTip(QStringLiteral("撮影日時情報をand条件で検索します"));
    platform::placeAt(edDtSer, 84, 120, 200, 26, f);

    pbKen = new QProgressBar(this);
    pbKen->setRange(0, 100);
    pbKen->setValue(0);
    pbKen->setTextVisible(false);
    pbKen->setVisible(false);
    platform::placeAt(pbKen, 16, 158, 424, 16, f);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    platform::placeAt(OKBtn, 250, 190, 90, 32, f);
    CancelBtn = new QPushButton(QStringLiteral("キャンセル"), this);
    platform::placeAt(CancelBtn, 350, 190, 90, 32, f);

    // The labels take the height their text needs, centred on their fields.
    for (auto [label, field] : {std::pair{Label1, edSerch}, std::pair{Label2, edDtSer}}) {
        label->resize(label->width(), std::max(label->height(), label->sizeHint().height()));
        label->move(label->x(), field->y() + (field->height() - label->height()) / 2);
    }
    // Its caption keeps the dialog's font size: the dialog widens where the
    // font needs more than the design gives.
    if (cbBothSer->sizeHint().width() > cbBothSer->width())
        cbBothSer->resize(cbBothSer->sizeHint().width(), cbBothSer->height());
    const int needed = cbBothSer->x() + cbBothSer->width() + platform::scaled(8, f);
    if (needed > width()) {
        const int more = needed - width();
        setFixedSize(needed, height());
        for (QWidget* w : std::initializer_list<QWidget*>{edSerch, pbKen})
            w->resize(w->width() + more, w->height());
        for (QWidget* w : std::initializer_list<QWidget*>{OKBtn, CancelBtn})
            w->move(w->x() + more, w->y());
    }

    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
    connect(cbBothSer, &QCheckBox::clicked, this, [this] { cbBothSerClick(); });
}

TdlgPxSerch::~TdlgPxSerch() = default;

void TdlgPxSerch::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TdlgPxSerch::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TdlgPxSerch::FormShow()
{
    cbBothSer->setChecked(false);
    rgSerAria->setEnabled(true);
    rgSerAria->setItemIndex(0);
    pbKen->setValue(0);
    pbKen->setVisible(false);
    edSerch->setFocus();
}

void TdlgPxSerch::FormHide()
{
    QWidget* controls[] = {OKBtn, CancelBtn, edSerch, cbBothSer, rgSerAria, edDtSer};
    for (QWidget* w : controls)
        w->setEnabled(true);
}

void TdlgPxSerch::cbBothSerClick() { rgSerAria->setEnabled(!cbBothSer->isChecked()); }

void TdlgPxSerch::OKBtnClick()
{
    if (running_)
        return;
    if (edSerch->text() == kInitialWords)
        edSerch->clear();
    if (search::trimBlanks(edSerch->text()).isEmpty() && search::trimBlanks(edDtSer->text()).isEmpty()) {
        widgets::showMessage(kNoConditions, this);
        return;
    }
    lastRunMatched_ = false;
    keepShow();
    if (state_.frmSub)
        state_.frmSub->btOKClick(OKBtn);
    // A run that ended with "nothing to search" or "nothing found" (or never
    // began) gives the viewer its show back: the picture on screen must
    // belong to the list that the next advance, turn or print uses.
    if (!lastRunMatched_)
        restoreShow();
    kept_ = KeptShow();
    accept();
}

void TdlgPxSerch::reject()
{
    // Escape must not close the dialog under a running search.
    if (running_)
        return;
    QDialog::reject();
}

void TdlgPxSerch::keepShow()
{
    kept_.valid = true;
    kept_.fileList = state_.FileList;
    kept_.folderIndexList = state_.FolderIndexList;
    kept_.folderList = state_.FolderList;
    kept_.currentIndex = state_.CurrentIndex;
    kept_.viewerReady = state_.ViewerReady;
    kept_.position = state_.frmMain && state_.frmMain->lbPosi ? state_.frmMain->lbPosi->text() : QString();
}

void TdlgPxSerch::restoreShow()
{
    if (!kept_.valid)
        return;
    state_.FileList = kept_.fileList;
    state_.FolderIndexList = kept_.folderIndexList;
    state_.FolderList = kept_.folderList;
    state_.CurrentIndex = kept_.currentIndex;
    // An empty show handed over meanwhile must not make the viewer take clicks.
    state_.ViewerReady = kept_.viewerReady;
    if (state_.frmMain && state_.frmMain->lbPosi)
        state_.frmMain->lbPosi->setText(kept_.position);
}

bool TdlgPxSerch::SearchRun()
{
    running_ = true;
    const search::Conditions conditions =
        search::makeConditions(edSerch->text(), edDtSer->text(), cbBothSer->isChecked(),
                               rgSerAria->itemIndex(), state_.SearchSortsByDate);
    for (QString& w : state_.SearchWords)
        w.clear();
    const QStringList typed = search::splitWords(edSerch->text());
    for (int i = 0; i < typed.size() && i < search::kMaxWords; ++i)
        state_.SearchWords[static_cast<size_t>(i)] = typed[i];
    state_.SearchDateText = search::trimBlanks(edDtSer->text());

    QStringList folderNumbers;  // R1
    QStringList results;        // R2: names, or date entries
    int matches = 0;
    int shown = 0;
    const qsizetype n = std::min(state_.FileList.size(), state_.FolderIndexList.size());
    // The files are read ahead on a few threads, over copies of the lists
    // (the dialog keeps handling events meanwhile); the results are taken
    // here in list order.
    const QStringList files = state_.FileList;
    const QStringList folderIndexes = state_.FolderIndexList;
    std::vector<std::shared_ptr<const order::Folder>> folders;
    folders.reserve(static_cast<size_t>(state_.FolderList.size()));
    // A search over a few folders opens their files by name within them;
    // over many, by path (a descriptor held for each would be too many).
    const bool held = state_.FolderList.size() <= 16;
    for (const QString& f : state_.FolderList)
        folders.push_back(std::make_shared<const order::Folder>(order::nativePath(f), held));
    auto folderOf = [](const QStringList& indexes, size_t folderCount, qsizetype i) {
        bool ok = false;
        const int folder = indexes[i].toInt(&ok);
        return ok && folder >= 0 && static_cast<size_t>(folder) < folderCount ? folder : -1;
    };
    // The reads own copies of what they use: a read that hangs outlives
    // this run.
    order::ReadAhead<search::PictureMatch> reads(
        static_cast<size_t>(n), [files, folderIndexes, folders, conditions, folderOf](size_t k) {
            const auto i = static_cast<qsizetype>(k);
            const int folder = folderOf(folderIndexes, folders.size(), i);
            if (folder < 0)
                return search::PictureMatch{};
            return search::matchPicture(*folders[static_cast<size_t>(folder)], order::nativeName(files[i]),
                                        conditions);
        },
        order::kReadThreads, order::readsWaitForDiskFromNow());
    reads.setHint([files, folderIndexes, folders, folderOf](size_t k) {
        const auto i = static_cast<qsizetype>(k);
        if (const int folder = folderOf(folderIndexes, folders.size(), i); folder >= 0)
            folders[static_cast<size_t>(folder)]->hint(order::nativeName(files[i]));
    });
    reads.setWaitPump([] { return !platform::endRequested(); });
    QElapsedTimer sincePump;
    sincePump.start();
    for (qsizetype i = 0; i < n; ++i) {
        if ((i + 2) * 100 / n > shown) {
            shown = static_cast<int>(i * 100 / n + 3);
            pbKen->setValue(std::min(shown, 100));
        }
        if (platform::endRequested())
            break;
        const int folder = folderOf(folderIndexes, folders.size(), i);
        search::PictureMatch m = reads.take(static_cast<size_t>(i));
        if (folder >= 0) {
            const QString& name = files[i];
            // A file gone or locked since it was listed simply does not match.
            state_.MatchShotDate = m.shotDate;
            if (m.matched) {
                if (conditions.collectShotDate) {
                    if (!m.shotDate.isEmpty()) {
                        results.append(m.shotDate + name + order::folderNumberText(folder));
                        ++matches;
                    }
                } else {
                    folderNumbers.append(folderIndexes[i]);
                    results.append(name);
                    ++matches;
                }
            }
        }
        // Keep the dialog painted and the bar moving. Handling the pending
        // messages costs little, but not nothing, so with thousands of
        // files it is done when the bar moved or a frame's time has passed.
        if (sincePump.elapsed() >= 15 || i + 1 == n || pbKen->value() != lastPumpedValue_) {
            lastPumpedValue_ = pbKen->value();
            QCoreApplication::processEvents();
            ++eventPumps_;
            sincePump.restart();
        }
    }
    running_ = false;
    lastRunMatched_ = matches > 0;
    if (matches > 0) {
        if (conditions.collectShotDate) {
            state_.SortList = results;
        } else {
            state_.FolderIndexList = folderNumbers;
            state_.FileList = results;
        }
    }
    return matches > 0;
}

void TdlgPxSerch::sortAndSplitResults()
{
    const bool ascending = state_.frmSub && state_.frmSub->rbAsend ? state_.frmSub->rbAsend->isChecked() : true;
    order::sortAndSplit(state_.SortList, order::kShotDateKeyLength, ascending, state_.FolderIndexList,
                        state_.FileList);
}
