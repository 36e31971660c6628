#pragma once

#include <QProxyStyle>

namespace ostrel::app {

// The menu bar answers the keyboard: Alt alone (and F10, which the main window turns into it)
// highlights the first item, the arrows move, Enter chooses. The default style of most Linux
// desktops leaves this off.
class MenuBarStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace ostrel::app
