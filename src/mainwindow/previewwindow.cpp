#include "mainwindow/previewwindow.h"

#include "views/textpreview.h"

#include <QBoxLayout>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>

namespace
{

QString characterName(char32_t c)
{
    const QString code = QStringLiteral("U+%1").arg(uint(c), 4, 16, QChar('0')).toUpper();
    return QChar::isPrint(c) ? QString::fromUcs4(&c, 1) + " (" + code + ")" : code;
}

} // namespace

PreviewWindow::PreviewWindow(const FontEditor &editor, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Preview"));
    setWindowTitle(tr("Preview"));
    // A window of the main window's: it neither keeps the program running nor ends it.
    setAttribute(Qt::WA_QuitOnClose, false);

    m_text = new QPlainTextEdit(tr("Liu Bei, Guan Yu and Zhang Fei\n0123456789"), this);
    m_text->setObjectName(QStringLiteral("PreviewText"));
    m_text->setAccessibleName(tr("Text to preview"));
    m_text->setTabChangesFocus(true);
    m_text->setFixedHeight(m_text->fontMetrics().lineSpacing() * 4 + 12);

    m_zoom = new QComboBox(this);
    m_zoom->setObjectName(QStringLiteral("PreviewZoom"));
    m_zoom->setAccessibleName(tr("Zoom"));
    for (int zoom = 1; zoom <= 4; ++zoom)
        m_zoom->addItem(tr("%1 \u00d7").arg(zoom), zoom);
    m_zoom->setCurrentIndex(1);

    m_colors = new QComboBox(this);
    m_colors->setObjectName(QStringLiteral("PreviewColors"));
    m_colors->setAccessibleName(tr("Colours"));
    m_colors->addItems({tr("White on black"), tr("Black on white"), tr("Colours chosen")});
    auto *ink = new QPushButton(tr("Ink..."), this);
    auto *background = new QPushButton(tr("Background..."), this);

    m_preview = new TextPreview(editor, this);
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(m_preview);
    scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroll->setBackgroundRole(QPalette::Dark);
    scroll->setMinimumSize(520, 180);
    scroll->setFocusPolicy(Qt::NoFocus);

    m_missing = new QLabel(this);
    m_missing->setObjectName(QStringLiteral("PreviewMissing"));
    m_missing->setWordWrap(true);
    m_missing->setTextFormat(Qt::PlainText);

    auto *controls = new QHBoxLayout;
    auto *zoomLabel = new QLabel(tr("&Zoom:"), this);
    zoomLabel->setBuddy(m_zoom);
    for (QWidget *control :
         std::initializer_list<QWidget *>{zoomLabel, m_zoom, m_colors, ink, background})
        controls->addWidget(control);
    controls->addStretch();
    auto *column = new QVBoxLayout(this);
    column->addWidget(m_text);
    column->addLayout(controls);
    column->addWidget(m_missing);
    column->addWidget(scroll, 1);

    connect(m_text, &QPlainTextEdit::textChanged, this, &PreviewWindow::textChanged);
    connect(m_zoom, &QComboBox::currentIndexChanged, this,
            [this] { m_preview->setZoom(m_zoom->currentData().toInt()); });
    connect(m_colors, &QComboBox::activated, this, &PreviewWindow::chooseColors);
    connect(ink, &QPushButton::clicked, this, [this] { pickColor(true); });
    connect(background, &QPushButton::clicked, this, [this] { pickColor(false); });
    connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, this, &QWidget::close);
    m_preview->setZoom(m_zoom->currentData().toInt());
    textChanged();
}

void PreviewWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_text->setFocus(Qt::ActiveWindowFocusReason);
}

void PreviewWindow::textChanged()
{
    m_preview->setText(m_text->toPlainText());
    QStringList names;
    for (const char32_t c : m_preview->layout().missing)
        names << characterName(c);
    m_missing->setText(
        names.isEmpty() ? QString() : tr("No glyph for: %1").arg(names.join(QStringLiteral(", "))));
}

void PreviewWindow::chooseColors(int choice)
{
    if (choice == 0)
        m_preview->setColors(Qt::white, Qt::black);
    else if (choice == 1)
        m_preview->setColors(Qt::black, Qt::white);
}

void PreviewWindow::pickColor(bool ink)
{
    const QColor now = ink ? m_preview->ink() : m_preview->background();
    const QColor chosen = QColorDialog::getColor(now, this, ink ? tr("Ink") : tr("Background"));
    if (!chosen.isValid())
        return;
    if (ink)
        m_preview->setColors(chosen, m_preview->background());
    else
        m_preview->setColors(m_preview->ink(), chosen);
    m_colors->setCurrentIndex(2);
}
