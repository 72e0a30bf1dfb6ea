#pragma once

#include "ui/Presentation.h"

#include <QFrame>
#include <QList>
#include <QLocale>
#include <QStringList>
#include <functional>

class QLabel;
class QVBoxLayout;

namespace quorvel {

// The small popover a row's trailing element opens: a title, a few lines of text and up to
// two buttons. Its content comes from a source it asks again at every redraw, so it follows
// the state and the language while it is open.
class MenuInfoPopover final : public QFrame {
    Q_OBJECT
public:
    struct Button {
        const char *key = "";
        QString objectName;
        std::function<void()> run;
        bool enabled = true;
        QString trailingSymbol; // drawn after the text ("chevron.right"), none when empty
    };
    struct Content {
        const char *titleKey = "";
        QStringList paragraphs; // finished texts, rich text allowed
        QList<Button> buttons;
    };
    using Source = std::function<Content()>;

    static constexpr int popoverWidth = 260;

    MenuInfoPopover(Source source, QWidget *parent);

    // Asks the source again; rebuilds only what changed.
    void refresh();
    // Below `anchor`, its right edges lined up, kept inside the anchor's screen.
    void showNextTo(QWidget *anchor);

    QString title() const;

signals:
    void dismissed();

protected:
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void rebuild(const Content &content);

    Source m_source;
    bool m_ready = false;
    QString m_signature;
    QLabel *m_title;
    QWidget *m_body = nullptr;
    QVBoxLayout *m_layout;
};

// The contents of the four popovers of the closed-lid row.
namespace MenuInfoContents {

struct ClamshellCallbacks {
    std::function<void()> authorizeAndStart;
    std::function<void()> cancelAuthorization;
    std::function<void()> retry;
};

// Retry after a failure, authorize before the first start, or, once neither applies any more,
// what closed-lid mode is.
MenuInfoPopover::Content clamshellAction(const Presentation::MenuRowAction &action,
                                         const ClamshellCallbacks &callbacks);
MenuInfoPopover::Content residualNeedsAuth(std::function<void()> authorize);
MenuInfoPopover::Content batteryInfo(bool onBattery, qint64 threshold, const QLocale &locale, const QPalette &palette,
                                     std::function<void()> openSettings);
MenuInfoPopover::Content safetyStopInfo(std::function<void()> openSettings);

} // namespace MenuInfoContents

} // namespace quorvel
