// The terminal shell's output as the state changes under it: piped, a line per change, which
// scripts and the reliability tests read; on a terminal, the countdown ticking in place on one
// line and every other change starting a new one.

#include "SimApp.h"

#include "app/composition/HeadlessShell.h"

#include <QTest>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// The steps below, by name: a countdown tick, another change, Return pressed on the terminal,
// the status command.
enum class Step { tick, display, returnPressed, status };

} // namespace

class HeadlessTest : public QObject {
    Q_OBJECT

private slots:
    void output_data()
    {
        QTest::addColumn<HeadlessShell::Output>("output");
        QTest::addColumn<QString>("expected"); // 0-9 stand for the state lines, in order
        const QString rewrite = QStringLiteral("\r\x1b[K");
        QTest::newRow("piped") << HeadlessShell::Output::lines << "0\n1\n2\n3\n4\n5\n6\n";
        QTest::newRow("terminal") << HeadlessShell::Output::terminal
                                  << "0" + rewrite + "1" + rewrite + "2\n3" + rewrite + "4" + "5\n6\n";
    }
    void output()
    {
        QFETCH(HeadlessShell::Output, output);
        QFETCH(QString, expected);
        SimApp sim;
        QString written;
        QStringList lines; // what each state line says
        {
            QTextStream out(&written);
            HeadlessShell shell(*sim.app, out, output);
            VemoState state = sim.app->store().state();
            const auto change = [&](Step step) {
                if (step == Step::returnPressed) {
                    shell.inputLineEnded();
                    step = Step::tick;
                }
                if (step == Step::tick) {
                    const auto *running = std::get_if<TimedSession::Running>(&state.timedSession);
                    state.timedSession = TimedSession::Running{running ? running->remainingSeconds - 1 : 120};
                } else if (step == Step::display) {
                    state.displayAwake = DisplayAwake::On{};
                }
                if (step == Step::status) {
                    shell.execute(QStringLiteral("status"));
                    return;
                }
                sim.app->store().setState(state);
                QCoreApplication::processEvents(); // the shell prints from the event loop
                lines << shell.describe();
            };
            // Started, two ticks, the display kept on, a tick, Return and a tick, the status.
            for (const Step step :
                 {Step::tick, Step::tick, Step::tick, Step::display, Step::tick, Step::returnPressed, Step::status}) {
                change(step);
            }
            lines << shell.describe();
            QCOMPARE(QSet<QString>(lines.begin(), lines.end()).size(), 6); // each step changed the line
            sim.app->store().setState(VemoState{});                        // nothing for the clean-up to undo
            QCoreApplication::processEvents();
        }
        QString wanted;
        for (const QChar c : expected)
            wanted += c.isDigit() ? lines.value(c.digitValue(), QStringLiteral("?")) : QString(c);
        // The last change (back to nothing) is printed as well; the terminal's line is closed
        // when the shell ends.
        QVERIFY2(written.startsWith(wanted), qPrintable(written.left(wanted.size() + 40)));
        const QString rest = written.mid(wanted.size());
        QCOMPARE(rest.count(u'\n'), 1);
        QVERIFY(rest.endsWith(u'\n'));
        QCOMPARE(rest.contains(u'\r'), false);
    }
};

QTEST_GUILESS_MAIN(HeadlessTest)
#include "tst_headless.moc"
