#include "shell/CustomFrame.h"

#include "shell/ClientResources.h"
#include "ResourceIds.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace {
Qt::Edges EdgesOf(FrameZone zone)
{
    switch (zone) {
    case FrameZone::Left: return Qt::LeftEdge;
    case FrameZone::Right: return Qt::RightEdge;
    case FrameZone::Top: return Qt::TopEdge;
    case FrameZone::Bottom: return Qt::BottomEdge;
    case FrameZone::TopLeft: return Qt::TopEdge | Qt::LeftEdge;
    case FrameZone::TopRight: return Qt::TopEdge | Qt::RightEdge;
    case FrameZone::BottomLeft: return Qt::BottomEdge | Qt::LeftEdge;
    case FrameZone::BottomRight: return Qt::BottomEdge | Qt::RightEdge;
    default: return {};
    }
}

Qt::CursorShape CursorOf(FrameZone zone)
{
    switch (zone) {
    case FrameZone::Left:
    case FrameZone::Right: return Qt::SizeHorCursor;
    case FrameZone::Top:
    case FrameZone::Bottom: return Qt::SizeVerCursor;
    case FrameZone::TopLeft:
    case FrameZone::BottomRight: return Qt::SizeFDiagCursor;
    case FrameZone::TopRight:
    case FrameZone::BottomLeft: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
    }
}
}  // namespace

CCustomFrame::CCustomFrame(int nPlaceState, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_nPlaceState(nPlaceState)
{
    setMouseTracking(true);
    EnsureClientResources();
    const int ids[8] = {IDI_BTN_CLOSE, IDI_BTN_MIN, IDI_BTN_MAX, IDI_BTN_RESTORE,
                        IDI_BTN_CLOSE_HOVER, IDI_BTN_MIN_HOVER, IDI_BTN_MAX_HOVER,
                        IDI_BTN_RESTORE_HOVER};
    for (int i = 0; i < 8; ++i) {
        m_icons[i] = QIcon(ResourcePath(ids[i]));
    }
    connect(qApp, &QGuiApplication::screenAdded, this, [this] { RecalcZones(); });
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] { RecalcZones(); });
}

CCustomFrame::~CCustomFrame() = default;

void CCustomFrame::SetFrameLook(const QColor& clrBorder, int nTitleHeight, int nBorderSize)
{
    m_clrBorder = clrBorder;
    m_nTitleHeight = nTitleHeight;
    m_nBorderSize = nBorderSize;
    RecalcZones();
    OnFrameResized();
    update();
}

void CCustomFrame::SetMinTrackSize(QSize size)
{
    m_sizeMinTrack = size;
    setMinimumSize(size);
}

void CCustomFrame::setVisible(bool visible)
{
    // Nothing may show the frame before its owner has placed it.
    if (visible && !AllowShowForPlaceState(m_nPlaceState)) {
        return;
    }
    QWidget::setVisible(visible);
}

void CCustomFrame::PositionFrame(const QRect& rect)
{
    setGeometry(rect);
    if (m_nPlaceState == 1) {
        show();
    }
}

void CCustomFrame::RecalcZones()
{
    const QRect client(mapToGlobal(QPoint(0, 0)), size());
    m_zones = ComputeFrameZones(FrameRect::FromQRect(client), m_nBorderSize, m_nTitleHeight,
                                m_nButtonSize);
    QScreen* screen = QGuiApplication::screenAt(client.center());
    if (screen == nullptr) {
        screen = this->screen();
    }
    if (screen == nullptr) {
        return;
    }
    m_rcMonitor = FrameRect::FromQRect(screen->geometry());
    if (!m_bMinimized) {
        m_rcMaximized = MaximizedFrameRect(screen->availableGeometry());
    }
    if (m_bMaximized && geometry() != m_rcMaximized.ToQRect()) {
        setGeometry(m_rcMaximized.ToQRect());  // follow the screen
    }
}

