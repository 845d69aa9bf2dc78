#include "app/gui/AboutDialog.h"

#include "app/gui/Artwork.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vireo {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Vireo");
    setObjectName("aboutDialog");
    auto* icon = new QLabel;
    icon->setPixmap(art::AppIcon().pixmap(QSize(48, 48)));
    icon->setAlignment(Qt::AlignTop);

    auto* text = new QVBoxLayout;
    auto* product = new QLabel("Vireo File Transfer Client for Windows 95/NT");
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    text->addWidget(product);
    text->addWidget(new QLabel("Version 1.0 Beta"));
    text->addWidget(new QLabel(QString("Linux build %1, Qt %2").arg(VIREO_VERSION, qVersion())));
    text->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace vireo
