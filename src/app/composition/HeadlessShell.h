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
    // How the state reaches `out`: one line per change (for scripts and pipes), or, on a
    // terminal, a countdown that ticks in place on the current line.
    enum class Output { lines, terminal };

    HeadlessShell(AppCoordinator &app, QTextStream &out, Output output = Output::lines, QObject *parent = nullptr);
    ~HeadlessShell() override;

    // Reads commands from standard input until it closes (then quits like the menu would).
    void attachStandardInput();
    // Runs one command line; false for an unknown command (a usage line is printed).
    bool execute(const QString &line);
    // One line that says what the state is now.
    QString describe() const;
    // The user pressed Return on the terminal: its echo took the cursor to a new line.
    void inputLineEnded();

private:
    QString describe(bool withCountdown) const;
    void printIfChanged();
    // Everything but the state line: it ends an open state line first.
    void printLine(const QString &line);
    void readStandardInput();

    AppCoordinator &m_app;
    QTextStream &m_out;
    QSocketNotifier *m_input = nullptr;
    QuitAlertPresenter m_quitAlertPresenter; // the one it wraps, given back at the end
    Output m_output;
    QString m_lastDescription;
    QString m_lastSteady;       // the last state line without its countdown
    bool m_lineOpen = false;    // on a terminal: the cursor still stands at the end of the state line
    bool m_inputEchoes = false; // standard input is the terminal, so Return moves the cursor
    QByteArray m_pending;       // input after the last complete line
    bool m_quitting = false;
};

} // namespace quorvel
