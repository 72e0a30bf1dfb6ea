#include "ui/SecondaryWindows.h"

#include <QWidget>

namespace quorvel {

SecondaryWindows::SecondaryWindows(AppCoordinator &coordinator, LanguageController &language, QObject *parent)
    : QObject(parent)
    , m_coordinator(coordinator)
    , m_language(language)
{
}

SecondaryWindows::~SecondaryWindows()
{
    delete m_settings;
    delete m_about;
}

void SecondaryWindows::showSettings() {}

void SecondaryWindows::showAbout() {}

} // namespace quorvel
