#pragma once

#include "platform/linux/LinuxBus.h"

#include <QList>
#include <optional>

namespace quorvel::logind {

inline const QString service = QStringLiteral("org.freedesktop.login1");

// One entry of ListInhibitors, in the order logind sends them.
struct Inhibitor {
    QString what; // colon-separated: "idle:sleep", "handle-lid-switch:sleep"
    QString who;
    QString why;
    QString mode; // "block" or "delay"
    quint32 uid = 0;
    quint32 pid = 0;
    bool operator==(const Inhibitor &) const = default;
    bool covers(const QString &kind) const { return what.split(QLatin1Char(':')).contains(kind); }
};

// Manager.Inhibit: the lock is the returned descriptor and lasts until it is closed (or the
// process dies). Exactly one duplicate is kept, close-on-exec so no child we start inherits
// it; every copy the bus layer made is gone when this returns. Empty on any failure, with
// the bus error in `error`.
linuxbus::UniqueFd inhibit(const QDBusConnection &bus, const QString &what, const QString &who, const QString &why,
                           QString *error = nullptr);

// Every lock logind holds now; absent when the list cannot be read.
std::optional<QList<Inhibitor>> listInhibitors(const QDBusConnection &bus);

} // namespace quorvel::logind
