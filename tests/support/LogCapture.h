#pragma once

#include "records/DiagnosticLog.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace quorvel {
class UserDefaults;
}

namespace quorvel::test {

// Points the diagnostic log at <temporary folder>/diagnostic.log for its lifetime, so a test
// can assert the exact lines its code logged. The minimum level is read afresh from
// `defaults` (by default an empty in-memory domain: minimum "info"; the user's preferences
// are never read). On destruction the file output is switched off. One capture at a time.
//
//   LogCapture log;
//   ... code under test ...
//   QCOMPARE(log.lines(), QStringList{"[INFO] [timed] timed session started, seconds=7200"});
class LogCapture {
public:
    explicit LogCapture(std::shared_ptr<UserDefaults> defaults = nullptr);
    // Captures from `minimum` up (for example debug lines).
    explicit LogCapture(DiagnosticLog::Level minimum);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QString path() const;
    // The file's lines without their "yyyy-MM-dd HH:mm:ss.SSS " timestamp.
    QStringList lines() const;
    // Only the message texts, without timestamp, level and category.
    QStringList messages() const;
    // Empties the file, to assert only what follows.
    void clear();

private:
    QTemporaryDir m_dir;
    std::shared_ptr<UserDefaults> m_defaults;
};

} // namespace quorvel::test
