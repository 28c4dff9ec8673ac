// Speed of the folder window: the time from process start to the folder
// window painted, OK over 1,000 folders holding 50,000 pictures against a
// plain recursive listing of the same tree, and listing one folder of 10,000
// pictures into the file list against a plain listing of that folder.
// Prints its figures and ratios; asserts nothing.
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QCheckBox>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/app_state.h"
#include "app/startup.h"
#include "folder/tfrm_sub.h"
#include "widgets/file_list_box.h"
#include "widgets/folder_tree.h"
#include "platform/folder_walk.h"
#include "widgets/message_box.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Milliseconds since this process started (Linux: /proc, 10 ms steps); -1
// elsewhere.
double msSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string s((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = s.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::vector<std::string> fields;
    std::string field;
    for (char c : s.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (fields.size() < 20)
        return -1;
    const double startTicks = std::stod(fields[19]);  // field 22 of the whole line
    std::ifstream up("/proc/uptime");
    double uptime = 0;
    up >> uptime;
    return (uptime - startTicks / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000.0;
}

long statusKb(const char* key)
{
    std::ifstream st("/proc/self/status");
    std::string line;
    while (std::getline(st, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return -1;
}

class PaintWatch : public QObject {
public:
    bool painted = false;
    double atProcess = -1;
    double atMain = -1;
    Clock::time_point mainStart;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && !painted) {
            painted = true;
            atMain = msSince(mainStart);
            atProcess = msSinceProcessStart();
        }
        return false;
    }
};

// The machine is shared with builds, so the best of several runs is the
// steadiest figure of each side.
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

size_t plainRecursiveListing(const QString& root)
{
    size_t n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root.toStdString())) {
        const std::string name = e.path().filename().string();
        n += name.empty() ? 0 : 1;
    }
    return n;
}

size_t plainQtRecursiveListing(const QString& root)
{
    size_t n = 0;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        n += it.fileName().isEmpty() ? 0 : 1;
    }
    return n;
}

size_t plainListing(const QString& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.toStdString()))
        names.push_back(e.path().filename().string());
    return names.size();
}

void makeFiles(const QString& dir, int count, const char* prefix)
{
    QDir().mkpath(dir);
    for (int i = 0; i < count; ++i) {
        QFile f(dir + QStringLiteral("/%1_%2.JPG").arg(QLatin1String(prefix)).arg(i, 5, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const auto mainStart = Clock::now();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    app::prepareApplication();
    widgets::MessageCapture messages;  // no box may wait for a click here

    // Start-up to the folder window painted.
    AppState state;
    PaintWatch watch;
    watch.mainStart = mainStart;
    app::createWindows(state);
    state.frmSub->installEventFilter(&watch);
    const auto waitStart = Clock::now();
    while (!watch.painted && msSince(waitStart) < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("start-up: folder window painted %.1f ms after main, %.0f ms after process start "
                "(platform %s)\n",
                watch.atMain, watch.atProcess, qPrintable(QApplication::platformName()));

    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;

    // 1,000 folders (20 with 49 sub-folders each), 50 pictures in each.
    const QString tree = tmp.filePath(QStringLiteral("tree"));
    QDir().mkpath(tree);
    int folders = 0;
    for (int a = 0; a < 20; ++a) {
        const QString top = tree + QStringLiteral("/top%1").arg(a, 2, 10, QLatin1Char('0'));
        makeFiles(top, 50, "T");
        ++folders;
        for (int b = 0; b < 49; ++b) {
            makeFiles(top + QStringLiteral("/sub%1").arg(b, 2, 10, QLatin1Char('0')), 50, "S");
            ++folders;
        }
    }
    const QString big = tmp.filePath(QStringLiteral("big"));
    makeFiles(big, 10000, "B");

    const int reps = 7;
    plainRecursiveListing(tree);  // warm the directory cache
    std::vector<double> plainStd, plainQt, ok;
    size_t entries = 0;
    for (int r = 0; r < reps; ++r) {
        auto t = Clock::now();
        entries = plainRecursiveListing(tree);
        plainStd.push_back(msSince(t));
        t = Clock::now();
        plainQtRecursiveListing(tree);
        plainQt.push_back(msSince(t));
    }

    TfrmSub* sub = state.frmSub;
    sub->chbUnDr->setChecked(true);
    sub->tvFoldr->selectPath(tree);
    const long rssBefore = statusKb("VmRSS:");
    const long hwmBefore = statusKb("VmHWM:");
    for (int r = 0; r < reps; ++r) {
        if (!sub->isVisible())
            sub->show();
        QApplication::processEvents();
        const auto t = Clock::now();
        sub->btOKClick(sub->btOK);
        ok.push_back(msSince(t));
    }
    std::vector<double> walkOnly;
    for (int r = 0; r < reps; ++r) {
        platform::FolderWalk w;
        const auto t = Clock::now();
        w.setRoot(tree);
        w.expandAll();
        walkOnly.push_back(msSince(t));
    }
    const long rssAfter = statusKb("VmRSS:");
    const long hwmAfter = statusKb("VmHWM:");
    const long extraKb = std::max(rssAfter - rssBefore, hwmAfter > hwmBefore ? hwmAfter - rssBefore : 0L);
    const double plainBest = std::min(best(plainStd), best(plainQt));
    std::printf("OK with sub-folders: %d folders, %lld pictures in the show list (%zu entries listed)\n", folders,
                static_cast<long long>(state.FileList.size()), entries);
    std::printf("  plain recursive listing: std::filesystem best %.1f / median %.1f ms, QDirIterator best %.1f / "
                "median %.1f ms (%d runs)\n",
                best(plainStd), median(plainStd), best(plainQt), median(plainQt), reps);
    std::printf("  OK building the show list: best %.1f / median %.1f ms; ratio of bests %.2fx of the faster "
                "plain listing\n",
                best(ok), median(ok), best(ok) / plainBest);
    std::printf("  of which the sub-folder walk (reading every folder once): best %.1f ms\n", best(walkOnly));
    std::printf("  extra memory: %.1f MB (RSS %ld -> %ld kB, peak %ld -> %ld kB)\n", extraKb / 1024.0, rssBefore,
                rssAfter, hwmBefore, hwmAfter);

    // One folder of 10,000 pictures into FLList.
    if (!sub->isVisible())
        sub->show();
    sub->tvFoldr->selectPath(big);
    std::vector<double> plainOne, list, boxOnly, fillOnly;
    for (int r = 0; r < reps; ++r) {
        widgets::FileListBox box;
        auto tb = Clock::now();
        box.setDirectory(big);
        boxOnly.push_back(msSince(tb));
        auto t = Clock::now();
        plainListing(big);
        plainOne.push_back(msSince(t));
        t = Clock::now();
        sub->tvFoldrChange();
        list.push_back(msSince(t));
        t = Clock::now();
        sub->FLLstSort(-1);
        fillOnly.push_back(msSince(t));
    }
    std::printf("one folder of 10,000 pictures: plain listing best %.1f / median %.1f ms, into FLList best %.1f "
                "/ median %.1f ms (%d lines; the masked, sorted listing alone best %.1f ms, filling FLList from it "
                "best %.1f ms); ratio of bests %.2fx\n",
                best(plainOne), median(plainOne), best(list), median(list), sub->FLList->count(), best(boxOnly),
                best(fillOnly),
                best(list) / best(plainOne));

    app::destroyWindows(state);
    return 0;
}
