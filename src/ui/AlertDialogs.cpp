#include "ui/AlertDialogs.h"

#include "ui/Activation.h"
#include "ui/Contrast.h"
#include "ui/SettingsRows.h"
#include "ui/Symbols.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QStyle>

namespace quorvel::AlertDialogs {

namespace {

// The symbol is drawn at the size of the dialog's own icons, in the colour of the alert's
// style; without it the style's standard icon stands in.
void setSymbol(QMessageBox &box, const QString &symbol, QMessageBox::Icon style)
{
    box.setIcon(style);
    const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    const QColor hue = style == QMessageBox::Critical  ? QColor(0xe5, 0x48, 0x4d)
                       : style == QMessageBox::Warning ? QColor(0xf5, 0x9e, 0x0b)
                                                       : box.palette().color(QPalette::Highlight);
    // A symbol as large as the dialog's icon reads at the contrast of large text; bright
    // orange on a light dialog does not reach even that.
    const QColor colour = Contrast::readable(hue, box.palette().color(QPalette::Window), Contrast::largeText);
    const QPixmap pixmap = Symbols::pixmap(symbol, side, colour, box.devicePixelRatioF());
    if (!pixmap.isNull())
        box.setIconPixmap(pixmap);
}

std::unique_ptr<QMessageBox> makeBox(const QString &title, const QString &message, QMessageBox::Icon style,
                                     const QString &symbol, const QString &first, const QString &second)
{
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(QStringLiteral("Quorvel"));
    box->setText(title);
    box->setInformativeText(message);
    // Long explanations read as a paragraph, not a narrow column.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 340px; }"));
    setSymbol(*box, symbol, style);
    QPushButton *firstButton = box->addButton(first, QMessageBox::AcceptRole);
    QPushButton *secondButton = box->addButton(second, QMessageBox::RejectRole);
    firstButton->setObjectName(QStringLiteral("firstButton"));
    secondButton->setObjectName(QStringLiteral("secondButton"));
    box->setDefaultButton(firstButton);
    // The answer the dialog leads to, in the accent colour as the desktop draws it.
    SettingsStyle::makeProminent(firstButton);
    box->setEscapeButton(secondButton);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

QMessageBox::Icon iconOf(Alert::Style style)
{
    switch (style) {
    case Alert::Style::warning: return QMessageBox::Warning;
    case Alert::Style::critical: return QMessageBox::Critical;
    case Alert::Style::informational: break;
    }
    return QMessageBox::Information;
}

} // namespace

std::unique_ptr<QMessageBox> make(const Alert &alert)
{
    return makeBox(qtTrId(alert.titleKey.toLatin1().constData()), qtTrId(alert.messageKey.toLatin1().constData()),
                   iconOf(alert.style), alert.iconName, qtTrId(alert.firstButtonKey.toLatin1().constData()),
                   qtTrId(alert.secondButtonKey.toLatin1().constData()));
}

std::unique_ptr<QMessageBox> make(const QuitAlert &alert)
{
    return makeBox(alert.messageText, alert.informativeText, QMessageBox::Warning,
                   QString::fromLatin1(QuitAlert::iconName), alert.firstButton, alert.secondButton);
}

int run(QMessageBox &box)
{
    // An agent app is rarely the active one when it asks: the dialog must not open behind.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    activateApplication(true);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return box.clickedButton() && box.clickedButton()->objectName() == QLatin1String("firstButton") ? alertFirstButton
                                                                                                    : alertSecondButton;
}

AlertPresenter presenter()
{
    return [](const Alert &alert) {
        const auto box = make(alert);
        return run(*box);
    };
}

QuitAlertPresenter quitPresenter()
{
    return [](const QuitAlert &alert) {
        const auto box = make(alert);
        return run(*box);
    };
}

} // namespace quorvel::AlertDialogs
