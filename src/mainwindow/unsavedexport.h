#pragma once

class FontEditor;
class QString;
class QWidget;

// After a Save that failed: the edited font table kept in a PNG image that the user names in a
// file dialog opening in the archive's folder. tessora-png import brings it into the archive
// later. Returns why nothing was written, or an empty string when it was written or the dialog
// was cancelled.
QString exportUnsaved(QWidget *parent, const FontEditor &editor);
