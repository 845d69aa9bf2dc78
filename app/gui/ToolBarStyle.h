#pragma once
// What a flat toolbar draws differently from the desktop's style: an etched line in the
// middle of each separator and, on a docked bar, a gripper of two etched bars.

#include <QProxyStyle>

namespace vireo {

class ToolBarStyle : public QProxyStyle {
    Q_OBJECT
public:
    static constexpr int kSeparatorWidth = 8;
    static constexpr int kGripperBar = 3; // thickness of each bar, and the gap between

    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

} // namespace vireo
