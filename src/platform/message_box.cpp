#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

namespace {
MessageHook& hook()
{
    static MessageHook h;
    return h;
}

QString title()
{
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Daredazi") : name;
}
}  // namespace

void setMessageHook(MessageHook h) { hook() = std::move(h); }

void showMessage(const QString& text, QWidget* parent)
{
    if (hook()) {
        hook()(text);
        return;
    }
    QMessageBox::information(parent, title(), text);
}

bool askYesNo(const QString& text, QWidget* parent)
{
    if (hook())
        return hook()(text);
    return QMessageBox::question(parent, title(), text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

MessageCapture::MessageCapture(bool answer) : answer_(answer)
{
    setMessageHook([this](const QString& text) {
        texts << text;
        return answer_;
    });
}

MessageCapture::~MessageCapture() { setMessageHook(nullptr); }

}  // namespace platform
