#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QWidget>

class QHBoxLayout;
class QVBoxLayout;

namespace quorvel {

// The colours and type the two secondary windows share. Everything is derived from the
// widget's palette, so a light and a dark palette both read well.
namespace SettingsStyle {

enum class Tone { primary, secondary, accent, blue, green, red, orange };

bool isDark(const QPalette &palette);
QColor color(Tone tone, const QPalette &palette);
// The raised panel a group's rows sit on.
QColor panelColor(const QPalette &palette);
// Captions and hints: a step smaller than the body text.
QFont captionFont(const QFont &base);
QFont sectionTitleFont(const QFont &base);
// A symbol recoloured for `widget`'s palette and screen; null when the platform lacks it.
QIcon symbolIcon(const QString &name, int points, const QColor &color, const QWidget *widget);
// Paints a label's text in `tone`; call again after a palette change.
void setTone(QWidget *widget, Tone tone);
// A button filled with the accent colour, for the one action a group leads to.
// Call again after a palette change. Compact: for the small buttons of the menu's rows.
enum class Padding { regular, compact };
void makeProminent(QAbstractButton *button, Padding padding = Padding::regular);
// Back to the inherited look of a button that was prominent.
void makePlain(QAbstractButton *button);

} // namespace SettingsStyle

// A symbol in a fixed square frame, so that the titles beside a column of icons line up.
// The symbol follows the palette; `tone` picks its colour.
class SettingsRowIcon final : public QLabel {
    Q_OBJECT
public:
    explicit SettingsRowIcon(QString systemImage = {}, int frame = 20, QWidget *parent = nullptr);
    void setSymbol(const QString &systemImage, SettingsStyle::Tone tone = SettingsStyle::Tone::accent);
    QString symbol() const { return m_symbol; }
    SettingsStyle::Tone tone() const { return m_tone; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void redraw();
    QString m_symbol;
    SettingsStyle::Tone m_tone = SettingsStyle::Tone::accent;
    int m_frame;
};

// An on/off switch drawn as a sliding knob. Clicking flips it; the owner may set it back
// (with signals blocked) when the change did not take.
class SettingsSwitch final : public QAbstractButton {
    Q_OBJECT
public:
    explicit SettingsSwitch(QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// One row of a settings group: a leading symbol, a title, an optional caption under it,
// extra lines under the caption, and controls on the trailing edge. Keys are looked up
// again on every language change; a row without a caption key keeps what it is given.
class LabeledRow final : public QWidget {
    Q_OBJECT
public:
    LabeledRow(const char *titleKey, const char *captionKey, const QString &systemImage, QWidget *parent = nullptr);

    void addTrailing(QWidget *widget);
    // A line under the title and caption: text takes the column's width, a button its own.
    void addBelow(QWidget *widget, Qt::Alignment alignment = {});
    void setCaption(const QString &text);
    QLabel *titleLabel() const { return m_title; }
    QLabel *captionLabel() const { return m_caption; }
    SettingsRowIcon *icon() const { return m_icon; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    const char *m_titleKey;
    const char *m_captionKey;
    SettingsRowIcon *m_icon;
    QLabel *m_title;
    QLabel *m_caption;
    QVBoxLayout *m_text;
    QHBoxLayout *m_trailing;
};

// A titled group of rows on a raised, rounded panel, rows divided by hairlines.
class SettingsSection final : public QWidget {
    Q_OBJECT
public:
    explicit SettingsSection(const char *titleKey, QWidget *parent = nullptr);
    void addRow(QWidget *row);
    QLabel *titleLabel() const { return m_title; }

protected:
    void changeEvent(QEvent *event) override;

private:
    const char *m_titleKey;
    QLabel *m_title;
    QFrame *m_panel;
    QVBoxLayout *m_rows;
};

} // namespace quorvel
