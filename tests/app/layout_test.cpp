// Every window as laid out on this platform, measured with the fonts it
// really gets: no control may paint over a sibling, and no caption may be
// cut by its control or its parent. CTest runs this at 96 and 120 dpi.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <vector>

#include "app/app_state.h"
#include "app/aux_windows.h"
#include "app/startup.h"
#include "folder/tfrm_sub.h"
#include "widgets/click_label.h"
#include "widgets/message_box.h"
#include "print/tdlg_print.h"
#include "search/tdlg_px_serch.h"
#include "support/test_support.h"
#include "viewer/tfrm_main.h"

namespace {

std::string describe(const QWidget* w)
{
    const QString name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    QString text;
    if (auto* l = qobject_cast<const QLabel*>(w))
        text = l->text();
    else if (auto* b = qobject_cast<const QAbstractButton*>(w))
        text = b->text();
    else if (auto* g = qobject_cast<const QGroupBox*>(w))
        text = g->title();
    return (name + QStringLiteral(" \"") + text + QStringLiteral("\"")).toStdString();
}

bool isPlainFrame(const QWidget* w) { return w->metaObject() == &QFrame::staticMetaObject; }

// The text of a label as drawn inside its contents rectangle (unclipped).
QRect labelTextRect(const QLabel* l)
{
    const QRect cr = l->contentsRect();
    const int flags = int(l->alignment()) | (l->wordWrap() ? Qt::TextWordWrap : 0);
    return l->fontMetrics().boundingRect(cr, flags, l->text());
}

// What a widget paints, in its parent's coordinates.
void paintedRects(const QWidget* w, std::vector<QRect>& out)
{
    if (!w->isVisible())
        return;
    const QPoint at = w->pos();
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        if (l->autoFillBackground() || l->frameShape() != QFrame::NoFrame || !l->pixmap().isNull())
            out.push_back(w->geometry());
        else if (!l->text().isEmpty())
            out.push_back(labelTextRect(l).translated(at).intersected(w->geometry()));
        return;
    }
    if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
        // The box and its caption, from the left edge, centred in height.
        const QSize hint = w->sizeHint();
        const int indicator = w->style()->pixelMetric(qobject_cast<const QCheckBox*>(w) ? QStyle::PM_IndicatorHeight
                                                                                      : QStyle::PM_ExclusiveIndicatorHeight,
                                                      nullptr, w);
        const int h = std::min({hint.height(), w->height(), std::max(indicator, w->fontMetrics().height())});
        out.push_back(QRect(at + QPoint(0, (w->height() - h) / 2), QSize(std::min(hint.width(), w->width()), h)));
        return;
    }
    if (auto* t = qobject_cast<const QToolButton*>(w); t && t->autoRaise()) {
        // A flat button draws only its glyph until the pointer is over it.
        QSize content = t->icon().isNull() ? t->fontMetrics().tightBoundingRect(t->text()).size() : t->iconSize();
        content = content.boundedTo(w->size());
        out.push_back(QRect(at + QPoint((w->width() - content.width()) / 2, (w->height() - content.height()) / 2),
                            content));
        return;
    }
    if (auto* g = qobject_cast<const QGroupBox*>(w)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel;
        opt.textAlignment = g->alignment();
        opt.lineWidth = 1;
        opt.features = QStyleOptionFrame::None;
        QRect label = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        label.setHeight(std::min(label.height(), g->fontMetrics().height()));
        out.push_back(label.translated(at));
    }
    if (auto* g = qobject_cast<const QGroupBox*>(w); g || isPlainFrame(w)) {
        bool hasChildWidgets = false;
        for (const QObject* c : w->children())
            hasChildWidgets |= c->isWidgetType();
        if (!g && !hasChildWidgets) {
            auto* frame = static_cast<const QFrame*>(w);
            if (w->autoFillBackground()) {
                out.push_back(w->geometry());  // a colour swatch
            } else {
                // A bevel: only its lines are drawn.
                const QRect r = w->geometry();
                const int lw = std::max(1, frame->frameWidth());
                out.push_back(QRect(r.left(), r.top(), r.width(), lw));
                out.push_back(QRect(r.left(), r.bottom() - lw + 1, r.width(), lw));
                out.push_back(QRect(r.left(), r.top(), lw, r.height()));
                out.push_back(QRect(r.right() - lw + 1, r.top(), lw, r.height()));
            }
            return;
        }
        // A container paints its children (its frame is decoration).
        for (const QObject* c : w->children())
            if (c->isWidgetType()) {
                std::vector<QRect> inner;
                paintedRects(static_cast<const QWidget*>(c), inner);
                for (const QRect& r : inner)
                    out.push_back(r.translated(at));
            }
        return;
    }
    out.push_back(w->geometry());
}

