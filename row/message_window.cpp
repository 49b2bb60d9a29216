#include "row/message_window.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QStyle>

#include "framework/registry.h"

namespace {
QPointer<TfrmMessage> gMessage;
}

TfrmMessage::TfrmMessage(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName("frmMessage");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedHeight(44);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* bevel = new QFrame(this);
    bevel->setObjectName("pnlBevel");
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setLineWidth(2);
    outer->addWidget(bevel);
    auto* row = new QHBoxLayout(bevel);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(0);
    imgIcon = new QLabel(bevel);
    imgIcon->setObjectName("imgIcon");
    imgIcon->setFixedWidth(50);
    imgIcon->setAlignment(Qt::AlignCenter);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    imgIcon->setPixmap(icon.pixmap(32, 32));
    row->addWidget(imgIcon);
    pnlMessage = new QLabel(bevel);
    pnlMessage->setObjectName("pnlMessage");
    pnlMessage->setAlignment(Qt::AlignCenter);
    row->addWidget(pnlMessage, 1);
    setFocusPolicy(Qt::StrongFocus);
}

void TfrmMessage::SetText(const std::string& text)
{
    const QString t = QString::fromStdString(text);
    pnlMessage->setText(t);
    const int width = QFontMetrics(font()).horizontalAdvance(t) + imgIcon->width() + 50;
    setFixedWidth(width);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->availableGeometry();
        move(r.center().x() - width / 2, r.center().y() - height() / 2);
    }
}

void TfrmMessage::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ShowMessageWindow(const std::string& text)
{
    if (!gMessage || gMessage->Tag != 0) {
        gMessage = new TfrmMessage(nullptr);
        gMessage->Tag = 0;
        if (auto* r = MainRegistry()) {
            QPalette pal = gMessage->palette();
            pal.setColor(QPalette::Window, r->DialogColor());
            gMessage->setPalette(pal);
            gMessage->setAutoFillBackground(true);
            gMessage->setFont(r->Appearance().Font);
        }
    }
    gMessage->SetText(text);
    gMessage->show();
    gMessage->raise();
    gMessage->activateWindow();
    gMessage->setFocus();
    gMessage->repaint();
}

void HideMessageWindow()
{
    if (!gMessage || gMessage->Tag != 0) return;
    TfrmMessage* w = gMessage;
    w->Tag = 1;
    gMessage = nullptr;
    w->close();  // deleted on close
}

bool MessageWindowShown() { return gMessage && gMessage->Tag == 0 && gMessage->isVisible(); }

TfrmMessage* MessageWindow() { return gMessage; }
