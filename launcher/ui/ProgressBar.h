#pragma once
#include <QColor>
#include <QProgressBar>
#include <array>

// The updater's progress bar: drawn by itself in shades of one bar colour, which gives it a
// rounded, bevelled look.
class CProgressBar : public QProgressBar
{
    Q_OBJECT
public:
    explicit CProgressBar(QWidget* parent = nullptr);

    void SetBkColor(const QColor& color) { m_crBack = color; }
    void SetBarColor(const QColor& color) { m_crBar = color; }
    // Recomputes the shades from the bar colour.
    void RecalcShades();
    // Sets the position; one below the range (0 for the updater's 1..100) shows an empty
    // bar, and nothing outside the range is ever ignored, so the bar cannot freeze.
    void SetPos(int nPos);

    // [0] the bar colour, [1..3] lighter steps (+51 on every channel of 204 or less),
    // [4..5] darker steps (-51 on every channel above 50).
    static std::array<QColor, 6> MakeShades(const QColor& bar);
    // Filled width for the control's own range and position.
    static int FilledWidth(int nWidth, int nMin, int nMax, int nPos);

    const std::array<QColor, 6>& Shades() const { return m_shades; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_crBack{Qt::white};
    QColor m_crBar{255, 189, 129};
    std::array<QColor, 6> m_shades;
};
