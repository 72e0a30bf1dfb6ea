// The status item over a whole application on the simulated platform, with a fake item in the
// platform's place: what the item shows for each state, the two clicks, the command menu and
// its commands; and the image composition on its own, pixel by pixel.

#include "FakeStatusItem.h"
#include "WindowsFixture.h"
#include "composition/SimApp.h"

#include "prefs/LanguageController.h"
#include "prefs/PreferenceKeys.h"
#include "support/LogCapture.h"
#include "ui/MenuPopover.h"
#include "ui/StatusBarController.h"
#include "ui/StatusImage.h"
#include "ui/TrayStatusItem.h"

#include <QApplication>
#include <QFontMetricsF>
#include <cmath>

using namespace quorvel;
using namespace quorvel::test;

namespace {

struct ImageCase {
    const char *name;
    VemoState state;
    bool countdownOn, variableWidth;
    const char *icon;
    std::optional<QString> badge, countdown;
};

class FakeCommands final : public QObject, public StatusBarCommands {
public:
    int settings = 0, about = 0, activity = 0;
    void showSettings() override { ++settings; }
    void showAbout() override { ++about; }
    void showActivity() override { ++activity; }
};

// The controller as the application delegate makes it, in English, over a fake item.
struct Rig {
    SimApp sim;
    std::unique_ptr<LanguageController> language;
    std::unique_ptr<FakeCommands> commands = std::make_unique<FakeCommands>();
    FakeStatusItem *item = nullptr;
    std::unique_ptr<StatusBarController> controller;

    explicit Rig(const std::function<void(FakeStatusItem &)> &setUp = [](FakeStatusItem &) {})
    {
        sim.defaults->setValue(QString::fromLatin1(PreferenceKeys::languagePreference), QStringLiteral("en"));
        language = std::make_unique<LanguageController>(sim.defaults);
        auto fake = std::make_unique<FakeStatusItem>();
        setUp(*fake);
        item = fake.get();
        controller =
            std::make_unique<StatusBarController>(*sim.app, *language, commands.get(), std::move(fake), sim.defaults);
    }
    // Publishes the state, then lets the queued redraw run.
    void setState(const VemoState &state)
    {
        sim.app->store().setState(state);
        QCoreApplication::processEvents();
    }
    QAction *menuEntry(int index) const { return item->shownMenu->actions().at(index); }
};

VemoState timedRunning(qint64 remaining)
{
    VemoState state;
    state.timedSession = TimedSession::Running{remaining};
    return state;
}

// Whether any column at or right of `fromX` (logical) holds ink.
bool inkFrom(const QImage &image, int fromX)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = qRound(fromX * image.devicePixelRatio()); x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

int textWidth(const QString &text)
{
    return int(std::ceil(QFontMetricsF(StatusImage::countdownFont()).horizontalAdvance(text)));
}

} // namespace

Q_DECLARE_METATYPE(ImageCase)

class StatusBarTest : public QObject {
    Q_OBJECT

private slots:
    void imageFollowsTheState_data()
    {
        QTest::addColumn<ImageCase>("row");
        VemoState lidAndTimed = timedRunning(11109), display;
        lidAndTimed.clamshell = Clamshell::RunningOnBattery{64};
        display.displayAwake = DisplayAwake::On{};
        const ImageCase rows[] = {
            {"idle", {}, true, true, "MenuBarIdle", {}, {}},
            {"display on", display, true, true, "MenuBarDisplay", {}, {}},
            {"timed, countdown off", timedRunning(11109), false, true, "MenuBarActive", "timer", {}},
            {"timed, countdown on", timedRunning(11109), true, true, "MenuBarActive", "timer", "3:05:09"},
            {"closed-lid under a timed session", lidAndTimed, true, true, "MenuBarLidMode", {}, {}},
            // A tray slot is square: the countdown goes into the tool tip instead.
            {"tray slot, countdown on", timedRunning(11109), true, false, "MenuBarActive", "timer", {}},
        };
        for (const ImageCase &row : rows)
            QTest::newRow(row.name) << row;
    }
    void imageFollowsTheState()
    {
        QFETCH(ImageCase, row);
        // 24 wide; with a countdown, the text's width + 25 + 2.
        const int width = row.countdown ? textWidth(*row.countdown) + 27 : 24;
        for (const qreal ratio : {1.0, 2.0}) {
            Rig rig([&](FakeStatusItem &item) {
                item.variableWidth = row.variableWidth;
                item.ratio = ratio;
            });
            rig.sim.defaults->setValue(QString::fromLatin1(PreferenceKeys::menuBarCountdownText), row.countdownOn);
            rig.setState(row.state);
            const QImage &image = rig.item->image;
            QVERIFY(rig.item->imageIsTemplate);
            QCOMPARE(image.devicePixelRatio(), ratio);
            QCOMPARE(image.size(), QSize(qRound(width * ratio), qRound(22 * ratio)));
            // The text stands right of the badge's column, and only when there is a text.
            QCOMPARE(inkFrom(image, StatusImage::textX), row.countdown.has_value());
            QCOMPARE(image, StatusImage::compose(QString::fromLatin1(row.icon), row.badge, row.countdown, ratio));
            if (!row.variableWidth)
                QVERIFY2(rig.item->toolTip.endsWith(QStringLiteral(" · 3:05:09")), qPrintable(rig.item->toolTip));
        }
    }

