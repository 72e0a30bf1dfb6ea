#pragma once

// A menu popover over a whole simulated application (composition/SimApp.h): real stand-in
// tools, a virtual-time scheduler, scripted quit answers, English until told otherwise.
// Also the entry point for pictures: set a state, grab the popover.

#include "composition/SimApp.h"

#include "prefs/LanguageController.h"
#include "ui/MenuPopover.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>

namespace quorvel::test {

struct PopoverRig {
    SimApp app;
    LanguageController language{app.defaults};
    int settingsOpened = 0;
    MenuPopover popover{*app.app, language, [this] { ++settingsOpened; }};

    explicit PopoverRig(const QByteArray &powerJson = R"({"source":"ac","lowPower":false})")
        : app(powerJson)
    {
        language.setPreference(LanguagePreference::en);
    }

    // Opens it under a status item at the top of the screen; the authorization is re-read.
    void open() { popover.showUnder(QRect(600, 0, 22, 22)); }

    template <class T = QWidget> T *find(const QString &name) const { return popover.findChild<T *>(name); }

    AppStateStore &store() { return app.app->store(); }

    // Replaces the timed session, closed-lid state, authorization, power and leftover flag.
    void setState(const VemoState &state) { store().setState(state); }
};

// The palettes of the pictures: the style's own (light) and a dark one like the Mac's.
inline QPalette lightPalette()
{
    return QApplication::style()->standardPalette();
}

inline QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2B, 0x2B, 0x2D), text(0xEC, 0xEC, 0xEC), base(0x1E, 0x1E, 0x1F), button(0x3A, 0x3A, 0x3C);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, button);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, QColor(0x0A, 0x84, 0xFF));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8E, 0x8E, 0x93));
    p.setColor(QPalette::Light, QColor(0x55, 0x55, 0x58));
    p.setColor(QPalette::Midlight, QColor(0x48, 0x48, 0x4A));
    p.setColor(QPalette::Mid, QColor(0x3F, 0x3F, 0x42));
    p.setColor(QPalette::Dark, QColor(0x1A, 0x1A, 0x1A));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Link, QColor(0x40, 0x9C, 0xFF));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x7A, 0x7A, 0x7E));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x32, 0x32, 0x34));
    return p;
}

} // namespace quorvel::test
