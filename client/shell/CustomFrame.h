#pragma once
#include "logic/FrameGeometry.h"

#include <QColor>
#include <QIcon>
#include <QWidget>

// A top-level frame without the window system's caption and border: it paints its own border
// and title strip in the page's colour, its own buttons, and moves and sizes itself through
// zones along its edges. It stays invisible until its owner has placed it.
class CCustomFrame : public QWidget
{
    Q_OBJECT
public:
    explicit CCustomFrame(int nPlaceState = 1, QWidget* parent = nullptr);
    ~CCustomFrame() override;

    // Returns true when the default handling should follow (a press outside every zone).
    virtual bool OnFrameButtonDown(QPoint ptScreen);
    // Closes the frame; by default destroys the window.
    virtual void CloseFrame();

    void SetFrameLook(const QColor& clrBorder, int nTitleHeight, int nBorderSize);
    void SetMinTrackSize(QSize size);
    void SetSysButtons(bool bShow) { m_bSysButtons = bShow; update(); }

    void Maximize();
    void Restore();
    bool IsFrameMaximized() const { return m_bMaximized != 0; }

    // The owner's placement: state 1 makes the next positioning show the frame.
    void SetPlaceState(int nState) { m_nPlaceState = nState; }
    int PlaceState() const { return m_nPlaceState; }
    // Moves and sizes the frame; shows it when it has just been placed.
    void PositionFrame(const QRect& rect);

    void setVisible(bool visible) override;

    const FrameZones& Zones() const { return m_zones; }
    QRect NormalRect() const { return m_rcNormal.ToQRect(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

    void RecalcZones();
    void ClearHover();
    // Client size changed; frames that host a window lay it out here.
    virtual void OnFrameResized() {}
    virtual void OnFrameMoved() {}

    int m_bMaximized = 0;
    int m_bMinimized = 0;
    int m_bSysButtons = 1;
    FrameRect m_rcNormal;
    FrameRect m_rcMaximized;
    FrameRect m_rcMonitor;
    FrameZones m_zones;
    QColor m_clrBorder = Qt::black;
    int m_nTitleHeight = 25;
    int m_nBorderSize = 5;
    int m_nButtonSize = 18;
    int m_nPlaceState = 1;
    QSize m_sizeMinTrack{0, 0};
    int m_bHoverMin = 0;
    int m_bHoverMax = 0;
    int m_bHoverClose = 0;

private:
    enum class DragMode { None, PendingMove, Move, Resize };
    void RememberNormal();
    void StartSizing(FrameZone zone, QPoint ptScreen);
    void ContinueDrag(QPoint ptScreen);
    void ApplyZoneCursor(FrameZone zone);

    QIcon m_icons[8];  // close, min, max, restore; then the hovered four
    DragMode m_dragMode = DragMode::None;
    FrameZone m_dragZone = FrameZone::None;
    QPoint m_ptDragStart;
    QRect m_rcDragStart;
};
