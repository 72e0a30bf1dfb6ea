// The status item over a whole application on the simulated platform, with a fake item in the
// platform's place: what the item shows for each state, the two clicks, the command menu and
// its commands; and the image composition on its own, pixel by pixel.

#include "FakeStatusItem.h"
#include "composition/SimApp.h"

#include "prefs/LanguageController.h"
#include "prefs/PreferenceKeys.h"
#include "support/LogCapture.h"
#include "ui/MenuPopover.h"
#include "ui/StatusBarController.h"
#include "ui/StatusImage.h"
#include "ui/TrayStatusItem.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontMetricsF>
#include <QPainter>
#include <QTest>
#include <cmath>

using namespace quorvel;
using namespace quorvel::test;

Q_DECLARE_METATYPE(VemoState)

namespace {

class FakeCommands final : public QObject, public StatusBarCommands {
public:
    int settings = 0;
    int about = 0;
    void showSettings() override { ++settings; }
    void showAbout() override { ++about; }
};

// Receives what QDesktopServices would hand to the browser.
class UrlSink final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

struct Rig {
    SimApp sim;
    std::unique_ptr<LanguageController> language;
    std::unique_ptr<FakeCommands> commands = std::make_unique<FakeCommands>();
    FakeStatusItem *item = nullptr;
    std::unique_ptr<StatusBarController> controller;

    explicit Rig(const std::function<void(FakeStatusItem &)> &setUp = {})
    {
        sim.defaults->setValue(QString::fromLatin1(PreferenceKeys::languagePreference), QStringLiteral("en"));
        language = std::make_unique<LanguageController>(sim.defaults);
        auto fake = std::make_unique<FakeStatusItem>();
        if (setUp)
            setUp(*fake);
        item = fake.get();
        controller =
            std::make_unique<StatusBarController>(*sim.app, *language, commands.get(), std::move(fake), sim.defaults);
    }

    void setCountdownPreference(bool on)
    {
        sim.defaults->setValue(QString::fromLatin1(PreferenceKeys::menuBarCountdownText), on);
    }

    // Copy, adjust, assign; then let the queued redraw run.
    void setState(const VemoState &state)
    {
        sim.app->store().setState(state);
        QCoreApplication::processEvents();
    }

    QStringList menuEntries() const
    {
        QStringList entries;
        if (item->shownMenu)
            for (QAction *action : item->shownMenu->actions())
                entries << (action->isSeparator() ? QStringLiteral("---") : action->text());
        return entries;
    }

