// The pixels of a client area: an image kept off screen, the areas that
// changed since the last flush, and the widget that shows it over the client
// area. It knows nothing of what is drawn, or of dialogs.

#include "platform/PixelSurface.h"

#include <QPainter>
#include <QPaintEvent>
#include <algorithm>

namespace platform {

PixelSurface::PixelSurface(QSize size)
    : m_image(size, QImage::Format_ARGB32_Premultiplied)
{
    m_image.fill(Qt::transparent);
}

std::int64_t PixelSurface::GetPixel(int x, int y) const
{
    if (!m_image.valid(x, y))
        return -1;
    const QRgb p = m_image.pixel(x, y);
    if (qAlpha(p) == 0)
        return -1;
    return MakeColor(qRed(p), qGreen(p), qBlue(p));
}

void PixelSurface::FillRect(const QRect& rect, COLORREF color)
{
    const QRect r = rect.intersected(m_image.rect());
    if (r.isEmpty())
        return;
    const QRgb value = OpaquePixel(color);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        std::fill(line + r.left(), line + r.right() + 1, value);
    }
    MarkDirty(r.left(), r.top(), r.right(), r.bottom());
}

void PixelSurface::Flush()
{
    if (m_dirtyCount == 0)
        return;
    if (m_widget) {
        for (int i = 0; i < m_dirtyCount; ++i) {
            const Box& b = m_dirty[i];
            m_widget->update(QRect(QPoint(b.left, b.top), QPoint(b.right, b.bottom)));
        }
    }
    m_dirtyCount = 0;
}

PixelOverlay::PixelOverlay(PixelSurface& surface, QWidget* parent)
    : QWidget(parent), m_surface(surface)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(QRect(QPoint(0, 0), surface.Size()));
    surface.AttachWidget(this);
}

void PixelOverlay::paintEvent(QPaintEvent* event)
{
    // Only the areas that changed, not the box around them all.
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (const QRect& r : event->region())
        painter.drawImage(r, m_surface.Image(), r);
}

} // namespace platform
