#pragma once
#include <QAbstractButton>
#include <QImage>

// An image button: one picture of four equal frames side by side (normal, mouse over,
// pressed, disabled), magenta as the transparent colour. It draws no text of its own.
class CHoverButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit CHoverButton(QWidget* parent = nullptr);

    // Takes the strip: a frame is a quarter of its width and its whole height; the button is
    // sized to one frame and shows a hand cursor.
    bool LoadBitmap(const QImage& strip);

    // 3 disabled, 2 pressed, 1 mouse over, 0 otherwise.
    static int FrameIndex(bool bEnabled, bool bPressed, bool bOver);
    // The strip with every magenta pixel made transparent.
    static QImage KeyOutMagenta(const QImage& strip);

    int FrameWidth() const { return m_nFrameWidth; }
    int FrameHeight() const { return m_nFrameHeight; }
    bool IsOver() const { return m_bOver; }
    bool IsPressed() const { return m_bPressed; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_strip;
    int m_nFrameWidth = 0;
    int m_nFrameHeight = 0;
    bool m_bOver = false;
    bool m_bPressed = false;
};
