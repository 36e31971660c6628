#pragma once

#include <QProxyStyle>

namespace ostrel::app {

// Maximised child windows keep their own title bar inside the area, so the main window's title
// stays exactly the reader state instead of gaining " - [child]".
class MdiChildStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override {
        if (hint == SH_Workspace_FillSpaceOnMaximize)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace ostrel::app