    QAction *menuEntry(int index) const { return item->shownMenu->actions().at(index); }
};

VemoState timedRunning(qint64 remaining)
{
    VemoState state;
    state.timedSession = TimedSession::Running{remaining};
    return state;
}

// The columns at and right of `fromX` (logical) that hold any ink.
bool inkFrom(const QImage &image, int fromX)
{
    const int start = qRound(fromX * image.devicePixelRatio());
    for (int y = 0; y < image.height(); ++y)
        for (int x = start; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

QImage solidBase(qreal ratio, const QColor &color)
{
    const int side = qRound(StatusImage::iconSide * ratio);
    QImage base(side, side, QImage::Format_ARGB32_Premultiplied);
    base.fill(color);
    base.setDevicePixelRatio(ratio);
    return base;
}

int textWidth(const QString &text)
{
    return int(std::ceil(QFontMetricsF(StatusImage::countdownFont()).horizontalAdvance(text)));
}

} // namespace

class StatusBarTest : public QObject {
    Q_OBJECT

private slots:
    void imageFollowsTheState_data()
    {
        QTest::addColumn<VemoState>("state");
        QTest::addColumn<bool>("countdownPreference");
        QTest::addColumn<bool>("variableWidth");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("badge");
        QTest::addColumn<QString>("countdown");
        QTest::addColumn<int>("width");
        const auto row = [](const char *name, const VemoState &state, bool countdownOn, bool variableWidth,
                            const char *icon, const char *badge, const char *countdown, int width) {
            QTest::newRow(name) << state << countdownOn << variableWidth << QString::fromLatin1(icon)
                                << QString::fromLatin1(badge) << QString::fromLatin1(countdown) << width;
        };
        VemoState lidAndTimed = timedRunning(11109);
        lidAndTimed.clamshell = Clamshell::RunningOnBattery{64};
        VemoState permanent;
        permanent.timedSession = TimedSession::RunningPermanent{};
        VemoState residual;
        residual.startupResidual = true;
        const int withText = textWidth(QStringLiteral("3:05:09")) + 27;

        row("idle", {}, true, true, "MenuBarIdle", "", "", 24);
        row("timed, countdown off", timedRunning(11109), false, true, "MenuBarActive", "timer", "", 24);
        row("timed, countdown on", timedRunning(11109), true, true, "MenuBarActive", "timer", "3:05:09", withText);
        row("closed-lid under a timed session", lidAndTimed, true, true, "MenuBarLidMode", "", "", 24);
        row("indefinite", permanent, true, true, "MenuBarActive", "infinity", "", 24);
        row("start-up leftover", residual, true, true, "MenuBarLidMode", "exclamationmark.triangle.fill", "", 24);
        row("tray slot, countdown on", timedRunning(11109), true, false, "MenuBarActive", "timer", "", 24);
    }

    void imageFollowsTheState()
    {
        QFETCH(VemoState, state);
        QFETCH(bool, countdownPreference);
        QFETCH(bool, variableWidth);
        QFETCH(QString, icon);
        QFETCH(QString, badge);
        QFETCH(QString, countdown);
        QFETCH(int, width);

        for (const qreal ratio : {1.0, 2.0}) {
            Rig rig([&](FakeStatusItem &item) {
                item.variableWidth = variableWidth;
                item.ratio = ratio;
            });
            rig.setCountdownPreference(countdownPreference);
            rig.setState(state);
            const QImage &image = rig.item->image;
            QVERIFY(rig.item->imageIsTemplate);
            QCOMPARE(image.devicePixelRatio(), ratio);
            QCOMPARE(image.size(), QSize(qRound(width * ratio), qRound(22 * ratio)));
            // The text stands right of the badge's column, and only when there is a text.
            QCOMPARE(inkFrom(image, StatusImage::textX), !countdown.isEmpty());
            const auto optional = [](const QString &s) { return s.isEmpty() ? std::nullopt : std::optional(s); };
            QCOMPARE(image, StatusImage::compose(icon, optional(badge), optional(countdown), ratio));
            if (!variableWidth)
                QVERIFY2(rig.item->toolTip.endsWith(QStringLiteral(" · 3:05:09")), qPrintable(rig.item->toolTip));
        }
    }

    void ticks()
    {
        Rig rig;
        rig.setState(timedRunning(100));
        const int images = rig.item->imageUpdates;
        const int toolTips = rig.item->toolTipUpdates;
        // Without the countdown a tick changes nothing the item shows: nothing is handed on.
        for (qint64 remaining = 99; remaining > 90; --remaining)
            rig.setState(timedRunning(remaining));
        QCOMPARE(rig.item->imageUpdates, images);
        QCOMPARE(rig.item->toolTipUpdates, toolTips);
        // The preference counts from the next change on; that tick writes two fields of the
        // state and is drawn once.
        rig.setCountdownPreference(true);
        QCOMPARE(rig.item->image.width(), 24);
        rig.sim.app->store().setTimedRunning(90);
        QCoreApplication::processEvents();
        QCOMPARE(rig.item->imageUpdates, images + 1);
        QCOMPARE(rig.item->image.width(), textWidth(QStringLiteral("0:01:30")) + 27);
    }

    void digitsKeepTheWidth()
    {
        const int width = StatusImage::imageWidth(QStringLiteral("0:00:00"));
        for (const char *text : {"1:11:11", "8:59:59", "3:05:09", "7:47:14"})
            QCOMPARE(StatusImage::imageWidth(QString::fromLatin1(text)), width);
    }

    void badgeStandsOnAClearedCircle()
    {
        for (const qreal ratio : {1.0, 2.0}) {
            const auto badge = std::optional(QStringLiteral("exclamationmark.triangle.fill"));
            const QImage composed = StatusImage::compose(solidBase(ratio, Qt::black), badge, std::nullopt, ratio);
            const QImage badgeAlone =
                StatusImage::compose(solidBase(ratio, Qt::transparent), badge, std::nullopt, ratio);
            QCOMPARE(composed.size(), QSize(qRound(24 * ratio), qRound(22 * ratio)));
            QCOMPARE(composed.size(), badgeAlone.size());

            const QPointF centre = QRectF(StatusImage::clearedRect).center();
            const qreal radius = StatusImage::clearedRect.width() / 2.0;
            int badgePixels = 0;
            int erased = 0;
            for (int y = 0; y < composed.height(); ++y) {
                for (int x = 0; x < qRound(22 * ratio); ++x) {
                    const QPointF at((x + 0.5) / ratio, (y + 0.5) / ratio);
                    const qreal distance = std::hypot(at.x() - centre.x(), at.y() - centre.y());
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
            }
            QVERIFY(badgePixels > 0);
            QVERIFY(erased > 0);
        }
    }

    void missingIconGivesNoImage()
    {
        QVERIFY(StatusImage::compose(QStringLiteral("NoSuchIcon"), std::nullopt, std::nullopt, 1.0).isNull());
        QVERIFY(StatusImage::compose(QStringLiteral("MenuBarIdle"), std::nullopt, std::nullopt, 0.0).isNull());
        for (const auto icon : {Presentation::MenuBarIcon::idle, Presentation::MenuBarIcon::display,
                                Presentation::MenuBarIcon::active, Presentation::MenuBarIcon::lidMode})
            QVERIFY(!StatusImage::compose(icon, std::nullopt, std::nullopt, 2.0).isNull());
    }

    void toolTips_data()
    {
        QTest::addColumn<VemoState>("state");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        VemoState residual;
        residual.startupResidual = true;
        QTest::newRow("idle") << VemoState{} << QStringLiteral("Following the system’s sleep settings")
                              << QStringLiteral("遵循系统睡眠设置");
        QTest::newRow("timed") << timedRunning(600) << QStringLiteral("Preventing idle sleep")
                               << QStringLiteral("正在阻止闲置睡眠");
        QTest::newRow("leftover") << residual << QStringLiteral("Quorvel needs your attention")
                                  << QStringLiteral("Quorvel 需要你处理");
    }

    void toolTips()
    {
        QFETCH(VemoState, state);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        Rig rig;
        rig.setState(state);
        QCOMPARE(rig.item->toolTip, english);
        // A new language shows at once, with no change of state.
        rig.language->setPreference(LanguagePreference::zhHans);
        QCOMPARE(rig.item->toolTip, chinese);
        rig.language->setPreference(LanguagePreference::en);
        QCOMPARE(rig.item->toolTip, english);
    }

    void primaryClickTogglesThePopover()
    {
        Rig rig;
        MenuPopover &popover = rig.controller->popover();
        QVERIFY(!popover.isVisible());
        rig.item->clickPrimary();
        QVERIFY(popover.isVisible());
        rig.item->clickPrimary();
        QVERIFY(!popover.isVisible());
        rig.item->clickPrimary();
        QVERIFY(popover.isVisible());
        // Closed by a click elsewhere: when that click was on the item, it does not reopen it.
        popover.close();
        rig.item->clickPrimary();
        QVERIFY(!popover.isVisible());
        rig.item->clickPrimary();
        QVERIFY(popover.isVisible());
    }

    void secondaryClickOffersTheCommands()
    {
        Rig rig;
        rig.item->clickPrimary();
        QVERIFY(rig.controller->popover().isVisible());
        rig.item->clickSecondary();
        QVERIFY(!rig.controller->popover().isVisible());
        QCOMPARE(rig.menuEntries(),
                 (QStringList{"Settings…", "---", "Help ↗", "About Quorvel", "---", "Quit Quorvel"}));
        QCOMPARE(rig.menuEntry(5)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        rig.item->clickPrimary();
        QVERIFY(rig.controller->popover().isVisible());
        // A fresh menu each time.
        QPointer<QMenu> first = rig.item->shownMenu;
        rig.item->clickSecondary();
        QVERIFY(rig.item->shownMenu && rig.item->shownMenu != first);
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

    void menuCommands()
    {
        UrlSink sink;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "open");
        Rig rig;
        rig.item->clickSecondary();
        rig.menuEntry(0)->trigger();
        rig.menuEntry(3)->trigger();
        rig.menuEntry(2)->trigger();
        QCOMPARE(rig.commands->settings, 1);
        QCOMPARE(rig.commands->about, 1);
        QCOMPARE(sink.opened, QList<QUrl>{QUrl(QStringLiteral("https://quorvel.app/quorvel/help/"))});

        // Nothing runs: quitting needs no confirmation.
        rig.menuEntry(5)->trigger();
        QCOMPARE(rig.sim.terminations, 1);
        QVERIFY(rig.sim.quitAlerts.isEmpty());

        // A running session asks first; the answer here is "cancel".
        rig.setState(timedRunning(600));
        rig.item->clickSecondary();
        rig.menuEntry(5)->trigger();
        QCOMPARE(rig.sim.quitAlerts.size(), 1);
        QCOMPARE(rig.sim.terminations, 1);

        // Without the delegate the window commands only close the popover.
        rig.commands.reset();
        rig.item->clickPrimary();
        rig.item->clickSecondary();
        rig.menuEntry(0)->trigger();
        rig.menuEntry(2)->trigger();
        QCOMPARE(sink.opened.size(), 1);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }

    void withoutAHostTheMenuIsAWindow_data()
    {
        QTest::addColumn<bool>("hosted");
        QTest::addColumn<QString>("backend");
        QTest::newRow("tray") << true << "tray";
        QTest::newRow("no tray") << false << "window";
    }

    void withoutAHostTheMenuIsAWindow()
    {
        QFETCH(bool, hosted);
        QFETCH(QString, backend);
        LogCapture log;
        Rig rig([&](FakeStatusItem &item) {
            item.hosted = hosted;
            item.backendName = backend;
        });
        QCOMPARE(log.lines().filter(QStringLiteral("status item")),
                 QStringList{"[INFO] [app] status item ready, backend=" + backend});
        QCOMPARE(rig.controller->popover().isVisible(), !hosted);
    }

    void trayPaintsTheTemplateInThePalettesTextColour()
    {
        LogCapture log;
        TrayStatusItem tray; // the offscreen platform has no tray
        QCOMPARE(tray.backend(), QStringLiteral("window"));
        QVERIFY(!tray.isHosted());
        QCOMPARE(log.lines(), QStringList{"[WARNING] [app] system tray unavailable, menu opens as a window"});

        const auto inkOfIcon = [&tray] {
            const QImage shown = tray.icon().pixmap(QSize(24, 24)).toImage();
            for (int i = 0; i < shown.width() * shown.height(); ++i)
                if (qAlpha(shown.pixel(i % shown.width(), i / shown.width())) == 255)
                    return QColor(shown.pixel(i % shown.width(), i / shown.width()));
            return QColor();
        };
        const QPalette original = QApplication::palette();
        QPalette palette = original;
        palette.setColor(QPalette::WindowText, QColor(0x20, 0x30, 0x40));
        QApplication::setPalette(palette);
        tray.setImage(StatusImage::compose(QStringLiteral("MenuBarActive"), std::nullopt, std::nullopt, 1.0), true);
        QCOMPARE(inkOfIcon(), QColor(0x20, 0x30, 0x40));
        // A dark scheme arrives later: the icon follows.
        palette.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
        QApplication::setPalette(palette);
        QCOMPARE(inkOfIcon(), QColor(0xf0, 0xf0, 0xf0));
        QApplication::setPalette(original);
        tray.setImage(QImage(), true);
        QVERIFY(tray.icon().isNull());
    }
};

QTEST_MAIN(StatusBarTest)
#include "tst_statusbar.moc"
