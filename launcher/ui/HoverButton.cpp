#include "ui/HoverButton.h"

#include <QMouseEvent>
#include <QPainter>

CHoverButton::CHoverButton(QWidget* parent) : QAbstractButton(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
}

int CHoverButton::FrameIndex(bool bEnabled, bool bPressed, bool bOver)
{
    if (!bEnabled) {
        return 3;
    }
    if (bPressed) {
        return 2;
    }
    return bOver ? 1 : 0;
}

QImage CHoverButton::KeyOutMagenta(const QImage& strip)
{
    QImage keyed = strip.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < keyed.height(); ++y) {
        auto* pLine = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x) {
            if ((pLine[x] & 0x00FFFFFFU) == 0x00FF00FFU) {
                pLine[x] = 0;
            }
        }
    }
    return keyed;
}

bool CHoverButton::LoadBitmap(const QImage& strip)
{
    if (strip.isNull() || strip.width() < 4) {
        return false;
    }
    m_strip = KeyOutMagenta(strip);
    m_nFrameWidth = strip.width() / 4;
    m_nFrameHeight = strip.height();
    resize(m_nFrameWidth, m_nFrameHeight);
    setCursor(Qt::PointingHandCursor);
    update();
    return true;
}

void CHoverButton::paintEvent(QPaintEvent*)
{
    if (m_strip.isNull()) {
        return;
    }
    const int nFrame = FrameIndex(isEnabled(), m_bPressed, m_bOver);
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_strip, QRect(nFrame * m_nFrameWidth, 0, m_nFrameWidth, m_nFrameHeight));
}

void CHoverButton::enterEvent(QEnterEvent* event)
{
    m_bOver = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CHoverButton::leaveEvent(QEvent* event)
{
    m_bOver = false;
    m_bPressed = false;
    // Our transparent corners show the parent: repaint it under us as well.
    if (parentWidget() != nullptr) {
        parentWidget()->update(geometry());
    }
    update();
    QAbstractButton::leaveEvent(event);
}

void CHoverButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bPressed = true;
    }
    QAbstractButton::mousePressEvent(event);
    update();
}

void CHoverButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bPressed = false;
    }
    QAbstractButton::mouseReleaseEvent(event);
    update();
}
