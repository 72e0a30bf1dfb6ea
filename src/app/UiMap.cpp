#include "app/UiMap.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

namespace quorvel {

namespace {

QJsonArray rect(const QRect &r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

QJsonObject describe(QWidget *widget)
{
    QJsonObject out{{QStringLiteral("class"), QString::fromLatin1(widget->metaObject()->className())},
                    {QStringLiteral("name"), widget->objectName()},
                    {QStringLiteral("rect"), rect(QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()))},
                    {QStringLiteral("enabled"), widget->isEnabled()}};
    if (auto *label = qobject_cast<QLabel *>(widget))
        out.insert(QStringLiteral("text"), label->text());
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        out.insert(QStringLiteral("text"), button->text());
        out.insert(QStringLiteral("checked"), button->isChecked());
    }
    return out;
}

class UiMapWriter final : public QObject {
public:
    explicit UiMapWriter(QString path)
        : m_path(std::move(path))
    {
        m_pending.setSingleShot(true);
        m_pending.setInterval(50); // after the window has laid itself out
        connect(&m_pending, &QTimer::timeout, this, &UiMapWriter::write);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && object->isWidgetType()
            && static_cast<QWidget *>(object)->isWindow())
            m_pending.start();
        return false;
    }

private:
    void write()
    {
        QJsonArray windows;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (!top->isVisible())
                continue;
            QJsonObject window = describe(top);
            window.insert(QStringLiteral("title"), top->windowTitle());
            QJsonArray named;
            for (QWidget *child : top->findChildren<QWidget *>()) {
                if (!child->objectName().isEmpty() && !child->objectName().startsWith(QLatin1String("qt_"))
                    && child->isVisible())
                    named.append(describe(child));
            }
            window.insert(QStringLiteral("widgets"), named);
            if (auto *menu = qobject_cast<QMenu *>(top)) {
                QJsonArray entries;
                for (QAction *action : menu->actions()) {
                    if (action->isSeparator())
                        continue;
                    const QRect r = menu->actionGeometry(action);
                    entries.append(
                        QJsonObject{{QStringLiteral("text"), action->text()},
                                    {QStringLiteral("rect"), rect(QRect(menu->mapToGlobal(r.topLeft()), r.size()))}});
                }
                window.insert(QStringLiteral("entries"), entries);
            }
            windows.append(window);
        }
        QSaveFile file(m_path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QJsonDocument(windows).toJson(QJsonDocument::Indented));
            file.commit();
        }
    }

    QString m_path;
    QTimer m_pending;
};

} // namespace

void installUiMapFromEnvironment()
{
    const QString path = qEnvironmentVariable("QUORVEL_UI_MAP");
    if (path.isEmpty() || !qApp)
        return;
    auto *writer = new UiMapWriter(path);
    writer->setParent(qApp);
    qApp->installEventFilter(writer);
}

} // namespace quorvel
