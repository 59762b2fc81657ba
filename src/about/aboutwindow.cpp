#include "about/aboutwindow.h"

#include "views/units.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>
#include <cstring>

#ifndef Q_OS_WIN
#include <xcb/xcb.h>
#endif

AboutWindow::AboutWindow()
    : QDialog(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("About"));
    setWindowIcon(QIcon(QStringLiteral(":/resources/tessora.xpm")));
    setAttribute(Qt::WA_DeleteOnClose);
    // Tool windows do not keep the program running by default; this one does, so that the
    // program ends only when the last of its windows closes.
    setAttribute(Qt::WA_QuitOnClose);
    setFont(units::designFont(font()));
    setFixedSize(units::layoutRect(0, 0, 6045, 3585).size());

    auto *image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setGeometry(units::layoutRect(360, 360, 480, 480));
    image1->setPixmap(QPixmap(QStringLiteral(":/resources/about.xpm")));

    auto addLabel = [this](const char *name, const QString &text, QRect twips) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(units::layoutRect(twips.x(), twips.y(), twips.width(), twips.height()));
        return label;
    };
    addLabel("Label3", tr("Tessora for Romance of the Three Kingdoms XI"),
             QRect(1200, 360, 4005, 225));
    addLabel("Label2", tr("Version 2.0, by the Tessora developers"), QRect(1200, 720, 4005, 225));
    QLabel *description = addLabel("lblDescription", usageNote(), QRect(210, 1125, 5565, 1290));
    description->setWordWrap(true);
    // The note's runs of blanks were made for a narrow 8-point dialog font: in 10-pixel DejaVu
    // Sans set a little tighter, it wraps where they intend, in seven lines.
    QFont note(QStringLiteral("DejaVu Sans"));
    note.setPixelSize(10);
    note.setLetterSpacing(QFont::PercentageSpacing, 96);
    description->setFont(note);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette black = description->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    description->setPalette(black);
    addLabel("Label1", tr("Thanks for help in locating the font table."),
             QRect(1080, 2640, 4005, 225));

    auto *ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(units::layoutRect(2400, 3000, 1260, 345));
    ok->setDefault(true);
    // Esc rejects the dialog, which closes it as OK does.
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    keepOutOfTaskBar();
}

// A tool window stays out of the task bar on Windows; under X11 a window manager following the
// EWMH conventions asks for the state, set before the window is first mapped.
void AboutWindow::keepOutOfTaskBar()
{
#ifndef Q_OS_WIN
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    auto atom = [connection](const char *name) {
        const xcb_intern_atom_cookie_t cookie =
            xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    };
    const xcb_atom_t skip = atom("_NET_WM_STATE_SKIP_TASKBAR");
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, xcb_window_t(winId()),
                        atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 1, &skip);
    xcb_flush(connection);
#endif
}

QString AboutWindow::usageNote()
{
    return QLatin1String("How to use :") + QString(93, QLatin1Char(' ')) +
           QLatin1String("1.Copy this tool to C:\\Program Files\\Koei\\RTKXI\\Media\r\n"
                         " 2.Run it and now you can edit the characters which are stored in "
                         "san11res.bin 3.You have to save before exiting otherwise you will lose "
                         "your work\r\n"
                         "Notes :  It is wise to make a backup from san11res.bin before using "
                         "this tool") +
           QString(19, QLatin1Char(' ')) +
           QLatin1String("Use this tool at your own risk. There are a lot of bugs in it!");
}