void CCustomFrame::RememberNormal()
{
    if (ShouldRememberNormal(m_bMaximized != 0, FrameRect::FromQRect(geometry()), m_sizeMinTrack) &&
        !isMinimized()) {
        m_rcNormal = FrameRect::FromQRect(geometry());
    }
}

void CCustomFrame::Maximize()
{
    RememberNormal();
    RecalcZones();
    m_bMaximized = 1;
    setGeometry(m_rcMaximized.ToQRect());
    update();
}

void CCustomFrame::Restore()
{
    m_bMaximized = 0;
    if (!m_rcNormal.IsEmpty()) {
        setGeometry(m_rcNormal.ToQRect());
    }
    update();
}

void CCustomFrame::CloseFrame()
{
    close();
}

void CCustomFrame::ClearHover()
{
    m_bHoverMin = m_bHoverMax = m_bHoverClose = 0;
}

void CCustomFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    const int B = m_nBorderSize;
    painter.fillRect(0, 0, B, h, m_clrBorder);
    painter.fillRect(w - B, 0, B, h, m_clrBorder);
    painter.fillRect(0, 0, w, m_nTitleHeight, m_clrBorder);
    painter.fillRect(0, h - B, w, B, m_clrBorder);

    const QPoint origin = mapToGlobal(QPoint(0, 0));
    auto draw = [&](const FrameRect& zone, int icon, int hover) {
        const QRect r = zone.ToQRect().translated(-origin);
        m_icons[hover ? icon + 4 : icon].paint(&painter, r);
    };
    draw(m_zones.closeButton, 0, m_bHoverClose);
    if (m_bSysButtons) {
        draw(m_zones.maximizeButton, m_bMaximized ? 3 : 2, m_bHoverMax);
        draw(m_zones.minimizeButton, 1, m_bHoverMin);
    }
}

bool CCustomFrame::OnFrameButtonDown(QPoint ptScreen)
{
    const FrameZone zone = HitFrameZone(m_zones, ptScreen);
    switch (zone) {
    case FrameZone::CloseButton:
        ClearHover();
        CloseFrame();
        return false;
    case FrameZone::MaximizeButton:
        m_bMaximized ? Restore() : Maximize();
        return false;
    case FrameZone::MinimizeButton:
        showMinimized();
        return false;
    default:
        break;
    }
    if (!QRect(mapToGlobal(QPoint(0, 0)), size()).contains(ptScreen)) {
        return true;
    }
    if (IsSizingZone(zone) && !m_bMaximized) {
        ApplyZoneCursor(zone);
        StartSizing(zone, ptScreen);
    } else {
        // The title strip and any uncovered part move the frame, once the pointer moves.
        m_dragMode = DragMode::PendingMove;
        m_ptDragStart = ptScreen;
        m_rcDragStart = geometry();
    }
    return false;
}

void CCustomFrame::StartSizing(FrameZone zone, QPoint ptScreen)
{
    if (windowHandle() != nullptr && windowHandle()->startSystemResize(EdgesOf(zone))) {
        return;
    }
    // No window manager to do it: size by hand while the button is held.
    m_dragMode = DragMode::Resize;
    m_dragZone = zone;
    m_ptDragStart = ptScreen;
    m_rcDragStart = geometry();
    grabMouse();
}

