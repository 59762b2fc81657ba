#pragma once

// tessora-png's commands, each given its arguments and returning the exit status.

#include "tessorapng/commandline.h"

namespace tessorapng
{

int exportTable(const Arguments &arguments);
int importTable(const Arguments &arguments);
int render(const Arguments &arguments);
int preview(const Arguments &arguments);

// The archive's folder and its name in it, as bytes: a path in any encoding works.
struct ArchivePath {
    fonttable::Folder folder;
    QByteArray name;

    explicit ArchivePath(const QByteArray &path);
};

} // namespace tessorapng
