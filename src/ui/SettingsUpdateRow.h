#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace quorvel {

class UpdateChecker;
class SettingsRowIcon;

// The update checker's state as one status line and one button: check now, or, when a newer
// release is published, download it in the system's default handler.
class SettingsUpdateRow final : public QWidget {
    Q_OBJECT
public:
    explicit SettingsUpdateRow(UpdateChecker *checker, QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void buttonPressed();

    QPointer<UpdateChecker> m_checker;
    SettingsRowIcon *m_icon;
    QLabel *m_status;
    QPushButton *m_button;
};

} // namespace quorvel
