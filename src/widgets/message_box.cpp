#include "widgets/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

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

int runBox(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons, QWidget* parent)
{
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
