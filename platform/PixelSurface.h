#pragma once
#include <QImage>
#include <QRect>
#include <QWidget>
#include <cstdint>

namespace platform {

// A colour as the pixel calls take it: 0x00BBGGRR, red in the low byte.
using COLORREF = std::uint32_t;

constexpr COLORREF MakeColor(unsigned r, unsigned g, unsigned b)
{
    return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}
constexpr unsigned RedOf(COLORREF c) { return c & 0xFFu; }
constexpr unsigned GreenOf(COLORREF c) { return (c >> 8) & 0xFFu; }
constexpr unsigned BlueOf(COLORREF c) { return (c >> 16) & 0xFFu; }

// The pixels of a window's client area. They live in an off-screen image,
// transparent until set, that is laid over the client area and shown at the
// next paint, so the picture survives repaints and can be read back. The
// image is premultiplied (a pixel is either opaque or fully transparent, so
// the values are the same), which is the form the painter blends fastest.
// Pixels outside the client area are dropped, as a window would clip them.
class PixelSurface {
public:
    explicit PixelSurface(QSize size);

    void SetPixelV(int x, int y, COLORREF color)
    {
        if (static_cast<unsigned>(x) >= static_cast<unsigned>(m_image.width())
            || static_cast<unsigned>(y) >= static_cast<unsigned>(m_image.height()))
            return;
        reinterpret_cast<QRgb*>(m_image.scanLine(y))[x] = OpaquePixel(color);
        MarkDirty(x, y);
    }
    // Like SetPixelV, and answers the colour that was set.
    COLORREF SetPixel(int x, int y, COLORREF color)
    {
        SetPixelV(x, y, color);
        return color;
    }

    // Sets every pixel of the rectangle, clipped to the surface, to one
    // colour: what SetPixelV on each of them does, in one pass.
    void FillRect(const QRect& rect, COLORREF color);

    // Reading back: the colour at (x, y), or -1 for a pixel never set
    // (the window's own painting shows through there).
    std::int64_t GetPixel(int x, int y) const;

    const QImage& Image() const { return m_image; }
    QSize Size() const { return m_image.size(); }

    // Shows what changed since the last flush on the widget, if one is attached.
    void Flush();
    void AttachWidget(QWidget* widget) { m_widget = widget; }

private:
    // The image's value for a colour: opaque, with red in the third byte.
    static constexpr QRgb OpaquePixel(COLORREF color)
    {
        return 0xFF000000u | (RedOf(color) << 16) | (GreenOf(color) << 8) | BlueOf(color);
    }

    // What changed since the last flush, as a few boxes: a pixel next to a
    // box joins it, one elsewhere starts another, so that a tick's head line
    // and its tail line far away are shown as two small areas, not as the
    // whole stretch between them.
    static constexpr int kMaxDirtyBoxes = 6;
    struct Box { int left, top, right, bottom; };
    void MarkDirty(int x, int y) { MarkDirty(x, y, x, y); }
    void MarkDirty(int left, int top, int right, int bottom)
    {
        for (int i = 0; i < m_dirtyCount; ++i) {
            Box& b = m_dirty[i];
            if (left <= b.right + 1 && right >= b.left - 1 && top <= b.bottom + 1 && bottom >= b.top - 1) {
                Grow(b, left, top, right, bottom);
                return;
            }
        }
        if (m_dirtyCount < kMaxDirtyBoxes)
            m_dirty[m_dirtyCount++] = Box{left, top, right, bottom};
        else
            Grow(m_dirty[kMaxDirtyBoxes - 1], left, top, right, bottom);   // too many: the last takes it in
    }
    static void Grow(Box& b, int left, int top, int right, int bottom)
    {
        if (left < b.left) b.left = left;
        if (right > b.right) b.right = right;
        if (top < b.top) b.top = top;
        if (bottom > b.bottom) b.bottom = bottom;
    }

    QImage m_image;
    QWidget* m_widget = nullptr;
    Box m_dirty[kMaxDirtyBoxes];
    int m_dirtyCount = 0;
};

// A drawing context on a surface: acquired for one drawing pass, and what was
// drawn is shown when it is released.
class ClientDC {
public:
    explicit ClientDC(PixelSurface& surface) : m_surface(surface) {}
    ~ClientDC() { m_surface.Flush(); }
    ClientDC(const ClientDC&) = delete;
    ClientDC& operator=(const ClientDC&) = delete;

    void SetPixelV(int x, int y, COLORREF c) { m_surface.SetPixelV(x, y, c); }
    COLORREF SetPixel(int x, int y, COLORREF c) { return m_surface.SetPixel(x, y, c); }
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF c) { m_surface.FillRect(QRect(x, y, cx, cy), c); }

private:
    PixelSurface& m_surface;
};

// The widget that shows a surface over a client area. It takes no input and
// scales without smoothing, so every pixel stays a crisp block on HiDPI screens.
class PixelOverlay : public QWidget {
public:
    PixelOverlay(PixelSurface& surface, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PixelSurface& m_surface;
};

} // namespace platform
