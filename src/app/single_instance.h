#pragma once
// One viewer per user and display: a later start on the same display asks
// the running one to come forward and hands it the folder or picture it was
// asked to open; a start on another display (a second login, a remote
// session) runs a viewer of its own there.
#include <QByteArray>
#include <QString>

struct AppState;

namespace app {

// The display a window platform shows on, as part of a socket name: the X
// display (host and number, the screen left out), the Wayland display, or
// the platform's name where it has no display of its own. Only letters,
// digits, '.', '_' and '-'.
QString displayKey(const QString& platformName, const QString& displayName);
// The display this process shows on.
QString displayKey();

// Where the running instance listens, one per user and display. In the
// user's private runtime folder when there is one (owned by the user and
// closed to others), so no other user can take the name; else an abstract
// socket name made from the numeric user id, whose holder is checked to be
// this user before a byte is trusted.
struct InstanceChannel {
    QString name;
    bool abstract = false;  // a socket name without a file (Linux)
};
InstanceChannel instanceChannel(const QString& display);
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
// When the name is held by another user, or by something that does not
// answer within a second, this start runs on without the guard.
bool forwardToRunningInstance(const QString& path = {});

// Starts answering later starts of the program; call after the viewer
// exists. Requests that arrived while the windows were being made are
// answered now. A client that has not sent one acceptable line within a
// second is dropped.
void listenForLaterInstances(AppState& state);

// Stops answering and gives the name up, so that a start while this process
// ends runs a viewer of its own.
void stopListening();

// What a later start asks for: the viewer restored when minimised, else
// raised; the folder window raised over it while it is open.
void bringForward(AppState& state);

}  // namespace app
