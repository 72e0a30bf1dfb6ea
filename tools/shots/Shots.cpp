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
    test::usePalette(theme);
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
    test::walkDialogs(session.walk(QStringLiteral("dialogs")));
}

test::ViewWalk Session::walk(const QString &what)
{
    test::ViewWalk walk;
    for (const LanguagePreference language : {LanguagePreference::en, LanguagePreference::zhHans})
        for (const Theme theme : {Theme::light, Theme::dark})
            walk.looks.append({language, theme});
    walk.use = [this](LanguagePreference language, Theme theme) { use(language, theme); };
    walk.visit = [this, what](const QString &name, QWidget *view) {
        if (!view) {
            ++m_failures;
            std::fprintf(stderr, "shots: %s: no view %s\n", qPrintable(what), qPrintable(name));
            return;
        }
        save(name, view->grab().toImage());
    };
    return walk;
}

} // namespace quorvel::shots
