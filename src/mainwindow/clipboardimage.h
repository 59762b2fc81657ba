#pragma once

#include <QImage>

// The image on the clipboard, for Paste, asked for so that the window never waits on the program
// that holds it for longer than a short, fixed time.
struct ClipboardImage {
    enum Outcome {
        Image,      // in image
        NoImage,    // nothing, text, or some other kind of data
        NoAnswer,   // its owner did not answer in time
        Unreadable, // empty, cut short or damaged
        TooLarge,   // more than an image the size of a glyph could ever need
    };
    Outcome outcome = NoImage;
    QImage image;

    static ClipboardImage fetch();
};
