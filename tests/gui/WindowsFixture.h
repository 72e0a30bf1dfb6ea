#pragma once

// Shared by the window tests: catching the addresses the windows open, finding their widgets
// by name.

#include <QDesktopServices>
#include <QObject>
#include <QTest>
#include <QUrl>
#include <QWidget>

namespace quorvel::test {

// Receives every address the application asks the system to open, instead of a browser.
class UrlCatcher final : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(const QStringList &schemes = {QStringLiteral("https"), QStringLiteral("http"),
                                                      QStringLiteral("file"),
                                                      QStringLiteral("x-apple.systempreferences")})
        : m_schemes(schemes)
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlCatcher() override
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }

private:
    QStringList m_schemes;
};

template <class T = QWidget> T *named(const QWidget *root, const char *name)
{
    T *found = root ? root->findChild<T *>(QString::fromLatin1(name)) : nullptr;
    if (!found)
        qWarning("no widget named %s", name);
    return found;
}

} // namespace quorvel::test
