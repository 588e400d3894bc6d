#include "ui/ProgressBar.h"

#include <QPainter>

#include <algorithm>
#include <QPixmap>

namespace {
int Lighter(int nChannel)
{
    return nChannel <= 204 ? nChannel + 51 : nChannel;
}

int Darker(int nChannel)
{
    return nChannel > 50 ? nChannel - 51 : nChannel;
}

QColor Step(const QColor& color, int (*step)(int))
{
    return QColor(step(color.red()), step(color.green()), step(color.blue()));
}
}  // namespace

CProgressBar::CProgressBar(QWidget* parent) : QProgressBar(parent)
{
    setTextVisible(false);
    RecalcShades();
}

std::array<QColor, 6> CProgressBar::MakeShades(const QColor& bar)
{
    std::array<QColor, 6> shades;
    shades[0] = bar;
    shades[1] = Step(bar, Lighter);
    shades[2] = Step(shades[1], Lighter);
    shades[3] = Step(shades[2], Lighter);
    shades[4] = Step(bar, Darker);
    shades[5] = Step(shades[4], Darker);
    return shades;
}

int CProgressBar::FilledWidth(int nWidth, int nMin, int nMax, int nPos)
{
    if (nMax <= nMin || nPos <= nMin) {
        return 0;
    }
    const long long llFilled = static_cast<long long>(nWidth) * (nPos - nMin) / (nMax - nMin);
    return static_cast<int>(std::min<long long>(llFilled, nWidth));
}

void CProgressBar::SetPos(int nPos)
{
    if (nPos < minimum()) {
        reset();  // minimum - 1: empty
    } else {
        setValue(std::min(nPos, maximum()));
    }
}

void CProgressBar::RecalcShades()
{
    m_shades = MakeShades(m_crBar);
    update();
}

void CProgressBar::paintEvent(QPaintEvent*)
{
    // Off-screen first, so the bar never flickers between its background and its fill.
    QPixmap buffer(size());
    buffer.fill(m_crBack);
    QPainter painter(&buffer);
    const int nWidth = FilledWidth(width(), minimum(), maximum(), value());
    const int nHeight = height();
    if (nWidth > 0) {
        painter.fillRect(0, 0, nWidth, nHeight, m_shades[3]);
        const int nRight = nWidth - 1;
        const int nBottom = nHeight - 1;
        // Light top, dark bottom and right edge, rounded corners left out.
        painter.setPen(m_shades[2]);
        painter.drawLine(1, 1, nRight - 1, 1);
        painter.setPen(m_shades[1]);
        painter.drawLine(1, 0, nRight - 1, 0);
        painter.setPen(m_shades[0]);
        painter.drawLine(0, 1, 0, nBottom - 1);
        painter.drawLine(1, nBottom - 1, nRight - 1, nBottom - 1);
        painter.setPen(m_shades[4]);
        painter.drawLine(nRight, 1, nRight, nBottom - 1);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(1, nBottom, nRight - 1, nBottom);
        painter.setPen(palette().color(QPalette::Shadow));
        painter.drawPoint(nRight, nBottom);
        painter.setPen(m_shades[5]);
        painter.drawPoint(nRight, 0);
    }
    painter.end();
    QPainter(this).drawPixmap(0, 0, buffer);
}
