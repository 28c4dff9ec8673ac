// The folder window's display orders: as listed (optionally shuffled), by
// file date and by shooting date, each ascending or descending.
#include "folder/tfrm_sub.h"

#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "folder/buffered_file.h"
#include "folder/display_order.h"
#include "folder/read_ahead.h"
#include "platform/end_signals.h"
#include "platform/file_names.h"
#include "widgets/file_list_box.h"
#include "widgets/radio_group.h"
#include "widgets/wide_lines.h"

namespace {

// Busy cursor for the length of one fill; shooting dates of a big folder
// take a moment.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The shooting dates of the named files of the folder, in list order (not
// found for a file without Exif or date); the files are read on the pool's
// threads. meanwhile runs on this thread while the files are read.
std::vector<order::ShotDateKey> shotDateKeys(const QString& folder, const QStringList& names,
                                             const std::function<void()>& meanwhile = {})
{
    const auto dir = std::make_shared<const order::Folder>(order::nativePath(folder));
    // Copies: a read that hangs outlives this call.
    order::ReadAhead<order::ShotDateKey> keys(static_cast<size_t>(names.size()), [dir, names](size_t k) {
        const QString& name = names[static_cast<qsizetype>(k)];
        if (!order::carriesExif(name))
            return order::ShotDateKey();
        return order::shotDateKey(order::ShotDateBytes(*dir, order::nativeName(name)));
    }, order::kReadThreads, order::readsWaitForDiskFromNow());
    keys.setHint([dir, names](size_t k) {
        const QString& name = names[static_cast<qsizetype>(k)];
        if (order::carriesExif(name))
            dir->hint(order::nativeName(name));
    });
    keys.setWaitPump([] { return !platform::endRequested(); });
    std::vector<order::ShotDateKey> out;
    out.reserve(static_cast<size_t>(names.size()));
    const auto takeNext = [&] { out.push_back(keys.take(out.size())); };
    if (meanwhile) {
        // The first file tells whether the folder waits for the disk; if so
        // every thread is reading before this one turns to other work.
        if (!names.isEmpty() && !platform::endRequested())
            takeNext();
        keys.keepUp();
        meanwhile();
    }
    while (out.size() < static_cast<size_t>(names.size()) && !platform::endRequested())
        takeNext();
    return out;
}

}  // namespace

// What the list's scroll width needs of each name, measured once: its
// width in single-byte characters, and its width in the list's font
// summed from its characters' advances, looked up once per character (a
// folder of thousands of names cannot afford a text layout each).
struct order::NameWidths {
    QStringList shown;          // as the list shows it
    std::vector<int> units;     // order::displayWidth
    std::vector<int> estimate;  // pixels, without kerning
};