    // A tick that changes nothing the item shows hands nothing on; one that does is drawn once;
    // the countdown's digits never change the image's width.
    void ticks()
    {
        Rig rig;
        rig.setState(timedRunning(100));
        const int images = rig.item->imageUpdates, toolTips = rig.item->toolTipUpdates;
        for (qint64 remaining = 99; remaining > 90; --remaining)
            rig.setState(timedRunning(remaining));
        QCOMPARE(rig.item->imageUpdates, images);
        QCOMPARE(rig.item->toolTipUpdates, toolTips);
        // The preference counts from the next change on; that tick writes two fields of the
        // state and is drawn once.
        rig.sim.defaults->setValue(QString::fromLatin1(PreferenceKeys::menuBarCountdownText), true);
        QCOMPARE(rig.item->image.width(), 24);
        rig.sim.app->store().setTimedRunning(90);
        QCoreApplication::processEvents();
        QCOMPARE(rig.item->imageUpdates, images + 1);
        const int width = textWidth(QStringLiteral("0:01:30")) + 27;
        QCOMPARE(rig.item->image.width(), width);
        for (const qint64 remaining : {4271, 28799, 111}) { // 1:11:11, 7:59:59, 0:01:51
            rig.setState(timedRunning(remaining));
            QCOMPARE(rig.item->image.width(), width);
        }
    }

    void badgeStandsOnAClearedCircle()
    {
        const auto badge = std::optional(QStringLiteral("exclamationmark.triangle.fill"));
        const QPointF centre = QRectF(StatusImage::clearedRect).center();
        const qreal radius = StatusImage::clearedRect.width() / 2.0;
        for (const qreal ratio : {1.0, 2.0}) {
            const auto badgeOn = [&](const QColor &color) {
                const int side = qRound(StatusImage::iconSide * ratio);
                QImage base(side, side, QImage::Format_ARGB32_Premultiplied);
                base.fill(color);
                base.setDevicePixelRatio(ratio);
                return StatusImage::compose(base, badge, std::nullopt, ratio);
            };
            const QImage composed = badgeOn(Qt::black), badgeAlone = badgeOn(Qt::transparent);
            QCOMPARE(composed.size(), badgeAlone.size());
            int badgePixels = 0, erased = 0;
            for (int y = 0; y < composed.height(); ++y)
                for (int x = 0; x < qRound(22 * ratio); ++x) {
                    const qreal distance = std::hypot((x + 0.5) / ratio - centre.x(), (y + 0.5) / ratio - centre.y());
                    const int alpha = qAlpha(composed.pixel(x, y));
                    if (distance < radius - 1) {
                        // Inside the circle only the badge is left of the icon.
                        QCOMPARE(alpha, qAlpha(badgeAlone.pixel(x, y)));
                        badgePixels += alpha > 0;
                        erased += alpha == 0;
                    } else if (distance > radius + 1) {
                        QCOMPARE(alpha, 255);
                    }
                }
            QVERIFY(badgePixels > 0 && erased > 0);
        }
    }

    // Each in both languages; a new language shows at once, with no change of state.
    void toolTips()
    {
        Rig rig;
        VemoState residual;
        residual.startupResidual = true;
        const std::tuple<VemoState, const char *, const char *> cases[] = {
            {VemoState{}, "Following the system’s sleep settings", "遵循系统睡眠设置"},
            {timedRunning(600), "Preventing idle sleep", "正在阻止闲置睡眠"},
            {residual, "Quorvel needs your attention", "Quorvel 需要你处理"}};
        for (const auto &[state, english, chinese] : cases) {
            rig.setState(state);
            QCOMPARE(rig.item->toolTip, QString::fromUtf8(english));
            rig.language->setPreference(LanguagePreference::zhHans);
            QCOMPARE(rig.item->toolTip, QString::fromUtf8(chinese));
            rig.language->setPreference(LanguagePreference::en);
            QCOMPARE(rig.item->toolTip, QString::fromUtf8(english));
        }
    }

