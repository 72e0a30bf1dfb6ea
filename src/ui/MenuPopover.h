#pragma once

#include <QWidget>
#include <functional>

namespace quorvel {

class AppCoordinator;
class LanguageController;
class MenuRootView;
class UpdateChecker;

// The menu popover: the whole control surface, a frameless popup 320 wide whose height follows
// its content, placed under the status item and closed by a click elsewhere.
class MenuPopover final : public QWidget {
    Q_OBJECT
public:
    MenuPopover(AppCoordinator &coordinator, LanguageController &language, std::function<void()> openSettings,
                QWidget *parent = nullptr);
    ~MenuPopover() override;

    // Under `anchor` (screen coordinates), kept inside that screen's available area.
    void showUnder(const QRect &anchor);
    // Without a tray to hang from: an ordinary window, so the app stays usable.
    void showAsWindow();

    // Where showUnder() puts a popover of `size` for `anchor` within `available` (a screen's
    // available geometry): centred under the anchor, above it when there is no room below
    // (a panel at the bottom of the screen), and always inside the area.
    static QRect placement(const QRect &anchor, const QSize &size, const QRect &available);

    // For pictures and design work: showing it does not re-read the authorization, nothing fades.
    void setPreview(bool preview);
    // The checker whose result the update row shows; the coordinator's unless told otherwise.
    void setUpdateChecker(UpdateChecker *checker);

    MenuRootView *rootView() const { return m_root; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void usePopupFrame(bool popup);

    MenuRootView *m_root;
    bool m_popup = true;
};

} // namespace quorvel
