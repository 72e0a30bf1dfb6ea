#pragma once

#include <QWidget>
#include <functional>

class QToolButton;

namespace quorvel {

// The foot of the menu: settings on the left, quit on the right.
class MenuFooter final : public QWidget {
    Q_OBJECT
public:
    MenuFooter(std::function<void()> onSettings, std::function<void()> onQuit, QWidget *parent = nullptr);

    QToolButton *settingsButton() const { return m_settings; }
    QToolButton *quitButton() const { return m_quit; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();

    QToolButton *m_settings;
    QToolButton *m_quit;
};

} // namespace quorvel
