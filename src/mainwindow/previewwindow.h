#pragma once

#include <QWidget>

class FontEditor;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class TextPreview;

// Text of the user's choosing in the font as the editor holds it now, beside the main window:
// the text, a zoom of 1 to 4 times, the ink and background colours, and the characters that have
// no glyph. Esc closes it; it keeps its text until it is opened again.
class PreviewWindow : public QWidget
{
    Q_OBJECT

public:
    PreviewWindow(const FontEditor &editor, QWidget *parent);

    TextPreview *preview() const { return m_preview; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void textChanged();
    void chooseColors(int choice);
    void pickColor(bool ink);

    TextPreview *m_preview = nullptr;
    QPlainTextEdit *m_text = nullptr;
    QComboBox *m_zoom = nullptr;
    QComboBox *m_colors = nullptr;
    QLabel *m_missing = nullptr;
};
