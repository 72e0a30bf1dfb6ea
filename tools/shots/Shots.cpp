#include "Shots.h"

#include "app/composition/AppCoordinator.h"
#include "ui/AlertDialogs.h"
#include "ui/Presentation.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QWidget>

#include <cstdio>

namespace quorvel::shots {

namespace {

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2d), base(0x1e, 0x1e, 0x20), text(0xec, 0xec, 0xee);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
    p.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x40, 0x9c, 0xff));
    p.setColor(QPalette::Mid, QColor(0x48, 0x48, 0x4a));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7c, 0x7c, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x7c, 0x7c, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7c, 0x7c, 0x80));
    return p;
}

} // namespace

Session::Session(QString folder)
    : m_folder(std::move(folder))
{
}

void Session::use(LanguagePreference language, Theme theme)
{
    if (!m_language)
        m_language = std::make_unique<LanguageController>(m_defaults);
    m_language->setPreference(language);
    m_theme = theme;
    QApplication::setPalette(theme == Theme::dark ? darkPalette() : QApplication::style()->standardPalette());
    m_suffix = QStringLiteral("-%1-%2").arg(language == LanguagePreference::zhHans ? QStringLiteral("zh")
                                                                                   : QStringLiteral("en"),
                                            theme == Theme::dark ? QStringLiteral("dark") : QStringLiteral("light"));
}

void Session::save(const QString &name, const QImage &image)
{
    const QString path = m_folder + QLatin1Char('/') + name + m_suffix + QStringLiteral(".png");
    if (image.isNull() || !image.save(path)) {
        ++m_failures;
        std::fprintf(stderr, "shots: could not render %s\n", qPrintable(path));
    }
}

void Session::save(const QString &name, QWidget &widget)
{
    widget.show();
    QApplication::processEvents();
    save(name, widget.grab().toImage());
    widget.hide();
}

void shootDialogs(Session &session)
{
    const std::pair<const char *, Alert> alerts[] = {{"alert-authorization", Alerts::authorizationRequest()},
                                                     {"alert-revoke-while-active", Alerts::revokeWhileActive()},
                                                     {"alert-restore-failed", Alerts::restoreFailed()}};
    for (const auto &[name, alert] : alerts) {
        const auto box = AlertDialogs::make(alert);
        session.save(QString::fromLatin1(name), *box);
    }
    // The quit confirmation as it reads with a timed session and closed-lid mode running.
    VemoState state;
    state.timedSession = TimedSession::Running{5409};
    if (const auto dialog = Presentation::quitDialog(state)) {
        const auto box = AlertDialogs::make(QuitAlert{dialog->title, dialog->bodyLines.join(QLatin1Char('\n')),
                                                      dialog->confirmLabel, dialog->cancelLabel});
        session.save(QStringLiteral("dialog-quit"), *box);
    }
    const auto leftover = AlertDialogs::make(
        QuitAlert{qtTrId("confirmQuit"),
                  qtTrId("cannotClearSleepPrevention") + QLatin1Char('\n') + qtTrId("suggestManualCloseOrAuth"),
                  qtTrId("forceQuit"), qtTrId("cancel")});
    session.save(QStringLiteral("dialog-quit-leftover"), *leftover);
}

} // namespace quorvel::shots
