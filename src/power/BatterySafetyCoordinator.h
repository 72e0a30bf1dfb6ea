#pragma once

#include "power/ClamshellPowerControl.h"
#include "records/EventJournal.h"
#include "state/AppStateStore.h"
#include "support/UserDefaults.h"

#include <QPointer>
#include <memory>

namespace quorvel {

// Watches each power snapshot while closed-lid mode runs: warns inside the band just above the
// user's threshold and stops closed-lid mode for safety at or below it. Keeps no state of its
// own; the band is derived each time from the stored closed-lid state and the threshold.
class BatterySafetyCoordinator final {
public:
    static constexpr auto thresholdKey = "QuorvelClamshellAutoExitThreshold";
    static constexpr qint64 defaultThreshold = 20;
    static constexpr qint64 minimumThreshold = 5;
    static constexpr qint64 maximumThreshold = 60;

    BatterySafetyCoordinator(QPointer<AppStateStore> store, std::weak_ptr<ClamshellPowerControl> clamshell,
                             std::shared_ptr<EventJournal> eventJournal, std::shared_ptr<UserDefaults> defaults);

    // Main thread, with every snapshot the power monitor delivers.
    void evaluate(const PowerContext &power);

    // Read on every use, never cached, so a change applies at the next snapshot.
    qint64 autoExitThreshold() const;
    // The stored threshold of `defaults`: an integer clamped to 5...60, 20 when missing or not
    // an integer. Text holding a whole number ("35") counts as an integer, because the INI
    // backend of QSettings hands every value back as text.
    static qint64 autoExitThreshold(const UserDefaults &defaults);

    // Makes the store's battery-level rules use the same stored threshold.
    void installAsThresholdReader() const;

private:
    QPointer<AppStateStore> m_store;
    std::weak_ptr<ClamshellPowerControl> m_clamshell;
    std::shared_ptr<EventJournal> m_eventJournal;
    std::shared_ptr<UserDefaults> m_defaults;
};

} // namespace quorvel
