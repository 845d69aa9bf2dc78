#include "app/gui/ContinueDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace vireo {

ContinueDialog::ContinueDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Continue download");
    setObjectName("continueDialog");
    auto* text = new QLabel("Do you want continue download file?");

    m_reload = new QPushButton("Reload");
    m_continue = new QPushButton("Continue");
    m_cancel = new QPushButton("Cancel");
    m_reload->setDefault(true);
    connect(m_reload, &QPushButton::clicked, this, [this] { done(kReload); });
    connect(m_continue, &QPushButton::clicked, this, [this] { done(kContinue); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { done(kCancel); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_reload);
    buttons->addWidget(m_continue);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

DocumentUi::ContinueAnswer ContinueDialog::AnswerFor(int result) {
    switch (result) {
    case kReload:
        return DocumentUi::ContinueAnswer::Reload;
    case kContinue:
        return DocumentUi::ContinueAnswer::Continue;
    default: // Cancel, Escape, the window's close button
        return DocumentUi::ContinueAnswer::Cancel;
    }
}

} // namespace vireo
