#include "widgets/message_box.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>

namespace widgets {

namespace {
MessageHook& hook()
{
    static MessageHook h;
    return h;
}

QString title()
{
    const QString name = QApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Daredazi") : name;
}

QRect screenArea(QWidget* parent)
{
    QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// A box grows with its text: a list of hundreds of lines, or a line of
// thousands of characters, would put it (and its OK) beyond the screen.
bool tooLongForBox(const QString& text, const QRect& area)
{
    if (area.isEmpty())
        return false;
    const QFontMetrics fm(QApplication::font("QMessageBox"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (static_cast<qint64>(lines.size()) * fm.lineSpacing() > area.height() / 2)
        return true;
    for (const QString& line : lines)
        if (line.size() > 80 && fm.horizontalAdvance(line) > area.width() * 2 / 3)
            return true;
    return false;
}

// The first line as the message, the rest in a list that scrolls, OK below:
// the whole box within the screen.
int runListBox(QMessageBox::Icon icon, const QString& text, QWidget* parent, const QRect& area)
{
    QDialog box(parent);
    box.setWindowTitle(title());
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    box.setWindowModality(Qt::ApplicationModal);
    const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
    const QString heading = firstBreak < 0 ? text : text.left(firstBreak);
    const QString rest = firstBreak < 0 ? QString() : text.mid(firstBreak + 1);

    auto* top = new QHBoxLayout;
    auto* iconLabel = new QLabel(&box);
    const QStyle::StandardPixmap pixmap =
        icon == QMessageBox::Warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
    const int iconSize = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    iconLabel->setPixmap(box.style()->standardIcon(pixmap, nullptr, &box).pixmap(iconSize, iconSize));
    iconLabel->setAlignment(Qt::AlignTop);
    auto* headingLabel = new QLabel(heading, &box);
    headingLabel->setWordWrap(true);
    headingLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(iconLabel);
    top->addWidget(headingLabel, 1);

    auto* list = new QPlainTextEdit(rest, &box);
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setObjectName(QStringLiteral("messageList"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);

    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(top);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);

    // As wide as the longest line needs and as tall as the lines need, but
    // never more than most of the screen.
    const QFontMetrics fm(list->font());
    int widest = 0;
    for (const QString& line : rest.split(QLatin1Char('\n')))
        widest = std::max(widest, fm.horizontalAdvance(line));
    const int width = std::min(std::max(widest + 60, 420), area.width() * 4 / 5);
    const int height = std::min(static_cast<int>(rest.count(QLatin1Char('\n')) + 1) * fm.lineSpacing() + 160,
                                area.height() * 4 / 5);
    box.resize(width, height);
    box.move(area.center() - QPoint(width / 2, height / 2));
    if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok))
        ok->setFocus();
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    return box.exec();
}

int runBox(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons, QWidget* parent)
{
    if (buttons == QMessageBox::Ok) {
        const QRect area = screenArea(parent);
        if (tooLongForBox(text, area))
            return runListBox(icon, text, parent, area);
    }
    QMessageBox box(icon, title(), text, buttons, parent);
    // A box raised while another window takes the screen (the viewer going
    // full screen during a hand-over) must stay above it, or it waits unseen
    // and takes the next key.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setWindowModality(Qt::ApplicationModal);
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    return box.exec();
}
}  // namespace

void setMessageHook(MessageHook h) { hook() = std::move(h); }

void showMessage(const QString& text, QWidget* parent)
{
    if (hook()) {
        hook()(text);
        return;
    }
    runBox(QMessageBox::Information, text, QMessageBox::Ok, parent);
}

bool askYesNo(const QString& text, QWidget* parent)
{
    if (hook())
        return hook()(text);
    return runBox(QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, parent) == QMessageBox::Yes;
}


MessageCapture::MessageCapture(bool answer) : answer_(answer)
{
    setMessageHook([this](const QString& text) {
        texts << text;
        return answer_;
    });
}

MessageCapture::~MessageCapture() { setMessageHook(nullptr); }

}  // namespace widgets