// The first problem found under root, or empty.
void checkTree(const QWidget* parent, QStringList& problems)
{
    std::vector<const QWidget*> kids;
    for (const QObject* c : parent->children())
        if (c->isWidgetType() && static_cast<const QWidget*>(c)->isVisible() && !static_cast<const QWidget*>(c)->isWindow() &&
            !qobject_cast<const QScrollArea*>(c))
            kids.push_back(static_cast<const QWidget*>(c));
    const QRect inside = parent->rect();
    for (const QWidget* k : kids) {
        std::vector<QRect> rects;
        paintedRects(k, rects);
        for (const QRect& r : rects)
            if (!r.isEmpty() && !inside.contains(r))
                problems << QString::fromStdString("cut by its parent: " + describe(k));
        // The caption fits the control.
        if (auto* l = qobject_cast<const QLabel*>(k); l && !l->text().isEmpty() && l->pixmap().isNull()) {
            const QRect t = labelTextRect(l);
            if (!l->contentsRect().contains(t))
                problems << QString::fromStdString("caption cut: " + describe(k)) +
                            QStringLiteral(" (text %1x%2 in %3x%4)").arg(t.width()).arg(t.height())
                                .arg(l->contentsRect().width()).arg(l->contentsRect().height());
        }
        if (qobject_cast<const QCheckBox*>(k) || qobject_cast<const QRadioButton*>(k)) {
            if (k->sizeHint().width() > k->width())
                problems << QString::fromStdString("caption cut: " + describe(k));
        } else if (auto* b = qobject_cast<const QPushButton*>(k); b && !b->text().isEmpty()) {
            if (b->fontMetrics().horizontalAdvance(b->text()) + 8 > b->width())
                problems << QString::fromStdString("caption cut: " + describe(k));
        }
        if (auto* g = qobject_cast<const QGroupBox*>(k))
            if (g->fontMetrics().horizontalAdvance(g->title()) + 8 > g->width())
                problems << QString::fromStdString("caption cut: " + describe(k));
    }
    for (size_t i = 0; i < kids.size(); ++i) {
        std::vector<QRect> a;
        paintedRects(kids[i], a);
        for (size_t j = i + 1; j < kids.size(); ++j) {
            std::vector<QRect> b;
            paintedRects(kids[j], b);
            bool overlap = false;
            for (const QRect& ra : a)
                for (const QRect& rb : b)
                    overlap |= !ra.isEmpty() && !rb.isEmpty() && ra.intersects(rb);
            if (overlap) {
                QString where;
                for (const QRect& ra : a)
                    for (const QRect& rb : b)
                        if (!ra.isEmpty() && !rb.isEmpty() && ra.intersects(rb))
                            where = QStringLiteral(" (%1,%2 %3x%4 meets %5,%6 %7x%8)")
                                        .arg(ra.x()).arg(ra.y()).arg(ra.width()).arg(ra.height())
                                        .arg(rb.x()).arg(rb.y()).arg(rb.width()).arg(rb.height());
                problems << QString::fromStdString("overlap: " + describe(kids[i]) + " / " + describe(kids[j])) + where;
            }
        }
    }
    for (const QWidget* k : kids)
        checkTree(k, problems);
}

// Every problem found, one a line; empty when the window is right.
std::string problemsOf(const QWidget* window)
{
    QStringList problems;
    checkTree(window, problems);
    problems.removeDuplicates();
    return problems.join(u'\n').toStdString();
}

class Layout : public ::testing::Test {
protected:
    void SetUp() override
    {
        app::prepareApplication();
        app::createWindows(state);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(state.frmSub));
    }
    void TearDown() override { app::destroyWindows(state); }
    AppState state;
    std::string at() const
    {
        const double dpi = state.frmSub->logicalDpiY() * state.frmSub->devicePixelRatioF();
        return " at " + std::to_string(qRound(dpi)) + " dpi, LANG=" + qgetenv("LANG").toStdString();
    }
};

TEST_F(Layout, FolderWindowSearchPrintAndVersionWindows)
{
    EXPECT_EQ(problemsOf(state.frmSub), "") << "folder window" << at();
    state.dlgPxSerch->show();
    EXPECT_EQ(problemsOf(state.dlgPxSerch), "") << "search dialog" << at();
    state.dlgPxSerch->hide();
    TDlgPrint print(state, state.frmMain);
    print.show();
    EXPECT_EQ(problemsOf(&print), "") << "print dialog" << at();
    TfrmSSVer version(state.frmSub);
    version.show();
    EXPECT_EQ(problemsOf(&version), "") << "version window" << at();
}

TEST_F(Layout, ViewerWithATitledPictureAndThePanel)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    const auto source = testsupport::testDataDir() / "comments/et_ExifTool.jpg";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(source.string()), dir.filePath(QStringLiteral("a.jpg"))));
    TfrmMain* viewer = state.frmMain;
    // The show as the folder window hands it over.
    state.FolderList = {QDir::toNativeSeparators(dir.path())};
    state.FileList = {QStringLiteral("a.jpg")};
    state.FolderIndexList = {QStringLiteral("0")};
    state.CurrentIndex = 0;
    state.ViewerReady = true;
    viewer->show();
    viewer->handOverSender = state.frmSub->btOK;
    viewer->lbTotal->setText(QStringLiteral("/1"));
    {
        widgets::MessageCapture messages;
        viewer->Image1Click(state.frmSub->btOK);
        ASSERT_TRUE(messages.texts.isEmpty());
    }
    ASSERT_FALSE(viewer->lbTitle->text().isEmpty());
    viewer->Panel1->show();
    EXPECT_EQ(problemsOf(viewer), "") << "viewer" << at();
}

}  // namespace
