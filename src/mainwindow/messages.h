#pragma once

#include "editor/fonteditor.h"

// What the window says of what the editor met: what happened, and what the user can do from
// here with the edits the window keeps.
QString storageMessage(const fonttable::Failure &failure, bool saving);
// Empty when the operation went through.
QString outcomeMessage(const FontEditor::Outcome &outcome, bool saving = false);
QString refusalMessage(FontEditor::Refusal refusal);
// Why an image on the clipboard is no glyph, and what to do in an image editor.
QString imageMessage(const FontEditor::ImageProblem &problem);
