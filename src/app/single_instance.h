#pragma once
// One viewer per user: a later start asks the running one to come forward
// and hands it the folder or picture it was asked to open.
#include <QByteArray>
#include <QString>

struct AppState;

namespace app {

// Where the running instance listens, one per user. In the user's private
// runtime folder when there is one, so no other user can take the name;
// else a name made from the numeric user id.
struct InstanceChannel {
    QString name;
    bool abstract = false;  // a socket name without a file (Linux)
};
InstanceChannel instanceChannel();
QString instanceServerName();

// The longest path a later start may hand over, in UTF-8 bytes.
constexpr int kMaxHandOverBytes = 4096;

// What a later start sends: the path in UTF-8 and a line end; an empty line
// asks only for the viewer to come forward.
QByteArray handOverMessage(const QString& path);

// The path in a received message; false when the message is
// not exactly one acceptable line: longer than kMaxHandOverBytes, not UTF-8,
// holding control characters, or not an absolute path.
bool parseHandOverMessage(const QByteArray& message, QString* path);

// Claims the user's instance name, or, when a running viewer holds it, hands
// it path (may be empty) and asks it to come forward. Returns true when one
// answered, in which case this process ends without a window. Safe against
// several starts at the same moment: exactly one of them keeps the name.
bool forwardToRunningInstance(const QString& path = {});

// Starts answering later starts of the program; call after the viewer
// exists. Requests that arrived while the windows were being made are
// answered now. A client that has not sent one acceptable line within a
// second is dropped.
void listenForLaterInstances(AppState& state);

// What a later start asks for: the viewer restored when minimised, else
// raised; the folder window raised over it while it is open.
void bringForward(AppState& state);

}  // namespace app
