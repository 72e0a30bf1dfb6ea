#pragma once

#include "state/VemoState.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

namespace quorvel {

// The simulated power source: a small JSON file, for example
//   {"source": "battery", "level": 23, "lowPower": false}
// "source" is "battery", "ac" or "unknown" (anything else reads as unknown); "level" is a
// number, rounded and clamped to 0-100, or absent; "lowPower" is a boolean (absent: false).
// A missing or unreadable file reads as an unknown source without a level, the same answer
// a machine without battery information gives.
PowerContext readSimPower(const QString &path, const QDateTime &now);

// Tells when the power file may have changed, without polling. Watches the file and its
// folder: an editor or tools/quorvel-sim-power replaces the file by renaming a new one over
// it, which leaves a plain file watch on the old inode, and a file created after we started
// shows up only in the folder. changed() fires once per observed change of the file (its
// identity, size or times), not for other files coming and going in the same folder.
class SimPowerWatcher : public QObject {
    Q_OBJECT
public:
    explicit SimPowerWatcher(const QString &path, QObject *parent = nullptr);

    QString path() const { return m_path; }

signals:
    void changed();

private:
    struct Signature {
        bool exists = false;
        qint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        bool operator==(const Signature &) const = default;
    };
    Signature currentSignature() const;
    void rearm();
    void check();

    QString m_path;
    QFileSystemWatcher m_watcher;
    Signature m_last;
};

} // namespace quorvel
