#pragma once

#include <QDialog>

// The informational window of the About command: title, version, thanks, a picture and the
// usage note. It has no owner and destroys itself when closed.
class AboutWindow : public QDialog
{
    Q_OBJECT

public:
    AboutWindow();

    // The usage note, kept as first written: its runs of blanks make the label wrap where
    // wanted.
    static QString usageNote();

private:
    void keepOutOfTaskBar();
};