namespace {

using order::NameWidths;

NameWidths measureNames(const QFontMetrics& fm, const QStringList& names)
{
    NameWidths w;
    w.shown.reserve(names.size());
    w.units.reserve(static_cast<size_t>(names.size()));
    w.estimate.reserve(static_cast<size_t>(names.size()));
    // ASCII, most of most names, from a table; the rest from a hash.
    std::array<int, 128> ascii;
    ascii.fill(-1);
    QHash<char16_t, int> advance;
    for (const QString& name : names) {
        const QString shown = platform::displayFileName(name);
        int sum = 0;
        for (const QChar c : shown) {
            const char16_t u = c.unicode();
            if (u < 128) {
                int& a = ascii[u];
                if (a < 0)
                    a = fm.horizontalAdvance(c);
                sum += a;
                continue;
            }
            auto it = advance.constFind(u);
            if (it == advance.constEnd())
                it = advance.insert(u, fm.horizontalAdvance(c));
            sum += *it;
        }
        w.units.push_back(order::displayWidth(shown));
        w.estimate.push_back(sum);
        w.shown.append(shown);
    }
    return w;
}

// The widest in display units, and in pixels, of the names at the given
// positions (all when null). The few widest by estimate are measured as
// drawn, kerning and all.
std::pair<int, int> widestOf(const QFontMetrics& fm, const NameWidths& w, const std::vector<qsizetype>* which)
{
    const qsizetype n = which ? static_cast<qsizetype>(which->size()) : w.shown.size();
    int units = 0;
    std::vector<std::pair<int, qsizetype>> estimates;
    estimates.reserve(static_cast<size_t>(n));
    for (qsizetype k = 0; k < n; ++k) {
        const qsizetype i = which ? (*which)[static_cast<size_t>(k)] : k;
        units = std::max(units, w.units[static_cast<size_t>(i)]);
        estimates.emplace_back(w.estimate[static_cast<size_t>(i)], i);
    }
    const size_t measured = std::min<size_t>(estimates.size(), 16);
    std::partial_sort(estimates.begin(), estimates.begin() + static_cast<std::ptrdiff_t>(measured), estimates.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    int pixels = 0;
    for (size_t k = 0; k < measured; ++k)
        pixels = std::max({pixels, estimates[k].first, fm.horizontalAdvance(w.shown[estimates[k].second])});
    return {units, pixels};
}

// The list's rule, or the room the longest name takes in this font where
// that is more: the list scrolls to the end of every name.
int scrollWidthOf(const QListWidget* list, const NameWidths& widths, const std::vector<qsizetype>* which)
{
    const bool none = which ? which->empty() : widths.shown.isEmpty();
    const auto [units, pixels] = widestOf(list->fontMetrics(), widths, which);
    const int textMargin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    return std::max(order::scrollWidthForWidest(list->width(), units), none ? 0 : pixels + textMargin);
}

QString samePathForm(const QString& path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

}  // namespace

void TfrmSub::FLLstSort(int folderNumber)
{
    // The shooting-date order clears the list while its files are read.
    if (folderNumber == -1 && (FLBox->count() == 0 || rgDSort->itemIndex() != 2))
        FLList->clear();
    if (FLBox->count() == 0)
        return;
    BusyCursor busy;
    switch (rgDSort->itemIndex()) {
    case 1:
        SortTime(folderNumber);
        break;
    case 2:
        SortDate(folderNumber);
        break;
    default:
        if (folderNumber == -1) {
            FLList->addItems(FLBox->items());
            updateListScrollWidth(FLBox->items());
        } else {
            state_.SortList += FLBox->items();
            if (folderNumber > 0) {
                const QString number = QString::number(folderNumber);
                for (int i = 0; i < FLBox->count(); ++i)
                    state_.FolderIndexList.append(number);
            }
        }
        break;
    }
}

void TfrmSub::SortTime(int folderNumber)
{
    const QString dir = FLBox->directory() + QDir::separator();
    const QStringList& names = FLBox->items();
    if (folderNumber == -1) {
        QStringList work;
        work.reserve(names.size());
        for (const QString& n : names)
            work.append(order::fileDateKey(dir + n) + n);
        order::sortEntries(work);
        const QStringList shown = order::namesOfSorted(work, order::kFileDateKeyLength, rbAsend->isChecked());
        FLList->addItems(shown);
        updateListScrollWidth(shown);
        return;
    }
    const QString number = order::folderNumberText(folderNumber);
    for (const QString& n : names)
        state_.SortList.append(order::fileDateKey(dir + n) + n + number);
}

void TfrmSub::SortDate(int folderNumber)
{
    if (folderNumber == -1) {
        fillByShotDate();
        return;
    }
    // Only the formats with Exif carry a shooting date. They are picked out of the
    // listing in hand rather than by listing the folder again under a
    // narrower mask: the mask the user's list was made with stays in force
    // (no file kind drops out of later lists) and the folder is read once.
    const QStringList names = order::exifPictureNames(FLBox->items());
    if (names.isEmpty())
        return;
    if (state_.SearchSortsByDate) {
        // The search reads the dates itself while it looks at each file.
        if (folderNumber == 0) {
            if (samePathForm(FLBox->directory()) == samePathForm(state_.ChosenFolder)) {
                state_.SortList.clear();
                for (int i = 0; i < FLList->count(); ++i)
                    state_.SortList.append(FLList->item(i)->text());
            } else {
                state_.SortList = names;
            }
        } else {
            const QString number = QString::number(folderNumber);
            for (qsizetype i = 0; i < names.size(); ++i)
                state_.FolderIndexList.append(number);
            state_.SortList += names;
        }
        return;
    }
    const QString number = order::folderNumberText(folderNumber);
    const std::vector<order::ShotDateKey> keys = shotDateKeys(FLBox->directory(), names);
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i].found())
            state_.SortList.append(keys[i].text() + names[static_cast<qsizetype>(i)] + number);
}

