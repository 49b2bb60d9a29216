#include "review/review_host.h"

void SaveWindowPlacement(const QWidget* w, int& left, int& top, int& width, int& height)
{
    if (w->isMinimized()) {
        left = top = width = height = 0;
    } else if (w->isMaximized()) {
        left = top = width = height = -1;
    } else {
        QRect r = w->geometry();
        left = r.left();
        top = r.top();
        width = r.width();
        height = r.height();
    }
}

void RestoreWindowPlacement(QWidget* w, int left, int top, int width, int height)
{
    if (left == -1 && top == -1 && width == -1 && height == -1)
        w->setWindowState(w->windowState() | Qt::WindowMaximized);
    else if (left == 0 && top == 0 && width == 0 && height == 0)
        w->setWindowState(w->windowState() | Qt::WindowMinimized);
    else
        w->setGeometry(left, top, width, height);
}
