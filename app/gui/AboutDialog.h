#pragma once
// "About Vireo": the application icon, the product line and the version.

#include <QDialog>

namespace vireo {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace vireo