void TfrmSub::fillByShotDate()
{
    const QStringList names = FLBox->items();
    if (!std::any_of(names.begin(), names.end(), order::carriesExif)) {
        FLList->clear();
        return;
    }
    // While the pool reads the files, this thread lets the old lines go and
    // measures the names, unless that was done for this listing already.
    std::shared_ptr<const NameWidths> widths;
    const std::vector<order::ShotDateKey> keys = shotDateKeys(FLBox->directory(), names, [&] {
        FLList->clear();
        widths = listedWidths(names);
    });
    // The files with a date, in list order, and their entries' order.
    std::vector<qsizetype> index;
    std::vector<int64_t> packed;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].found()) {
            index.push_back(static_cast<qsizetype>(i));
            packed.push_back(keys[i].packed);
        }
    }
    const std::vector<qsizetype> sorted = order::sortedEntryOrder(packed, [&](qsizetype k) {
        const qsizetype at = index[static_cast<size_t>(k)];
        return keys[static_cast<size_t>(at)].text() + names[at];
    });
    // The names are the listing's own strings, not cut out of the entries.
    const bool ascending = rbAsend->isChecked();
    const size_t n = sorted.size();
    QStringList shown;
    shown.reserve(static_cast<qsizetype>(n));
    std::vector<qsizetype> shownAt;
    shownAt.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        const qsizetype at = index[static_cast<size_t>(sorted[ascending ? k : n - 1 - k])];
        const QString& name = names[at];
        shown.append(name.size() <= order::kNameLimit ? name : name.left(order::kNameLimit));
        shownAt.push_back(at);
    }
    FLList->addItems(shown);
    setListScrollWidth(scrollWidthOf(FLList, *widths, &shownAt));
}

std::shared_ptr<const NameWidths> TfrmSub::listedWidths(const QStringList& names)
{
    // The listing is held here, so its strings cannot change in place: the
    // same data is the same listing.
    const QFont font = FLList->font();
    const int dpi = FLList->logicalDpiY();
    if (!listedWidths_ || names.constData() != widthsOf_.constData() || names.size() != widthsOf_.size() ||
        font != widthsFont_ || dpi != widthsDpi_) {
        listedWidths_ = std::make_shared<const NameWidths>(measureNames(FLList->fontMetrics(), names));
        widthsOf_ = names;
        widthsFont_ = font;
        widthsDpi_ = dpi;
    }
    return listedWidths_;
}

void TfrmSub::updateListScrollWidth(const QStringList& shown)
{
    // The listing itself is measured once; other lines each time.
    if (shown.constData() == FLBox->items().constData())
        setListScrollWidth(scrollWidthOf(FLList, *listedWidths(shown), nullptr));
    else
        setListScrollWidth(scrollWidthOf(FLList, measureNames(FLList->fontMetrics(), shown), nullptr));
}

void TfrmSub::setListScrollWidth(int width)
{
    FLList->setProperty("scrollWidth", width);
    // Every line is as wide as the scroll width (the lines share one size),
    // so none is cut short and the list scrolls sideways to the end.
    listItems_->setWidth(width);
    FLList->setHorizontalScrollBarPolicy(width > FLList->viewport()->width() ? Qt::ScrollBarAsNeeded
                                                                              : Qt::ScrollBarAlwaysOff);
    FLList->doItemsLayout();
}

void TfrmSub::rgDSortClick()
{
    const int item = rgDSort->itemIndex();
    if (item == state_.LastSortMode)
        return;
    state_.LastSortMode = static_cast<uint8_t>(item);
    state_.SortList.clear();
    FLLstSort(-1);
    Label4->setText(QString::number(FLList->count()) + QStringLiteral(")"));
}

void TfrmSub::rbAsendClick()
{
    // The direction means nothing to the order as listed.
    if (rgDSort->itemIndex() != 0)
        FLLstSort(-1);
}

void TfrmSub::shuffleFileList()
{
    order::Random32 random(order::clockSeed());
    order::shuffle(state_.FileList, random);
}

void TfrmSub::shuffleSortList()
{
    order::Random32 random(order::clockSeed());
    order::shuffle(state_.SortList, state_.FolderIndexList, random);
}

void TfrmSub::sortAndSplit(int keyLength)
{
    order::sortAndSplit(state_.SortList, keyLength, rbAsend->isChecked(), state_.FolderIndexList,
                        state_.FileList);
}
