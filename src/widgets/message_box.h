#pragma once
// The program's message boxes. Every fixed message goes through here so that
// tests can record the texts instead of blocking on a modal box.
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace widgets {

// An information box with the application's title and an OK button.
void showMessage(const QString& text, QWidget* parent = nullptr);
// A warning that asks Yes or No; true for Yes.
bool askYesNo(const QString& text, QWidget* parent = nullptr);

// While a hook is set, boxes are not shown: the hook gets each text and, for
// askYesNo, its result is the answer.
using MessageHook = std::function<bool(const QString& text)>;
void setMessageHook(MessageHook hook);

// Records every message while it lives (tests); askYesNo answers `answer`.
class MessageCapture {
public:
    explicit MessageCapture(bool answer = true);
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QStringList texts;

private:
    bool answer_;
};

}  // namespace widgets
