#pragma once

#include "app/composition/AppCoordinator.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTextStream>

namespace quorvel {

// Drives the whole application from a terminal, without windows: one command per line on
// standard input, the state printed whenever it changes. For demos of the simulated
// platform and for scripts; the menu-bar interface sends the same commands.
class HeadlessShell final : public QObject {
    Q_OBJECT
public:
    HeadlessShell(AppCoordinator &app, QTextStream &out, QObject *parent = nullptr);
    ~HeadlessShell() override;

    // Reads commands from standard input until it closes (then quits like the menu would).
    void attachStandardInput();
    // Runs one command line; false for an unknown command (a usage line is printed).
    bool execute(const QString &line);
    // One line that says what the state is now.
    QString describe() const;

private:
    void printIfChanged();
    void readStandardInput();

    AppCoordinator &m_app;
    QTextStream &m_out;
    QSocketNotifier *m_input = nullptr;
    QuitAlertPresenter m_quitAlertPresenter; // the one it wraps, given back at the end
    QString m_lastDescription;
    QByteArray m_pending; // input after the last complete line
    bool m_quitting = false;
};

} // namespace quorvel