    // Primary toggles the popover; secondary closes it and pops up a fresh menu each time, after
    // which a primary click opens the popover again; then the menu's commands.
    void clicksAndCommands()
    {
        Rig rig;
        MenuPopover &popover = rig.controller->popover();
        for (const bool shown : {true, false, true}) {
            rig.item->clickPrimary();
            QCOMPARE(popover.isVisible(), shown);
        }
        // Closed by a click elsewhere: when that click was on the item, it does not reopen it.
        popover.close();
        rig.item->clickPrimary();
        QVERIFY(!popover.isVisible());
        rig.item->clickPrimary();
        QVERIFY(popover.isVisible());

        rig.item->clickSecondary();
        QVERIFY(!popover.isVisible());
        QStringList entries;
        for (QAction *action : rig.item->shownMenu->actions())
            entries << (action->isSeparator() ? QStringLiteral("---") : action->text());
        QCOMPARE(entries,
                 (QStringList{"Settings…", "Activity…", "---", "Help ↗", "About Quorvel", "---", "Quit Quorvel"}));
        QCOMPARE(rig.menuEntry(6)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        rig.item->clickPrimary();
        QVERIFY(popover.isVisible());
        QPointer<QMenu> first = rig.item->shownMenu;
        rig.item->clickSecondary();
        QVERIFY(rig.item->shownMenu && rig.item->shownMenu != first);

        // The menu's commands.
        UrlCatcher opened;
        for (const int entry : {0, 1, 4, 3}) // settings, activity, about, help
            rig.menuEntry(entry)->trigger();
        QCOMPARE(rig.commands->settings, 1);
        QCOMPARE(rig.commands->activity, 1);
        QCOMPARE(rig.commands->about, 1);
        QCOMPARE(opened.opened, QList<QUrl>{QUrl(QStringLiteral("https://quorvel.app/quorvel/help/"))});

        // Nothing runs: quitting needs no confirmation.
        rig.menuEntry(6)->trigger();
        QCOMPARE(rig.sim.terminations, 1);
        QVERIFY(rig.sim.quitAlerts.isEmpty());

        // A running session asks first; the answer here is "cancel".
        rig.setState(timedRunning(600));
        rig.item->clickSecondary();
        rig.menuEntry(6)->trigger();
        QCOMPARE(rig.sim.quitAlerts.size(), 1);
        QCOMPARE(rig.sim.terminations, 1);

        // Without the delegate the window commands only close the popover.
        rig.commands.reset();
        rig.item->clickSecondary();
        rig.menuEntry(0)->trigger();
        rig.menuEntry(1)->trigger();
        rig.menuEntry(3)->trigger();
        QCOMPARE(opened.opened.size(), 1);
    }

    void rightClickOnTheItemThroughTheOpenPopover()
    {
        // The popup takes the press that closes it; the item never hears of that click.
        Rig rig([](FakeStatusItem &item) { item.anchorRect = QRect(600, 0, 24, 22); });
        MenuPopover &popover = rig.controller->popover();
        for (const bool onItem : {false, true}) {
            rig.controller->openPopover();
            QVERIFY(popover.isVisible());
            QCursor::setPos(onItem ? QPoint(610, 10) : QPoint(100, 400));
            QTest::mousePress(&popover, Qt::RightButton, {}, popover.mapFromGlobal(QCursor::pos()));
            QTest::mouseRelease(&popover, Qt::RightButton, {}, popover.mapFromGlobal(QCursor::pos()));
            QTRY_VERIFY(!popover.isVisible());
            QCoreApplication::processEvents();
            QCOMPARE(rig.item->shownMenu != nullptr, onItem);
        }
    }

    // Offscreen there is no tray: the real item says so, the log names the backend it falls back
    // to, and the menu opens as a window at once (a hosted item waits for a click). The tray
    // paints its template to stand out from any panel, not in the window palette's colours.
    void withoutATrayTheMenuIsAWindow()
    {
        Rig rig;
        LogCapture log;
        auto owned = std::make_unique<TrayStatusItem>();
        TrayStatusItem &tray = *owned;
        StatusBarController windowed(*rig.sim.app, *rig.language, nullptr, std::move(owned), rig.sim.defaults);
        QVERIFY(windowed.popover().isVisible());
        QCOMPARE(log.lines().filter(QStringLiteral("[app]")),
                 (QStringList{"[WARNING] [app] system tray unavailable, menu opens as a window",
                              "[INFO] [app] status item ready, backend=window"}));

        const auto inkOfIcon = [&tray] {
            const QImage shown = tray.icon().pixmap(QSize(24, 24)).toImage();
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    if (qAlpha(shown.pixel(x, y)) == 255)
                        return QColor(shown.pixel(x, y));
            return QColor();
        };
        // The window palette says nothing about the panel: where the panel cannot be seen the
        // icon is light over a dark ring under any scheme, so it shows on dark and light panels.
        const QPalette original = QApplication::palette();
        QList<QColor> inks;
        for (const QColor ink : {QColor(0x20, 0x30, 0x40), QColor(0xf0, 0xf0, 0xf0)}) {
            QPalette palette = original;
            palette.setColor(QPalette::WindowText, ink);
            QApplication::setPalette(palette);
            inks << inkOfIcon();
        }
        QCOMPARE(inks[0], inks[1]);
        QVERIFY2(inks[0].lightness() > 150, qPrintable(inks[0].name()));
        rig.setState(timedRunning(600));
        QVERIFY(inkOfIcon().lightness() > 150);
        QApplication::setPalette(original);
        // A missing icon (or a senseless ratio) gives no image, and the item shows none.
        QVERIFY(StatusImage::compose(QStringLiteral("MenuBarIdle"), std::nullopt, std::nullopt, 0.0).isNull());
        tray.setImage(StatusImage::compose(QStringLiteral("NoSuchIcon"), std::nullopt, std::nullopt, 1.0), true);
        QVERIFY(tray.icon().isNull());
    }
};

QTEST_MAIN(StatusBarTest)
#include "tst_statusbar.moc"
