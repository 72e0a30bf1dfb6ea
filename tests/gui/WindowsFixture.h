#pragma once

// Shared by the window tests: catching the addresses the windows open, finding their widgets
// by name, and the two palettes they are looked at in.

#include <QDesktopServices>
#include <QObject>
#include <QPalette>
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

inline QPalette darkPalette()
{
    QPalette p;
    const QColor window(40, 40, 42), base(30, 30, 32), text(236, 236, 238), button(60, 60, 64);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 155));
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(64, 156, 255));
    p.setColor(QPalette::Light, QColor(80, 80, 84));
    p.setColor(QPalette::Midlight, QColor(70, 70, 74));
    p.setColor(QPalette::Mid, QColor(50, 50, 54));
    p.setColor(QPalette::Dark, QColor(20, 20, 22));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 125));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 125));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 125));
    return p;
}

} // namespace quorvel::test
