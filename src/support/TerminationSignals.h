#pragma once

#include <QObject>

class QSocketNotifier;

namespace quorvel {

// SIGTERM, SIGINT and SIGHUP, handed to the event loop. A signal handler may do next to
// nothing, so it only writes the signal's number into a socket pair; the notifier reads it on
// the main thread, where the orderly quit (clean-up, then the quit event) can run. One per
// process: installing it again replaces the handlers' target.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // "SIGTERM", "SIGINT", "SIGHUP", or the number.
    static QString name(int signal);

    // True once one of the signals has arrived in this process. Safe to ask from anywhere: a
    // wait that keeps the main thread from the event loop (the administrator dialog) asks it
    // to give up in time for the orderly quit.
    static bool arrived();

signals:
    void received(int signal);

private:
    void drain();

    int m_sockets[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace quorvel
