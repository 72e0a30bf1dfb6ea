#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace quorvel {

class AppCoordinator;
class LanguageController;

// The settings and about windows: one of each, reused while visible, a new one after close.
class SecondaryWindows final : public QObject {
    Q_OBJECT
public:
    SecondaryWindows(AppCoordinator &coordinator, LanguageController &language, QObject *parent = nullptr);
    ~SecondaryWindows() override;

    void showSettings();
    void showAbout();
    QWidget *settingsWindow() const { return m_settings; }
    QWidget *aboutWindow() const { return m_about; }

private:
    AppCoordinator &m_coordinator;
    LanguageController &m_language;
    QPointer<QWidget> m_settings;
    QPointer<QWidget> m_about;
};

} // namespace quorvel
