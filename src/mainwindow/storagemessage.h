#pragma once

#include "fonttable/resourcefile.h"

// What the window says when a Read or a Save fails: what happened, and what the user can do
// from here with the edits the window keeps.
QString storageMessage(const fonttable::Failure &failure, bool saving);
