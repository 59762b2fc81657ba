#include "mainwindow/clipboardimage.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>

#ifdef TESSORA_XCB
#include <QDeadlineTimer>

#include <poll.h>
#include <xcb/xcb.h>

#include <cstring>
#include <memory>
#endif

namespace
{

// What a glyph's image could hold, many times over; a larger image is no glyph.
constexpr int MaxBytes = 1 << 20;
constexpr int MaxSide = 4096;
constexpr int AnswerMilliseconds = 2000;

ClipboardImage decode(const QByteArray &png)
{
    if (png.isEmpty())
        return {ClipboardImage::Unreadable, {}};
    // Some owners, xclip among them, answer every request with the text they hold.
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        return {ClipboardImage::NoImage, {}};
    QBuffer buffer;
    buffer.setData(png);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.width() > MaxSide || size.height() > MaxSide)
        return {ClipboardImage::TooLarge, {}};
    const QImage image = reader.read();
    return image.isNull() || image.size().isEmpty() ? ClipboardImage{ClipboardImage::Unreadable, {}}
                                                    : ClipboardImage{ClipboardImage::Image, image};
}

#ifdef TESSORA_XCB
// Qt's own clipboard waits on a silent owner for seconds a request, and asks several times. This
// asks once, as image/png, on a connection of its own, and waits a fixed time for the answer.
ClipboardImage fetchX11()
{
    using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;
    const Connection c(xcb_connect(nullptr, nullptr), &xcb_disconnect);
    if (xcb_connection_has_error(c.get()))
        return {ClipboardImage::NoAnswer, {}};
    auto atom = [&](const char *name) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(
                c.get(), xcb_intern_atom(c.get(), 0, uint16_t(std::strlen(name)), name), nullptr),
            &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    };
    const xcb_atom_t clipboard = atom("CLIPBOARD"), png = atom("image/png"), incr = atom("INCR"),
                     property = atom("TESSORA_PASTE");
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data;
    const xcb_window_t window = xcb_generate_id(c.get());
    xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_convert_selection(c.get(), window, clipboard, png, property, XCB_CURRENT_TIME);
    xcb_flush(c.get());
    for (QDeadlineTimer deadline(AnswerMilliseconds); !deadline.hasExpired();) {
        xcb_generic_event_t *event = xcb_poll_for_event(c.get());
        if (!event) {
            pollfd wait = {xcb_get_file_descriptor(c.get()), POLLIN, 0};
            if (::poll(&wait, 1, int(std::max<qint64>(1, deadline.remainingTime()))) < 0 ||
                xcb_connection_has_error(c.get()))
                break;
            continue;
        }
        const bool answer = (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
        const xcb_atom_t got =
            answer ? reinterpret_cast<xcb_selection_notify_event_t *>(event)->property : 0;
        std::free(event);
        if (!answer)
            continue;
        if (got == XCB_ATOM_NONE)
            return {ClipboardImage::NoImage, {}};
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(c.get(),
                                   xcb_get_property(c.get(), 1, window, property,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, MaxBytes / 4),
                                   nullptr),
            &std::free);
        if (!reply)
            return {ClipboardImage::Unreadable, {}};
        // Sent in parts, or longer than was asked for: larger than a glyph's image.
        if (reply->type == incr || reply->bytes_after > 0)
            return {ClipboardImage::TooLarge, {}};
        const int length = xcb_get_property_value_length(reply.get());
        return decode(
            QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())), length));
    }
    return {ClipboardImage::NoAnswer, {}};
}
#endif

} // namespace

ClipboardImage ClipboardImage::fetch()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
#ifdef TESSORA_XCB
    // Tessora's own copy is at hand without asking the X server.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !clipboard->ownsClipboard())
        return fetchX11();
#endif
    const QMimeData *data = clipboard->mimeData();
    if (!data || !data->hasImage())
        return {NoImage, {}};
    if (data->hasFormat(QStringLiteral("image/png")))
        return decode(data->data(QStringLiteral("image/png")));
    const QImage image = clipboard->image();
    return image.isNull() ? ClipboardImage{Unreadable, {}} : ClipboardImage{Image, image};
}
