#include "framework/form_dialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

TFormDialog::TFormDialog(QWidget* parent) : QDialog(parent)
{
    // A title and a close button; no minimise, maximise or help buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Client = new QWidget(this);
    Client->setObjectName("pnlClient");
    layout->addWidget(Client, 1);

    pnlButtons = new QWidget(this);
    pnlButtons->setObjectName("pnlButtons");
    pnlButtons->setFixedHeight(38);
    auto* buttonsLayout = new QVBoxLayout(pnlButtons);
    buttonsLayout->setContentsMargins(0, 0, 0, 0);
    buttonsLayout->setSpacing(0);
    Bevel1 = new QFrame(pnlButtons);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    buttonsLayout->addWidget(Bevel1);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(6, 4, 6, 4);
    row->addStretch(1);
    pnlCancelOk = new QWidget(pnlButtons);
    pnlCancelOk->setObjectName("pnlCancelOk");
    auto* okLayout = new QHBoxLayout(pnlCancelOk);
    okLayout->setContentsMargins(0, 0, 0, 0);
    btbOk = new QPushButton(tr("OK"), pnlCancelOk);
    btbOk->setObjectName("btbOk");
    btbOk->setToolTip(tr("Accept changes"));
    btbOk->setFixedSize(90, 25);
    btbOk->setDefault(true);
    btbCancel = new QPushButton(tr("&Cancel"), pnlCancelOk);
    btbCancel->setObjectName("btbCancel");
    btbCancel->setToolTip(tr("Cancel changes"));
    btbCancel->setFixedSize(90, 25);
    okLayout->addWidget(btbOk);
    okLayout->addWidget(btbCancel);
    row->addWidget(pnlCancelOk);
    buttonsLayout->addLayout(row);
    layout->addWidget(pnlButtons);
    connect(btbOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btbCancel, &QPushButton::clicked, this, &QDialog::reject);

    DesignedColor = palette().color(QPalette::Window);
    DesignedFont = font();
}

void TFormDialog::SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                                const QColor& faceColor)
{
    (void)textColor;
    (void)windowColor;
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, faceColor);
    setPalette(pal);
    setAutoFillBackground(true);
    for (QPushButton* b : {btbOk, btbCancel}) {
        b->setFont(font);
        QPalette bp = b->palette();
        bp.setColor(QPalette::ButtonText, Qt::black);
        b->setPalette(bp);
    }
}

void TFormDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (btbCancel->isHidden()) {
        // OK takes Cancel's place at the right.
        auto* l = static_cast<QHBoxLayout*>(pnlCancelOk->layout());
        l->removeWidget(btbOk);
        l->addWidget(btbOk);
    }
    if (btbOk->isEnabled()) btbOk->setFocus();
}
