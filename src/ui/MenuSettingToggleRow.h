#pragma once

#include "ui/Presentation.h"

#include <QWidget>

class QHBoxLayout;
class QLabel;

namespace quorvel {

class MenuSwitch;
namespace MenuStyle {
class ElidedLabel;
class SymbolLabel;
} // namespace MenuStyle

// One switch row of the menu: symbol, title, a one-line subtitle, an optional trailing
// element and the switch. It knows nothing of the state; its owner fills it at every redraw.
class MenuSettingToggleRow final : public QWidget {
    Q_OBJECT
public:
    explicit MenuSettingToggleRow(QWidget *parent = nullptr);

    void setSymbol(const QString &name, const QColor &color);
    void setTitle(const QString &title);
    void setSubtitle(const QString &text, const QColor &color);
    // The switch's accessibility hint.
    void setHint(const QString &hint);
    void setControl(const Presentation::TimedControl &control);
    // Puts `trailing` between the texts and the switch (the row takes it over); null for none.
    void setTrailing(QWidget *trailing);
    QWidget *trailing() const { return m_trailing; }

    MenuSwitch *toggle() const { return m_switch; }
    QLabel *titleLabel() const;
    QLabel *subtitleLabel() const;

signals:
    void toggleRequested(bool on);

private:
    MenuStyle::SymbolLabel *m_icon;
    QLabel *m_title;
    MenuStyle::ElidedLabel *m_subtitle;
    QHBoxLayout *m_trailingSlot;
    QWidget *m_trailing = nullptr;
    MenuSwitch *m_switch;
};

} // namespace quorvel
