#pragma once

#include "power/PowerChangeSource.h"
#include "state/AppStateStore.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

namespace quorvel {

// Keeps the store's power snapshot current: reads one on every power-source notification and
// every low-power-mode change (never by polling), stores it and hands it to one listener.
// Lives on the main thread; notifications from any thread are queued there before they read.
class PowerMonitor final : public QObject {
    Q_OBJECT
public:
    using Provider = std::function<PowerContext()>;
    using Listener = std::function<void(const PowerContext &)>;

    // Either change source may be empty: that half is simply never installed.
    PowerMonitor(QPointer<AppStateStore> store, Provider provider, PowerChangeSource powerSourceChanges,
                 PowerChangeSource lowPowerModeChanges, QObject *parent = nullptr);
    ~PowerMonitor() override;

    // Reads a snapshot now, stores it (while the store exists) and tells the listener, every
    // time, even when only the time stamp moved. A battery level outside 0...100 is dropped.
    void refresh();
    // Installs whichever half is not installed yet, so calling it twice is harmless.
    void start();
    // Removes both halves and the listener. Always true (the clean-up report files it).
    bool stop();

    void setOnChange(Listener listener) { m_onChange = std::move(listener); }
    bool hasOnChange() const { return bool(m_onChange); }
    bool isObservingPowerSources() const { return bool(m_powerSource.subscription); }
    bool isObservingLowPowerMode() const { return bool(m_lowPowerMode.subscription); }

private:
    struct Relay;
    struct Half {
        std::unique_ptr<PowerChangeSubscription> subscription;
        std::shared_ptr<Relay> relay;
    };

    void install(Half &half, const PowerChangeSource &source);
    static void drop(Half &half);

    QPointer<AppStateStore> m_store;
    Provider m_provider;
    PowerChangeSource m_powerSourceChanges;
    PowerChangeSource m_lowPowerModeChanges;
    Half m_lowPowerMode;
    Half m_powerSource;
    Listener m_onChange;
};

} // namespace quorvel