void CCustomFrame::ContinueDrag(QPoint ptScreen)
{
    const QPoint delta = ptScreen - m_ptDragStart;
    if (m_dragMode == DragMode::PendingMove) {
        if (delta.manhattanLength() < QApplication::startDragDistance()) {
            return;
        }
        if (m_bMaximized) {
            // Leaving the maximised state under the pointer.
            m_bMaximized = 0;
            const QSize normal = m_rcNormal.IsEmpty() ? size() / 2 : m_rcNormal.ToQRect().size();
            setGeometry(RestoreUnderPointer(normal, ptScreen, m_nBorderSize).ToQRect());
            m_ptDragStart = ptScreen;
            m_rcDragStart = geometry();
        }
        if (windowHandle() != nullptr && windowHandle()->startSystemMove()) {
            m_dragMode = DragMode::None;
            return;
        }
        m_dragMode = DragMode::Move;
        grabMouse();
    }
    if (m_dragMode == DragMode::Move) {
        move(m_rcDragStart.topLeft() + (ptScreen - m_ptDragStart));
        return;
    }
    if (m_dragMode == DragMode::Resize) {
        QRect r = m_rcDragStart;
        const Qt::Edges edges = EdgesOf(m_dragZone);
        const QSize minimum = m_sizeMinTrack.expandedTo(QSize(1, 1));
        if (edges & Qt::LeftEdge) {
            r.setLeft(std::min(r.left() + delta.x(), r.right() - minimum.width() + 1));
        }
        if (edges & Qt::RightEdge) {
            r.setRight(std::max(r.right() + delta.x(), r.left() + minimum.width() - 1));
        }
        if (edges & Qt::TopEdge) {
            r.setTop(std::min(r.top() + delta.y(), r.bottom() - minimum.height() + 1));
        }
        if (edges & Qt::BottomEdge) {
            r.setBottom(std::max(r.bottom() + delta.y(), r.top() + minimum.height() - 1));
        }
        setGeometry(r);
    }
}

void CCustomFrame::ApplyZoneCursor(FrameZone zone)
{
    setCursor(CursorOf(zone));
}

void CCustomFrame::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (OnFrameButtonDown(event->globalPosition().toPoint())) {
        QWidget::mousePressEvent(event);
    }
}

void CCustomFrame::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pt = event->globalPosition().toPoint();
    if (m_dragMode != DragMode::None && (event->buttons() & Qt::LeftButton)) {
        ContinueDrag(pt);
        return;
    }
    const FrameZone zone = HitFrameZone(m_zones, pt);
    const int hoverClose = zone == FrameZone::CloseButton;
    const int hoverMax = zone == FrameZone::MaximizeButton;
    const int hoverMin = zone == FrameZone::MinimizeButton;
    if (hoverClose || hoverMax || hoverMin) {
        if (hoverClose != m_bHoverClose || hoverMax != m_bHoverMax || hoverMin != m_bHoverMin) {
            m_bHoverClose = hoverClose;
            m_bHoverMax = hoverMax;
            m_bHoverMin = hoverMin;
            update();
        }
        unsetCursor();
        return;
    }
    if (m_bHoverClose || m_bHoverMax || m_bHoverMin) {
        ClearHover();
        update();
    }
    if (!m_bMaximized) {
        ApplyZoneCursor(IsSizingZone(zone) ? zone : FrameZone::None);
    }
}

void CCustomFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragMode == DragMode::Move || m_dragMode == DragMode::Resize) {
        releaseMouse();
    }
    m_dragMode = DragMode::None;
    QWidget::mouseReleaseEvent(event);
}

void CCustomFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton &&
        HitFrameZone(m_zones, event->globalPosition().toPoint()) == FrameZone::Title) {
        m_dragMode = DragMode::None;
        m_bMaximized ? Restore() : Maximize();
        return;
    }
    mousePressEvent(event);
}

void CCustomFrame::leaveEvent(QEvent* event)
{
    ClearHover();
    update();
    QWidget::leaveEvent(event);
}

void CCustomFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_bMinimized = isMinimized();
    RememberNormal();
    RecalcZones();
    OnFrameResized();
}

void CCustomFrame::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    RememberNormal();
    RecalcZones();
    OnFrameMoved();
}

void CCustomFrame::changeEvent(QEvent* event)
{
    // A maximise started by the window manager becomes our own maximise above the taskbar.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized)) {
        setWindowState(windowState() & ~Qt::WindowMaximized);
        if (!m_bMaximized) {
            Maximize();
        } else {
            m_bMaximized = 0;
        }
    }
    m_bMinimized = isMinimized();
    QWidget::changeEvent(event);
}
