#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace quorvel {

class UpdateChecker;
namespace MenuStyle {
class ElidedLabel;
class SymbolLabel;
} // namespace MenuStyle

// The update row: present only while the checker knows of a newer release, with a button that
// opens its download in the system's default handler. Absent otherwise, not an empty row.
class MenuUpdateRow final : public QWidget {
    Q_OBJECT
public:
    explicit MenuUpdateRow(UpdateChecker *checker, QWidget *parent = nullptr);

    void setChecker(UpdateChecker *checker);
    QPushButton *downloadButton() const { return m_download; }
    QLabel *textLabel() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();

    QPointer<UpdateChecker> m_checker;
    MenuStyle::SymbolLabel *m_icon;
    MenuStyle::ElidedLabel *m_text;
    QPushButton *m_download;
};

} // namespace quorvel
