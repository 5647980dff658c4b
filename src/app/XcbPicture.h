// Puts a picture straight into a native X window, past the window's backing store. The backing store has to
// wait for the X server to finish reading shared memory before the same rectangle may be painted again (a
// round trip per picture); a picture sent in the request itself needs no wait and no flush of the whole
// window.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace quimbrel {

class XcbPicture {
public:
    // Null unless the application runs on X and the server takes 32-bit pixels in the image's byte order.
    static std::unique_ptr<XcbPicture> create();
    ~XcbPicture();
    XcbPicture(const XcbPicture&) = delete;
    XcbPicture& operator=(const XcbPicture&) = delete;

    // Puts the rows of `rows` of an opaque 32-bit image at the same place in the window and sends the
    // request. False, with nothing sent, when the window's visual does not take the image's pixels as they
    // are (a depth or colour layout other than 8 bits per channel in 32-bit pixels).
    bool put(WId window, const QImage& image, const std::vector<QRect>& rects);

private:
    explicit XcbPicture(xcb_connection_t* connection);
    // Takes `window` as the target: a graphics context for it when its pixels fit ours, none when not.
    // Takes `window` as the target: a graphics context for it when its pixels fit ours, none when not.
    void attach(std::uint32_t window);
    void putRect(const QImage& image, const QRect& area);

    xcb_connection_t* m_connection;
    std::uint32_t m_window = 0;
    std::uint32_t m_gc = 0;
    std::uint8_t m_depth = 0;
    std::vector<QRgb> m_lines;
};

} // namespace quimbrel
